"""What root does on behalf of other accounts, with real accounts made in the private namespace
of run_in_namespace.sh: root never creates, writes, renames or chowns anything inside a folder
another account controls, and no account can stall the writer of the enforced list."""

import fcntl
import json
import os
import pwd
import re
import shutil
import subprocess
import time
import unittest

DEVICE_SETTINGS = os.environ["DEVICE_SETTINGS"]
WRITER = os.environ["QUELLNET_WRITER"]
SCRATCH = os.environ["QUELLNET_WORK"]
APP = "net.quellnet.Quellnet"
LIST = "/etc/quellnet/blocked"


def make_account(name):
    home = os.path.join(SCRATCH, "home", name)
    if subprocess.run(["id", name], capture_output=True).returncode != 0:
        os.makedirs(os.path.dirname(home), exist_ok=True)
        subprocess.run(["useradd", "-M", "-d", home, "-s", "/bin/sh", name], check=True)
    account = pwd.getpwnam(name)
    os.makedirs(home, exist_ok=True)
    os.chown(home, account.pw_uid, account.pw_gid)
    os.chmod(home, 0o700)
    return account


def as_account(account):
    """subprocess arguments that run the child as `account` alone."""
    return {"user": account.pw_uid, "group": account.pw_gid, "extra_groups": []}


def store_on(account):
    """A switched-on dead-end configuration in the account's own store, written as the account."""
    folder = os.path.join(account.pw_dir, ".local/state/device-platform/NetworkExtension/dns")
    document = {"format": 1, "identifier": APP, "displayName": "Quellnet", "enabled": True,
                "settings": {"protocol": "HTTPS", "servers": ["0.0.0.0"],
                             "serverURL": "https://dns.example.com/dns-query",
                             "matchDomains": ["tracker.example.net"]},
                "onDemandRules": []}
    subprocess.run(["sh", "-c", 'mkdir -p "$1" && cat >"$1/$2"', "sh", folder, APP + ".json"],
                   input=json.dumps(document).encode(), check=True, **as_account(account))
    return os.path.join(folder, APP + ".json")


def mutations_by_root(log, inside):
    """Lines of an `strace -f -y` log where a process that never became another account changed
    something under `inside`."""
    dropped, found = set(), []
    mutating = re.compile(r"^(\d+) +(\w+)\((.*)")
    for line in log.splitlines():
        match = mutating.match(line)
        if not match:
            continue
        pid, call, rest = match.groups()
        if call in ("setuid", "setresuid", "setreuid") and not rest.startswith("0"):
            dropped.add(pid)
        if pid in dropped or inside not in rest:
            continue
        writes = call.startswith(("open", "creat")) and re.search(r"O_WRONLY|O_RDWR|O_CREAT", rest)
        if writes or re.match(r"(l|f)?ch(own|mod)|fchownat|fchmodat|rename|unlink|mkdir|link|"
                              r"symlink|utime|rmdir|truncate", call):
            found.append(line)
    return found


class UninstallThroughSudo(unittest.TestCase):
    def setUp(self):
        if shutil.which("strace") is None:
            self.skipTest("strace is not installed")
        self.alice = make_account("alice")
        self.root_home = os.path.join(SCRATCH, "root-home")
        os.makedirs(self.root_home, exist_ok=True)
        # As `pkexec device-settings` runs it: root, with the asking account in PKEXEC_UID.
        done = subprocess.run([DEVICE_SETTINGS, "system", "install"], capture_output=True,
                              text=True, env=dict(os.environ, HOME=self.root_home,
                                                  PKEXEC_UID=str(self.alice.pw_uid)))
        self.assertEqual(done.returncode, 0, done.stderr)

    def traced(self, *command, **environment):
        """`device-settings COMMAND` as root under strace, and what root changed in alice's
        folder."""
        log = os.path.join(SCRATCH, "strace.log")
        done = subprocess.run(["strace", "-f", "-qq", "-y", "-s", "256", "-o", log, "-e",
                               "trace=%file,%desc,%creds", DEVICE_SETTINGS, *command],
                              env={"PATH": os.environ["PATH"], "LC_ALL": "C.UTF-8", **environment},
                              capture_output=True, text=True, timeout=120)
        with open(log) as f:
            return done, mutations_by_root(f.read(), self.alice.pw_dir)

    def check_uninstall(self, home):
        stored = store_on(self.alice)
        subprocess.run([WRITER, "write", APP], input=b"tracker.example.net\n", check=True,
                       env={"PKEXEC_UID": str(self.alice.pw_uid)})
        # `sudo device-settings system uninstall` by alice
        done, changed = self.traced("system", "uninstall", HOME=home, SUDO_USER="alice",
                                    SUDO_UID=str(self.alice.pw_uid))
        self.assertEqual((done.returncode, changed), (0, []), done.stderr)
        with open(stored) as f:
            self.assertFalse(json.load(f)["enabled"])
        self.assertFalse(os.path.exists(LIST))
        for folder, names, files in os.walk(self.alice.pw_dir):
            for name in [folder] + [os.path.join(folder, n) for n in names + files]:
                self.assertEqual(os.lstat(name).st_uid, self.alice.pw_uid, name)

    def test_account_files_are_changed_as_the_account(self):
        # With sudo -E keeping alice's HOME, root's "own" store is in her folder too.
        for home in (self.root_home, self.alice.pw_dir):
            with self.subTest(home=home):
                self.check_uninstall(home)

    def test_dns_commands_as_root_leave_account_folders_alone(self):
        stored = store_on(self.alice)
        for command in (["dns", "disable", "Quellnet"], ["store", "offline"]):
            done, changed = self.traced(*command, HOME=self.alice.pw_dir)
            self.assertEqual((done.returncode, changed), (1, []), command)
            self.assertIn("belongs to uid", done.stderr)
        with open(stored) as f:
            self.assertTrue(json.load(f)["enabled"])


