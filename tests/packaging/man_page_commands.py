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


def help_commands(program):
    text = subprocess.run([program, "--help"], check=True, capture_output=True, text=True).stdout
    commands = []
    for line in text.splitlines():
        match = re.match(r"^  (\S.*?)(?:\s{2,}\S.*)?$", line)
        if match:
            commands.append(match.group(1))
    return commands


def manual_tags(path):
    """The tags of the COMMANDS section, as a reader sees them."""
    with open(path, encoding="utf-8") as page:
        lines = page.read().splitlines()
    tags, in_section = [], False
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            in_section = line.split(None, 1)[1:] == ["COMMANDS"]
        elif in_section and line == ".TP" and i + 1 < len(lines):
            tags.append(rendered(lines[i + 1]))
    return tags


def rendered(line):
    """A font macro line as printed: .B and .I join their words with spaces, the alternating
    macros (.BR, .BI, ...) join theirs with none."""
    macro, _, rest = line.partition(" ")
    words = shlex.split(rest.replace("\\-", "-"))
    joined = "".join(words) if len(macro) == 3 else " ".join(words)
    return " ".join(joined.split())


def main():
    program, page = sys.argv[1:3]
    commands = help_commands(program)
    tags = manual_tags(page)
    if not commands or not tags:
        print(f"found {len(commands)} commands in --help and {len(tags)} in {page}")
        return 1
    missing = [c for c in commands if not any(t == c or t.startswith(c + ",") for t in tags)]
    for command in missing:
        print(f"{page} does not describe \"{command}\" (its COMMANDS section has: {tags})")
    extra = [t for t in tags if not any(t == c or t.startswith(c + ",") for c in commands)]
    for tag in extra:
        print(f"note: {page} describes \"{tag}\", which --help does not list")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
