#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 30). Any crash, hang or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in build-fuzz/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  work="fuzz/corpus-work/$name"
  mkdir -p "$work"
  echo "--- $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
    "$work" "fuzz/corpus/$name" 2>&1 | tail -n 12
  [ "${PIPESTATUS[0]}" -eq 0 ]
done
