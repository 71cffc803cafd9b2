#!/usr/bin/env python3
"""Writes the messages that real POP3 servers handed over as the email package makes them:
a folded subject, a text with a picture and a text file attached, and a message whose
lines end in CR CR LF, as some mail programs store them."""
import email.message
import email.policy
import pathlib

here = pathlib.Path(__file__).parent
policy = email.policy.SMTP  # CR LF line ends, headers folded at 78 characters

folded = email.message.EmailMessage(policy=policy)
folded["From"] = "Ann <ann@example.org>"
folded["To"] = "Bob <bob@example.org>"
folded["Subject"] = ("A subject long enough that the email package folds it onto a second "
                     "line that continues here")
folded.set_content("Short body.\n")
(here / "folded-subject.eml").write_bytes(folded.as_bytes())

mixed = email.message.EmailMessage(policy=policy)
mixed["From"] = "Ann <ann@example.org>"
mixed["To"] = "Bob <bob@example.org>"
mixed["Subject"] = "Shopping"
mixed.set_content("The list is attached.\n")
mixed.add_attachment(bytes.fromhex("89504e470d0a1a0a0000000d49484452"), maintype="image",
                     subtype="png", filename="dot.png")
mixed.add_attachment("apples pears\n", filename="list.txt")
(here / "text-png-list.eml").write_bytes(mixed.as_bytes())

doubled = email.message.EmailMessage(policy=policy)
doubled["From"] = "Ann <ann@example.org>"
doubled["Subject"] = "Stored with CR CR LF"
doubled.set_content("First line.\nSecond line.\n")
(here / "cr-cr-lf.eml").write_bytes(doubled.as_bytes().replace(b"\r\n", b"\r\r\n"))
