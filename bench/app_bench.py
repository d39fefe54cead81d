#!/usr/bin/env python3
"""app_bench.py - times a decode run of the desktop application against vantorelle-decode.

Usage: bench/app_bench.py [--runs N] [--big] [--keep]

Builds vantorelle-decode and vantorelle_app_run (Release, with Qt) under
build/bench/app-release, generates the corpus of bench.py, and runs the two in
turns over the same files: the application's run (a drop of the files on the
offscreen application with errors listed in the progress window, timed from
the drop to the closed progress window) against the whole vantorelle-decode
process. Prints the median of the pair-by-pair ratios and the longest time
between two paints of the progress window in any run, also for the corpus's
single uuencoded block, one article. --big adds the 1 GiB corpus.
"""
import argparse
import filecmp
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bench  # noqa: E402  (the corpus and helpers of the main benchmark)

RELEASE = bench.BUILD / "app-release"


def build():
    subprocess.run(["cmake", "-S", str(bench.ROOT), "-B", str(RELEASE), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DVANTORELLE_BUILD_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["ninja", "-C", str(RELEASE), "-j2", "vantorelle-decode", "vantorelle_app_run"],
                   check=True, stdout=subprocess.DEVNULL)
    maker = bench.BUILD / "make_corpus"
    subprocess.run(["c++", "-O2", "-std=c++20", "-o", str(maker), str(bench.BENCH / "make_corpus.cpp")],
                   check=True)
    return RELEASE / "app" / "cli" / "vantorelle-decode", RELEASE / "bench" / "vantorelle_app_run", maker


def decode_seconds(decode, files):
    subprocess.run(["sync"], check=True)
    start = time.perf_counter()
    subprocess.run([str(decode)] + files, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def app_run(app, files):
    subprocess.run(["sync"], check=True)
    out = subprocess.run([str(app)] + files, check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1]), int(out[2])


def pairs(name, decode, app, files, output, original, runs):
    ratios, walls, gaps = [], [], []
    for _ in range(runs):
        output.unlink(missing_ok=True)
        base = decode_seconds(decode, files)
        if not filecmp.cmp(output, original, shallow=False):
            sys.exit(f"{name}: vantorelle-decode's output differs from the original")
        output.unlink()
        wall, gap, paints = app_run(app, files)
        if not filecmp.cmp(output, original, shallow=False):
            sys.exit(f"{name}: the application's output differs from the original")
        output.unlink()
        ratios.append(wall / base)
        walls.append(wall)
        gaps.append(gap)
    row = (name, statistics.median(walls), original.stat().st_size / statistics.median(walls) / 1e6,
           statistics.median(ratios), max(gaps))
    bench.log(f"{name}: {row[1]:.3f} s, x{row[3]:.2f} of vantorelle-decode, longest paint gap "
              f"{row[4]:.0f} ms ({paints} paints in the last run)")
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--big", action="store_true", help="also the 1 GiB corpus")
    parser.add_argument("--keep", action="store_true", help="keep the corpora")
    args = parser.parse_args()

    bench.BUILD.mkdir(parents=True, exist_ok=True)
    decode, app, maker = build()
    sizes = [256 * bench.MIB] + ([1024 * bench.MIB] if args.big else [])
    rows = []
    try:
        for size in sizes:
            c = bench.corpus(maker, size)
            original = c / "original.bin"
            tag = f"{size // bench.MIB} MiB"
            for kind, label in (("yenc", "yEnc"), ("uu", "uuencode")):
                files = sorted(str(p) for p in (c / kind).glob("*.txt"))
                rows.append(pairs(f"vantorelle application, {label}, {len(files)} files, {tag}", decode,
                                  app, files, c / kind / "random.bin", original, args.runs))
            # One long part: the busy hook's polls alone keep the window alive.
            rows.append(pairs(f"vantorelle application, uuencode, one article, {tag}", decode, app,
                              [str(c / "single.uue")], c / "random.bin", original, args.runs))
    finally:
        if not args.keep:
            for size in sizes:
                shutil.rmtree(bench.BUILD / f"corpus-{size // bench.MIB}", ignore_errors=True)

    print(f"Machine: {bench.machine()}; warm page cache; median of {args.runs} runs.\n")
    print("| run and input | seconds | MB/s | × vantorelle-decode (pair by pair) | longest paint gap ms |")
    print("|---|---:|---:|---:|---:|")
    for name, wall, rate, ratio, gap in rows:
        print(f"| {name} | {wall:.3f} | {rate:.0f} | {ratio:.2f} | {gap:.0f} |")


if __name__ == "__main__":
    main()
