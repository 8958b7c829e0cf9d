"""From the Domains tab: first-visit sheets, a suggestion, the offline store falling
back to the web address; then the list saved, switched on in the device's Settings app, both
screens following on return, and a relaunch offering "Update preferences"."""

import os
import unittest

from quellnet_driver import Session


class DomainsRoadTest(unittest.TestCase):
    def test_domains_to_enabled_protection(self):
        with Session() as session:
            opened_log = os.path.join(session.root, "opened-urls.txt")
            session.env["QUELLNET_URL_OPENER_LOG"] = opened_log
            session.seed_blocklist("tracker.example", "ads.example")
            app = session.launch()
            app.bring_to_front()

            # First visit: the review sheet, then the store page above it; close both.
            app.select_tab("Domains")
            app.wait_for("dialog", "Enjoying Quellnet?")
            app.press(app.wait_for("push button", "Done"))
            app.wait_gone("push button", "Done")
            app.press(app.wait_for("push button", "Not Now"))
            app.wait_gone("dialog", "Enjoying Quellnet?")

            # A tapped suggestion becomes an entry that a screen reader calls a built-in tracker
            # (a typed name, "added by you", is the keyboard road's).
            app.type_into(app.wait_for("text", "Search"), "2mdn")
            app.press(app.wait_for("push button", "2mdn.net", "add"))
            app.wait_for("list item", "2mdn.net", "built-in tracker")
            app.wait_gone("push button", "2mdn.net")

            # With the store offline a "More Options" row opens the web address instead.
            session.device_settings("store", "offline")
            app.press(app.wait_for("push button", "Tidewater Focus Timer", ""))
            self.assertEqual(session.wait_for_file(opened_log, "the web address to be opened"),
                             "https://apps.example.com/app/id6451000011\n")
            self.assertFalse(app.find("dialog"))
            session.device_settings("store", "online")

            app.save_preferences()
            self.assertIn("net.quellnet.Quellnet", session.device_settings("dns"))
            session.device_settings("dns", "enable", "Quellnet")

            # Back from the device's Settings app: Settings reloads without a tap.
            app.leave_and_return()
            app.wait_for("list item", "Preferences updated!", "")
            self.assertFalse(app.find("push button", "Save preferences"))
            app.expect_status(enabled=True)
            app.quit()

            app = session.launch()
            app.select_tab("Settings")
            app.wait_for("push button", "Update preferences", "")
            app.wait_for("push button", "Remove preferences", "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
