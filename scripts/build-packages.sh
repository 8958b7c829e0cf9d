#!/usr/bin/env bash
# Builds the Debian packages libnss-quellnet and quellnet the Debian way (dpkg-buildpackage
# with the debian/ folder), lean: the tests are neither configured nor run, as CI has already
# run them on the same sources. dpkg-buildpackage writes its results beside the source folder,
# so it builds a copy of the tree placed inside the output folder; the copy's path stays the
# same from run to run, so a compiler cache (CMAKE_CXX_COMPILER_LAUNCHER=ccache) finds its
# entries again.
#
#   bash scripts/build-packages.sh [OUTPUT_FOLDER]     (default: build-packages)
#
# Needs the packaging tools: bash scripts/install-deps.sh --packaging
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(realpath -m "${1:-build-packages}")
version=$(dpkg-parsechangelog -S Version)
src="$out/quellnet-$version"
trap 'rm -rf "$src"' EXIT

mkdir -p "$out"
rm -rf "$src"
rm -f "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo "$out/build.log"
mkdir "$src"
tar --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./.cache \
  --exclude=./fuzz/corpus-work --exclude="./${out#"$PWD"/}" -cf - . | tar -C "$src" -xf -
# The build prints every compiler command; they go to a log, shown only when the build fails.
echo "Building the packages (log: $out/build.log)..."
if ! (cd "$src" && DEB_BUILD_OPTIONS="nocheck noautodbgsym ${DEB_BUILD_OPTIONS:-}" \
  dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$out/build.log" 2>&1; then
  tail -n 80 "$out/build.log"
  echo "build-packages: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
  exit 1
fi
rm -rf "$src"
echo "Packages in $out:"
ls -1 "$out"
