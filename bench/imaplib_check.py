#!/usr/bin/env python3
"""Peer for imap_check_bench: the same check (EXAMINE INBOX, UID SEARCH UNSEEN, then the size
and header of every unseen message in batches of 500 UIDs) with imaplib."""
import imaplib
import sys
import time

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
start = time.perf_counter()
session = imaplib.IMAP4(host, port)
session.login(user, password)
session.select("INBOX", readonly=True)
_, data = session.uid("SEARCH", None, "UNSEEN")
uids = data[0].split()
headers = 0
for first in range(0, len(uids), 500):
    batch = b",".join(uids[first:first + 500]).decode()
    _, fetched = session.uid("FETCH", batch, "(UID RFC822.SIZE BODY.PEEK[HEADER])")
    headers += sum(1 for item in fetched if isinstance(item, tuple))
session.logout()
print(f"{time.perf_counter() - start:.6f} {len(uids)} {headers}")
