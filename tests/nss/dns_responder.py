#!/usr/bin/env python3
"""A DNS server on 127.0.0.1:53 that answers every A question with 10.53.53.53 (AAAA with
nothing) and appends each asked name to LOG; says "ready" on standard output once it listens.
Run inside a private network namespace by the hosts module's getent test and lookup bench.

    dns_responder.py LOG
"""

import socket
import struct
import sys

ANSWER = "10.53.53.53"


def main():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 53))
    print("ready", flush=True)
    with open(sys.argv[1], "a", buffering=1) as log:
        while True:
            query, peer = sock.recvfrom(512)
            labels, at = [], 12
            while at < len(query) and query[at]:
                labels.append(query[at + 1:at + 1 + query[at]].decode("ascii", "replace"))
                at += 1 + query[at]
            if at + 5 > len(query):
                continue
            qtype = struct.unpack("!H", query[at + 1:at + 3])[0]
            log.write(".".join(labels).lower() + "\n")
            answers = b""
            if qtype == 1:
                answers = (b"\xc0\x0c" + struct.pack("!HHIH", 1, 1, 60, 4)
                           + socket.inet_aton(ANSWER))
            header = query[:2] + struct.pack("!HHHHH", 0x8180, 1, 1 if answers else 0, 0, 0)
            sock.sendto(header + query[12:at + 5] + answers, peer)


if __name__ == "__main__":
    main()
