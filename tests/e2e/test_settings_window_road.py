"""The road the Instructions tab describes, without a terminal: save in Quellnet, open the
device's Settings window, General > VPN > DNS, switch Quellnet on, and Quellnet's Status follows
on return; off again the same way. Once by accessibility actions, once by keys alone; the window
follows a switch made by the command while it is open, and says in words when this computer has
no system part. "This computer" is the stand-in folder of quellnet_driver.Session."""

import os
import unittest

from quellnet_driver import Session
from settings_window_driver import launch_settings
from test_protection_road import expect_status, save_preferences


def blocked(session, name):
    return "is blocked on this computer" in session.device_settings("dns", "check", name)


class SettingsWindowRoadTest(unittest.TestCase):
    # One session for the whole file: the accessibility bus is joined once per process.
    def test_road_by_actions_then_keys_then_without_system_part(self):
        with Session() as session:
            session.seed_blocklist("tracker.example", "ads.example")
            app = session.launch()
            save_preferences(app)
            expect_status(app, enabled=False)

            window = launch_settings(session)
            window.bring_to_front(leaving=app)
            window.open_dns()
            self.assertFalse(window.is_checked("Quellnet"))
            window.toggle("Quellnet")
            line = window.wait_switched("Quellnet", on=True)
            self.assertIn("2", line)  # the names it blocks, counted
            self.assertTrue(blocked(session, "tracker.example"))

            app.bring_to_front()
            app.wait_for("list item", "DNS protection is enabled", "")

            window.bring_to_front(leaving=app)
            window.toggle("Quellnet")
            window.wait_switched("Quellnet", on=False)
            self.assertFalse(blocked(session, "tracker.example"))
            app.bring_to_front()
            app.wait_for("list item", "DNS protection is disabled", "")

            # Switched by the command while the window is open: the window follows by itself.
            session.device_settings("dns", "enable", "Quellnet")
            window.wait_switched("Quellnet", on=True)
            session.device_settings("dns", "disable", "Quellnet")
            window.wait_switched("Quellnet", on=False)

            # A second launch hands over to the running window and leaves.
            second = session._start([os.environ["QUELLNET_SETTINGS_WINDOW"]])
            self.assertEqual(second.wait(timeout=30), 0)
            window.quit()

            self.road_by_keys(session, app)
            self.system_part_missing(session)

    def road_by_keys(self, session, app):
        window = launch_settings(session)
        window.bring_to_front(leaving=app)
        window.open_dns_by_keys()
        window.wait_focused("check box", "Quellnet")
        window.keys("space")
        window.wait_switched("Quellnet", on=True)
        self.assertTrue(blocked(session, "tracker.example"))
        app.bring_to_front()
        app.wait_for("list item", "DNS protection is enabled", "")

        window.bring_to_front(leaving=app)
        window.wait_focused("check box", "Quellnet")
        window.keys("Return")
        window.wait_switched("Quellnet", on=False)
        # Back up the pages by Escape and Alt+Left.
        window.keys("Escape")
        window.wait_for("heading", "VPN")
        window.keys("alt+Left")
        window.wait_for("heading", "General")
        window.keys("Escape")
        window.wait_for("heading", "Settings")
        window.wait_focused("push button", "General")
        app.bring_to_front()
        app.wait_for("list item", "DNS protection is disabled", "")
        window.quit()

    def system_part_missing(self, session):
        nsswitch = os.path.join(session.env["DEVICE_PLATFORM_SYSTEM_ROOT"], "etc/nsswitch.conf")
        with open(nsswitch, "w") as file:
            file.write("hosts: files dns\n")
        window = launch_settings(session)
        window.bring_to_front()
        window.open_dns()
        window.toggle("Quellnet")
        line = window.wait_line("Quellnet", lambda text: "not installed" in text,
                                "the window to say the system part is missing")
        self.assertIn("device-settings system install", line)
        self.assertFalse(window.is_checked("Quellnet"))
        self.assertFalse(blocked(session, "tracker.example"))
        self.assertIn("Quellnet (net.quellnet.Quellnet): Off", session.device_settings("dns"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
