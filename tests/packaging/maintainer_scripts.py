#!/usr/bin/env python3
"""libnss-quellnet's maintainer scripts edit nsswitch.conf byte for byte as `device-settings system
install|uninstall` does, and follow dpkg's life cycle: the entry goes in at the first configure
(also after a remove), stays out on an upgrade after an administrator took it out, comes out at
remove, and purge deletes the enforced list. Usage: DEVICE_SETTINGS QUELLNET_ENFORCE_TEST DEBIAN.
The scripts run from copies whose fixed paths point into a temporary folder; device-settings edits
the same folder through DEVICE_PLATFORM_SYSTEM_ROOT. Nothing outside it is touched.
"""
import os
import stat
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

DEVICE_SETTINGS, WRITER, DEBIAN = sys.argv[1:4]
del sys.argv[1:4]

ENTRY = "quellnet [NOTFOUND=return] "
DEBIAN_CONF = "passwd: files\nhosts:          files dns\nnetworks:       files\n"
CONFS = [DEBIAN_CONF, "hosts: files mdns4_minimal [NOTFOUND=return] dns\n", "hosts:files dns\n",
         "  hosts :\tfiles dns # local first\n", "hosts: files dns\nhosts: files\n",
         "# hosts\npasswd: files\nhosts: files dns", "passwd: files\r\nhosts: files dns\r\n",
         "hosts: quellnet [NOTFOUND=return] files dns\n", "passwd: files\n# hosts: files dns\n",
         "hosts:   # nothing\npasswd: files\n", "hosts:\npasswd: files\n"]


class MaintainerScripts(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name
        self.conf = Path(self.root, "etc/nsswitch.conf")
        self.conf.parent.mkdir()
        for name in ("preinst", "postinst", "postrm"):
            text = Path(DEBIAN, f"libnss-quellnet.{name}").read_text(encoding="utf-8")
            for fixed in ("/etc/nsswitch.conf", "/etc/quellnet", "/var/lib/libnss-quellnet"):
                text = text.replace(fixed, self.root + fixed)
            # Any other absolute /etc or /var path would reach this machine's own files.
            for line in text.splitlines():
                for top in (" /etc/", " /var/", '"/etc/', '"/var/', "=/etc/", "=/var/"):
                    self.assertNotIn(top, line.split("#", 1)[0], f"{name}: {line}")
            Path(self.root, name).write_text(text.replace("#DEBHELPER#", ""), encoding="utf-8")

    def tearDown(self):
        self.folder.cleanup()

    def run_script(self, name, *arguments):
        subprocess.run(["sh", "-e", os.path.join(self.root, name), *arguments], check=True,
                       capture_output=True)

    def device_settings(self, command):
        environment = dict(os.environ, DEVICE_PLATFORM_SYSTEM_ROOT=self.root,
                           DEVICE_PLATFORM_ENFORCE_WRITER=WRITER, HOME=self.root,
                           XDG_STATE_HOME=os.path.join(self.root, "state"))
        subprocess.run([DEVICE_SETTINGS, "system", command], env=environment, capture_output=True)

    def edited(self, text, *how):
        """nsswitch.conf after `how` (a device-settings command, or script calls) edits `text`."""
        self.conf.write_bytes(text.encode())
        for call in how:
            self.device_settings(call) if isinstance(call, str) else self.run_script(*call)
        return self.conf.read_bytes().decode()

    def test_edits_as_device_settings_does(self):
        install = [("preinst", "install"), ("postinst", "configure", "")]
        for original in CONFS:
            with self.subTest(original):
                by_package = self.edited(original, *install)
                self.assertEqual(by_package, self.edited(original, "install"))
                removed = self.edited(by_package, ("postrm", "remove"))
                self.assertEqual(removed, self.edited(by_package, "uninstall"))
                if ENTRY not in original:
                    self.assertEqual(removed, original)
        self.assertIn(ENTRY, self.edited(DEBIAN_CONF, *install))

    def test_follows_dpkg_life_cycle(self):
        off, on = DEBIAN_CONF, DEBIAN_CONF.replace("hosts:          ", "hosts:          " + ENTRY)
        upgrade = [("preinst", "upgrade", "1.0.0"), ("postinst", "configure", "1.0.0")]
        steps = [  # what dpkg runs, what nsswitch.conf holds before, what after
            ("upgrade", upgrade, on, on), ("upgrade after admin took it out", upgrade, off, off),
            ("upgrade, then rolled back", [("postrm", "upgrade", "1.0.0")], on, on),
            ("remove", [("postrm", "remove")], on, off),
            ("reinstall", [("preinst", "install", "1"), ("postinst", "configure", "1")], off, on),
            ("failed install", [("preinst", "install"), ("postrm", "abort-install")], off, off),
            ("purge", [("postrm", "remove"), ("postrm", "purge")], on, off)]
        listed = Path(self.root, "etc/quellnet/blocked")
        for name, calls, before, after in steps:
            with self.subTest(name):
                listed.parent.mkdir(exist_ok=True)
                listed.touch()
                self.assertEqual(self.edited(before, *calls), after)
                self.assertEqual(listed.exists(), name != "purge")
                self.assertFalse(Path(self.root, "var/lib/libnss-quellnet").exists(), "state left")

    def test_keeps_mode_and_leaves_links_alone(self):
        self.conf.write_text(DEBIAN_CONF)
        self.conf.chmod(0o640)
        self.run_script("postinst", "configure", "")
        self.assertEqual(stat.S_IMODE(self.conf.stat().st_mode), 0o640)
        target = Path(self.root, "etc/nsswitch.target")
        self.conf.replace(target)
        self.conf.symlink_to(target)
        before = target.read_bytes()
        for call in (("postinst", "configure", ""), ("postrm", "remove")):
            self.run_script(*call)
            self.assertTrue(self.conf.is_symlink())
            self.assertEqual(target.read_bytes(), before)


if __name__ == "__main__":
    unittest.main(verbosity=1)
