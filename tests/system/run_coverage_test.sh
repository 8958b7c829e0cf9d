#!/usr/bin/env bash
# Which programs the system part blocks, measured: installs the system part as
# run_system_test.sh does (private mount and network namespace, /etc, /usr and /var overlaid),
# switches a saved name on and runs each program against a DNS server that answers every name
# and an HTTP server that logs each request's host; fails when README.md's coverage table says
# otherwise. Exit 77 (ctest: skipped) without root, a namespace or the programs it measures.
#   run_coverage_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

# shellcheck source=scripts/private-namespace.sh
. "$here/../../scripts/private-namespace.sh"
require_tools system_coverage curl getent node go dig
enter_private_namespace system_coverage 77 "$build"

install_in_namespace "$build" system
export DEVICE_SETTINGS="$build/tools/device-settings/device-settings"
"$DEVICE_SETTINGS" system install >/dev/null

# The Go probe both ways; the build cache stays in the build folder so a second run is quick.
export GOCACHE=$build/tests/system/go-cache GOPATH=$work/go GO111MODULE=off GOPROXY=off
export GOFLAGS=-buildvcs=false
CGO_ENABLED=1 go build -o "$work/go-with-cgo" "$here/coverage_probe.go"
CGO_ENABLED=0 go build -o "$work/go-without-cgo" "$here/coverage_probe.go"

export HOME=$work/home XDG_STATE_HOME=$work/state QUELLNET_COVERAGE_WORK=$work
export QUELLNET_README="$here/../../README.md"
unset DEVICE_PLATFORM_SYSTEM_ROOT DEVICE_PLATFORM_ENFORCE_WRITER
/usr/bin/python3 "$here/test_coverage.py"
