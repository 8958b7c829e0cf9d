"""The device's Settings window on this computer for real, run by run_settings_window_test.sh
inside its private namespace after the install: RootRoadTest as root, each RefusalTest case as
an ordinary account in a session of its own; --bench measures the window against the command."""

import os
import socket
import statistics
import subprocess
import sys
import time
import unittest

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "e2e"))
from quellnet_driver import Session, wait_until  # noqa: E402
from settings_window_driver import launch_settings  # noqa: E402
from test_protection_road import expect_status, save_preferences  # noqa: E402
from test_system_blocking import DeadSimpleDNS, addrinfo_error, getent  # noqa: E402

SAVED = "tracker.example.net"


def stored_file(session):
    return os.path.join(session.env["XDG_STATE_HOME"],
                        "device-platform/NetworkExtension/dns/net.quellnet.Quellnet.json")


def open_app_and_window(session, *names):
    """Quellnet saves `names`; the Settings window is opened on its DNS page in front."""
    session.seed_blocklist(*names)
    app = session.launch()
    app.bring_to_front()
    save_preferences(app)
    window = launch_settings(session)
    window.bring_to_front(leaving=app)
    window.open_dns()
    return app, window


class RootRoadTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dns_log = os.environ["QUELLNET_DNS_LOG"]
        open(cls.dns_log, "w").close()
        DeadSimpleDNS(cls.dns_log).start()

    def assertBlocked(self, name):
        open(self.dns_log, "w").close()
        self.assertEqual(getent("hosts", name), (2, None), name)
        self.assertEqual(getent("ahosts", name), (2, None), name)
        self.assertEqual(addrinfo_error(name), socket.EAI_NONAME, name)
        with open(self.dns_log) as log:
            self.assertNotIn(name, log.read().split(), f"a query for {name} left the machine")

    def assertResolves(self, name):
        self.assertEqual(getent("hosts", name)[0], 0, name)
        self.assertIsNone(addrinfo_error(name), name)

    def test_from_quellnet_through_the_window_and_back(self):
        with Session(real_system=True) as session:
            self.assertResolves(SAVED)
            app, window = open_app_and_window(session, SAVED)
            # As root no password is asked for.
            window.toggle("Quellnet")
            window.wait_switched("Quellnet", on=True)
            self.assertBlocked(SAVED)
            self.assertBlocked("a.b." + SAVED)
            app.bring_to_front()
            expect_status(app, enabled=True)

            window.bring_to_front(leaving=app)
            window.toggle("Quellnet")
            window.wait_switched("Quellnet", on=False)
            self.assertResolves(SAVED)
            app.bring_to_front()
            app.wait_for("list item", "DNS protection is disabled", "")
            window.quit()

            # The same by keys alone.
            window = launch_settings(session)
            window.bring_to_front(leaving=app)
            window.open_dns_by_keys()
            window.wait_focused("check box", "Quellnet")
            window.keys("space")
            window.wait_switched("Quellnet", on=True)
            self.assertBlocked(SAVED)
            app.bring_to_front()
            app.wait_for("list item", "DNS protection is enabled", "")
            window.bring_to_front(leaving=app)
            window.wait_focused("check box", "Quellnet")
            window.keys("space")
            window.wait_switched("Quellnet", on=False)
            self.assertResolves(SAVED)
            app.bring_to_front()
            app.wait_for("list item", "DNS protection is disabled", "")


class RefusalTest(unittest.TestCase):
    """Each case: the window says why in words, the switch stays Off and the stored file is
    byte for byte as the app saved it."""

    def refused(self, expected_words, prompt_asked):
        log = os.environ["PKEXEC_STANDIN_LOG"]
        if os.path.exists(log):
            os.remove(log)
        with Session(real_system=True) as session:
            _, window = open_app_and_window(session, SAVED)
            with open(stored_file(session), "rb") as file:
                saved = file.read()
            window.toggle("Quellnet")
            line = window.wait_line("Quellnet", lambda text: expected_words in text,
                                    f"the window to say {expected_words!r}")
            self.assertFalse(window.is_checked("Quellnet"), line)
            self.assertIn("Off", line)
            with open(stored_file(session), "rb") as file:
                self.assertEqual(file.read(), saved)
            self.assertEqual(os.path.exists(log), prompt_asked)
            self.assertIn("is not blocked", session.device_settings("dns", "check", SAVED))

    def test_system_part_missing(self):
        self.refused("not installed", prompt_asked=False)

    def test_cancelled_prompt(self):
        self.refused("cancelled", prompt_asked=True)

    def test_another_accounts_list(self):
        self.refused("another account", prompt_asked=False)


def bench(pairs=9):
    """Seconds from the switch to the first failing look-up, the window's toggle against
    `device-settings dns enable`, alternating which goes first in each pair."""
    log = os.environ["QUELLNET_DNS_LOG"]
    open(log, "w").close()
    DeadSimpleDNS(log).start()

    def until_blocked(start):
        while addrinfo_error(SAVED) != socket.EAI_NONAME:
            time.sleep(0.0005)
        return time.monotonic() - start

    def until_resolves():
        wait_until(lambda: addrinfo_error(SAVED) is None, "the name to resolve again")

    with Session(real_system=True) as session:
        app, window = open_app_and_window(session, SAVED)

        def by_window():
            start = time.monotonic()
            window.toggle("Quellnet")
            took = until_blocked(start)
            window.wait_switched("Quellnet", on=True)
            window.toggle("Quellnet")
            window.wait_switched("Quellnet", on=False)
            until_resolves()
            return took

        def by_command():
            start = time.monotonic()
            session.device_settings("dns", "enable", "Quellnet")
            took = until_blocked(start)
            session.device_settings("dns", "disable", "Quellnet")
            window.wait_switched("Quellnet", on=False)
            until_resolves()
            return took

        window_times, command_times = [], []
        for pair in range(pairs):
            order = (by_window, by_command) if pair % 2 == 0 else (by_command, by_window)
            for measure in order:
                (window_times if measure is by_window else command_times).append(measure())
    w, c = statistics.median(window_times), statistics.median(command_times)
    print(f"switch to blocked look-up, median of {pairs} alternated pairs:")
    print(f"  window  {w * 1000:8.1f} ms  (min {min(window_times) * 1000:.1f}, "
          f"max {max(window_times) * 1000:.1f})")
    print(f"  command {c * 1000:8.1f} ms  (min {min(command_times) * 1000:.1f}, "
          f"max {max(command_times) * 1000:.1f})")
    print(f"  ratio window/command: {w / c:.2f}")


if __name__ == "__main__":
    if sys.argv[1:] == ["--bench"]:
        bench()
    else:
        unittest.main(verbosity=2)
