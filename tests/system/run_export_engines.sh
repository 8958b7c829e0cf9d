#!/usr/bin/env bash
# The exports loaded by the resolvers they are for: Debian's unbound (RPZ zone and local-zone
# lines) and dnsmasq, each forwarding to a local server that answers every name, all on
# loopback in a private mount and network namespace. Exit 77 (ctest: skipped) where that
# namespace, or one of the resolvers, is missing.
#   run_export_engines.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

# shellcheck source=scripts/private-namespace.sh
. "$here/../../scripts/private-namespace.sh"
require_tools export_engines unbound unbound-checkconf dnsmasq named-checkzone dig
enter_private_namespace export_engines 77 "$build"

mount -t tmpfs -o mode=0755 scratch "$QUELLNET_NAMESPACE_SCRATCH"
ip link set lo up
export PATH=$PATH:/usr/sbin
export HOME=$QUELLNET_NAMESPACE_SCRATCH/home XDG_STATE_HOME=$QUELLNET_NAMESPACE_SCRATCH/state
export QUELLNET_EXPORT_WORK=$QUELLNET_NAMESPACE_SCRATCH
export DEVICE_SETTINGS="$build/tools/device-settings/device-settings"
/usr/bin/python3 "$here/test_export_engines.py"
