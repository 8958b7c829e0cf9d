"""Seconds from switching Quellnet on to the first failing getaddrinfo() of a saved name: the
Settings window's toggle and `device-settings dns enable`, each against the privileged writer
run alone with the same names (the least any way of switching on can take), 9 rounds with the
order alternated; the medians and their ratios. Run by bench/settings_window_bench.sh, as root in the
private namespace that tests/system/run_settings_window_test.sh lays out."""

import os
import socket
import statistics
import subprocess
import sys
import time

tests = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests")
sys.path[:0] = [os.path.join(tests, "e2e"), os.path.join(tests, "system")]
from quellnet_driver import Session, wait_until  # noqa: E402
from test_settings_window_system import SAVED, open_app_and_window  # noqa: E402
from dns_test_support import AnswerEveryName  # noqa: E402
from test_system_blocking import addrinfo_error  # noqa: E402


def until_blocked(start):
    while addrinfo_error(SAVED) != socket.EAI_NONAME:
        time.sleep(0.0005)
    return time.monotonic() - start


def main(pairs=9):
    AnswerEveryName(log=os.environ["QUELLNET_DNS_LOG"]).start()
    with Session(real_system=True) as session:
        _, window = open_app_and_window(session)
        window.open_dns()

        def by_window():
            start = time.monotonic()
            window.toggle("Quellnet")
            took = until_blocked(start)
            window.wait_line("Quellnet", True)
            window.toggle("Quellnet")
            return took

        def by_command():
            start = time.monotonic()
            session.device_settings("dns", "enable", "Quellnet")
            took = until_blocked(start)
            window.wait_line("Quellnet", True)
            session.device_settings("dns", "disable", "Quellnet")
            return took

        # The list `dns enable` writes, to hand the writer itself.
        session.device_settings("dns", "enable", "Quellnet")
        until_blocked(time.monotonic())
        header, *names = open("/etc/quellnet/blocked", "rb").read().splitlines()
        app = header.split(b" app=")[1].decode()
        session.device_settings("dns", "disable", "Quellnet")
        window.wait_line("Quellnet", False)
        wait_until(lambda: addrinfo_error(SAVED) is None, "the name to resolve again")
        writer = os.environ["QUELLNET_WRITER"]

        def by_writer():
            start = time.monotonic()
            subprocess.run([writer, "write", app], input=b"\n".join(names) + b"\n", check=True)
            took = until_blocked(start)
            subprocess.run([writer, "clear", app], check=True)
            return took

        sides = (by_window, by_command, by_writer)
        times = {side: [] for side in sides}
        for pair in range(pairs):
            for measure in sides[::1 if pair % 2 == 0 else -1]:
                times[measure].append(measure())
                window.wait_line("Quellnet", False)
                wait_until(lambda: addrinfo_error(SAVED) is None, "the name to resolve again")
    print(f"switch to blocked look-up, {pairs} alternated rounds (median, min, max in ms):")
    for name, measure in (("window", by_window), ("command", by_command), ("writer", by_writer)):
        ms = [t * 1000 for t in times[measure]]
        print(f"  {name:8} {statistics.median(ms):7.1f} {min(ms):7.1f} {max(ms):7.1f}")
    median = {side: statistics.median(times[side]) for side in sides}
    print(f"  ratio window/command: {median[by_window] / median[by_command]:.2f}")
    print(f"  ratio command/writer: {median[by_command] / median[by_writer]:.2f}"
          "   goal: within 2x")


if __name__ == "__main__":
    main()
