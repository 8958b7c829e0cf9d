#!/usr/bin/env bash
# Checks what puts Quellnet in a desktop's menu and software centre: the desktop entry and the
# AppStream metainfo pass their reference validators, and the metainfo's newest release, the
# manual pages and debian/changelog name the project's version. Given the built quellnet .deb,
# it also validates the installed tree as a software centre reads it (entry, metainfo and icon
# found under the same identifier).
#
#   bash scripts/validate-desktop.sh [build-packages/quellnet_*.deb]
set -euo pipefail
cd "$(dirname "$0")/.."

id=net.quellnet.Quellnet
failed=0
fail() { echo "validate-desktop: $*" >&2; failed=1; }

# The device's Settings window has a menu entry and icon of its own (no metainfo: it is part of
# the app's package, which the app's metainfo describes).
settings_id=net.quellnet.DeviceSettings
for entry in "$id" "$settings_id"; do
  desktop-file-validate "data/$entry.desktop" || fail "data/$entry.desktop is not a valid desktop entry"
done
appstreamcli validate --no-net "data/$id.metainfo.xml" ||
  fail "data/$id.metainfo.xml is not valid AppStream metainfo"

version=$(sed -n 's/^project(Quellnet VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
release=$(grep -o -m1 '<release version="[^"]*"' "data/$id.metainfo.xml" | cut -d'"' -f2)
[ "$release" = "$version" ] || fail "newest metainfo release is \"$release\", the project is $version"
debian=$(dpkg-parsechangelog -S Version)
[ "${debian%%-*}" = "$version" ] || fail "debian/changelog is at $debian, the project is $version"
for page in data/man/*.1; do
  grep -q "^\.TH .* \"Quellnet $version\"" "$page" || fail "$page does not name Quellnet $version"
done

if [ $# -gt 0 ]; then
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  dpkg-deb -x "$1" "$tree"
  appstreamcli validate-tree --no-net "$tree" || fail "the tree of $1 does not validate"
  # What validate-tree leaves out: each entry's icon and program are where a desktop looks.
  for name in "$id" "$settings_id"; do
    entry="$tree/usr/share/applications/$name.desktop"
    if [ -f "$entry" ]; then
      icon=$(sed -n 's/^Icon=//p' "$entry")
      program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
      compgen -G "$tree/usr/share/icons/hicolor/*/apps/$icon.*" >/dev/null ||
        fail "$1 has no hicolor icon named $icon"
      [ -x "$tree/usr/bin/$program" ] || fail "$1 has no usr/bin/$program for the entry to start"
    else
      fail "$1 has no usr/share/applications/$name.desktop"
    fi
  done
fi

[ "$failed" -eq 0 ] && echo "validate-desktop: all checks passed"
exit "$failed"
