#!/usr/bin/env bash
# The whole system for real, installed into /usr: as root the road from Quellnet through the
# device's Settings window to a name that no longer resolves (by actions, by keys and by `dns
# enable`), an update and a removal while on, and `system uninstall`; then, as an ordinary
# account beside another, each way switching on in the window is refused: the system part
# missing, a cancelled password prompt (a pkexec stand-in that exits 126) and another account's
# list in force. Runs in a private mount and network namespace over overlays of /etc, /usr and
# /var. Exit 77 (ctest: skipped) where that cannot be made. With --bench it measures instead
# (bench/settings_window_bench.sh).
#   run_settings_window_test.sh BUILD_DIR [--bench]
set -euo pipefail
build=$(realpath "$1")
mode=${2:-test}
here=$(dirname "$(realpath "$0")")

# shellcheck source=scripts/private-namespace.sh
. "$here/../../scripts/private-namespace.sh"
enter_private_namespace system_blocking 77 "$build" "$mode"

install_in_namespace "$build"
printf '10.7.7.7 fromfiles.test\n' >>/etc/hosts
cp /etc/nsswitch.conf "$work/nsswitch.conf.before"
device_settings="$prefix/bin/device-settings"
"$device_settings" system install >/dev/null

export QUELLNET_APP="$prefix/bin/quellnet" DEVICE_SETTINGS="$device_settings"
export QUELLNET_SETTINGS_WINDOW="$prefix/bin/quellnet-device-settings"
export E2E_SEED_BLOCKLIST="$build/tests/e2e/e2e-seed-blocklist" QUELLNET_DNS_LOG="$work/dns.log"
export QUELLNET_NSSWITCH_BEFORE="$work/nsswitch.conf.before"
unset DEVICE_PLATFORM_SYSTEM_ROOT DEVICE_PLATFORM_ENFORCE_WRITER
test_file="$here/test_settings_window_system.py"
if [ "$mode" = --bench ]; then
  export QUELLNET_WRITER="$prefix/libexec/quellnet/quellnet-enforce"
  exec /usr/bin/python3 "$here/../../bench/settings_window_bench.py"
fi
/usr/bin/python3 "$test_file" RootRoadTest # ends with `system uninstall`

# Two ordinary accounts of this namespace's /etc; each refusal runs as alice in a session of
# her own, with a pkexec stand-in first on her PATH that logs its call and exits 126.
useradd -M -s /bin/sh alice
useradd -M -s /bin/sh bob
mkdir -m 0755 "$work/standin"
printf '#!/bin/sh\necho "$@" >>"$PKEXEC_STANDIN_LOG"\nexit 126\n' >"$work/standin/pkexec"
chmod 0755 "$work/standin/pkexec"
install -d -o alice -m 0700 "$work/alice"
as_alice() {
  rm -f "$work/alice/pkexec.log"
  # The exported settings go along through runuser; PATH puts the stand-in first.
  runuser -u alice -- env PATH="$work/standin:$PATH" PKEXEC_STANDIN_LOG="$work/alice/pkexec.log" \
    /usr/bin/python3 "$test_file" "$1"
}

as_alice RefusalTest.test_system_part_missing
"$device_settings" system install >/dev/null
as_alice RefusalTest.test_cancelled_prompt
# Bob's list in force, written by the installed writer as pkexec would run it for him.
printf 'bobs.example\n' |
  PKEXEC_UID=$(id -u bob) "$prefix/libexec/quellnet/quellnet-enforce" write org.example.Bob
as_alice RefusalTest.test_another_accounts_list
