"""The whole road by keyboard alone: the first-visit sheets closed with Escape, a name typed
into the Domains tab, a suggestion added and removed, the list saved on the Settings tab and the
status read on the Status tab. Only keys reach the app; the tree is only read."""

import unittest

from quellnet_driver import Session, wait_until

ADD_FIELD = ("text", "Type here to add a new domain")
SEARCH = ("text", "Search")


class KeyboardRoadTest(unittest.TestCase):
    def test_add_save_and_read_status_by_keys(self):
        with Session() as session:
            app = session.launch()
            app.bring_to_front()

            # Ctrl+F goes to the Domains search; the first visit's sheets come over it, and
            # Escape closes them top first, giving the focus back to the search field.
            app.keys("ctrl+f")
            app.wait_for("dialog", "Enjoying Quellnet?")
            app.wait_focused("push button", "Done")
            app.keys("Escape")
            app.wait_gone("push button", "Done")
            app.wait_focused("push button", "Not Now")
            app.keys("Escape")
            app.wait_gone("dialog", "Enjoying Quellnet?")
            app.wait_focused(*SEARCH)
            self.assertIn(("Domains", "", True), app.tabs())

            # Tab runs down the rows to the add field; Return adds what was typed.
            app.key_until_focused("Tab", *ADD_FIELD, limit=12)
            app.type_keys("typed.example")
            field = app.wait_for(*ADD_FIELD)
            wait_until(lambda: field.queryText().getText(0, -1) == "typed.example", "the name typed")
            app.keys("Return")
            wait_until(lambda: field.queryText().getText(0, -1) == "", "the add field emptied")

            # Arrows reach a suggestion, Space adds it and the focus stays on the new entry,
            # where Delete removes it again.
            app.keys("ctrl+f")
            app.wait_focused(*SEARCH)
            app.type_keys("2mdn")
            app.key_until_focused("Down", "push button", "2mdn.net", limit=12)
            app.keys("space")
            app.wait_focused("list item", "2mdn.net")
            app.keys("Delete")
            app.wait_for("push button", "2mdn.net", "add")
            app.wait_gone("list item", "2mdn.net")

            # Ctrl+F selects the search text, so typing replaces it: the typed name is listed.
            app.keys("ctrl+f")
            app.type_keys("typed")
            app.wait_for("list item", "typed.example", "added by you")

            # Shift+Tab from the search field reaches the last tab; Return selects it.
            app.keys("shift+Tab")
            app.wait_focused("page tab", "Settings")
            app.keys("Return")
            app.wait_selected("Settings")
            app.key_until_focused("Tab", "push button", "Save preferences", limit=12)
            app.keys("Return")
            app.wait_for("list item", "Preferences saved!", "")

            # Past the page's last row Tab comes back to the tabs; arrows walk along them.
            app.key_until_focused("Tab", "page tab", "Instructions", limit=12)
            app.keys("Right", "Right")
            app.wait_focused("page tab", "Status")
            app.keys("space")
            app.wait_selected("Status")
            app.wait_for("list item", "DNS protection is disabled", "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
