#!/usr/bin/env python3
"""Cuts the genuine Regshot reports into small seed inputs for the fuzzer: the heading plus one section each
(long sections in several pieces), in the report's own encoding, so that every section handler is reached
from the first run on."""
import os
import sys

MAX_PIECE = 12000


def decode(raw):
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le", "replace"), "utf-16-le", b"\xff\xfe"
    head = raw[:256]
    if len(head) >= 4 and sum(1 for i in range(1, len(head), 2) if head[i] == 0) * 4 >= (len(head) // 2) * 3:
        return raw.decode("utf-16-le", "replace"), "utf-16-le", b""
    return raw.decode("latin-1"), "latin-1", b""


def pieces(text):
    lines = text.split("\r\n")
    heading, body = lines[:6], lines[6:]
    sections, current = [], []
    for line in body:
        if line.startswith("-" * 34) and current and not current[-1].startswith("-" * 34):
            sections.append(current)
            current = []
        current.append(line)
    if current:
        sections.append(current)
    for section in sections:
        chunk = []
        for line in section:
            chunk.append(line)
            if sum(len(l) + 2 for l in chunk) > MAX_PIECE:
                yield heading + chunk
                chunk = section[:3]
        if chunk:
            yield heading + chunk


def main(reports, out):
    os.makedirs(out, exist_ok=True)
    count = 0
    for name in sorted(os.listdir(reports)):
        with open(os.path.join(reports, name), "rb") as f:
            text, encoding, mark = decode(f.read())
        for i, piece in enumerate(pieces(text)):
            data = mark + "\r\n".join(piece + ["Total changes: 1", ""]).encode(encoding, "replace")
            with open(os.path.join(out, f"{name[:2]}-{i:03d}"), "wb") as f:
                f.write(data)
            count += 1
    print(f"{count} seeds in {out}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
