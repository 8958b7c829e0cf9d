"""The window as a desktop user meets it: resized wide, the tabs move into a rail at the left
in the same order; moved and resized, it opens there again on the next run."""

import json
import os
import unittest

import pyatspi

from quellnet_driver import Session, wait_until, xdotool


def tab_positions(app):
    return [(t.name, t.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[:2])
            for t in app.find("page tab")]


class WindowTest(unittest.TestCase):
    def test_rail_and_geometry_kept_between_runs(self):
        with Session() as session:
            state = os.path.join(session.env["XDG_STATE_HOME"], "Quellnet", "window-state.json")
            app = session.launch()
            self.assertEqual(app.window_geometry()[2:], (390, 844))
            bar = tab_positions(app)
            self.assertEqual(len({y for _, (x, y) in bar}), 1, bar)  # one row along the bottom

            xdotool("windowsize", app.window(), "1000", "700")
            xdotool("windowmove", app.window(), "120", "90")
            wait_until(lambda: len({x for _, (x, y) in tab_positions(app)}) == 1,
                       "the tabs to stand in one column")
            rail = tab_positions(app)
            self.assertEqual([name for name, _ in rail], ["Instructions", "Domains", "Status",
                                                          "Settings"])
            self.assertEqual(sorted(rail, key=lambda t: t[1][1]), rail)

            session.wait_for_file(state, "the moved window to be saved",
                                  until=lambda text: json.loads(text)["x"] == 120)
            app.quit()

            app = session.launch()
            self.assertEqual(app.window_geometry(), (120, 90, 1000, 700))
            app.select_tab("Status")  # the kept window works as before
            app.wait_for("list item", "DNS protection is disabled", "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
