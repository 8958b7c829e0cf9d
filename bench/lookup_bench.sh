#!/usr/bin/env bash
# What the hosts module costs a getaddrinfo() call, in one run and one private mount and
# network namespace: /etc and the system library folder are overlaid there (on a tmpfs) so the
# bench can install libnss_quellnet.so.2 where glibc looks for it, write its own nsswitch.conf,
# hosts and resolv.conf, run a DNS server on loopback and let the real writer make
# /etc/quellnet/blocked; the host's own /etc and /usr are never touched. Needs root; prints a
# skip message otherwise.
#
# The two sides of every figure run alternately, one run each in turn, so that a machine that
# gets slower or faster during the bench shifts both alike; each ratio compares the medians of
# runs that were interleaved so.
#
#   bash bench/lookup_bench.sh [BUILD_DIR]      (default: build, the default preset)
set -euo pipefail

pairs=9      # alternated runs of each side per figure (at least 9)
count=5000   # look-ups per run answered from /etc/hosts, the median of which is the run's figure
dns_count=300 # look-ups per run that go on to the DNS server
fresh=25     # alternated fresh processes per side for the first-look-up figures
sizes="10 1000 10000"

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
# Where glibc's NSS looks for libnss_<service>.so.2, found through the linker's cache (in the
# overlay) as after a package install.
install -m 0644 "$build/platform/nss/libnss_quellnet.so.2" "$libdir/libnss_quellnet.so.2"
ldconfig

cat >/etc/hosts <<'EOF'
127.0.0.1	localhost
::1	localhost ip6-localhost ip6-loopback
192.0.2.10	host.bench.example
EOF
rm -f /etc/resolv.conf
printf 'nameserver 127.0.0.1\nsearch bench.example\noptions timeout:1 attempts:2\n' >/etc/resolv.conf
ip link set lo up
coproc responder { exec python3 tests/system/dns_test_support.py /dev/null; }
read -r ready <&"${responder[0]}"
[ "$ready" = ready ]
trap 'kill "$responder_PID"' EXIT

without_module='hosts: files dns'
with_module='hosts: quellnet [NOTFOUND=return] files dns'
use() { printf 'passwd: files\ngroup: files\n%s\n' "$1" >/etc/nsswitch.conf; }

# The writer itself makes the lists, root-owned 0644 in a 0755 folder, as on a real system.
# Names begin with every letter, as real ones do, so the look-ups below search as many names
# as they would in a real list of that size.
write_list() {
    { echo blocked.example; awk -v n="$1" 'BEGIN { for (i = 1; i < n; ++i)
        printf "%s%d.bench-list.example\n", substr("abcdefghijklmnopqrstuvwxyz", i * 7 % 26 + 1, 1), i }'; } |
        "$build/platform/nss/quellnet-enforce" write com.example.Bench
}

# Each figure's runs are collected in runs[KEY] as "ns ns ns ..."
declare -A runs
sample() { runs[$1]+="$2 "; }
loop() { "$bench" loop "$1" "$2" "$3"; }
first() { "$bench" first "$1" "$2"; }

stats() { # KEY -> "min median max"
    tr ' ' '\n' <<<"${runs[$1]}" | grep . | sort -n |
        awk '{ v[NR] = $1 } END { print v[1], v[int((NR + 1) / 2)], v[NR] }'
}
median() { stats "$1" | awk '{ print $2 }'; }
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN { printf "%.2fx", a / b }'; }
row() { # LABEL KEY [RATIO GOAL]
    read -r lo mid hi <<<"$(stats "$2")"
    printf '  %-50s %8s %8s %8s  %6s  %s\n' "$1" "$lo" "$mid" "$hi" "${3:-}" "${4:-}"
}

write_list 10
use "$with_module"
loop ads.blocked.example 10 noname >/dev/null # the set-up blocks what it should
loop host.bench.example 10 found >/dev/null
loop name.dns.example 10 found >/dev/null     # and the DNS server answers

for size in $sizes; do
    write_list "$size"
    for pair in $(seq "$pairs"); do
        # Which side goes first alternates too.
        for side in $( ((pair % 2)) && echo "plain module" || echo "module plain"); do
            if [ "$side" = plain ]; then use "$without_module"; else use "$with_module"; fi
            sample "hosts-$side-$size" "$(loop host.bench.example "$count" found)"
            sample "dns-$side-$size" "$(loop name.dns.example "$dns_count" found)"
            [ "$side" = module ] &&
                sample "blocked-$size" "$(loop ads.blocked.example "$count" noname)"
        done
    done
    for pair in $(seq "$fresh"); do
        use "$without_module"
        sample "first-plain-$size" "$(first host.bench.example found)"
        use "$with_module"
        sample "first-module-$size" "$(first host.bench.example found)"
    done
done

echo "lookup_bench: getaddrinfo(AF_UNSPEC) in ns; each run's figure is the median of its" \
    "look-ups; $pairs runs per side, alternated"
printf '  %-50s %8s %8s %8s  %6s  %s\n' "" min median max ratio goal
for size in $sizes; do
    row "/etc/hosts name, without the module ($size)" "hosts-plain-$size"
    row "/etc/hosts name, with the module, $size names" "hosts-module-$size" \
        "$(ratio "hosts-module-$size" "hosts-plain-$size")" "within 1.05x"
done
for size in $sizes; do
    row "blocked name, $size names (vs hosts name without)" "blocked-$size" \
        "$(ratio "blocked-$size" "hosts-plain-$size")" "below 0.5x"
done
for size in $sizes; do
    row "DNS name, without the module ($size)" "dns-plain-$size"
    row "DNS name, with the module, $size names" "dns-module-$size" \
        "$(ratio "dns-module-$size" "dns-plain-$size")" "(none; for comparison)"
done
echo "lookup_bench: first look-up in a fresh process in ns, $fresh processes per side, alternated"
for size in $sizes; do
    row "without the module ($size)" "first-plain-$size"
    row "with the module, $size names" "first-module-$size" \
        "$(ratio "first-module-$size" "first-plain-$size")" "within 3x (10000 names)"
done
