#!/usr/bin/env bash
# clang-tidy with the checks in .clang-tidy over the app, the platform and the tools, using the
# compile commands of a configured build (default: build). The libraries are unity builds, so
# each library is checked as the few unity files that hold its sources: Qt's headers are parsed
# a handful of times instead of once per source. Generated code (moc, QML caches, type
# registrations) is compiled in but never reported. Tests and benchmarks are left out to keep
# the stage short; `--all` takes them too. Two jobs, as on CI; prints the seconds it took.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
scope=app
for arg in "$@"; do
  case "$arg" in
    --all) scope=all ;;
    *) build="$arg" ;;
  esac
done
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy: no $build/compile_commands.json; configure first (cmake --preset default)" >&2
  exit 2
fi
root=$(pwd)
ours="^$root/(Quellnet|platform|tools|translations|tests|bench|fuzz)/"
start=$SECONDS
python3 - "$build/compile_commands.json" "$root" "$scope" <<'PY' >"$build/tidy-files"
import json, re, sys
commands, root, scope = sys.argv[1], sys.argv[2], sys.argv[3]
folders = "Quellnet|platform|tools|translations" + ("|tests|bench" if scope == "all" else "")
source = re.compile(rf"^{re.escape(root)}/({folders})/.*\.(c|cpp)$")
# A unity file of one of our targets; the QML plugin and cache targets hold generated code only.
unity = re.compile(rf"^{re.escape(root)}/[^/]+/({folders})/.*/CMakeFiles/"
                   r"(?!quellnet_qmlplugin|quellnet_qml_qmlcache|quellnet_settingswindowplugin|quellnet_settingswindow_qmlcache)[^/]+\.dir/Unity/unity_\d+_cxx\.cxx$")
files = sorted({e["file"] for e in json.load(open(commands))
                if source.match(e["file"]) or unity.match(e["file"])})
print("\n".join(files))
PY
status=0
tr '\n' '\0' <"$build/tidy-files" |
  xargs -0 -r -n1 -P2 clang-tidy --quiet -p "$build" --header-filter="$ours" \
    >"$build/clang-tidy.log" 2>&1 || status=$?
grep -E '(warning|error):' "$build/clang-tidy.log" | sort -u || true
echo "tidy: $(wc -l <"$build/tidy-files") files in $((SECONDS - start)) s, full log in $build/clang-tidy.log"
exit "$status"
