#!/usr/bin/env bash
# Builds the hosts module (test build) and its threads stress test with ThreadSanitizer in a
# temporary folder, and runs the threads test: readers look names up while the list is
# replaced by rename. Threads only: fork under ThreadSanitizer is unreliable, so the fork
# stress runs in the plain build (ctest nss_stress_fork).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
flags=(-std=c11 -D_GNU_SOURCE -O1 -g -fno-omit-frame-pointer -fsanitize=thread
       -Wall -Wextra -Wpedantic -Werror -Iplatform/nss)
gcc "${flags[@]}" -fPIC -shared -fvisibility=hidden -DQUELLNET_NSS_TESTING \
    -Wl,--version-script=platform/nss/nss_quellnet_test.map \
    -o "$work/libnss_quellnet_test.so" platform/nss/nss_quellnet.c
gcc "${flags[@]}" -o "$work/nss_stress" tests/nss/nss_stress.c -ldl
# ThreadSanitizer needs the address-space layout it was built for; newer kernels randomise
# more than gcc 12's runtime expects, so run without address randomisation.
TMPDIR="$work" TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    setarch "$(uname -m)" -R "$work/nss_stress" threads "$work/libnss_quellnet_test.so"
