#!/usr/bin/env python3
"""Writes <name>.expected for every <name>.eml here, decoding with Python's email package.

One line per part record, in the decoder's numbering (0 = body or preamble,
then every part header in order of appearance, nested multiparts flattened,
message/rfc822 kept whole, a blank line after a nested closing delimiter
counting as one more empty part):
    index <TAB> content type <TAB> encoding <TAB> file name <TAB> byte count <TAB> md5
Part data follows the decoder's line rule: every text line ends in CR LF (also
the last one before a boundary), a preamble has no line ends at all.
"""
import email
import email.policy
import hashlib
import pathlib
import re

here = pathlib.Path(__file__).parent


def crlf(data: bytes) -> bytes:
    return re.sub(rb"\r?\n", b"\r\n", data)


def raw_segment(raw: bytes, boundary: str, ordinal: int) -> bytes:
    """Body bytes of the ordinal-th part between delimiter lines of boundary."""
    delim = re.compile(rb"\r?\n--" + re.escape(boundary.encode()) + rb"(--)?[ \t]*(?=\r?\n|$)")
    pieces = delim.split(raw)[::2]
    part = pieces[ordinal]
    head_end = re.search(rb"\r?\n\r?\n", part)
    return part[head_end.end():]


def leaf_data(part, raw, parent_boundary, ordinal, single):
    cte = (part.get("Content-Transfer-Encoding") or "").strip().lower()
    if part.get_content_type() == "message/rfc822":
        data = crlf(raw_segment(raw, parent_boundary, ordinal)) + b"\r\n"
        return data
    payload = part.get_payload(decode=True) or b""
    if cte == "base64":
        return payload
    undecoded = part.get_payload(decode=False)
    undecoded = undecoded.encode("latin-1") if isinstance(undecoded, str) else undecoded
    data = crlf(payload)
    if cte == "quoted-printable" and undecoded.rstrip(b"\r\n").endswith(b"="):
        return data
    if single:
        return data if data.endswith(b"\r\n") or not data else data + b"\r\n"
    return data + b"\r\n"


def records(msg, raw):
    out = []
    if not msg.is_multipart():
        out.append(("", "", "", leaf_data(msg, raw, None, 0, True)))
        return out
    pre = (msg.preamble or "").encode("latin-1")
    out.append(("", "", "", re.sub(rb"[\r\n]", b"", pre)))

    def walk(container):
        boundary = container.get_boundary()
        for ordinal, part in enumerate(container.get_payload(), start=1):
            cte = (part.get("Content-Transfer-Encoding") or "").strip().lower()
            name = part.get_filename() or ""
            if part.is_multipart() and part.get_content_type() != "message/rfc822":
                nested_pre = part.preamble or ""
                if nested_pre:
                    data = crlf(nested_pre.encode("latin-1")) + b"\r\n"
                    out.append((part.get_content_type(), cte, name, data))
                else:
                    out.append(("", "", "", b""))
                walk(part)
                # After a nested closing delimiter the decoder reads on as if a
                # part header followed: a blank line there opens one more record.
                if part.epilogue is not None:
                    if part.epilogue.strip():
                        raise NotImplementedError("text in a nested epilogue")
                    out.append(("", "", "", b""))
            else:
                out.append((part.get_content_type(), cte, name,
                            leaf_data(part, raw, boundary, ordinal, False)))

    walk(msg)
    return out


for eml in sorted(here.glob("*.eml")):
    raw = eml.read_bytes()
    msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    lines = []
    for index, (ctype, cte, name, data) in enumerate(records(msg, raw)):
        lines.append("\t".join([str(index), ctype, cte, name, str(len(data)),
                                hashlib.md5(data).hexdigest()]))
    eml.with_suffix(".expected").write_text("\n".join(lines) + "\n")
