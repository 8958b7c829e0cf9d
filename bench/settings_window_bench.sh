#!/usr/bin/env bash
# How long switching in the device's Settings window takes to block a saved name, against
# `device-settings dns enable`: from the accessibility toggle (or the command's start) to the
# first getaddrinfo() that fails, 9 pairs with the order alternated, as root on this computer's
# installed system part inside a private namespace (tests/system/run_settings_window_test.sh
# lays it out). Needs root and a build with the tests; prints a skip message otherwise.
#
#   bash bench/settings_window_bench.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
for f in tools/settings-window/quellnet-device-settings tests/e2e/e2e-seed-blocklist; do
  [ -e "$build/$f" ] || { echo "settings_window_bench: $build/$f missing: build first" >&2; exit 1; }
done
status=0
bash tests/system/run_settings_window_test.sh "$build" --bench || status=$?
[ "$status" -eq 77 ] && exit 0
exit "$status"
