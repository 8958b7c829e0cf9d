"""Under a German locale the app reads German, as the accessibility tree shows it: the tab
titles, an Instructions row and the Status screen's line."""

import unittest

from quellnet_driver import Session


class GermanLocaleTest(unittest.TestCase):
    def test_tabs_and_status_in_german(self):
        with Session() as session:
            # ctest pins LC_ALL=C.UTF-8, which would keep English whatever LANGUAGE says.
            session.env.update(LANGUAGE="de", LANG="de_DE.UTF-8", LC_ALL="de_DE.UTF-8")
            app = session.launch()
            self.assertEqual(app.tabs(), [("Anleitung", "", True),
                                          ("Domains", "", False),
                                          ("Status", "", False),
                                          ("Einstellungen", "", False)])
            app.wait_for("list item", "Domains zur Liste hinzufügen", "")

            app.select_tab("Status")
            app.wait_for("label", "Netzwerkstatus")
            app.wait_for("list item", "DNS-Schutz ist deaktiviert", "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
