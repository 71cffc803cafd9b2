#!/usr/bin/env python3
"""Writes corpus.txt: encoded headers, file names and bodies, with the text Python's email package decodes them to.

Each case is one line of four tab-separated fields: kind (header, filename, body), a name, the raw
bytes, and the expected UTF-8 text. Raw and expected are escaped: \\\\ for a backslash, \\t, \\r,
\\n, and \\xNN for other bytes below 0x20 and, in raw only, for every byte from 0x7F up.
Run it from anywhere; it rewrites corpus.txt beside itself.
"""
import base64
import email
import email.header
import email.message
import email.policy
import email.quoprimime
import pathlib

SAMPLES = [
    ("utf-8", "Réunion à 15 h — “ordre du jour” ✓ 😀"),
    ("iso-8859-1", "Réunion déplacée à jeudi"),
    ("iso-8859-2", "Zażółć gęślą jaźń"),
    ("iso-8859-15", "Prix: 15 € œuvre"),
    ("windows-1251", "Привет, как дела?"),
    ("windows-1252", "Price “quoted” – 20 €"),
    ("koi8-r", "Съешь же ещё этих мягких булок"),
    ("gb2312", "会议通知：明天下午三点"),
    ("gbk", "會議通知 GBK 测试"),
    ("big5", "會議通知：明天下午三點"),
    ("shift_jis", "会議のお知らせ"),
    ("iso-2022-jp", "会議のお知らせ"),
]


def escape(data, raw: bool) -> str:
    """Escapes bytes (raw) or a str (expected)."""
    out = []
    for c in data:
        b = c if raw else ord(c)
        c = chr(b) if raw else c
        if c == "\\":
            out.append("\\\\")
        elif c == "\t":
            out.append("\\t")
        elif c == "\r":
            out.append("\\r")
        elif c == "\n":
            out.append("\\n")
        elif b < 0x20 or (raw and b >= 0x7F):
            out.append("\\x%02X" % b)
        else:
            out.append(c)
    return "".join(out)


def expected_text(text: str) -> str:
    return escape(text, raw=False)


def q_word(charset: str, data: bytes) -> str:
    return "=?%s?q?%s?=" % (charset, email.quoprimime.header_encode(data).split("?")[3])


def b_word(charset: str, data: bytes) -> str:
    return "=?%s?b?%s?=" % (charset, base64.b64encode(data).decode())


def decoded_subject(raw: bytes) -> str:
    msg = email.message_from_bytes(b"Subject: " + raw + b"\r\n\r\n", policy=email.policy.default)
    return str(msg["Subject"])


def header_cases():
    for charset, text in SAMPLES:
        data = text.encode(charset)
        words = [
            ("b", b_word(charset, data)),
            ("q", q_word(charset, data)),
            ("header-class", email.header.Header(text, charset).encode()),
            ("prefixed", "Re: " + b_word(charset, data) + " [list]"),
        ]
        # For some charsets the Header class writes Python's codec name (eucgb2312_cn,
        # big5_tw), which no mailer sends; those words are left out.
        words = [(n, w) for n, w in words if n != "header-class" or ("=?%s?" % charset) in w.lower()]
        for name, raw in words:
            raw = raw.encode("ascii")
            yield "header", "%s-%s" % (charset, name), raw, decoded_subject(raw)
    # Two words in different charsets, and a long value folded into many words.
    mixed = (b_word("utf-8", "Grüße".encode()) + " " + q_word("koi8-r", "мир".encode("koi8-r"))).encode()
    yield "header", "mixed-charsets", mixed, decoded_subject(mixed)
    long_text = "Очень длинная тема письма, " * 8
    folded = email.header.Header(long_text, "utf-8").encode().encode()
    yield "header", "folded-many-words", folded, decoded_subject(folded)
    # Faults Python and we treat alike: truncated base64, invalid bytes, a character split
    # across two words, and 5,000 words in one header. (Unknown charsets, characters outside
    # the base64 alphabet and 8-bit text that is not UTF-8 are decoded differently on purpose:
    # they stay as written, and the last is Windows-1252; tests/mail covers them.)
    for name, raw in [
        ("truncated-base64", b"=?utf-8?b?w6nD?= ok"),
        ("invalid-byte", b"=?utf-8?q?a=FFb?= tail"),
        ("truncated-shift-jis", b"=?shift_jis?b?gqCC?= x"),
        ("split-character", b"=?utf-8?q?x=C3?=\r\n =?UTF-8?q?=A9y?= z =?utf-8?q?_w?="),
        ("glued-to-text", b"Re:=?iso-8859-1?q?caf=E9?="),
        ("five-thousand-words", b" ".join([b"=?utf-8?b?w6k=?="] * 5000)),
    ]:
        yield "header", name, raw, decoded_subject(raw)
    # Raw 8-bit UTF-8 outside encoded words.
    raw8 = "Café ☕ direct".encode("utf-8")
    yield "header", "raw-utf8", raw8, raw8.decode("utf-8")


def message_with_attachment(filename: str) -> bytes:
    msg = email.message.EmailMessage(policy=email.policy.SMTP)
    msg["Subject"] = "attachment"
    msg.set_content("see attachment")
    msg.add_attachment(b"data", maintype="application", subtype="octet-stream", filename=filename)
    return msg.as_bytes()


def filename_cases():
    for name, filename in [
        ("rfc2231-utf8", "Prüfbericht März.pdf"),
        ("rfc2231-continued", "Очень длинное имя файла с отчётом за первый квартал года.xlsx"),
        ("rfc2231-cjk", "会议纪要.docx"),
    ]:
        raw = message_with_attachment(filename)
        parsed = email.message_from_bytes(raw, policy=email.policy.default)
        got = [p.get_filename() for p in parsed.iter_attachments()][0]
        yield "filename", name, raw, got
    # Latin-1 with a language tag, and an encoded word inside a quoted name.
    for name, disposition in [
        ("rfc2231-latin1-lang", "attachment; filename*=iso-8859-1'fr'r%E9sum%E9.txt"),
        ("rfc2047-quoted", 'attachment; filename="%s"' % b_word("utf-8", "Überblick.txt".encode())),
    ]:
        raw = ("MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
               "Content-Type: text/plain\r\n\r\nbody\r\n--b\r\nContent-Type: text/plain\r\n"
               "Content-Disposition: %s\r\n\r\ndata\r\n--b--\r\n" % disposition).encode()
        parsed = email.message_from_bytes(raw, policy=email.policy.default)
        got = [p.get_filename() for p in parsed.iter_attachments()][0]
        yield "filename", name, raw, got


def body_cases():
    for charset, text in SAMPLES:
        body = text + "\nSecond line.\n"
        msg = email.message.EmailMessage(policy=email.policy.SMTP)
        msg["Subject"] = "body"
        cte = "7bit" if charset == "iso-2022-jp" else "base64"
        msg.set_content(body.encode(charset), maintype="text", subtype="plain", cte=cte)
        msg.set_param("charset", charset)
        raw = msg.as_bytes()
        got = email.message_from_bytes(raw, policy=email.policy.default).get_content()
        yield "body", "plain-" + charset, raw, got


def main():
    lines = []
    for kind, name, raw, expected in [*header_cases(), *filename_cases(), *body_cases()]:
        lines.append("\t".join([kind, name, escape(raw, raw=True), expected_text(expected)]))
    out = pathlib.Path(__file__).resolve().parent / "corpus.txt"
    out.write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
