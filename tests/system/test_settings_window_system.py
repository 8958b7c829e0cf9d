"""The device's Settings window on this computer for real, run by run_settings_window_test.sh in
its private namespace after the install: RootRoadTest as root, each RefusalTest case as an
ordinary account in a session of its own."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from quellnet_driver import Session  # noqa: E402
from settings_window_driver import launch_settings  # noqa: E402
from test_system_blocking import DNS_ANSWER, BlockingAsserts  # noqa: E402

SAVED = "tracker.example.net"


def open_app_and_window(session):
    """Quellnet saves SAVED and shows Status; the window is opened in front of it."""
    session.seed_blocklist(SAVED)
    app = session.launch()
    app.bring_to_front()
    app.save_preferences()
    app.expect_status(enabled=False)
    window = launch_settings(session)
    window.bring_to_front(leaving=app)
    return app, window


class RootRoadTest(BlockingAsserts):
    def test_from_quellnet_through_the_window_and_back(self):
        with Session(real_system=True) as session:
            app, window = open_app_and_window(session)
            for by_keys in (False, True):
                if by_keys:  # the same road once more, by keys alone
                    window.quit()
                    window = launch_settings(session)
                    window.bring_to_front(leaving=app)
                window.open_dns(by_keys)
                for on in (True, False):
                    if by_keys:
                        window.wait_focused("check box", "Quellnet")
                        window.keys("space")
                    else:
                        window.toggle("Quellnet")  # as root no password is asked for
                    window.wait_line("Quellnet", on)
                    self.assertBlocked(SAVED) if on else self.assertResolves(SAVED)
                    # Back in Quellnet, Status follows without a tap.
                    app.bring_to_front()
                    app.expect_status(on)
                    window.bring_to_front(leaving=app)

            # The command switches while the window is open: the window follows. Names under
            # the saved one are blocked whatever their case; others, /etc/hosts and localhost
            # resolve.
            session.device_settings("dns", "enable", "Quellnet")
            window.wait_line("Quellnet", True, "yes, 1 name")
            for name in ("a.b." + SAVED, "TRACKER.Example.NET."):
                self.assertBlocked(name)
            for name, address in (("nottracker.example.net", DNS_ANSWER),
                                  ("fromfiles.test", "10.7.7.7"), ("localhost", None)):
                self.assertResolves(name, address)
            self.assertIn(SAVED, session.device_settings("dns", "check", "a.b." + SAVED))
            session.device_settings("dns", "disable", "Quellnet")
            window.wait_line("Quellnet", False)
            # A second launch hands over to the running window and leaves.
            launched = subprocess.run([os.environ["QUELLNET_SETTINGS_WINDOW"]], env=session.env)
            self.assertEqual(launched.returncode, 0)

            # An update saved in the app while on takes effect at once (the list grown while the
            # app was closed: typing a name in is the Domains road's own test).
            session.device_settings("dns", "enable", "Quellnet")
            app.quit()
            session.seed_blocklist(SAVED, "second.example")
            app = session.launch()
            app.select_tab("Settings")
            app.press(app.wait_for("push button", "Update preferences", ""))
            app.wait_for("list item", "Preferences updated!", "")
            self.assertBlocked("second.example")
            self.assertBlocked(SAVED)
            # Removed while on, then the reload that follows finds nothing stored.
            app.press(app.wait_for("push button", "Remove preferences", ""))
            app.wait_for("list item", "No preferences to remove", "")
            self.assertResolves("second.example")
            app.quit()
            session.device_settings("system", "uninstall")
        with open("/etc/nsswitch.conf", "rb") as now, \
                open(os.environ["QUELLNET_NSSWITCH_BEFORE"], "rb") as before:
            self.assertEqual(now.read(), before.read())
        self.assertResolves("nottracker.example.net")


class RefusalTest(unittest.TestCase):
    """The window says why in words, the switch stays Off and the stored file stays as saved."""

    def refused(self, words, prompt_asked):
        with Session(real_system=True) as session:
            _, window = open_app_and_window(session)
            window.open_dns()
            stored = os.path.join(session.env["XDG_STATE_HOME"],
                                  "device-platform/NetworkExtension/dns/net.quellnet.Quellnet.json")
            with open(stored, "rb") as file:
                saved = file.read()
            window.toggle("Quellnet")
            self.assertIn("Off", window.wait_line("Quellnet", False, words))
            with open(stored, "rb") as file:
                self.assertEqual(file.read(), saved)
            self.assertEqual(os.path.exists(os.environ["PKEXEC_STANDIN_LOG"]), prompt_asked)
            self.assertIn("is not blocked", session.device_settings("dns", "check", SAVED))

    def test_system_part_missing(self):
        self.refused("not installed", prompt_asked=False)

    def test_another_accounts_list(self):
        self.refused("another account", prompt_asked=False)

    def test_cancelled_prompt(self):
        self.refused("cancelled", prompt_asked=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
