#!/usr/bin/env bash
# Runs tests/system/test_NAME.py as root in a private mount and network namespace whose /etc,
# /usr and /var are overlays over the host's, with the build's system part installed there, so
# the host is never touched. Exit 77 (ctest: skipped) where that cannot be made or a TOOL is
# missing.
#   run_in_namespace.sh BUILD_DIR NAME [TOOL...]
set -euo pipefail
build=$(realpath "$1")
name=$2
here=$(dirname "$(realpath "$0")")

# shellcheck source=scripts/private-namespace.sh
. "$here/../../scripts/private-namespace.sh"
require_tools "$name" "${@:3}"
enter_private_namespace "$name" 77 "$build" "${@:2}"

install_in_namespace "$build" system
libexec=$(sed -n 's/^CMAKE_INSTALL_LIBEXECDIR:PATH=//p' "$build/CMakeCache.txt")
case $libexec in /*) ;; *) libexec=$prefix/${libexec:-libexec} ;; esac
mkdir "$work/root"
export PATH=$PATH:/usr/sbin HOME=$work/root XDG_STATE_HOME=$work/root/state
export QUELLNET_BUILD=$build QUELLNET_WORK=$work QUELLNET_README="$here/../../README.md"
export DEVICE_SETTINGS="$build/tools/device-settings/device-settings"
export QUELLNET_WRITER="$libexec/quellnet/quellnet-enforce"
unset DEVICE_PLATFORM_SYSTEM_ROOT DEVICE_PLATFORM_ENFORCE_WRITER

if [ "$name" = coverage ]; then
  "$DEVICE_SETTINGS" system install >/dev/null
  # The Go probe both ways; the build cache stays in the build folder so a second run is quick.
  export GOCACHE=$build/tests/system/go-cache GOPATH=$work/go GO111MODULE=off GOPROXY=off
  export GOFLAGS=-buildvcs=false
  CGO_ENABLED=1 go build -o "$work/go-with-cgo" "$here/coverage_probe.go"
  CGO_ENABLED=0 go build -o "$work/go-without-cgo" "$here/coverage_probe.go"
fi
exec /usr/bin/python3 "$here/test_$name.py"
