#!/usr/bin/env python3
"""par2_bench.py - vantorelle-par2 against Debian's par2: verify an intact set, repair 5% lost blocks.

    bench/par2_bench.py [--size-mib N] [--block-kib K] [--files F] [--redundancy R] [--par2-threads T]

Generates F files of random data (N MiB in all) in a scratch folder, makes a
set with `par2 create` (blocks of K KiB, R% recovery), then times, each tool
on the same set and a warm page cache, best of two runs:
  verify: the intact set;
  repair: one byte flipped in 5% of the blocks, spread over all files.
Peak memory is each tool's maximum resident set. The default size runs in
about a minute on a small machine; --size-mib 1024 is the 1 GiB case.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from release_build import ROOT, build_program  # noqa: E402


def build_tool():
    return build_program("vantorelle-par2", "par2/vantorelle-par2")


def timed(command, cwd):
    """Seconds, peak resident MiB and exit status of one run.

    GNU time reports the peak: a child forked by Python would count Python's
    own pages in it."""
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-q", "-f", "%M", "-o", report.name] + command, cwd=cwd,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        peak_kib = int(report.read().split()[-1])
    return seconds, peak_kib / 1024, proc.returncode


def make_files(folder, count, total, rng):
    names = []
    for i in range(count):
        name = f"data{i:02}.bin"
        size = total // count + (total % count if i == 0 else 0)
        with open(folder / name, "wb") as out:
            left = size
            while left:
                n = min(left, 1 << 22)
                out.write(rng.randbytes(n))
                left -= n
        names.append(name)
    return names


def damage(folder, names, block, share, rng):
    """Flips one byte in `share` of all blocks; returns how many blocks."""
    blocks = [(n, b) for n in names for b in range((os.path.getsize(folder / n) + block - 1) // block)]
    chosen = rng.sample(blocks, max(1, int(len(blocks) * share)))
    for name, b in chosen:
        size = os.path.getsize(folder / name)
        with open(folder / name, "r+b") as f:
            at = b * block + rng.randrange(min(block, size - b * block))
            f.seek(at)
            byte = f.read(1)[0]
            f.seek(at)
            f.write(bytes([byte ^ 0xFF]))
    return len(chosen), len(blocks)


def best_of_two(run):
    results = [run() for _ in range(2)]
    return min(results, key=lambda r: r[0])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size-mib", type=int, default=128)
    ap.add_argument("--block-kib", type=int, default=256)
    ap.add_argument("--files", type=int, default=8)
    ap.add_argument("--redundancy", type=int, default=10)
    ap.add_argument("--par2-threads", type=int, default=0, help="0: par2's default (all cores)")
    args = ap.parse_args()
    if not shutil.which("par2") or not os.path.exists("/usr/bin/time"):
        sys.exit("par2_bench: needs Debian's par2 and GNU time (apt-get install par2 time)")
    tool = build_tool()
    rng = random.Random(22)
    threads = [] if args.par2_threads == 0 else [f"-t{args.par2_threads}"]
    with tempfile.TemporaryDirectory(dir=ROOT / "build") as scratch:
        base = Path(scratch) / "set"
        base.mkdir()
        names = make_files(base, args.files, args.size_mib << 20, rng)
        block = args.block_kib << 10
        subprocess.run(["par2", "create", "-q", "-q", f"-s{block}", f"-r{args.redundancy}"] + threads +
                       ["set.par2"] + names, cwd=base, check=True)

        verify = {
            "vantorelle-par2": best_of_two(lambda: timed([str(tool), "verify", "set.par2"], base)),
            "par2": best_of_two(lambda: timed(["par2", "verify", "-q", "-q"] + threads + ["set.par2"], base)),
        }
        damaged_dir = Path(scratch) / "damaged"
        shutil.copytree(base, damaged_dir)
        lost, total = damage(damaged_dir, names, block, 0.05, rng)

        def repair_with(command):
            def run():
                work = Path(scratch) / "work"
                shutil.rmtree(work, ignore_errors=True)
                shutil.copytree(damaged_dir, work)
                result = timed(command, work)
                check = subprocess.run(["par2", "verify", "-q", "-q", "set.par2"], cwd=work).returncode
                if result[2] != 0 or check != 0:
                    sys.exit(f"par2_bench: {command[0]} did not repair the set")
                return result
            return run

        repair = {
            "vantorelle-par2": best_of_two(repair_with([str(tool), "repair", "set.par2"])),
            "par2": best_of_two(repair_with(["par2", "repair", "-q", "-q"] + threads + ["set.par2"])),
        }

    print(f"set: {args.size_mib} MiB in {args.files} files, {args.block_kib} KiB blocks ({total} blocks), "
          f"{args.redundancy}% recovery; repair of {lost} blocks; {os.cpu_count()} cores, "
          f"par2 threads: {args.par2_threads or 'default'}")
    print(f"{'':10} {'tool':16} {'seconds':>8} {'MiB/s':>8} {'peak MiB':>9}")
    for task, runs in (("verify", verify), ("repair", repair)):
        for name, (seconds, peak, _) in runs.items():
            print(f"{task:10} {name:16} {seconds:8.2f} {args.size_mib / seconds:8.0f} {peak:9.0f}")
        ratio = runs["par2"][0] / runs["vantorelle-par2"][0]
        print(f"{task:10} {'speed-up':16} {ratio:8.2f}x")


if __name__ == "__main__":
    main()
