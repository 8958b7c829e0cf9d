#!/usr/bin/env bash
# Installs every Debian package Quellnet needs to build, run, test and fuzz; with --packaging
# also the tools that build, check and test its Debian packages (scripts/build-packages.sh,
# scripts/validate-desktop.sh, scripts/package-test.sh).
# Idempotent: packages already present are left as they are.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qt6-svg-dev
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-templates qml6-module-qtqml-workerscript qml6-module-qtquick-window
  qml6-module-qttest libsqlite3-dev
  qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools qt6-translations-l10n
  fonts-material-design-icons-iconfont
  xvfb xauth dbus at-spi2-core python3-pyatspi xdotool x11-utils
  clang libclang-rt-14-dev clang-tidy
  pkexec polkitd iproute2 # the system part: its writer runs through pkexec; tests bring up lo
  strace passwd # what root does for other accounts: traced, with accounts made in a namespace
  # The exports are tested against the resolvers they are for, and the coverage table is
  # measured with a Go program built both ways; tests run these in a private namespace only.
  unbound dnsmasq-base bind9-dnsutils bind9-utils golang-go
)
# Installed for tests alone: their services must never start or stay enabled on this machine.
services=(unbound unbound-resolvconf)
if [ "${1:-}" = "--packaging" ]; then
  packages+=(
    debhelper dpkg-dev fakeroot lintian desktop-file-utils appstream
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run this script as root" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# While installing, a policy-rc.d that refuses every start keeps the new services down (one
# already there is the machine's own and stays).
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
# Only a service this run installed is disabled: one the machine already had is its own.
if command -v systemctl >/dev/null; then
  for p in "${missing[@]}"; do
    for s in "${services[@]}"; do
      [ "$p" = "${s%%-*}" ] || continue
      systemctl disable --now "$s.service" >/dev/null 2>&1 || true
    done
  done
fi
