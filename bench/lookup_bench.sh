#!/usr/bin/env bash
# What the hosts module costs a getaddrinfo() call, in one run and one private mount and
# network namespace: /etc and the system library folder are overlaid there (on a tmpfs) so the
# bench can install libnss_quellnet.so.2 where glibc looks for it, write its own nsswitch.conf
# and hosts, and let the real writer make /etc/quellnet/blocked; the host's own /etc and /usr
# are never touched. Needs root; prints a skip message otherwise.
#
#   bash bench/lookup_bench.sh [BUILD_DIR]      (default: build, the default preset)
set -euo pipefail

rounds=5   # alternating rounds; each figure is the median of the rounds' medians
count=5000 # look-ups per round
fresh=25   # fresh processes per first-look-up figure

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }

cd "$(dirname "$0")/.."
. scripts/private-namespace.sh
if [ -z "${QUELLNET_NAMESPACE_SCRATCH:-}" ]; then
    build=$(realpath "${1:-build}")
    for f in bench/lookup_bench platform/nss/libnss_quellnet.so.2 platform/nss/quellnet-enforce; do
        [ -e "$build/$f" ] || { echo "lookup_bench: $build/$f missing: build first" >&2; exit 1; }
    done
    enter_private_namespace lookup_bench 0 "$build"
fi

# --- inside the private namespace ---
build=$1
bench=$build/bench/lookup_bench
libc=$(ldd "$bench" | awk '$1 == "libc.so.6" { print $3 }')
libdir=$(dirname "$(readlink -f "$libc")")
if ! overlay_folders /etc "$libdir"; then
    echo "lookup_bench: SKIPPED: cannot overlay /etc and $libdir in the private namespace"
    exit 0
fi
# Where glibc's NSS looks for libnss_<service>.so.2 (after its cache, which we leave alone).
install -m 0644 "$build/platform/nss/libnss_quellnet.so.2" "$libdir/libnss_quellnet.so.2"

cat >/etc/hosts <<'EOF'
127.0.0.1	localhost
::1	localhost ip6-localhost ip6-loopback
192.0.2.10	host.bench.example
EOF
without_module='hosts: files'
with_module='hosts: quellnet [NOTFOUND=return] files'
use() { printf 'passwd: files\ngroup: files\n%s\n' "$1" >/etc/nsswitch.conf; }

# The writer itself makes the lists, root-owned 0644 in a 0755 folder, as on a real system.
write_list() {
    { echo blocked.example; seq -f 'n%g.bench-list.example' 1 $(($1 - 1)); } |
        "$build/platform/nss/quellnet-enforce" write com.example.Bench
}

loop() { "$bench" loop "$1" "$count" "$2"; }
first() { for _ in $(seq "$fresh"); do "$bench" first "$1" "$2"; done | median; }

write_list 200
use "$with_module"
loop ads.blocked.example noname >/dev/null # the set-up blocks what it should

declare -A runs
for _ in $(seq "$rounds"); do
    use "$without_module"
    runs[plain]+="$(loop host.bench.example found) "
    use "$with_module"
    runs[module]+="$(loop host.bench.example found) "
    runs[blocked]+="$(loop ads.blocked.example noname) "
done
use "$without_module"
first_plain=$(first host.bench.example found)
use "$with_module"
first_200=$(first host.bench.example found)
write_list 10000
first_10000=$(first host.bench.example found)
for _ in $(seq "$rounds"); do
    runs[module10000]+="$(loop host.bench.example found) "
done

figure() { tr ' ' '\n' <<<"${runs[$1]}" | grep . | median; }
plain=$(figure plain)
module=$(figure module)
blocked=$(figure blocked)
module10000=$(figure module10000)
echo "lookup_bench: getaddrinfo(AF_UNSPEC), median ns per look-up ($rounds rounds x $count)"
printf '  %-62s %9s\n' \
    "unblocked name from /etc/hosts, without the module" "$plain" \
    "unblocked name from /etc/hosts, with the module, 200 names" "$module" \
    "unblocked name from /etc/hosts, with the module, 10000 names" "$module10000" \
    "blocked name (under a listed one), 200 names" "$blocked"
echo "  with/without the module: $(ratio "$module" "$plain") (aim: within 1.05x);" \
    "blocked/unblocked without: $(ratio "$blocked" "$plain") (aim: below 1x)"
echo "lookup_bench: first look-up in a fresh process, median ns of $fresh processes"
printf '  %-62s %9s\n' \
    "without the module" "$first_plain" \
    "with the module, 200 names" "$first_200" \
    "with the module, 10000 names" "$first_10000"
