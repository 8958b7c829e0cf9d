"""The real app shows its four tabs in order, Instructions first, and what each screen shows."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from quellnet_driver import Session, wait_until  # noqa: E402

INSTRUCTIONS = [
    ("label", "Instructions", ""),
    ("list item", "Add domains to the list", "plus"),
    ("list item", "Save your preferences", "square.and.arrow.down"),
    ("list item", "Open Settings", "gear"),
    ("list item", "Go to General > VPN > DNS", "gear"),
    ("list item", "Enable the app", "hand.raised"),
    ("label", "Help", ""),
    ("list item", "Turn off Wi-Fi to reset settings", "info.circle"),
]


def in_order(rows):
    """Rows sorted as drawn: section headers are created after the first row of their section."""
    out = []
    for row in rows:
        out.insert(len(out) - 1 if row[0] == "label" and out and out[-1][0] != "label"
                   else len(out), row)
    return out


class TabsTest(unittest.TestCase):
    def test_tabs_and_screens(self):
        with Session() as session:
            app = session.launch()
            self.assertEqual(app.tabs(), [("Instructions", "info.circle", True),
                                          ("Domains", "hand.raised", False),
                                          ("Status", "network", False),
                                          ("Settings", "gear", False)])
            wait_until(lambda: in_order(app.rows()) == INSTRUCTIONS, "the Instructions rows")

            app.select_tab("Status")
            app.wait_for("list item", "DNS protection is disabled", "xmark")
            app.wait_for("label", "Network Status")
            app.wait_for("label", "More Apps")
            more_apps = [r for r in app.rows() if r[2] == "arrow.down.circle"]
            self.assertEqual([r[0] for r in more_apps], ["push button"], app.rows())

            app.select_tab("Settings")
            app.wait_for("list item", "Blocklist is empty", "exclamationmark.circle")
            app.wait_for("list item", "No preferences to remove", "info.circle")
            app.wait_for("label", "Network Settings")
            app.wait_for("push button", more_apps[0][1], "arrow.down.circle")

            app.select_tab("Domains")
            app.wait_for("label", "Domains")
            app.select_tab("Instructions")
            wait_until(lambda: in_order(app.rows()) == INSTRUCTIONS, "the Instructions rows again")


if __name__ == "__main__":
    unittest.main(verbosity=2)
