"""The road from the Domains tab: the first visit brings the review sheet and, above it, the
store page of a promoted app; both close. A typed name is submitted, a suggestion is tapped,
a "More Options" row falls back to the web address while the store is offline, and the list
is saved, switched on in the device's Settings and reported as enabled."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import quellnet_driver  # noqa: E402
from quellnet_driver import Session, wait_until  # noqa: E402
from test_protection_road import (expect_status, save_preferences,  # noqa: E402
                                  switch_on_in_device_settings)


def bring_to_front(app):
    """Gives the app the input focus: sheets only appear on a foreground-active window."""
    quellnet_driver._focus(app.window_id())
    wait_until(app.is_active, "the app to become active")


def type_into(app, field, text, submit=False):
    """Clicks the field and types as a keyboard would (X events, not accessibility calls)."""
    x, y, width, height = field.queryComponent().getExtents(quellnet_driver.pyatspi.DESKTOP_COORDS)
    env = dict(os.environ)
    subprocess.run(["xdotool", "mousemove", "--sync", str(x + width // 2), str(y + height // 2),
                    "click", "1"], check=True, env=env, capture_output=True, timeout=30)
    subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+a", "BackSpace"], check=True,
                   env=env, capture_output=True, timeout=30)
    subprocess.run(["xdotool", "type", "--delay", "30", text], check=True, env=env,
                   capture_output=True, timeout=60)
    wait_until(lambda: field.queryText().getText(0, -1) == text, f"{text!r} in {field.name!r}")
    if submit:
        subprocess.run(["xdotool", "key", "Return"], check=True, env=env, capture_output=True,
                       timeout=30)


class DomainsRoadTest(unittest.TestCase):
    def test_domains_to_enabled_protection(self):
        with Session() as session:
            opened_log = os.path.join(session.root, "opened-urls.txt")
            session.env["QUELLNET_URL_OPENER_LOG"] = opened_log
            app = session.launch()
            self.assertEqual([t for t in app.tabs() if t[2]][0][0], "Instructions")
            bring_to_front(app)

            # First visit: the review sheet, then the store page above it; close both.
            app.select_tab("Domains")
            app.wait_for("dialog", "Enjoying Quellnet?")
            app.press(app.wait_for("push button", "Done"))
            app.wait_gone("push button", "Done")
            app.press(app.wait_for("push button", "Not Now"))
            app.wait_gone("dialog", "Enjoying Quellnet?")

            # Type a name and submit it with the return key.
            add_field = app.wait_for("text", "Type here to add a new domain")
            type_into(app, add_field, "typed.example", submit=True)
            search = app.wait_for("text", "Search")
            type_into(app, search, "typed")
            app.wait_for("list item", "typed.example", "crown")

            # Tap a suggestion: it becomes an entry with the built-in icon.
            type_into(app, search, "2mdn")
            app.press(app.wait_for("push button", "2mdn.net", "plus"))
            app.wait_for("list item", "2mdn.net", "hand.raised.fill")
            app.wait_gone("push button", "2mdn.net")

            # With the store offline a "More Options" row opens the web address instead.
            session.device_settings("store", "offline")
            app.press(app.wait_for("push button", "Tidewater Focus Timer", "arrow.down.circle"))
            wait_until(lambda: os.path.exists(opened_log) and open(opened_log).read(),
                       "the web address to be opened")
            with open(opened_log) as log:
                self.assertEqual(log.read(), "https://apps.example.com/app/id6451000011\n")
            self.assertFalse(app.find("dialog"))
            session.device_settings("store", "online")

            # The whole road to enabled protection.
            save_preferences(app)
            switch_on_in_device_settings(session)
            app.leave_and_return()
            expect_status(app, enabled=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
