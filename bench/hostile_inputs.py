#!/usr/bin/env python3
"""hostile_inputs.py - time and peak memory of vantorelle-decode on inputs built to make it slow.

Usage: bench/hostile_inputs.py [--big]

Builds vantorelle-decode (Release) under build/bench/release, writes each input
under build/bench/hostile, decodes it once in a fresh folder and prints one
Markdown table of wall time, peak resident size, exit status and the number of
output files. With --big the 1,000,000-line cases are added. Needs GNU time
(package `time`).
"""
import argparse
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from release_build import build_decoder  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "bench"
WORK = BUILD / "hostile"


def build():
    return build_decoder()


def same_name_articles(n):
    # Each a small yEnc article, every one carrying the same file name.
    return "".join(f"From: poster@example.invalid\nSubject: shot {i} (1/1)\n\n"
                   f"=ybegin line=128 size=8 name=same.jpg\n{'abcdefgh'}\n"
                   f"=yend size=8\n" for i in range(n))


def cases(big):
    out = [
        ("200,000 Subject lines, all different, no data",
         lambda: "".join(f"Subject: {i:06d}\n" for i in range(200_000))),
        ("200,000 uuencode begin lines under different subjects, no empty line",
         lambda: "".join(f"Subject: {i:06d}\nbegin 644 f\n" for i in range(200_000))),
        ("4,000 articles that carry the same file name", lambda: same_name_articles(4000)),
    ]
    if big:
        out += [
            ("1,000,000 Subject lines, one subject, no data", lambda: "Subject: \n" * 1_000_000),
            ("1,000,000 Subject lines, all different, no data",
             lambda: "".join(f"Subject: {i:06d}\n" for i in range(1_000_000))),
        ]
    return out


def run(decode, name, make):
    folder = WORK / "run"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    source = folder / "input.txt"
    source.write_text(make())
    size = source.stat().st_size
    report = WORK / "time.txt"
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(report), str(decode),
                           str(source)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    peak = int(report.read_text().split()[-1]) / 1024
    outputs = sum(1 for p in folder.iterdir() if p != source)
    shutil.rmtree(folder, ignore_errors=True)
    print(f"{name}: {wall:.2f} s, {peak:.0f} MiB", file=sys.stderr, flush=True)
    return name, size, wall, peak, proc.returncode, outputs


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--big", action="store_true", help="also the 1,000,000-line inputs")
    args = parser.parse_args()
    if shutil.which("time") is None and not Path("/usr/bin/time").exists():
        sys.exit("needs GNU time (apt-get install time)")
    decode = build()
    rows = [run(decode, name, make) for name, make in cases(args.big)]
    print("| input | size MB | seconds | peak RSS MiB | exit | outputs |")
    print("|---|---:|---:|---:|---:|---:|")
    for name, size, wall, peak, status, outputs in rows:
        print(f"| {name} | {size / 1e6:.1f} | {wall:.2f} | {peak:.0f} | {status} | {outputs} |")


if __name__ == "__main__":
    main()
