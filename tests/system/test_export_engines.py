"""The saved blocklist exported by `device-settings dns export` and loaded by the real Unbound
and dnsmasq: a saved name and every name under it are NXDOMAIN, a look-alike and any other name
are answered by the upstream. Run by run_in_namespace.sh."""

import os
import subprocess
import unittest
from pathlib import Path

from dns_test_support import AnswerEveryName, query, save_configuration, wait_for_answers

WORK = os.environ["QUELLNET_WORK"]
UPSTREAM_PORT, UPSTREAM_ANSWER = 5300, "10.53.53.53"
# The longest name whose `*.` trigger fits under the RPZ origin, and one letter more: that one is
# left out of the zone alone, or the resolver would refuse the whole zone.
LONGEST = ".".join(["a" * 63] * 3 + ["b" * 46])
SAVED = ["kept.example", "Bücher.example", "quellnet.rpz", "", "*.wild.example", LONGEST,
         LONGEST + "b", "_dmarc.under.example"]
BLOCKED = ["kept.example", "a.b.kept.example", "xn--bcher-kva.example", "www.xn--bcher-kva.example",
           "quellnet.rpz", "x.quellnet.rpz", LONGEST, "_dmarc.under.example"]
ANSWERED = ["notkept.example", "kept.example.net", "other.example", "rpz", "example",
            "under.example"]


def export(form):
    path = os.path.join(WORK, "quellnet." + form)
    done = subprocess.run([os.environ["DEVICE_SETTINGS"], "dns", "export", "Quellnet", form,
                           path], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert '"" (empty)' in done.stderr and '"*.wild.example"' in done.stderr, done.stderr
    assert (LONGEST + 'b" (too long for an RPZ zone)' in done.stderr) == (form == "rpz")
    return path


def write(name, text):
    Path(WORK, name).write_text(text)
    return os.path.join(WORK, name)


def unbound_config(port, extra_modules, tail):
    return f"""server:
    interface: 127.0.0.1
    port: {port}
    do-ip6: no
    username: ""
    chroot: ""
    directory: "{WORK}"
    pidfile: ""
    use-syslog: no
    logfile: ""
    num-threads: 1
    do-not-query-localhost: no
    module-config: "{extra_modules}iterator"
forward-zone:
    name: "."
    forward-addr: 127.0.0.1@{UPSTREAM_PORT}
{tail}"""


class ExportEnginesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        AnswerEveryName(UPSTREAM_ANSWER, UPSTREAM_PORT).start()
        save_configuration(SAVED)

    def serve(self, command, port):
        log = os.path.join(WORK, f"server-{port}.log")
        with open(log, "w") as file:
            server = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=file)
        self.addCleanup(server.wait, 10)
        self.addCleanup(server.terminate)
        try:
            wait_for_answers(port, process=server)
        except RuntimeError as error:
            self.fail(f"{error}: {Path(log).read_text()}")

    def assertBlocksAsSaved(self, port):
        answered = ("NOERROR", [UPSTREAM_ANSWER])
        for names, answer in ((BLOCKED, ("NXDOMAIN", [])), (ANSWERED, answered)):
            for name in names:
                self.assertEqual(query(name, port), answer, f"{name} on port {port}")

    def assertAccepted(self, *command):
        checked = subprocess.run(command, capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    def check_unbound(self, port, extra_modules, tail):
        config = write(f"unbound-{port}.conf", unbound_config(port, extra_modules, tail))
        self.assertAccepted("unbound-checkconf", config)
        self.serve(["unbound", "-d", "-c", config], port)
        self.assertBlocksAsSaved(port)

    def test_rpz_zone_in_unbound_and_named_checkzone(self):
        zone = export("rpz")
        self.assertAccepted("named-checkzone", "quellnet.rpz", zone)
        self.check_unbound(5301, "respip ",
                           f'rpz:\n    name: quellnet.rpz\n    zonefile: "{zone}"\n')

    def test_local_zones_in_unbound(self):
        # Included after another clause, as Debian's unbound.conf takes files in unbound.conf.d.
        self.check_unbound(5302, "", f'include-toplevel: "{export("unbound")}"\n')

    def test_dnsmasq(self):
        config = write("dnsmasq.conf", f"""port=5303
listen-address=127.0.0.1
bind-interfaces
no-resolv
no-hosts
server=127.0.0.1#{UPSTREAM_PORT}
user=root
pid-file=
conf-file={export("dnsmasq")}
""")
        self.serve(["dnsmasq", "--keep-in-foreground", "--conf-file=" + config], 5303)
        self.assertBlocksAsSaved(5303)


if __name__ == "__main__":
    unittest.main(verbosity=2)
