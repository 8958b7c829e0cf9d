#!/usr/bin/env python3
"""Fails when `device-settings --help` names a command that its manual page does not describe.
Usage: man_page_commands.py DEVICE_SETTINGS MANUAL_PAGE

Commands are the help text's indented lines ("  dns enable APP   switch ..."); the manual page
describes one as a tagged paragraph (.TP) of its COMMANDS section whose tag reads the same
("dns enable APP", or "--help, -h, help" for "--help").
"""
import re
import shlex
import subprocess
import sys


def rendered(line):
    """A font macro line as printed: .B and .I join their words with spaces, the alternating
    macros (.BR, .BI, ...) join theirs with none."""
    macro, _, rest = line.partition(" ")
    words = shlex.split(rest.replace("\\-", "-"))
    return " ".join(("".join(words) if len(macro) == 3 else " ".join(words)).split())


def main():
    program, page = sys.argv[1:3]
    text = subprocess.run([program, "--help"], check=True, capture_output=True, text=True).stdout
    commands = [m.group(1) for m in (re.match(r"^  (\S.*?)(?:\s{2,}\S.*)?$", line)
                                     for line in text.splitlines()) if m]
    with open(page, encoding="utf-8") as f:
        lines = f.read().splitlines()
    tags, in_section = [], False
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            in_section = line.split(None, 1)[1:] == ["COMMANDS"]
        elif in_section and line == ".TP" and i + 1 < len(lines):
            tags.append(rendered(lines[i + 1]))
    missing = [c for c in commands if not any(t == c or t.startswith(c + ",") for t in tags)]
    for command in missing:
        print(f"{page} does not describe \"{command}\" (its COMMANDS section has: {tags})")
    if not commands or not tags:
        print(f"found {len(commands)} commands in --help and {len(tags)} in {page}")
    return 1 if missing or not commands or not tags else 0


if __name__ == "__main__":
    sys.exit(main())
