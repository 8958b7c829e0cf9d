#!/usr/bin/env bash
# What root does for other accounts, with real accounts: `system uninstall` run through sudo
# and the writer's lock. Runs as root inside a private mount and network namespace whose /etc,
# /usr and /var are overlays over the host's, so the host is never touched. Exit 77 (ctest:
# skipped) where that cannot be made.
#   run_root_paths_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

# shellcheck source=scripts/private-namespace.sh
. "$here/../../scripts/private-namespace.sh"
enter_private_namespace root_paths 77 "$build"

install_in_namespace "$build" system
libexec=$(sed -n 's/^CMAKE_INSTALL_LIBEXECDIR:PATH=//p' "$build/CMakeCache.txt")
case $libexec in /*) ;; *) libexec=$prefix/${libexec:-libexec} ;; esac
export QUELLNET_BUILD=$build
export DEVICE_SETTINGS="$build/tools/device-settings/device-settings"
export QUELLNET_WRITER="$libexec/quellnet/quellnet-enforce"
unset DEVICE_PLATFORM_SYSTEM_ROOT DEVICE_PLATFORM_ENFORCE_WRITER
/usr/bin/python3 "$here/test_root_paths.py"
