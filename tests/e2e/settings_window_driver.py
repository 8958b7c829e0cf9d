"""Drives the device's Settings window (QUELLNET_SETTINGS_WINDOW) through AT-SPI in a
quellnet_driver.Session, as a person would: General, VPN, DNS, then a configuration's switch."""

import os

import quellnet_driver
from quellnet_driver import App, wait_until


def launch_settings(session):
    return session.launch(os.environ["QUELLNET_SETTINGS_WINDOW"], SettingsWindow,
                          shown=("heading", "Settings"))


class SettingsWindow(App):
    def wait_focused(self, role, name):  # off the tree: a page's first row may have it early
        focused = quellnet_driver.pyatspi.STATE_FOCUSED
        wait_until(lambda: any(o.getState().contains(focused) for o in self.find(role, name)),
                   f"keyboard focus on {role} {name!r}")

    def open_dns(self, by_keys=False):
        for row in ("General", "VPN", "DNS"):
            if by_keys:
                self.wait_focused("push button", row)
                self.keys("Return")
            else:
                self.press(self.wait_for("push button", row))
            self.wait_for("heading", row)

    def toggle(self, name):
        """Through the switch's accessibility toggle action, as a screen reader does."""
        action = self.wait_for("check box", name).queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        assert "toggle" in names and action.doAction(names.index("toggle")), name

    def wait_line(self, name, on, words=""):
        """Until the switch is settled (not busy) at `on` and its line holds `words`."""
        def settled():
            box = self.wait_for("check box", name)
            checked = box.getState().contains(quellnet_driver.pyatspi.STATE_CHECKED)
            line = box.description
            return not line.endswith("…") and checked == on and words in line and line
        return wait_until(settled, f"{name} {'on' if on else 'off'} saying {words!r}", 60)
