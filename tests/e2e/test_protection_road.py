"""A stored blocklist is saved from Settings, switched on in the device's Settings app, and
on return both screens follow; a relaunch offers "Update preferences"."""

import unittest

from quellnet_driver import Session


def save_preferences(app):
    app.select_tab("Settings")
    app.press(app.wait_for("push button", "Save preferences", ""))
    app.wait_for("list item", "Preferences saved!", "")


def expect_status(app, enabled):
    app.select_tab("Status")
    app.wait_for("list item", "DNS protection is enabled" if enabled
                 else "DNS protection is disabled", "")


class ProtectionRoadTest(unittest.TestCase):
    def test_save_enable_return_relaunch(self):
        with Session() as session:
            session.seed_blocklist("tracker.example", "ads.example")
            app = session.launch()
            expect_status(app, enabled=False)
            save_preferences(app)
            self.assertIn("net.quellnet.Quellnet", session.device_settings("dns"))
            session.device_settings("dns", "enable", "Quellnet")

            # Back from the device's Settings app: Settings reloads without a tap.
            app.leave_and_return()
            app.wait_for("list item", "Preferences updated!", "")
            self.assertFalse(app.find("push button", "Save preferences"))
            expect_status(app, enabled=True)
            app.quit()

            app = session.launch()
            app.select_tab("Settings")
            app.wait_for("push button", "Update preferences", "")
            app.wait_for("push button", "Remove preferences", "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
