#!/usr/bin/env python3
"""concurrent_runs.py - two runs at once into one folder: is any output lost or mixed?

Usage: bench/concurrent_runs.py [--pairs N] [--size BYTES] [--decoder PATH]

For each pair a fresh folder gets two articles that carry different binaries
under the same name (same.bin); two vantorelle-decode processes are started
together, one on each article, so both write into the folder at once. A pair
counts as lost or mixed unless both exit 0 without a message, list two
different paths, and each listed file holds exactly its own binary, with no
temporary file left. Prints one Markdown table. Without --decoder,
vantorelle-decode is built (Release) under build/bench/release.
"""
import argparse
import binascii
import os
import random
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from release_build import build_decoder  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "bench"
WORK = BUILD / "concurrent"


def build():
    return build_decoder()


def uu_article(subject, name, data):
    lines = ["From: poster@example.invalid", f"Subject: {subject}", "", f"begin 644 {name}"]
    lines += [binascii.b2a_uu(data[i:i + 45]).decode("ascii").rstrip("\n")
              for i in range(0, len(data), 45)]
    lines += ["`", "end", ""]
    return "\n".join(lines).encode("ascii")


def run_pair(decoder, folder, articles, binaries):
    folder.mkdir(parents=True)
    inputs = []
    for i, article in enumerate(articles):
        path = folder / f"article{i}.txt"
        path.write_bytes(article)
        inputs.append(path)
    runs = [subprocess.Popen([str(decoder), str(p)], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE) for p in inputs]
    results = [(r.communicate(), r.returncode) for r in runs]
    listed = []
    for ((out, err), status), binary in zip(results, binaries):
        paths = out.decode().splitlines()
        if status != 0 or err or len(paths) != 1:
            return False
        if not Path(paths[0]).is_file() or Path(paths[0]).read_bytes() != binary:
            return False
        listed.append(paths[0])
    leftovers = [n for n in os.listdir(folder) if n.startswith(".")]
    return len(set(listed)) == 2 and not leftovers


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pairs", type=int, default=200)
    parser.add_argument("--size", type=int, default=1 << 20, help="bytes of each binary")
    parser.add_argument("--decoder", type=Path)
    args = parser.parse_args()
    decoder = args.decoder or build()
    rng = random.Random(18)
    binaries = [rng.randbytes(args.size), rng.randbytes(args.size)]
    articles = [uu_article(f"run {i}", "same.bin", b) for i, b in enumerate(binaries)]
    shutil.rmtree(WORK, ignore_errors=True)
    bad = 0
    start = time.monotonic()
    for pair in range(args.pairs):
        folder = WORK / f"pair{pair:03d}"
        if not run_pair(decoder, folder, articles, binaries):
            bad += 1
            print(f"pair {pair}: lost or mixed (kept in {folder})", file=sys.stderr)
        else:
            shutil.rmtree(folder)
    seconds = time.monotonic() - start
    print("| pairs | binary size | lost or mixed | wall time |")
    print("|---|---|---|---|")
    print(f"| {args.pairs} | {args.size:,} bytes | {bad} | {seconds:.1f} s |")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
