#!/usr/bin/env bash
# The whole system for real: install into this computer's /usr, switch blocking on and check
# what every program's resolver sees. Runs as root inside a private mount and network
# namespace whose /etc, /usr and /var are overlays over the host's, so the host is never
# touched. Exit 77 (ctest: skipped) where that cannot be made.
#   run_system_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

if [ -z "${QUELLNET_IN_NAMESPACE:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the whole-system test needs root (it installs into a private overlay of /usr)"
    exit 77
  fi
  if ! unshare -m -n true 2>/dev/null; then
    echo "SKIP: cannot make a private mount and network namespace here"
    exit 77
  fi
  exec env QUELLNET_IN_NAMESPACE=1 unshare -m -n --propagation private "$0" "$@"
fi

work=$(mktemp -d /tmp/quellnet-system-XXXXXX)
trap 'cd /; umount -l /etc /usr /var "$work" 2>/dev/null; rmdir "$work"' EXIT
mount -t tmpfs tmpfs "$work"
for tree in etc usr var; do
  mkdir -p "$work/$tree-upper" "$work/$tree-work"
  mount -t overlay overlay \
    -o "lowerdir=/$tree,upperdir=$work/$tree-upper,workdir=$work/$tree-work" "/$tree"
done
ip link set lo up

# A resolver that answers every name with 10.53.53.53 and logs what it was asked.
rm -f /etc/resolv.conf
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >/etc/resolv.conf
printf '10.7.7.7 fromfiles.test\n' >>/etc/hosts
cp /etc/nsswitch.conf "$work/nsswitch.conf.before"

cmake --install "$build" >"$work/install.log"
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
device_settings="$prefix/bin/device-settings"
"$device_settings" system install

export QUELLNET_APP="$prefix/bin/quellnet" DEVICE_SETTINGS="$device_settings"
export E2E_SEED_BLOCKLIST="$build/tests/e2e/e2e-seed-blocklist"
export QUELLNET_NSSWITCH_BEFORE="$work/nsswitch.conf.before" QUELLNET_DNS_LOG="$work/dns.log"
unset DEVICE_PLATFORM_SYSTEM_ROOT DEVICE_PLATFORM_ENFORCE_WRITER
/usr/bin/python3 "$here/test_system_blocking.py"
