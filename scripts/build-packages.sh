#!/usr/bin/env bash
# Builds the Debian packages libnss-quellnet and quellnet the Debian way (dpkg-buildpackage
# with the debian/ folder), lean: the tests are neither configured nor run, as CI has already
# run them on the same sources. The build works in a copy of the tree in a temporary folder,
# since dpkg-buildpackage writes its results beside the source folder.
#
#   bash scripts/build-packages.sh [OUTPUT_FOLDER]     (default: build-packages)
#
# Needs the packaging tools: bash scripts/install-deps.sh --packaging
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(realpath -m "${1:-build-packages}")
version=$(dpkg-parsechangelog -S Version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

src="$work/quellnet-$version"
mkdir "$src"
tar --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./.cache \
  --exclude=./fuzz/corpus-work -cf - . | tar -C "$src" -xf -

rm -rf "$out"
mkdir -p "$out"
# The build prints every compiler command; they go to a log, shown only when the build fails.
echo "Building the packages (log: $out/build.log)..."
if ! (cd "$src" && DEB_BUILD_OPTIONS="nocheck noautodbgsym ${DEB_BUILD_OPTIONS:-}" \
  dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$out/build.log" 2>&1; then
  tail -n 80 "$out/build.log"
  echo "build-packages: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
  exit 1
fi
find "$work" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.ddeb' -o -name '*.changes' \
  -o -name '*.buildinfo' \) -exec mv -t "$out" {} +
echo "Packages in $out:"
ls -1 "$out"
