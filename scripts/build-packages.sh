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

(cd "$src" &&
  DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -us -uc -b -j"$(nproc)")

rm -rf "$out"
mkdir -p "$out"
find "$work" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.ddeb' -o -name '*.changes' \
  -o -name '*.buildinfo' \) -exec mv -t "$out" {} +
echo "Packages in $out:"
ls -1 "$out"
