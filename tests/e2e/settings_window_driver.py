"""Drives the device's Settings window (quellnet-device-settings) through AT-SPI, in the same
private display, bus and home as quellnet_driver.Session, as a person would: General, VPN, DNS,
then the switch of a configuration, by the accessibility actions or by keys alone."""

import os
import subprocess

import quellnet_driver
from quellnet_driver import App, _wake_on_output, _window, wait_until, xdotool


def launch_settings(session, env=None):
    """Starts the window (QUELLNET_SETTINGS_WINDOW) in `session`, with `env` added if given."""
    path = os.environ["QUELLNET_SETTINGS_WINDOW"]
    process = subprocess.Popen([path], stdout=subprocess.PIPE,
                               env=dict(session.env, **(env or {})))
    session._processes.append(process)  # ended with the session, before its display
    _wake_on_output(process.stdout.fileno())
    return SettingsWindow(session, process)


class SettingsWindow(App):
    def __init__(self, session, process):  # noqa: super().__init__ waits for tabs it has not
        self.session, self.process = session, process
        pyatspi = quellnet_driver.pyatspi

        def find():
            assert process.poll() is None, f"the window exited with {process.returncode}"
            desktop = pyatspi.Registry.getDesktop(0)
            return next((c for c in map(desktop.getChildAtIndex, range(desktop.childCount))
                         if c is not None and c.get_process_id() == process.pid), None)
        self.accessible = wait_until(find, "the Settings window on the accessibility bus")
        self.wait_for("heading", "Settings")

    def wait_focused(self, role, name):
        """Reads the focus off the tree: the page's first row may have it before any event."""
        focused = quellnet_driver.pyatspi.STATE_FOCUSED
        wait_until(lambda: any(o.getState().contains(focused) for o in self.find(role, name)),
                   f"keyboard focus on {role} {name!r}")

    def bring_to_front(self, leaving=None):
        """Gives the window the input focus; with `leaving` (the app), until the app has seen
        itself become inactive, which Qt decides a moment after the focus has gone, so that its
        return is a return."""
        xdotool("windowfocus",
                wait_until(lambda: _window("--pid", str(self.process.pid)), "the window"))
        wait_until(self.is_active, "the Settings window to become active")
        if leaving is not None:
            wait_until(lambda: not leaving.is_active(), "the app to become inactive")

    def open_dns(self):
        """General, VPN, DNS by each row's press action; waits for the DNS page's title."""
        for row, page in (("General", "General"), ("VPN", "VPN"), ("DNS", "DNS")):
            self.press(self.wait_for("push button", row))
            self.wait_for("heading", page)

    def open_dns_by_keys(self):
        """The same by keys: the first row of each page has the keyboard, Return opens it."""
        for row, page in (("General", "General"), ("VPN", "VPN"), ("DNS", "DNS")):
            self.wait_focused("push button", row)
            self.keys("Return")
            self.wait_for("heading", page)

    def switch_box(self, name):
        return self.wait_for("check box", name)

    def is_checked(self, name):
        box = self.switch_box(name)
        return box.getState().contains(quellnet_driver.pyatspi.STATE_CHECKED)

    def line(self, name):
        """What the window says under the switch: the box's description."""
        return self.switch_box(name).description

    def toggle(self, name):
        """Flips the switch through its accessibility toggle action, as a screen reader does."""
        box = self.switch_box(name)
        action = box.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if "toggle" not in names or not action.doAction(names.index("toggle")):
            raise AssertionError(f"cannot toggle {name!r}")

    def wait_switched(self, name, on):
        """Until the switch is no longer busy and stands `on`; returns the line under it."""
        def settled():
            box = self.switch_box(name)
            busy = box.description.endswith("…")
            checked = box.getState().contains(quellnet_driver.pyatspi.STATE_CHECKED)
            return not busy and checked == on and box.description
        return wait_until(settled, f"{name} switched {'on' if on else 'off'}", timeout=60)

    def wait_line(self, name, predicate, what):
        return wait_until(lambda: not self.line(name).endswith("…") and predicate(self.line(name))
                          and self.line(name), what, timeout=60)
