"""The real app shows its four tabs in order, Instructions first, and what each screen shows;
relaunched under a German locale it reads German."""

import unittest

from quellnet_driver import Session, wait_until

# The symbols of these rows and of the tabs only decorate: a screen reader hears no description.
INSTRUCTIONS = [("Add domains to the list", ""), ("Save your preferences", ""),
                ("Open Settings", ""), ("Go to General > VPN > DNS", ""),
                ("Enable the app", ""), ("Turn off Wi-Fi to reset settings", "")]


class TabsTest(unittest.TestCase):
    def test_tabs_and_screens_then_german(self):
        with Session() as session:
            app = session.launch()
            self.assertEqual(app.tabs(), [("Instructions", "", True), ("Domains", "", False),
                                          ("Status", "", False), ("Settings", "", False)])
            wait_until(lambda: [(o.name, o.description) for o in app.find("list item")]
                       == INSTRUCTIONS, "the Instructions rows")
            app.wait_for("label", "Help")

            app.expect_status(enabled=False)
            app.wait_for("label", "More Apps")
            featured = app.find("push button")
            self.assertEqual(len(featured), 1)

            app.select_tab("Settings")
            app.wait_for("list item", "Blocklist is empty", "")
            app.wait_for("list item", "No preferences to remove", "")
            app.wait_for("push button", featured[0].name, "")

            app.select_tab("Domains")
            app.wait_for("label", "Domains")
            app.quit()

            # ctest pins LC_ALL=C.UTF-8, which would keep English whatever LANGUAGE says.
            session.env.update(LANGUAGE="de", LANG="de_DE.UTF-8", LC_ALL="de_DE.UTF-8")
            app = session.launch()
            self.assertEqual(app.tabs(), [("Anleitung", "", True), ("Domains", "", False),
                                          ("Status", "", False), ("Einstellungen", "", False)])
            app.wait_for("list item", "Domains zur Liste hinzufügen", "")

            app.select_tab("Status")
            app.wait_for("label", "Netzwerkstatus")
            app.wait_for("list item", "DNS-Schutz ist deaktiviert", "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
