#!/usr/bin/python3
"""foreign_articles.py - articles made by independent encoders, for the end-to-end tests.

Usage: foreign_articles.py OUTDIR
Writes OUTDIR/original.bin and, in OUTDIR/sabyenc, OUTDIR/pyyenc and OUTDIR/sharutils,
one article file per part of that binary, each made by another encoder.
"""
import os
import random
import subprocess
import sys
import zlib

import _yenc
import sabyenc3

PARTS = 3


def head(subject):
    return [b"From: poster@example.invalid", b"Newsgroups: alt.binaries.test",
            b"Subject: " + subject, b""]


def write_parts(folder, articles):
    os.makedirs(folder, exist_ok=True)
    # File names sort against part order, so the decoder must order by counter.
    for i, text in enumerate(articles):
        with open(os.path.join(folder, "article-%d.txt" % (len(articles) - i)), "wb") as f:
            f.write(text)


def yenc_articles(data, name, encode_piece):
    size = len(data)
    step = (size + PARTS - 1) // PARTS
    articles = []
    for p in range(PARTS):
        piece = data[p * step:(p + 1) * step]
        encoded = encode_piece(piece)
        subject = b'test - "%s" yEnc (%d/%d)' % (name, p + 1, PARTS)
        lines = head(subject) + [
            b"=ybegin part=%d total=%d line=128 size=%d name=%s" % (p + 1, PARTS, size, name),
            b"=ypart begin=%d end=%d" % (p * step + 1, p * step + len(piece)),
        ]
        body = b"\r\n".join(lines) + b"\r\n" + encoded.rstrip(b"\r\n") + b"\r\n"
        body += b"=yend size=%d part=%d pcrc32=%08x crc32=%08x\r\n" % (
            len(piece), p + 1, zlib.crc32(piece), zlib.crc32(data))
        articles.append(body)
    return articles


def sabyenc_piece(piece):
    encoded, _crc = sabyenc3.encode(piece)
    return encoded


def pyyenc_piece(piece):
    encoded, _crc, _column = _yenc.encode_string(piece, 0xFFFFFFFF, 0)
    return encoded


def sharutils_articles(folder, data, name):
    source = os.path.join(folder, "..", "original.bin")
    out = subprocess.run(["uuencode", source, name.decode()], check=True, capture_output=True).stdout
    lines = out.rstrip(b"\n").split(b"\n")
    step = (len(lines) + PARTS - 1) // PARTS
    articles = []
    for p in range(PARTS):
        chunk = lines[p * step:(p + 1) * step]
        subject = b"test - %s (%d/%d)" % (name, p + 1, PARTS)
        articles.append(b"\n".join(head(subject) + chunk) + b"\n\n")
    return articles


def main():
    out = sys.argv[1]
    rng = random.Random(7)
    data = bytes(rng.getrandbits(8) for _ in range(200_000)) + bytes(range(256)) * 40
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "original.bin"), "wb") as f:
        f.write(data)
    write_parts(os.path.join(out, "sabyenc"), yenc_articles(data, b"sab.bin", sabyenc_piece))
    write_parts(os.path.join(out, "pyyenc"), yenc_articles(data, b"py.bin", pyyenc_piece))
    folder = os.path.join(out, "sharutils")
    os.makedirs(folder, exist_ok=True)
    write_parts(folder, sharutils_articles(folder, data, b"uu.bin"))


if __name__ == "__main__":
    main()
