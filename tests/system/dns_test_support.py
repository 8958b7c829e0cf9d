"""A DNS server that answers every name, a query through dig and a saved configuration, for
the tests that run real resolvers and real programs in a private namespace on loopback. As a
program it serves port 53, appends each asked name to LOG and says "ready" once it listens:
    dns_test_support.py LOG"""

import json
import os
import re
import socket
import struct
import subprocess
import sys
import threading
import time

A = 1


def parse_question(packet):
    """The question's name (lower case, no trailing dot), its type and where the question ends."""
    labels, at = [], 12
    while packet[at]:
        labels.append(packet[at + 1:at + 1 + packet[at]].decode("ascii", "replace"))
        at += 1 + packet[at]
    qtype = struct.unpack("!H", packet[at + 1:at + 3])[0]
    return ".".join(labels).lower(), qtype, at + 5


class AnswerEveryName(threading.Thread):
    """Answers every A question with `address` (every other type with no records) and appends
    each name it was asked to the file `log` when given, so a test can tell which names left
    the machine."""

    def __init__(self, address="10.53.53.53", port=53, host="127.0.0.1", log=None):
        super().__init__(daemon=True)
        self.address = address
        self.log = open(log, "a", buffering=1) if log else None  # appends past any truncation
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((host, port))

    def run(self):
        while True:
            query, peer = self.sock.recvfrom(4096)
            try:
                name, qtype, end = parse_question(query)
            except (IndexError, struct.error):
                continue
            if self.log:
                self.log.write(name + "\n")
            answers = b""
            if qtype == A:
                answers = (b"\xc0\x0c" + struct.pack("!HHIH", A, 1, 60, 4)
                           + socket.inet_aton(self.address))
            flags = 0x8080 | (query[2] & 0x01) << 8  # QR, RA, and RD as asked
            header = query[:2] + struct.pack("!HHHHH", flags, 1, 1 if answers else 0, 0, 0)
            self.sock.sendto(header + query[12:end] + answers, peer)


def query(name, port, timeout=2):
    """(status, [IPv4 addresses]) of an A question to 127.0.0.1 on `port`, asked with dig;
    status None when nothing came back."""
    reply = subprocess.run(["dig", "+tries=1", f"+time={timeout}", "+noall", "+comments",
                            "+answer", "-p", str(port), "@127.0.0.1", name, "A"],
                           capture_output=True, text=True).stdout
    status = re.search(r"status: (\w+)", reply)
    return status and status[1], re.findall(r"\sIN\s+A\s+(\S+)$", reply, re.M)


def save_configuration(names):
    """Quellnet's configuration, switched off, saving `names`, in this account's store."""
    folder = os.path.join(os.environ["XDG_STATE_HOME"], "device-platform/NetworkExtension/dns")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "org.quellnet.app.json"), "w") as file:
        json.dump({"format": 1, "identifier": "org.quellnet.app", "displayName": "Quellnet",
                   "enabled": False, "onDemandRules": [],
                   "settings": {"protocol": "HTTPS", "servers": ["0.0.0.0"], "matchDomains": names,
                                "serverURL": "https://0.0.0.0/dns-query"}}, file)


def wait_for_answers(port, deadline=20.0, process=None):
    """Polls until the server on `port` answers a question, or fails when it never does."""
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        if process is not None and process.poll() is not None:
            raise RuntimeError(f"the server for port {port} exited with {process.returncode}")
        if query("ready.invalid-probe.example", port, timeout=1)[0] is not None:
            return
    raise RuntimeError(f"nothing answers on port {port}")


if __name__ == "__main__":
    server = AnswerEveryName(log=sys.argv[1])
    print("ready", flush=True)
    server.run()
