"""What the system part blocks, program by program, compared with README.md's coverage table.
Run by run_in_namespace.sh after the install and `system install`."""

import http.server
import os
import subprocess
import sys
import threading
import unittest

from dns_test_support import AnswerEveryName, save_configuration

WORK = os.environ["QUELLNET_WORK"]
DNS_LOG = os.path.join(WORK, "dns.log")
SAVED = "kept.example"
CONTROL = "other.example"  # not saved: every program must reach it, or the measure is void
BLOCKED, LEAVES, NOT_BLOCKED = "blocked", "name leaves, no connection", "not blocked"

PYTHON = sys.executable
NODE = "require('dns').%s(process.argv[1], (error) => process.exit(error ? 1 : 0))"

# README row label (backticks dropped) -> the command; NAME is put in. Each exits 0 when it got
# an address (look-ups) or a response (fetches).
PROGRAMS = {
    "curl": ["curl", "-sf", "-o", "/dev/null", "--max-time", "5", "http://NAME/"],
    "Python urllib": [PYTHON, "-c", "import sys, urllib.request\n"
                      "urllib.request.urlopen('http://' + sys.argv[1] + '/', timeout=5)", "NAME"],
    "Python socket.getaddrinfo": [PYTHON, "-c", "import socket, sys\n"
                                  "socket.getaddrinfo(sys.argv[1], 80)", "NAME"],
    "getent": ["getent", "ahosts", "NAME"],
    "Node dns.lookup": ["node", "-e", NODE % "lookup", "NAME"],
    "Node dns.resolve4": ["node", "-e", NODE % "resolve4", "NAME"],
    "Go built with cgo": [os.path.join(WORK, "go-with-cgo"), "NAME"],
    "Go built without cgo": [os.path.join(WORK, "go-without-cgo"), "NAME"],
    # dig exits 0 on NXDOMAIN too: an address on standard output is what counts.
    "dig": ["sh", "-c", 'dig +short +tries=1 +time=2 "$1" | grep -q .', "dig", "NAME"],
}


class HostLog(http.server.BaseHTTPRequestHandler):
    hosts = []

    def do_GET(self):
        HostLog.hosts.append(self.headers.get("Host", "").split(":")[0].lower())
        self.send_response(204)
        self.end_headers()

    def log_message(self, *args):
        pass


def readme_table():
    """Program -> class from every README table whose first column is "Program"."""
    table, in_table = {}, False
    with open(os.environ["QUELLNET_README"], encoding="utf-8") as readme:
        for line in readme:
            cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
            if not line.startswith("|"):
                in_table = False
            elif cells[0] == "Program":
                in_table = True
            elif in_table and not set(cells[0]) <= set("-: "):
                table[cells[0].replace("`", "")] = cells[1].replace("*", "").strip().lower()
    return table


class CoverageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        AnswerEveryName("127.0.0.1", log=DNS_LOG).start()
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 80), HostLog)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        save_configuration([SAVED])
        subprocess.run([os.environ["DEVICE_SETTINGS"], "dns", "enable", "Quellnet"], check=True)

    def measure(self, label, name):
        open(DNS_LOG, "w").close()
        HostLog.hosts.clear()
        command = [part.replace("NAME", name) for part in PROGRAMS[label]]
        done = subprocess.run(command, capture_output=True, timeout=30)
        if done.returncode == 0 or name in HostLog.hosts:
            return NOT_BLOCKED
        with open(DNS_LOG) as log:
            return LEAVES if name in log.read().split() else BLOCKED

    def test_readme_table_is_what_happens(self):
        table = readme_table()
        for label in PROGRAMS:
            with self.subTest(program=label):
                self.assertEqual(self.measure(label, CONTROL), NOT_BLOCKED,
                                 f"{label} cannot reach a name that is not saved")
                found = self.measure(label, SAVED)
                self.assertEqual(self.measure(label, "www." + SAVED), found,
                                 f"{label}: a name under the saved one")
                print(f"{label}: {found}", file=sys.stderr)
                self.assertIn(label, table, "README.md's coverage table has no row")
                self.assertEqual(table[label], found, f"README.md on {label}")


if __name__ == "__main__":
    unittest.main(verbosity=2)
