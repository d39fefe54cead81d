#!/usr/bin/python3
"""peer_sabyenc.py - Debian's python3-sabyenc as a decoder of whole yEnc article files, for the benchmark.

Usage: peer_sabyenc.py OUTPUT ARTICLE...  (one part per article, in order). Each
article body (after the header block) goes to the package's decoder, which checks
the part CRC; the bytes are appended to OUTPUT.
"""
import sys

import sabyenc3


def main():
    output, articles = sys.argv[1], sys.argv[2:]
    with open(output, "wb") as out:
        for name in articles:
            with open(name, "rb") as f:
                article = f.read()
            body = article[article.index(b"\r\n\r\n") + 4:]
            data, _, crc_ok = sabyenc3.decode_usenet_chunks([body])
            if not crc_ok:
                sys.exit(f"CRC mismatch in {name}")
            out.write(data)


if __name__ == "__main__":
    main()
