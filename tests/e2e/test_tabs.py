"""The real app shows its four tabs in order, Instructions first, and what each screen shows."""

import unittest

from quellnet_driver import Session, wait_until

INSTRUCTIONS = [("Add domains to the list", "plus"),
                ("Save your preferences", "square.and.arrow.down"),
                ("Open Settings", "gear"), ("Go to General > VPN > DNS", "gear"),
                ("Enable the app", "hand.raised"),
                ("Turn off Wi-Fi to reset settings", "info.circle")]


class TabsTest(unittest.TestCase):
    def test_tabs_and_screens(self):
        with Session() as session:
            app = session.launch()
            self.assertEqual(app.tabs(), [("Instructions", "info.circle", True),
                                          ("Domains", "hand.raised", False),
                                          ("Status", "network", False),
                                          ("Settings", "gear", False)])
            wait_until(lambda: [(o.name, o.description) for o in app.find("list item")]
                       == INSTRUCTIONS, "the Instructions rows")
            app.wait_for("label", "Help")

            app.select_tab("Status")
            app.wait_for("list item", "DNS protection is disabled", "xmark")
            app.wait_for("label", "More Apps")
            featured = app.find(description="arrow.down.circle")
            self.assertEqual([o.getRoleName() for o in featured], ["push button"])

            app.select_tab("Settings")
            app.wait_for("list item", "Blocklist is empty", "exclamationmark.circle")
            app.wait_for("list item", "No preferences to remove", "info.circle")
            app.wait_for("push button", featured[0].name, "arrow.down.circle")

            app.select_tab("Domains")
            app.wait_for("label", "Domains")


if __name__ == "__main__":
    unittest.main(verbosity=2)
