#!/usr/bin/env bash
# The whole system for real: install into this computer's /usr, switch blocking on and check
# what every program's resolver sees. Runs as root inside a private mount and network
# namespace whose /etc, /usr and /var are overlays over the host's, so the host is never
# touched. Exit 77 (ctest: skipped) where that cannot be made.
#   run_system_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

# shellcheck source=scripts/private-namespace.sh
. "$here/../../scripts/private-namespace.sh"
enter_private_namespace system_blocking 77 "$build"

install_in_namespace "$build"
printf '10.7.7.7 fromfiles.test\n' >>/etc/hosts
cp /etc/nsswitch.conf "$work/nsswitch.conf.before"
device_settings="$prefix/bin/device-settings"
"$device_settings" system install

export QUELLNET_APP="$prefix/bin/quellnet" DEVICE_SETTINGS="$device_settings"
export E2E_SEED_BLOCKLIST="$build/tests/e2e/e2e-seed-blocklist"
export QUELLNET_NSSWITCH_BEFORE="$work/nsswitch.conf.before" QUELLNET_DNS_LOG="$work/dns.log"
unset DEVICE_PLATFORM_SYSTEM_ROOT DEVICE_PLATFORM_ENFORCE_WRITER
/usr/bin/python3 "$here/test_system_blocking.py"
