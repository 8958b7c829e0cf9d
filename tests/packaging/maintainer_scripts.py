#!/usr/bin/env python3
"""libnss-quellnet's maintainer scripts edit nsswitch.conf exactly as `device-settings system
install|uninstall` does, and follow dpkg's life cycle: the entry goes in at the first configure
(also after a remove), stays out on an upgrade after an administrator took it out, comes out at
remove, and purge deletes the enforced list.

Usage: maintainer_scripts.py DEVICE_SETTINGS QUELLNET_ENFORCE_TEST DEBIAN_FOLDER

The scripts run from copies whose fixed paths point into a temporary folder; device-settings
edits the same folder through DEVICE_PLATFORM_SYSTEM_ROOT. Nothing outside it is touched.
"""
import os
import stat
import subprocess
import sys
import tempfile
import unittest

DEVICE_SETTINGS, WRITER, DEBIAN = sys.argv[1:4]
del sys.argv[1:4]

ENTRY = "quellnet [NOTFOUND=return] "
CASES = [  # name, nsswitch.conf, whether an install changes it
    ("debian", "passwd: files\nhosts:          files dns\nnetworks:       files\n", True),
    ("mdns", "hosts: files mdns4_minimal [NOTFOUND=return] dns\n", True),
    ("ubuntu resolved", "hosts:\tfiles resolve [!UNAVAIL=return] dns myhostname\n", True),
    ("no blank after the colon", "hosts:files dns\n", True),
    ("blanks around the key", "  hosts :\tfiles dns # local first\n", True),
    ("two hosts lines", "hosts: files dns\nhosts: files\n", True),
    ("no newline at the end", "# hosts\npasswd: files\nhosts: files dns", True),
    ("carriage returns", "passwd: files\r\nhosts: files dns\r\n", True),
    ("already installed", "hosts: quellnet [NOTFOUND=return] files dns\n", False),
    ("no hosts line", "passwd: files\n# hosts: files dns\n", False),
    ("a hosts line without sources", "hosts:   # nothing\npasswd: files\n", False),
    ("an empty hosts line", "hosts:\npasswd: files\n", False),
]


class MaintainerScripts(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name
        os.makedirs(os.path.join(self.root, "etc"))
        self.conf = os.path.join(self.root, "etc/nsswitch.conf")
        self.scripts = {}
        for name in ("preinst", "postinst", "postrm"):
            with open(os.path.join(DEBIAN, f"libnss-quellnet.{name}"), encoding="utf-8") as f:
                text = f.read()
            for fixed in ("/etc/nsswitch.conf", "/etc/quellnet", "/var/lib/libnss-quellnet"):
                text = text.replace(fixed, self.root + fixed)
            # Any other absolute /etc or /var path would reach this machine's own files.
            for line in text.splitlines():
                code = line.split("#", 1)[0]
                for top in (" /etc/", " /var/", '"/etc/', '"/var/', "=/etc/", "=/var/"):
                    self.assertNotIn(top, code, f"{name} names a path outside the test: {line}")
            path = os.path.join(self.root, name)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text.replace("#DEBHELPER#", ""))
            self.scripts[name] = path

    def tearDown(self):
        self.folder.cleanup()

    def run_script(self, name, *arguments):
        subprocess.run(["sh", "-e", self.scripts[name], *arguments], check=True,
                       capture_output=True)

    def device_settings(self, command):
        environment = dict(os.environ, DEVICE_PLATFORM_SYSTEM_ROOT=self.root,
                           DEVICE_PLATFORM_ENFORCE_WRITER=WRITER, HOME=self.root,
                           XDG_STATE_HOME=os.path.join(self.root, "state"))
        return subprocess.run([DEVICE_SETTINGS, "system", command], env=environment,
                              capture_output=True, text=True)

    def write(self, text):
        with open(self.conf, "wb") as f:
            f.write(text.encode())

    def read(self):
        with open(self.conf, "rb") as f:
            return f.read().decode()

    def test_edits_as_device_settings_does(self):
        for name, original, changes in CASES:
            with self.subTest(name):
                self.write(original)
                self.run_script("preinst", "install")
                self.run_script("postinst", "configure", "")
                by_package = self.read()
                self.assertEqual(by_package != original, changes)

                self.write(original)
                self.device_settings("install")
                self.assertEqual(by_package, self.read(), "postinst and system install differ")

                self.write(by_package)
                self.run_script("postrm", "remove")
                removed_by_package = self.read()
                self.write(by_package)
                self.device_settings("uninstall")
                self.assertEqual(removed_by_package, self.read(),
                                 "postrm and system uninstall differ")
                if changes:
                    self.assertEqual(removed_by_package, original)

    def test_follows_dpkg_life_cycle(self):
        original = CASES[0][1]
        installed = original.replace("hosts:          ", "hosts:          " + ENTRY)
        steps = [  # what dpkg runs, what nsswitch.conf holds before, what after
            ("first install", [("preinst", "install"), ("postinst", "configure", "")],
             original, installed),
            ("upgrade", [("preinst", "upgrade", "1.0.0"), ("postinst", "configure", "1.0.0")],
             installed, installed),
            ("upgrade after the administrator took it out",
             [("preinst", "upgrade", "1.0.0"), ("postinst", "configure", "1.0.0")],
             original, original),
            ("upgrade, then rolled back", [("postrm", "upgrade", "1.0.0")], installed, installed),
            ("remove", [("postrm", "remove")], installed, original),
            ("install again after remove",
             [("preinst", "install", "1.0.0"), ("postinst", "configure", "1.0.0")],
             original, installed),
            ("failed first install", [("preinst", "install"), ("postrm", "abort-install")],
             original, original),
            ("purge", [("postrm", "remove"), ("postrm", "purge")], installed, original),
        ]
        state = os.path.join(self.root, "var/lib/libnss-quellnet")
        for name, calls, before, after in steps:
            with self.subTest(name):
                self.write(before)
                listed = os.path.join(self.root, "etc/quellnet/blocked")
                os.makedirs(os.path.dirname(listed), exist_ok=True)
                open(listed, "w").close()
                for call in calls:
                    self.run_script(*call)
                self.assertEqual(self.read(), after)
                self.assertEqual(os.path.exists(listed), name != "purge")
                self.assertFalse(os.path.exists(state), "state left behind")

    def test_keeps_mode_and_leaves_links_alone(self):
        self.write(CASES[0][1])
        os.chmod(self.conf, 0o640)
        self.run_script("postinst", "configure", "")
        self.assertIn(ENTRY, self.read())
        self.assertEqual(stat.S_IMODE(os.stat(self.conf).st_mode), 0o640)

        target = os.path.join(self.root, "etc/nsswitch.target")
        os.replace(self.conf, target)
        os.symlink(target, self.conf)
        with open(target, "rb") as f:
            before = f.read()
        for call in (("postinst", "configure", ""), ("postrm", "remove")):
            self.run_script(*call)
            self.assertTrue(os.path.islink(self.conf))
            with open(target, "rb") as f:
                self.assertEqual(f.read(), before)


if __name__ == "__main__":
    unittest.main(verbosity=1)
