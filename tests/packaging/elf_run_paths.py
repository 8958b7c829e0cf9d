#!/usr/bin/env python3
"""No program or library of the build, nor of an install of it, carries a run path entry that
the dynamic loader would read relative to where it is started (an empty entry is the current
folder): only absolute folders and $ORIGIN. Usage: BUILD_DIR. The install goes into a temporary
DESTDIR; nothing outside it is touched, and the build's install_manifest.txt is left as it was."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

BUILD = sys.argv.pop(1)
ALLOWED = re.compile(r"/|\$(ORIGIN|\{ORIGIN\})(/|$)")


def run_paths(top):
    """How many executables and shared objects are under `top`, and their bad run path entries."""
    count, bad = 0, []
    for folder, _, files in os.walk(top):
        for path in (os.path.join(folder, name) for name in files):
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                head = f.read(18)
            if head[:4] != b"\x7fELF" or int.from_bytes(head[16:18], "little") not in (2, 3):
                continue  # relocatable objects have no run path
            count += 1
            dynamic = subprocess.run(["readelf", "-d", "-W", path], capture_output=True,
                                     text=True, check=True).stdout
            for kind, value in re.findall(r"\((RPATH|RUNPATH)\)\s+Library \w+: \[(.*)\]", dynamic):
                bad += [f"{path}: {kind} [{value}] has the entry {entry!r}"
                        for entry in value.split(":")
                        if not ALLOWED.match(entry)]
    return count, bad


class RunPaths(unittest.TestCase):
    def test_build_tree_and_install(self):
        # The manifest of a real install stays what it was: it lists what may be deleted.
        manifest = os.path.join(BUILD, "install_manifest.txt")
        kept = open(manifest, "rb").read() if os.path.exists(manifest) else None
        try:
            with tempfile.TemporaryDirectory() as destdir:
                subprocess.run(["cmake", "--install", BUILD], check=True, capture_output=True,
                               env=dict(os.environ, DESTDIR=destdir))
                for top in (BUILD, destdir):
                    count, bad = run_paths(top)
                    self.assertTrue(count, f"no program found under {top}")
                    self.assertEqual(bad, [])
        finally:
            if kept is None:
                os.remove(manifest)
            else:
                with open(manifest, "wb") as f:
                    f.write(kept)


if __name__ == "__main__":
    unittest.main(verbosity=1)
