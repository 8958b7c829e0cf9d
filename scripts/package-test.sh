#!/usr/bin/env bash
# Installs the two Debian packages on a throwaway copy of this machine and checks what they
# promise: apt installs them offline; the hosts line of /etc/nsswitch.conf gains the module at
# the first configure only; a listed name fails to resolve while every other name resolves; an
# upgrade keeps an administrator's choice; removing the app alone leaves nothing blocked; remove
# takes the entry out (never one the administrator wrote), and purge leaves
# /etc/nsswitch.conf byte for byte as it was and /etc/quellnet gone.
#
# Runs as root in a private mount and network namespace (unshare -m -n) with overlays over
# /etc, /usr and /var (dpkg's database lives in /var) and fresh /run and /tmp, so this machine's
# own files, services and network are never touched. Without root or namespaces it says so and
# skips.
#
#   bash scripts/package-test.sh [PACKAGE_FOLDER]     (default: build-packages)
set -euo pipefail
cd "$(dirname "$0")/.."

skip() {
  echo "package-test: SKIPPED: $*"
  exit 0
}

. scripts/private-namespace.sh
if [ -z "${QUELLNET_NAMESPACE_SCRATCH:-}" ]; then
  dir=$(realpath -m "${1:-build-packages}")
  for package in libnss-quellnet quellnet; do
    compgen -G "$dir/${package}_*.deb" >/dev/null || {
      echo "package-test: no ${package}_*.deb in $dir; run scripts/build-packages.sh" >&2
      exit 1
    }
  done
  enter_private_namespace package-test 0 "$dir"
fi

