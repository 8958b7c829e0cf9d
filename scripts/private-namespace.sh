# shellcheck shell=bash
# Sourced by the scripts that need a throwaway copy of this machine: the whole-system test, the
# package test and the look-up benchmark. They run as root in a private mount and network
# namespace with overlays over the system folders they change, so the host's files, services
# and network are never touched.

# enter_private_namespace NAME SKIP_STATUS ARGS...
# Runs the calling script again with ARGS inside a new namespace and exits with its status;
# in there the call returns. Where a namespace cannot be made it says why and exits with
# SKIP_STATUS (77 is ctest's "skipped").
enter_private_namespace() {
  local name=$1 skip_status=$2
  shift 2
  [ -n "${QUELLNET_NAMESPACE_SCRATCH:-}" ] && return 0
  local reason=
  if [ "$(id -u)" -ne 0 ]; then
    reason="needs root to make a private namespace with overlays"
  elif ! unshare -m -n true 2>/dev/null; then
    reason="cannot make a private mount and network namespace here"
  fi
  if [ -n "$reason" ]; then
    echo "$name: SKIPPED: $reason"
    exit "$skip_status"
  fi
  # The scratch folder is made out here so that it can be removed once the namespace, and the
  # tmpfs mounted on it in there, are gone.
  local scratch status=0
  scratch=$(mktemp -d)
  QUELLNET_NAMESPACE_SCRATCH=$scratch unshare -m -n --propagation private bash "$0" "$@" ||
    status=$?
  rmdir "$scratch"
  exit "$status"
}

# overlay_folders FOLDER...
# Inside the namespace: mounts a tmpfs on the scratch folder and lays a writable overlay over
# each FOLDER, so what is written there goes to the tmpfs and is gone with the namespace.
overlay_folders() {
  local scratch=$QUELLNET_NAMESPACE_SCRATCH folder key
  mountpoint -q "$scratch" || mount -t tmpfs -o mode=0755 scratch "$scratch"
  for folder in "$@"; do
    key=$(echo "$folder" | tr / _)
    mkdir "$scratch/upper$key" "$scratch/work$key"
    mount -t overlay overlay \
      -o "lowerdir=$folder,upperdir=$scratch/upper$key,workdir=$scratch/work$key" "$folder" ||
      return 1
  done
}

# install_in_namespace BUILD [COMPONENT]
# Inside the namespace: overlays /etc, /usr and /var, brings loopback up with 127.0.0.1 (a
# server the test starts) as the only DNS server, installs BUILD (only COMPONENT if given) and
# sets `work` (the scratch folder) and `prefix` (where it went).
install_in_namespace() {
  overlay_folders /etc /usr /var
  work=$QUELLNET_NAMESPACE_SCRATCH
  ip link set lo up
  rm -f /etc/resolv.conf
  printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >/etc/resolv.conf
  cmake --install "$1" ${2:+--component "$2"} >"$work/install.log"
  # shellcheck disable=SC2034 # read by the script that sourced this
  prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$1/CMakeCache.txt")
}

# require_tools NAME TOOL...
# Exits 77 (ctest: skipped), naming what is missing, unless every TOOL is on PATH or in /usr/sbin.
require_tools() {
  local name=$1 tool missing=
  shift
  for tool in "$@"; do
    PATH=$PATH:/usr/sbin command -v "$tool" >/dev/null || missing="$missing $tool"
  done
  if [ -n "$missing" ]; then
    echo "$name: SKIPPED: missing$missing; run scripts/install-deps.sh as root"
    exit 77
  fi
}
