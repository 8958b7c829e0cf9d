#!/usr/bin/env python3
"""libnss-quellnet's maintainer scripts and `device-settings system install|uninstall` make the
same edit of nsswitch.conf, byte for byte, because both run the writer's `--nsswitch` mode; they
follow dpkg's life cycle: the entry goes in at the first configure (also after a remove), stays
out on an upgrade after an administrator took it out, comes out at remove, and purge deletes the
enforced list; an entry the administrator wrote is never taken out; one size limit for all.
Usage: DEVICE_SETTINGS QUELLNET_ENFORCE_TEST DEBIAN.
The scripts run from copies whose fixed paths point into a temporary folder (the writer through a
wrapper that passes --root); device-settings edits the same folder through
DEVICE_PLATFORM_SYSTEM_ROOT. Nothing outside it is touched.
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
ADMINS = "hosts: quellnet [NOTFOUND=return] files dns\n"
CONFS = [DEBIAN_CONF, "hosts: files mdns4_minimal [NOTFOUND=return] dns\n", "hosts:files dns\n",
         "  hosts :\tfiles dns # local first\n", "hosts: files dns\nhosts: files\n",
         "# hosts\npasswd: files\nhosts: files dns", "passwd: files\r\nhosts: files dns\r\n",
         ADMINS, "passwd: files\n# hosts: files dns\n", "hosts:   # nothing\npasswd: files\n",
         "hosts:\npasswd: files\n", "hosts: files quellnet dns\n", ""]
INSTALL = [("preinst", "install"), ("postinst", "configure", "")]
REMOVE = [("prerm", "remove"), ("postrm", "remove")]
ON = DEBIAN_CONF.replace("hosts:          ", "hosts:          " + ENTRY)


def upgrade(version):
    return [("preinst", "upgrade", version), ("postinst", "configure", version)]


class MaintainerScripts(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name
        self.conf = Path(self.root, "etc/nsswitch.conf")
        self.conf.parent.mkdir()
        wrapper = Path(self.root, "writer")
        wrapper.write_text(f'#!/bin/sh\nexec "{WRITER}" --root "{self.root}" "$@"\n')
        wrapper.chmod(0o755)
        for name in ("libnss-quellnet.preinst", "libnss-quellnet.postinst",
                     "libnss-quellnet.prerm", "libnss-quellnet.postrm", "quellnet.prerm"):
            text = Path(DEBIAN, name).read_text(encoding="utf-8")
            text = text.replace("/usr/libexec/quellnet/quellnet-enforce", str(wrapper))
            for fixed in ("/etc/nsswitch.conf", "/etc/quellnet", "/var/lib/libnss-quellnet"):
                text = text.replace(fixed, self.root + fixed)
            # Any other absolute /etc, /var or /usr path would reach this machine's own files.
            for line in text.splitlines():
                for top in (" /etc/", " /var/", '"/etc/', '"/var/', "=/etc/", "=/var/", "=/usr/"):
                    self.assertNotIn(top, line.split("#", 1)[0], f"{name}: {line}")
            short = name.replace("libnss-quellnet.", "")
            Path(self.root, short).write_text(text.replace("#DEBHELPER#", ""), encoding="utf-8")

    def tearDown(self):
        self.folder.cleanup()

    def run_script(self, name, *arguments):
        subprocess.run(["sh", "-e", os.path.join(self.root, name), *arguments], check=True,
                       capture_output=True)

    def device_settings(self, command):
        environment = dict(os.environ, DEVICE_PLATFORM_SYSTEM_ROOT=self.root,
                           DEVICE_PLATFORM_ENFORCE_WRITER=WRITER, HOME=self.root,
                           XDG_STATE_HOME=os.path.join(self.root, "state"), LC_ALL="C.UTF-8")
        return subprocess.run([DEVICE_SETTINGS, "system", command], env=environment,
                              capture_output=True, text=True)

    def edited(self, text, *how):
        """nsswitch.conf after `how` (a device-settings command, or script calls) edits `text`."""
        self.conf.write_bytes(text.encode())
        for call in how:
            self.device_settings(call) if isinstance(call, str) else self.run_script(*call)
        return self.conf.read_bytes().decode()

    def test_edits_as_device_settings_does(self):
        for original in CONFS:
            with self.subTest(original):
                by_package = self.edited(original, *INSTALL)
                self.assertEqual(by_package, self.edited(original, "install"))
                self.assertEqual(self.edited(by_package, *REMOVE), original)
                self.edited(original, "install")
                self.assertEqual(self.edited(by_package, "uninstall"), original)

    def test_follows_dpkg_life_cycle(self):
        off, on = DEBIAN_CONF, ON
        self.assertEqual(self.edited(off, *INSTALL), on)
        steps = [  # what dpkg runs, what nsswitch.conf holds before, what after
            ("upgrade", upgrade("1.0.0"), on, on),
            ("upgrade after admin took it out", upgrade("1.0.0"), off, off),
            ("upgrade, then rolled back", [("postrm", "upgrade", "1.0.0")], on, on),
            ("remove", REMOVE, on, off),
            ("reinstall", [("preinst", "install", "1"), ("postinst", "configure", "1")], off, on),
            ("failed remove", [("prerm", "remove"), ("postinst", "abort-remove")], on, on),
            ("failed install", [("preinst", "install"), ("postrm", "abort-install")], off, off),
            ("purge", REMOVE + [("postrm", "purge")], on, off),
            # Quellnet's own package: its upgrade keeps the list in force, its removal clears it.
            ("quellnet upgrade", [("quellnet.prerm", "upgrade", "1.0.0")], on, on),
            ("quellnet remove", [("quellnet.prerm", "remove")], on, on)]
        listed = Path(self.root, "etc/quellnet/blocked")
        for name, calls, before, after in steps:
            with self.subTest(name):
                subprocess.run([WRITER, "--root", self.root, "write", "net.quellnet.Quellnet"],
                               input=b"tracker.example.net\n", check=True)
                self.assertEqual(self.edited(before, *calls), after)
                self.assertEqual(listed.exists(), name not in ("purge", "quellnet remove"))
                self.assertFalse(Path(self.root, "var/lib/libnss-quellnet").exists(), "state left")

    def test_administrators_entry_stays(self):
        self.assertEqual(self.edited(ADMINS, *INSTALL, *REMOVE, ("postrm", "purge")), ADMINS)
        self.assertEqual(self.edited(ADMINS, "install"), ADMINS)
        done = self.device_settings("uninstall")
        self.assertEqual((done.returncode, self.conf.read_text()), (0, ADMINS), done.stderr)
        self.assertIn("before Quellnet was installed", done.stdout)
        # Installed by us, then the administrator's own edit of the rest of the file stays too.
        self.edited(DEBIAN_CONF, *INSTALL)
        self.conf.write_text(self.conf.read_text().replace("networks:", "networks: dns"))
        self.run_script("prerm", "remove")
        self.assertEqual(self.conf.read_text(), DEBIAN_CONF.replace("networks:", "networks: dns"))

    def test_upgrade_from_a_version_without_the_record(self):
        self.assertEqual(self.edited(ON, *upgrade("1.0.0"), *REMOVE), DEBIAN_CONF)
        # From a version that keeps the record, an entry without it is the administrator's.
        self.assertEqual(self.edited(ON, *upgrade("1.1.0"), *REMOVE), ON)

    def test_one_size_limit(self):
        line = "hosts: files dns\n"
        for size, edits in ((1024 * 1024, True), (1024 * 1024 + 1, False)):
            with self.subTest(size):
                original = line + "#" * (size - len(line) - 1) + "\n"
                self.assertEqual(ENTRY in self.edited(original, *INSTALL), edits)
                self.run_script("prerm", "remove")
                self.conf.write_text(original)
                done = self.device_settings("install")
                self.assertEqual((done.returncode == 0, ENTRY in self.conf.read_text()),
                                 (edits, edits))
                self.device_settings("uninstall")

    def test_keeps_mode_and_leaves_links_alone(self):
        self.conf.write_text(DEBIAN_CONF)
        self.conf.chmod(0o640)
        inode = self.conf.stat().st_ino
        self.run_script("postinst", "configure", "")
        self.assertEqual(stat.S_IMODE(self.conf.stat().st_mode), 0o640)
        self.assertNotEqual(self.conf.stat().st_ino, inode, "not replaced by a rename")
        target = Path(self.root, "etc/nsswitch.target")
        self.conf.replace(target)
        self.conf.symlink_to(target)
        before = target.read_bytes()
        for call in (("postinst", "configure", ""), ("prerm", "remove"), "install", "uninstall"):
            self.run_script(*call) if isinstance(call, tuple) else self.device_settings(call)
            self.assertTrue(self.conf.is_symlink())
            self.assertEqual(target.read_bytes(), before)


if __name__ == "__main__":
    unittest.main(verbosity=1)
