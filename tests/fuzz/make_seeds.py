#!/usr/bin/env python3
"""Cuts the genuine Regshot reports into small seed inputs for the fuzzer: the heading plus one section each,
long sections in several pieces, each in the report's own encoding and at most MAX_BYTES long, so that every
section handler is reached from the first run on and the fuzzer has room to grow a piece. A piece is cut only
where an entry begins (a modified value's old and new lines stay together), so every piece is a report that
Regshot could have written."""
import os
import re
import sys

MAX_BYTES = 6000
DASHES = "-" * 34
TITLE = re.compile(r"^[A-Za-z][A-Za-z \[\]?]*:\s*\d*\s*$")
ENTRY_START = re.compile(r"^(HKLM|HKU|HKCU|HKCR|HKCC|HKEY_[A-Z_]+)(\\|:)|^[A-Za-z]:\\?")


def decode(raw):
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le", "replace"), "utf-16-le", b"\xff\xfe"
    head = raw[:256]
    if len(head) >= 4 and sum(1 for i in range(1, len(head), 2) if head[i] == 0) * 4 >= (len(head) // 2) * 3:
        return raw.decode("utf-16-le", "replace"), "utf-16-le", b""
    return raw.decode("latin-1"), "latin-1", b""


def sections(lines):
    """The lines after the heading, split where a row of dashes opens a section title."""
    out, current = [], []
    for i, line in enumerate(lines):
        opens = line == DASHES and i + 1 < len(lines) and TITLE.match(lines[i + 1])
        if opens and current:
            out.append(current)
            current = []
        current.append(line)
    if current:
        out.append(current)
    return out


def entries(section):
    """The section's frame (dashes, title, dashes) and its entries, each a list of lines; a modified value's
    old and new lines form one entry."""
    frame, body = section[:3], section[3:]
    pairs = frame[1:2] and frame[1].startswith("Values modified")
    out, current, starts = [], [], 0
    for line in body:
        if ENTRY_START.match(line) and current:
            starts += 1
            if not pairs or starts % 2 == 0:
                out.append(current)
                current = []
        current.append(line)
    if current:
        out.append(current)
    return frame, out


def pieces(text, size_of):
    lines = text.split("\r\n")
    heading, body = lines[:6], lines[6:]
    for section in sections(body):
        frame, items = entries(section)
        chunk = []
        for item in items:
            if chunk and size_of(heading + frame + chunk + item) > MAX_BYTES:
                yield heading + frame + chunk
                chunk = []
            chunk += item
        if chunk or not items:
            yield heading + frame + chunk


def main(reports, out):
    os.makedirs(out, exist_ok=True)
    count = 0
    for name in sorted(os.listdir(reports)):
        with open(os.path.join(reports, name), "rb") as f:
            text, encoding, mark = decode(f.read())

        def encoded(piece):
            return mark + "\r\n".join(piece + ["Total changes: 1", ""]).encode(encoding, "replace")

        for i, piece in enumerate(pieces(text, lambda p: len(encoded(p)))):
            data = encoded(piece)[:MAX_BYTES * 2]  # a single entry longer than a piece is cut
            with open(os.path.join(out, f"{name[:2]}-{i:03d}"), "wb") as f:
                f.write(data)
            count += 1
    print(f"{count} seeds in {out}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
