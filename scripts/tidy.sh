#!/usr/bin/env bash
# clang-tidy over the project's own C and C++ sources with the checks in .clang-tidy, using the
# compile commands of a configured build (default: build). Generated files (moc, QML caches,
# resources) are left out. Two jobs, as on CI; prints the seconds it took.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy: no $build/compile_commands.json; configure first (cmake --preset default)" >&2
  exit 2
fi
root=$(pwd)
# Only files under our own folders, never the build tree's generated sources.
filter="^$root/(Quellnet|platform|tools|tests|translations|bench)/.*\.(c|cpp)\$"
start=$(date +%s)
status=0
if command -v run-clang-tidy >/dev/null; then
  run-clang-tidy -quiet -p "$build" -j 2 "$filter" >"$build/clang-tidy.log" 2>&1 || status=$?
else
  python3 - "$build/compile_commands.json" "$filter" <<'PY' | xargs -0 -r -n1 -P2 \
    clang-tidy --quiet -p "$build" >"$build/clang-tidy.log" 2>&1 || status=$?
import json, re, sys
pattern = re.compile(sys.argv[2])
files = sorted({e["file"] for e in json.load(open(sys.argv[1])) if pattern.match(e["file"])})
sys.stdout.write("".join(f + "\0" for f in files))
PY
fi
grep -E '(warning|error):' "$build/clang-tidy.log" | sort -u || true
echo "tidy: $(( $(date +%s) - start )) s, full log in $build/clang-tidy.log"
exit "$status"
