"""A DNS server that answers every name, and a DNS query, for the tests that run real resolvers
and real programs in a private namespace on loopback."""

import os
import socket
import struct
import threading
import time

A, AAAA, HTTPS = 1, 28, 65
NOERROR, NXDOMAIN = 0, 3


def parse_question(packet):
    """The question's name (lower case, no trailing dot), its type and where the question ends."""
    labels, at = [], 12
    while packet[at]:
        labels.append(packet[at + 1:at + 1 + packet[at]].decode("ascii", "replace"))
        at += 1 + packet[at]
    qtype = struct.unpack("!H", packet[at + 1:at + 3])[0]
    return ".".join(labels).lower(), qtype, at + 5


class AnswerEveryName(threading.Thread):
    """Answers every A question with `address` (every other type with no records) and records
    each (name, type) it was asked, so a test can tell which names left the machine."""

    def __init__(self, address, port=53, host="127.0.0.1"):
        super().__init__(daemon=True)
        self.address = address
        self.asked = []
        self.lock = threading.Lock()
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((host, port))

    def run(self):
        while True:
            query, peer = self.sock.recvfrom(4096)
            try:
                name, qtype, end = parse_question(query)
            except (IndexError, struct.error):
                continue
            with self.lock:
                self.asked.append((name, qtype))
            answers = b""
            if qtype == A:
                answers = (b"\xc0\x0c" + struct.pack("!HHIH", A, 1, 60, 4)
                           + socket.inet_aton(self.address))
            flags = 0x8180 | (query[2] & 0x01) << 8  # QR, RD as asked, RA
            header = query[:2] + struct.pack("!HHHHH", flags, 1, 1 if answers else 0, 0, 0)
            self.sock.sendto(header + query[12:end] + answers, peer)

    def names_asked(self):
        with self.lock:
            return {name for name, _ in self.asked}

    def clear(self):
        with self.lock:
            self.asked.clear()


def query(name, port, server="127.0.0.1", qtype=A, timeout=2.0):
    """(rcode, [IPv4 addresses]) of one question, or (None, []) when nothing came back."""
    ident = os.getpid() & 0xFFFF ^ int(time.monotonic() * 1000) & 0xFFFF
    question = b"".join(bytes([len(label)]) + label.encode("ascii")
                        for label in name.rstrip(".").split(".")) + b"\0"
    packet = struct.pack("!HHHHHH", ident, 0x0100, 1, 0, 0, 0) + question + struct.pack(
        "!HH", qtype, 1)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.settimeout(timeout)
        sock.sendto(packet, (server, port))
        try:
            while True:
                reply = sock.recv(4096)
                if reply[:2] == packet[:2]:
                    break
        except socket.timeout:
            return None, []
    rcode = reply[3] & 0x0F
    count = struct.unpack("!H", reply[6:8])[0]
    at = 12 + len(question) + 4
    addresses = []
    for _ in range(count):
        while reply[at] and reply[at] < 0xC0:  # the owner name, possibly ending in a pointer
            at += 1 + reply[at]
        at += 2 if reply[at] >= 0xC0 else 1
        rtype, _, _, length = struct.unpack("!HHIH", reply[at:at + 10])
        at += 10
        if rtype == A:
            addresses.append(socket.inet_ntoa(reply[at:at + length]))
        at += length
    return rcode, addresses


def wait_for_answers(port, deadline=20.0, process=None):
    """Polls until the server on `port` answers a question, or fails when it never does."""
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        if process is not None and process.poll() is not None:
            raise RuntimeError(f"the server for port {port} exited with {process.returncode}")
        if query("ready.invalid-probe.example", port, timeout=0.2)[0] is not None:
            return
    raise RuntimeError(f"nothing answers on port {port}")
