#!/usr/bin/env bash
# The installed hosts module under the real C library: getent, in a private namespace whose /etc
# and system library folder are overlays, with a local DNS server that answers every name. A
# name the resolver would turn into a blocked one (escapes, case, trailing dot, the search list
# and ndots) fails and never reaches the server; other names resolve. Exit 77 without root.
#   getent_namespace.sh BUILD_DIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
# shellcheck source=scripts/private-namespace.sh
. "$here/../../scripts/private-namespace.sh"
enter_private_namespace nss_getent 77 "$(realpath "$1")"

build=$1
libc=$(ldd "$(command -v getent)" | awk '$1 == "libc.so.6" { print $3 }')
libdir=$(dirname "$(readlink -f "$libc")")
if ! overlay_folders /etc "$libdir"; then
    echo "nss_getent: SKIPPED: cannot overlay /etc and $libdir in the private namespace"
    exit 77
fi
work=$QUELLNET_NAMESPACE_SCRATCH
ip link set lo up
install -m 0644 "$build/platform/nss/libnss_quellnet.so.2" "$libdir/libnss_quellnet.so.2"
printf 'passwd: files\ngroup: files\nhosts: quellnet [NOTFOUND=return] files dns\n' \
    >/etc/nsswitch.conf
printf '127.0.0.1 localhost\n' >/etc/hosts
rm -f /etc/resolv.conf
printf 'nameserver 127.0.0.1\nsearch other.test example.net\noptions timeout:1 attempts:1 ndots:2\n' \
    >/etc/resolv.conf

log=$work/dns.log
: >"$log"
coproc responder { exec python3 "$here/../system/dns_test_support.py" "$log"; }
read -r ready <&"${responder[0]}"
[ "$ready" = ready ]
trap 'kill "$responder_PID"' EXIT

printf 'tracker.example.net\nblk.test\n' |
    "$build/platform/nss/quellnet-enforce" write com.example.Getent

failures=0
check() { # EXPECTED NAME...: EXPECTED is blocked or resolves
    local expected=$1 name status
    shift
    for name in "$@"; do
        : >"$log"
        status=0
        getent hosts "$name" >/dev/null || status=$?
        if [ "$expected" = blocked ] &&
            { [ "$status" -ne 2 ] || grep -q 'tracker\|blk\|use-application' "$log"; }; then
            echo "FAIL: $name was not blocked (getent $status, DNS asked: $(tr '\n' ' ' <"$log"))"
            failures=$((failures + 1))
        elif [ "$expected" = resolves ] && [ "$status" -ne 0 ]; then
            echo "FAIL: $name did not resolve (getent $status)"
            failures=$((failures + 1))
        fi
    done
}
check blocked tracker.example.net 'TRACKER.Example.Net.' '\116racker.example.net' \
    'tr\acker.example.net' '\098lk.test' 'x.blk.test' tracker 'a.tracker' 'TR\065CKER' \
    use-application-dns.net
check resolves tracker.example.org notblk.test 'tracker.' 'b.a.tracker'
# Switched off, the same names go out again: the checks above saw the module, not the set-up.
"$build/platform/nss/quellnet-enforce" clear com.example.Getent
check resolves tracker '\098lk.test' use-application-dns.net
[ "$failures" -eq 0 ] && echo "nss_getent: all checks passed"
exit "$failures"