# ---- From here on, inside the namespace. ----
dir=$1
overlay_folders /etc /usr /var || skip "cannot mount overlays over /etc, /usr and /var"
# Nothing reaches a service of this machine through its sockets, and nothing is left in /tmp.
# The packages are copied first: they may themselves be under /tmp.
mount -t tmpfs -o mode=0755 run /run
mkdir -m 1777 /run/lock
work=/run/package-test
mkdir -p "$work/debs"
cp "$dir"/libnss-quellnet_*.deb "$dir"/quellnet_*.deb "$work/debs/"
chmod -R a+rX "$work"
mount -t tmpfs -o mode=1777 tmp /tmp
debs=("$work"/debs/*.deb)
export DEBIAN_FRONTEND=noninteractive
# Rebuilding the manual page index at every step is most of dpkg's time and tests nothing here.
echo "man-db man-db/auto-update boolean false" | debconf-set-selections

passed=0
failed=0
pass() {
  passed=$((passed + 1))
  echo "ok: $*"
}
fail() {
  failed=$((failed + 1))
  echo "FAILED: $*"
}
check() { # check DESCRIPTION COMMAND...
  local what=$1 started=$SECONDS
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
  [ $((SECONDS - started)) -lt 2 ] || echo "   ($((SECONDS - started))s)"
}
quiet() { "$@" >"$work/last.log" 2>&1 || { cat "$work/last.log"; return 1; }; [ -z "${PACKAGE_TEST_VERBOSE:-}" ] || cat "$work/last.log"; }
resolves() { getent hosts "$1" >/dev/null; }
# Exactly as a name that does not exist: getent's "not found".
blocked() {
  local status=0
  getent hosts "$1" >/dev/null || status=$?
  [ "$status" -eq 2 ]
}
same_file() { cmp -s "$1" "$2" || { diff -u "$1" "$2" || true; return 1; }; }

conf=/etc/nsswitch.conf
# Start from a machine without Quellnet's system part, in the overlay only, whatever this one
# has installed (scripts/run.sh installs it from the build folder).
dpkg --purge quellnet libnss-quellnet >/dev/null 2>&1 || true
sed -i -E 's/^([ \t]*hosts[ \t]*:[ \t]*)quellnet \[NOTFOUND=return\] /\1/' "$conf"
rm -rf /etc/quellnet
cp -p "$conf" "$work/nsswitch.original"
# The entry the packages promise, made here independently of the maintainer scripts.
sed -E '0,/^hosts:/s/^(hosts:[ \t]*)/\1quellnet [NOTFOUND=return] /' "$conf" \
  >"$work/nsswitch.expected"
grep -m1 '^hosts:' "$conf" | grep -qw quellnet &&
  skip "the hosts line of this machine names quellnet in a way this test does not undo"

echo "== install with apt, offline"
check "apt installs both packages" quiet apt-get install -y --no-install-recommends "${debs[@]}"
check "the hosts line starts with the module, the rest byte for byte" \
  same_file "$work/nsswitch.expected" "$conf"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
for file in /usr/bin/quellnet /usr/bin/device-settings \
  /usr/share/applications/net.quellnet.Quellnet.desktop \
  /usr/share/metainfo/net.quellnet.Quellnet.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/net.quellnet.Quellnet.svg \
  /usr/share/man/man1/quellnet.1.gz /usr/share/man/man1/device-settings.1.gz; do
  check "installed: $file" test -s "$file"
done
check "device-settings runs from the package" quiet device-settings --help
# The app loads its QML from the installed binary alone and draws a first frame (then quits).
check "the installed app starts and draws its window" sh -c \
  'HOME=/tmp/app-home QT_QPA_PLATFORM=offscreen QUELLNET_BENCH_FIRST_FRAME=1 \
    timeout 120 quellnet 2>&1 | grep -q "^first-frame "'
check "localhost resolves with the module in place" resolves localhost

# Names only this namespace's /etc/hosts knows, so every answer comes from "files".
printf '192.0.2.10 tracker.example.net a.b.tracker.example.net nottracker.example.net\n' \
  >>/etc/hosts
writer=/usr/libexec/quellnet/quellnet-enforce
policy=/usr/share/polkit-1/actions/org.quellnet.enforce.policy
echo "== blocking through the writer"
check "installed: the NSS module" test -s "/usr/lib/$multiarch/libnss_quellnet.so.2"
check "the dynamic loader finds the module (ldconfig trigger ran)" \
  sh -c 'ldconfig -p | grep -q "libnss_quellnet\.so\.2 "'
check "installed: the writer" test -x "$writer"
check "the polkit action runs the installed writer" \
  grep -q "<annotate key=\"org.freedesktop.policykit.exec.path\">$writer</annotate>" "$policy"
check "tracker.example.net resolves before anything is enforced" resolves tracker.example.net
check "the writer enforces a list" \
  quiet sh -c "printf 'tracker.example.net\n' | $writer write net.quellnet.Quellnet"
check "a listed name is not found" blocked tracker.example.net
check "a name under a listed name is not found" blocked a.b.tracker.example.net
check "a look-alike name resolves" resolves nottracker.example.net
check "localhost resolves" resolves localhost
check "the writer clears the list" quiet "$writer" clear --any
check "the name resolves again" resolves tracker.example.net

echo "== blocking through device-settings dns enable of a stored dead-end configuration"
home=/tmp/home
store=$home/.local/state/device-platform/NetworkExtension/dns
mkdir -p "$store"
cat >"$store/net.quellnet.Quellnet.json" <<'JSON'
{
    "format": 1,
    "identifier": "net.quellnet.Quellnet",
    "displayName": "Quellnet",
    "enabled": false,
    "settings": {
        "protocol": "HTTPS",
        "servers": ["0.0.0.0"],
        "serverURL": "https://dns.example.com/dns-query",
        "matchDomains": ["tracker.example.net"]
    },
    "onDemandRules": []
}
JSON
as_user() { env HOME="$home" XDG_STATE_HOME="$home/.local/state" "$@"; }
check "system status: installed" sh -c 'device-settings system status | grep -q "^System part: installed"'
check "dns enable Quellnet" quiet as_user device-settings dns enable Quellnet
check "a saved name is not found" blocked tracker.example.net
check "a name under it is not found" blocked a.b.tracker.example.net
check "a look-alike name resolves" resolves nottracker.example.net
check "dns check names the entry that blocks" \
  sh -c 'device-settings dns check a.b.tracker.example.net |
    grep -q "is blocked on this computer by the entry \"tracker\.example\.net\""'
check "dns disable Quellnet" quiet as_user device-settings dns disable Quellnet
check "the name resolves again" resolves tracker.example.net

echo "== removing the app alone"
check "dns enable Quellnet again" quiet as_user device-settings dns enable Quellnet
check "the saved name is not found" blocked tracker.example.net
# With the app and device-settings gone nothing could switch it off: the list goes with them.
check "apt removes quellnet, keeping libnss-quellnet" quiet apt-get remove -y quellnet
check "the name resolves with only libnss-quellnet left" resolves tracker.example.net
check "no list is left in force" test ! -e /etc/quellnet/blocked
check "apt installs quellnet again" quiet apt-get install -y --no-install-recommends "${debs[@]}"

echo "== upgrade"
cp -p "$conf" "$work/nsswitch.installed"
cp "$work/nsswitch.original" "$conf"
check "an upgrade after the administrator took the entry out succeeds" quiet dpkg -i "${debs[@]}"
check "an upgrade keeps the administrator's choice" same_file "$work/nsswitch.original" "$conf"
cp "$work/nsswitch.installed" "$conf"

echo "== remove, reinstall, purge"
# A list in force, which the app's removal must clear.
printf 'tracker.example.net\n' | "$writer" write net.quellnet.Quellnet
check "apt removes both packages" quiet apt-get remove -y quellnet libnss-quellnet
check "remove takes the entry out byte for byte" same_file "$work/nsswitch.original" "$conf"
check "remove clears the list in force" test ! -e /etc/quellnet/blocked
check "remove keeps /etc/quellnet until purge" test -d /etc/quellnet
check "apt installs both packages again" \
  quiet apt-get install -y --no-install-recommends "${debs[@]}"
check "installing again after remove puts the entry back" \
  same_file "$work/nsswitch.expected" "$conf"
check "apt purges both packages" quiet apt-get purge -y quellnet libnss-quellnet
check "purge leaves /etc/nsswitch.conf byte for byte as before" \
  same_file "$work/nsswitch.original" "$conf"
check "purge deletes /etc/quellnet" test ! -e /etc/quellnet
check "purge leaves no state behind" test ! -e /var/lib/libnss-quellnet
check "dpkg knows neither package any more" \
  sh -c '! dpkg-query -W -f="\${db:Status-Abbrev}\n" quellnet libnss-quellnet 2>/dev/null | grep -q "^[a-z]i"'

echo "== an entry the administrator wrote"
cp "$work/nsswitch.expected" "$conf"
check "apt installs both packages over it" \
  quiet apt-get install -y --no-install-recommends "${debs[@]}"
check "apt purges both packages" quiet apt-get purge -y quellnet libnss-quellnet
check "purge leaves the administrator's entry" same_file "$work/nsswitch.expected" "$conf"
cp "$work/nsswitch.original" "$conf"

echo "package-test: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
