"""Real blocking on this computer, as programs that know nothing of Quellnet see it, for the
tests that run in the private namespace of run_settings_window_test.sh."""

import os
import socket
import subprocess
import unittest

from dns_test_support import AnswerEveryName

DNS_ANSWER = "10.53.53.53"


def getent(database, name):
    done = subprocess.run(["getent", database, name], capture_output=True, text=True)
    return done.returncode, done.stdout.split()[0] if done.stdout else None


def addrinfo_error(name):
    try:
        socket.getaddrinfo(name, 80, socket.AF_UNSPEC, socket.SOCK_STREAM)
        return None
    except socket.gaierror as error:
        return error.errno


class BlockingAsserts(unittest.TestCase):
    """What every program's resolver sees, with a server answering every name in the
    namespace, logging to QUELLNET_DNS_LOG, started once."""

    @classmethod
    def setUpClass(cls):
        cls.dns_log = os.environ["QUELLNET_DNS_LOG"]
        open(cls.dns_log, "w").close()
        AnswerEveryName(DNS_ANSWER, log=cls.dns_log).start()

    def assertBlocked(self, name):
        open(self.dns_log, "w").close()
        self.assertEqual(getent("hosts", name), (2, None), name)   # gethostbyname2
        self.assertEqual(getent("ahosts", name), (2, None), name)  # getaddrinfo
        self.assertEqual(addrinfo_error(name), socket.EAI_NONAME, name)
        with open(self.dns_log) as log:
            self.assertNotIn(name, log.read().split(), f"a query for {name} left the machine")

    def assertResolves(self, name, address=DNS_ANSWER):
        status, found = getent("hosts", name)
        self.assertEqual(status, 0, name)
        if address:
            self.assertEqual(found, address, name)
        self.assertIsNone(addrinfo_error(name), name)

