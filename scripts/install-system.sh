#!/usr/bin/env bash
# Installs the system part from the build folder (the NSS hosts module, the privileged writer
# and its polkit action) and puts the module on the hosts line of /etc/nsswitch.conf. Run as
# root; idempotent. `device-settings system uninstall` takes it out again.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --install build --component system >/dev/null
build/tools/device-settings/device-settings system install
