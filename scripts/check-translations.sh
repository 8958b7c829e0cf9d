#!/usr/bin/env bash
# Fails when a shipped language misses a text: lupdate reads the sources into a copy of each
# catalogue in translations/, and any message there that is new (unfinished), gone from the
# sources (vanished, obsolete), empty, or whose placeholders differ from its source fails the
# check. The polkit policy, desktop entry and metainfo must carry every shipped language too.
#   --update   bring translations/ up to date with the sources instead (new texts unfinished)
set -euo pipefail
cd "$(dirname "$0")/.."

lupdate=/usr/lib/qt6/bin/lupdate
languages=(de fr)
# Every folder whose texts a user reads; tests and benchmarks are not shipped.
sources=(Quellnet platform tools)
# Locations would change with every edit of a source file and make merges conflict.
options=(-locations none -no-ui-lines)

# lupdate's C++ reader trips over std::hash specialisations (no texts in them): not a fault.
lupdate_quietly() {
  local status=0 messages
  messages=$("$lupdate" -silent "${options[@]}" "$@" 2>&1) || status=$?
  grep -v 'Ignoring definition of undeclared qualified class' <<<"$messages" >&2 || true
  return "$status"
}

run_lupdate() { # folder [--no-obsolete]
  local dir=$1
  shift
  local ts=()
  for language in "${languages[@]}"; do ts+=("$dir/quellnet_$language.ts"); done
  lupdate_quietly "$@" "${sources[@]}" -ts "${ts[@]}"
  # English is the source language: its catalogue holds only plural forms.
  lupdate_quietly "$@" -pluralonly "${sources[@]}" -ts "$dir/quellnet_en.ts"
}

if [ "${1:-}" = --update ]; then
  run_lupdate translations -no-obsolete
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp translations/quellnet_*.ts "$work/"
run_lupdate "$work"

python3 - "$work" "${languages[@]}" <<'PY'
import re
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

work, languages = Path(sys.argv[1]), sys.argv[2:]
faults = []
placeholder = re.compile(r"%(?:\d+|n)")


def edges(text):
    """What command output is laid out by: indentation and line ends."""
    return len(text) - len(text.lstrip(" ")), len(text) - len(text.rstrip("\n"))


def check_catalogue(path, plural_only):
    root = ET.parse(path).getroot()
    for context in root.iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source")
            where = f"{path.name}: {name}: {source!r}"
            translation = message.find("translation")
            kind = translation.get("type") if translation is not None else "missing"
            if kind in ("unfinished", "vanished", "obsolete", "missing"):
                state = {"unfinished": "not translated",
                         "missing": "not translated"}.get(kind, "no longer in the sources")
                faults.append(f"{where}: {state}")
                continue
            forms = ([form.text or "" for form in translation.iter("numerusform")]
                     if message.get("numerus") == "yes" else [translation.text or ""])
            if plural_only and message.get("numerus") != "yes":
                faults.append(f"{where}: only plural forms belong in the English catalogue")
            for form in forms:
                if not form.strip():
                    faults.append(f"{where}: empty translation")
                elif sorted(set(placeholder.findall(form))) != sorted(
                        set(placeholder.findall(source))):
                    faults.append(f"{where}: placeholders differ in {form!r}")
                elif edges(form) != edges(source):
                    faults.append(f"{where}: leading spaces or line ends differ in {form!r}")


for language in languages:
    check_catalogue(work / f"quellnet_{language}.ts", plural_only=False)
check_catalogue(work / "quellnet_en.ts", plural_only=True)

# The texts other programs show for us carry their translations beside the English ones.
XML_LANG = "{http://www.w3.org/XML/1998/namespace}lang"
tracked = subprocess.run(["git", "ls-files", "*.policy.in", "*.policy", "*.desktop",
                          "*.desktop.in", "*.metainfo.xml", "*.metainfo.xml.in"],
                         capture_output=True, text=True, check=True).stdout.split()
for file in tracked:
    path = Path(file)
    if ".desktop" in path.name:
        keys, group = {}, None
        for line in path.read_text(encoding="utf-8").splitlines():
            if line.startswith("["):
                group = line
            match = re.match(r"(Name|GenericName|Comment|Keywords)(\[[^]]+\])?=", line)
            if match and group == "[Desktop Entry]":
                keys.setdefault(match[1], set()).add((match[2] or "")[1:-1])
        for key, found in keys.items():
            for language in languages:
                if language not in found:
                    faults.append(f"{file}: {key}[{language}] missing")
        continue
    root = ET.parse(path).getroot()
    elements = ["description", "message"] if "policy" in path.name else [
        "name", "summary", "p", "li", "caption", "keyword"]
    for parent in root.iter():
        if parent.tag in ("developer", "developer_name"):
            continue  # a name, the same in every language
        for tag in elements:
            children = parent.findall(tag)
            english = [c for c in children if c.get(XML_LANG) is None]
            for language in languages:
                translated = [c for c in children if c.get(XML_LANG) == language]
                if len(translated) != len(english):
                    faults.append(f"{file}: <{parent.tag}> has {len(english)} <{tag}> in "
                                  f"English but {len(translated)} in {language}")

for fault in faults:
    print(fault, file=sys.stderr)
if faults:
    print(f"check-translations: {len(faults)} fault(s); after adding new texts to the sources, "
          "run scripts/check-translations.sh --update and translate what it marks unfinished",
          file=sys.stderr)
    sys.exit(1)
PY
