#!/usr/bin/env python3
"""Peer for the check benchmarks: the same check (UIDL, then TOP n 0 for every message) with
poplib. With --quickack, TCP_QUICKACK is set before every read, as a client that does not wait
for delayed acknowledgements would. With --floor, only login, UIDL and QUIT: what any check of
the mailbox costs at least."""
import poplib
import socket
import sys
import time


class QuickAckPOP3(poplib.POP3):
    def _getline(self):
        # Linux clears the flag again after it acts: set it before every read.
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        return super()._getline()


quick_ack = "--quickack" in sys.argv
floor = "--floor" in sys.argv
args = [arg for arg in sys.argv[1:] if not arg.startswith("--")]
host, port, user, password = args[0], int(args[1]), args[2], args[3]
start = time.perf_counter()
session = (QuickAckPOP3 if quick_ack else poplib.POP3)(host, port)
session.user(user)
session.pass_(password)
_, listing, _ = session.uidl()
header_lines = 0
for entry in [] if floor else listing:
    number = int(entry.split()[0])
    _, lines, _ = session.top(number, 0)
    header_lines += len(lines)
session.quit()
print(f"{time.perf_counter() - start:.6f} {len(listing)} {header_lines}")
