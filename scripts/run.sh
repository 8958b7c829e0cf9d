#!/usr/bin/env bash
# Installs what is missing, builds the app and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -eq 0 ]; then bash scripts/install-deps.sh; else sudo bash scripts/install-deps.sh; fi
cmake --preset default >/dev/null
cmake --build --preset default --target quellnet device-settings
exec build/Quellnet/quellnet "$@"
