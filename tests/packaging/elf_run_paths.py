#!/usr/bin/env python3
"""No program or library of the build, nor of an install of it, carries a run path entry that
the dynamic loader would read as a folder relative to where it is started: an empty entry means
the current folder. Only absolute folders and $ORIGIN are allowed. Usage: BUILD_DIR.
The install goes into a temporary DESTDIR; nothing outside it is touched, and the build's
install_manifest.txt is left as it was."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

BUILD = sys.argv.pop(1)


def elf_programs(top):
    """Executables and shared objects under `top` (relocatable objects have no run path)."""
    for folder, names, files in os.walk(top):
        for name in files:
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                head = f.read(18)
            if head[:4] == b"\x7fELF" and int.from_bytes(head[16:18], "little") in (2, 3):
                yield path


def bad_run_paths(path):
    dynamic = subprocess.run(["readelf", "-d", "-W", path], capture_output=True, text=True,
                             check=True).stdout
    bad = []
    for kind, value in re.findall(r"\((RPATH|RUNPATH)\)\s+Library \w+: \[(.*)\]", dynamic):
        for entry in value.split(":"):
            if not (entry.startswith("/") or re.match(r"\$(ORIGIN|\{ORIGIN\})(/|$)", entry)):
                bad.append(f"{path}: {kind} [{value}] has the entry {entry!r}")
    return bad


class RunPaths(unittest.TestCase):
    def check(self, top):
        found = list(elf_programs(top))
        self.assertTrue(found, f"no program found under {top}")
        self.assertEqual([b for path in found for b in bad_run_paths(path)], [])

    def test_build_tree(self):
        self.check(BUILD)

    def test_install(self):
        # The manifest of a real install stays what it was: it lists what may be deleted.
        manifest = os.path.join(BUILD, "install_manifest.txt")
        kept = open(manifest, "rb").read() if os.path.exists(manifest) else None
        try:
            with tempfile.TemporaryDirectory() as destdir:
                subprocess.run(["cmake", "--install", BUILD], check=True, capture_output=True,
                               env=dict(os.environ, DESTDIR=destdir))
                self.check(destdir)
        finally:
            if kept is None:
                os.remove(manifest)
            else:
                with open(manifest, "wb") as f:
                    f.write(kept)


if __name__ == "__main__":
    unittest.main(verbosity=1)
