#!/usr/bin/env python3
"""Peer for pop3_check_bench: the same check (UIDL, then TOP n 0 for every message) with poplib."""
import poplib
import sys
import time

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
start = time.perf_counter()
session = poplib.POP3(host, port)
session.user(user)
session.pass_(password)
_, listing, _ = session.uidl()
header_lines = 0
for entry in listing:
    number = int(entry.split()[0])
    _, lines, _ = session.top(number, 0)
    header_lines += len(lines)
session.quit()
print(f"{time.perf_counter() - start:.6f} {len(listing)} {header_lines}")
