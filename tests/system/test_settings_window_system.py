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
from test_system_blocking import BlockingAsserts  # noqa: E402

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

            # The command switches while the window is open: the window follows.
            session.device_settings("dns", "enable", "Quellnet")
            window.wait_line("Quellnet", True, "yes, 1 name")
            session.device_settings("dns", "disable", "Quellnet")
            window.wait_line("Quellnet", False)
            # A second launch hands over to the running window and leaves.
            launched = subprocess.run([os.environ["QUELLNET_SETTINGS_WINDOW"]], env=session.env)
            self.assertEqual(launched.returncode, 0)


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
