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
)
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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
