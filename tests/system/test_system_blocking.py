"""Real blocking on this computer, seen by programs that know nothing of Quellnet: run by
run_settings_window_test.sh in its private namespace, after the install and `system
install`."""

import os
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from quellnet_driver import Session  # noqa: E402
from dns_test_support import AnswerEveryName  # noqa: E402

DNS_ANSWER = "10.53.53.53"


def getent(database, name):
    done = subprocess.run(["getent", database, name], capture_output=True, text=True)
    return done.returncode, done.stdout.split()[0] if done.stdout else None


def addrinfo_error(name):
    try:
        socket.getaddrinfo(name, 80, socket.AF_UNSPEC, socket.SOCK_STREAM)
        return None
    except socket.gaierror as error:
        return error.errno


class BlockingAsserts(unittest.TestCase):
    """What every program's resolver sees, with a server answering every name in the
    namespace, logging to QUELLNET_DNS_LOG, started once."""

    @classmethod
    def setUpClass(cls):
        cls.dns_log = os.environ["QUELLNET_DNS_LOG"]
        open(cls.dns_log, "w").close()
        AnswerEveryName(DNS_ANSWER, log=cls.dns_log).start()

    def assertBlocked(self, name):
        open(self.dns_log, "w").close()
        self.assertEqual(getent("hosts", name), (2, None), name)   # gethostbyname2
        self.assertEqual(getent("ahosts", name), (2, None), name)  # getaddrinfo
        self.assertEqual(addrinfo_error(name), socket.EAI_NONAME, name)
        with open(self.dns_log) as log:
            self.assertNotIn(name, log.read().split(), f"a query for {name} left the machine")

    def assertResolves(self, name, address=DNS_ANSWER):
        status, found = getent("hosts", name)
        self.assertEqual(status, 0, name)
        if address:
            self.assertEqual(found, address, name)
        self.assertIsNone(addrinfo_error(name), name)


class SystemBlockingTest(BlockingAsserts):
    def test_save_enable_update_remove_uninstall(self):
        with Session(real_system=True) as session:
            self.assertResolves("tracker.example.net")
            session.seed_blocklist("tracker.example.net")
            app = session.launch()
            app.bring_to_front()
            app.save_preferences()
            session.device_settings("dns", "enable", "Quellnet")

            for name in ("tracker.example.net", "a.b.tracker.example.net",
                         "TRACKER.Example.NET."):
                self.assertBlocked(name)
            self.assertResolves("nottracker.example.net")
            self.assertResolves("fromfiles.test", "10.7.7.7")
            self.assertResolves("localhost", None)
            self.assertIn("tracker.example.net", session.device_settings("dns", "check",
                                                                          "a.b.tracker.example.net"))

            # An update saved in the app while on takes effect at once (the list grown while
            # the app was closed: typing a name in is the Domains road's own test).
            app.quit()
            session.seed_blocklist("tracker.example.net", "second.example")
            app = session.launch()
            app.select_tab("Settings")
            app.press(app.wait_for("push button", "Update preferences", ""))
            app.wait_for("list item", "Preferences updated!", "")
            self.assertBlocked("second.example")
            self.assertBlocked("tracker.example.net")

            # Switching off is the Settings window road's; removing while on unblocks too.
            app.press(app.wait_for("push button", "Remove preferences", ""))
            # Removed, then the reload that follows finds nothing stored.
            app.wait_for("list item", "No preferences to remove", "")
            self.assertResolves("second.example")
            app.quit()

            session.device_settings("system", "uninstall")
        with open("/etc/nsswitch.conf", "rb") as now, \
                open(os.environ["QUELLNET_NSSWITCH_BEFORE"], "rb") as before:
            self.assertEqual(now.read(), before.read())
        self.assertResolves("nottracker.example.net")


if __name__ == "__main__":
    unittest.main(verbosity=2)