class WriterLock(unittest.TestCase):
    """The writer takes turns on a lock only root can open, waits a bounded time for it, and a
    request whose caller stopped waiting changes nothing."""

    def setUp(self):
        self.bob = make_account("bob")
        self.write("before.example")

    def write(self, name, *options, timeout=60):
        return subprocess.run([WRITER, *options, "write", APP], input=f"{name}\n".encode(),
                              capture_output=True, timeout=timeout, env={})

    def listed(self):
        with open(LIST) as f:
            return f.read().splitlines()[1:]

    def test_another_account_cannot_stall_the_writer(self):
        holder = subprocess.Popen(
            ["python3", "-c", "import fcntl, os, sys\n"
             "fd = os.open('/etc/quellnet', os.O_RDONLY | os.O_DIRECTORY)\n"
             "fcntl.flock(fd, fcntl.LOCK_SH)\n"
             "try:\n    os.open('/etc/quellnet/.lock', os.O_RDONLY)\n    print('opened')\n"
             "except (PermissionError, FileNotFoundError):\n    print('refused')\n"
             "sys.stdout.flush(); sys.stdin.read()"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
            **as_account(self.bob))
        try:
            self.assertEqual(holder.stdout.readline().strip(), "refused")
            done = self.write("after.example", timeout=30)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(self.listed(), ["after.example"])
        finally:
            holder.communicate("")
        lock = os.stat("/etc/quellnet/.lock")
        self.assertEqual((lock.st_uid, lock.st_mode & 0o777), (0, 0o600))

    def test_busy_or_late_writer_changes_nothing(self):
        fd = os.open("/etc/quellnet/.lock", os.O_RDWR)
        fcntl.flock(fd, fcntl.LOCK_EX)
        try:
            started = time.monotonic()
            busy = self.write("busy.example")
            self.assertEqual(busy.returncode, 4, busy.stderr)
            self.assertLess(time.monotonic() - started, 30)
            deadline = int(time.clock_gettime(time.CLOCK_MONOTONIC) * 1000) + 300
            late = self.write("late.example", "--deadline", str(deadline))
            self.assertEqual(late.returncode, 4, late.stderr)
        finally:
            os.close(fd)
        self.assertEqual(self.listed(), ["before.example"])
        past = int(time.clock_gettime(time.CLOCK_MONOTONIC) * 1000) - 1
        self.assertEqual(self.write("late.example", "--deadline", str(past)).returncode, 4)
        self.assertEqual(self.listed(), ["before.example"])


class InstalledUnderAnotherPrefix(unittest.TestCase):
    """A build configured for /usr/local installed with `cmake --install --prefix /usr`: the
    writer's path is compiled in, and `system install` says exactly what it looked for and
    where the system part is instead."""

    def test_mismatch_is_named(self):
        configured = os.path.dirname(WRITER)
        if not configured.startswith("/usr/local/"):
            self.skipTest("the build is not configured for /usr/local")
        manifest = os.path.join(os.environ["QUELLNET_BUILD"], "install_manifest_system.txt")
        with open(manifest, "rb") as f:
            kept = f.read()
        subprocess.run(["cmake", "--install", os.environ["QUELLNET_BUILD"], "--prefix", "/usr",
                        "--component", "system"], check=True, capture_output=True)
        with open(manifest, "wb") as f:
            f.write(kept)
        os.rename(configured, configured + ".moved")
        try:
            done = subprocess.run([DEVICE_SETTINGS, "system", "install"], capture_output=True,
                                  text=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
        finally:
            os.rename(configured + ".moved", configured)
        self.assertEqual(done.returncode, 1, done.stdout)
        for said in (WRITER, "/usr/libexec/quellnet/quellnet-enforce",
                     "-DCMAKE_INSTALL_PREFIX=/usr"):
            self.assertIn(said, done.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
