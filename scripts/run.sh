#!/usr/bin/env bash
# Installs what is missing, builds the app, installs the system part that makes a switched-on
# configuration block for real on this computer, and starts the app.
set -euo pipefail
cd "$(dirname "$0")/.."
as_root() { if [ "$(id -u)" -eq 0 ]; then bash "$@"; else sudo bash "$@"; fi; }
as_root scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target quellnet device-settings nss_quellnet quellnet-enforce
as_root scripts/install-system.sh
exec build/Quellnet/quellnet "$@"
