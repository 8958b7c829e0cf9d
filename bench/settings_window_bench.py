"""Seconds from switching Quellnet on to the first failing getaddrinfo() of a saved name: the
Settings window's toggle against `device-settings dns enable`, 9 pairs with the order
alternated; the medians and their ratio. Run by bench/settings_window_bench.sh, as root in the
private namespace that tests/system/run_settings_window_test.sh lays out."""

import os
import socket
import statistics
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

        times = {by_window: [], by_command: []}
        for pair in range(pairs):
            for measure in (by_window, by_command)[::1 if pair % 2 == 0 else -1]:
                times[measure].append(measure())
                window.wait_line("Quellnet", False)
                wait_until(lambda: addrinfo_error(SAVED) is None, "the name to resolve again")
    print(f"switch to blocked look-up, {pairs} alternated pairs (median, min, max in ms):")
    for name, measure in (("window", by_window), ("command", by_command)):
        ms = [t * 1000 for t in times[measure]]
        print(f"  {name:8} {statistics.median(ms):7.1f} {min(ms):7.1f} {max(ms):7.1f}")
    ratio = statistics.median(times[by_window]) / statistics.median(times[by_command])
    print(f"  ratio window/command: {ratio:.2f}")


if __name__ == "__main__":
    main()
