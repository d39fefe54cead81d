#!/usr/bin/env python3
"""bench.py - times vantorelle-decode against copying and against the peer decoders.

Usage: bench/bench.py [--runs N] [--big] [--no-peers] [--keep] [--isa LEVEL,...] [--threads N,...]
                      [--before PROGRAM]

Builds vantorelle-decode (Release) under build/bench/release, installs the peers
(Debian: sharutils, python3-sabyenc; npm: yencode into build/bench/peers),
generates the seeded corpus under build/bench (a 256 MiB random binary as 700
yEnc articles of 384,000 bytes and as 1,194 uuencoded articles of 5,000 lines;
with --big also a 1 GiB one), and prints one Markdown table: vantorelle-decode once
per kernel level the processor offers (VANTORELLE_ISA=avx512, avx2, portable; the
peers run at their own best) and thread count (VANTORELLE_THREADS; 1 is
the calling thread alone, without the worker that reads ahead and writes
behind), median wall time,
MB/s of decoded output, the median of the ratios to the copy baseline measured
pair by pair (the copy runs right before each program run), and peak resident
size. Every program's output is compared with the original bytes after every
run. The copy baseline for article files is `cat ARTICLES > FILE`, for the
single uuencoded block `cp`. Large files are removed at the end unless --keep.
--before names an earlier build of vantorelle-decode, measured the same way in
the same run right after each of this build's rows (its rows start "before:").
"""
import argparse
import filecmp
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from release_build import build_decoder  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
BENCH = Path(__file__).resolve().parent
BUILD = ROOT / "build" / "bench"
SEED = 20261207
MIB = 1 << 20
PYTHON = "/usr/bin/python3"  # Debian's, where python3-sabyenc lives


def log(text):
    print(text, file=sys.stderr, flush=True)


def sh(args, **kw):
    subprocess.run(args, check=True, **kw)


def install_peers():
    missing = [p for p in ("sharutils", "python3-sabyenc", "time")
               if subprocess.run(["dpkg-query", "-W", "-f=${Status}", p], capture_output=True,
                                 text=True).stdout.find("install ok installed") < 0]
    # Node may come from elsewhere than Debian; only a missing one is installed.
    missing += [p for p, tool in (("nodejs", "node"), ("npm", "npm")) if shutil.which(tool) is None]
    if missing:
        sudo = [] if os.geteuid() == 0 else ["sudo"]
        log(f"installing {' '.join(missing)}")
        sh(sudo + ["apt-get", "update", "-q"])
        sh(sudo + ["apt-get", "install", "-y", "-q", "--no-install-recommends"] + missing,
           env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    peers = BUILD / "peers"
    if not (peers / "node_modules" / "yencode" / "build" / "Release" / "yencode.node").exists():
        peers.mkdir(parents=True, exist_ok=True)
        log("installing yencode from npm")
        sh(["npm", "install", "--no-audit", "--no-fund", "yencode"], cwd=peers)
        # Newer npm holds back install scripts until approved; the package
        # builds its native module in one.
        subprocess.run(["npm", "install-scripts", "approve", "yencode"], cwd=peers,
                       capture_output=True)
        sh(["npm", "rebuild", "yencode"], cwd=peers)


def build():
    decoder = build_decoder()
    maker = BUILD / "make_corpus"
    sh(["c++", "-O2", "-std=c++20", "-o", str(maker), str(BENCH / "make_corpus.cpp")])
    return decoder, maker


def corpus(maker, size):
    folder = BUILD / f"corpus-{size // MIB}"
    stamp = folder / "done"
    if stamp.exists():
        return folder
    free = shutil.disk_usage(BUILD).free
    need = size * 7  # four encodings, the binary and room for outputs
    if free < need:
        sys.exit(f"not enough disk for the {size // MIB} MiB corpus: {free // MIB} MiB free, "
                 f"{need // MIB} MiB needed")
    shutil.rmtree(folder, ignore_errors=True)
    log(f"generating the {size // MIB} MiB corpus")
    sh([str(maker), str(folder), str(size), str(SEED)])
    stamp.touch()
    return folder


def timed(args, stdout=subprocess.DEVNULL, env=None):
    """Wall seconds and peak resident KiB of one run.

    The peak comes from GNU time (package `time`): Linux keeps the largest
    resident size across exec, so a child forked from this interpreter would
    report the interpreter's size instead of its own.
    """
    report = BUILD / "time.txt"
    sh(["sync"])
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(report)] + args, stdout=stdout,
                          stderr=subprocess.PIPE, env=env)
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"{args[0]} failed ({proc.returncode}): {proc.stderr.decode(errors='replace')}")
    return wall, int(report.read_text().split()[-1])


def measure(name, base_args, base_out, prog_args, prog_out, original, runs, base_stdout=False,
            env=None):
    """Runs copy and program in turns; returns the row for the table."""
    walls, ratios, peaks = [], [], []
    for _ in range(runs):
        for path in (base_out, prog_out):
            path.unlink(missing_ok=True)
        if base_stdout:
            with open(base_out, "wb") as out:
                base, _ = timed(base_args, stdout=out)
        else:
            base, _ = timed(base_args)
        base_out.unlink()
        wall, peak = timed(prog_args, env=env)
        if not filecmp.cmp(prog_out, original, shallow=False):
            sys.exit(f"{name}: output differs from the original")
        prog_out.unlink()
        walls.append(wall)
        ratios.append(wall / base)
        peaks.append(peak)
    median = statistics.median(walls)
    size = original.stat().st_size
    row = (name, median, size / median / 1e6, statistics.median(ratios), max(peaks) / 1024)
    log(f"{name}: {median:.3f} s, x{row[3]:.2f} of copy, {row[4]:.1f} MiB")
    return row


def cpu_flags():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("flags"):
                return set(line.split(":", 1)[1].split())
    return set()


def isa_levels(requested):
    """The kernel levels to measure, best first: those asked for that the processor offers."""
    flags = cpu_flags()
    offered = [level for level, needs in (("avx512", {"avx512_vbmi2", "avx512bw", "avx512vl"}),
                                          ("avx2", {"avx2"}), ("portable", set()))
               if needs <= flags]
    return [level for level in offered if level in requested]


def isa_env(level, threads):
    """The environment that holds vantorelle-decode to one kernel level and thread count."""
    env = {k: v for k, v in os.environ.items() if k not in ("VANTORELLE_PORTABLE", "VANTORELLE_THREADS")}
    env["VANTORELLE_ISA"] = level
    if threads:
        env["VANTORELLE_THREADS"] = threads
    return env


def variants(levels, threads):
    """(label, environment) for every kernel level and thread count measured."""
    return [(f"{level}, {count} threads" if count else level, isa_env(level, count))
            for level in levels for count in threads]


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    flags = cpu_flags()
    wanted = [f for f in ("avx2", "avx512bw", "avx512_vbmi2", "pclmulqdq", "vpclmulqdq") if f in flags]
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / (1 << 30)
    return (f"{model}, {os.cpu_count()} cores ({', '.join(wanted)}), {mem:.0f} GiB RAM, "
            f"Linux {platform.release()}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--big", action="store_true", help="also the 1 GiB corpus")
    parser.add_argument("--no-peers", action="store_true")
    parser.add_argument("--keep", action="store_true", help="keep the corpora")
    parser.add_argument("--isa", default="avx512,avx2,portable",
                        help="kernel levels to measure, comma-separated (default: all)")
    parser.add_argument("--threads", default="",
                        help="VANTORELLE_THREADS values to measure, comma-separated (default: unset)")
    parser.add_argument("--before", help="an earlier vantorelle-decode to measure beside this one")
    args = parser.parse_args()
    levels = variants(isa_levels(args.isa.split(",")), args.threads.split(",") if args.threads else [""])

    BUILD.mkdir(parents=True, exist_ok=True)
    if not args.no_peers:
        install_peers()
    decode, maker = build()
    builds = [("", str(decode))]
    if args.before:
        builds.append(("before: ", str(Path(args.before).resolve())))
    out = BUILD / "out"
    out.mkdir(exist_ok=True)
    copy = out / "copy"
    rows = []
    sizes = [256 * MIB] + ([1024 * MIB] if args.big else [])
    try:
        for size in sizes:
            c = corpus(maker, size)
            original = c / "original.bin"
            yenc = sorted(str(p) for p in (c / "yenc").glob("*.txt"))
            uu = sorted(str(p) for p in (c / "uu").glob("*.txt"))
            tag = f"{size // MIB} MiB"
            for level, env in levels:
                for label, program in builds:
                    rows.append(measure(f"{label}vantorelle-decode {level}, yEnc, {len(yenc)} files, {tag}",
                                        ["cat"] + yenc, copy, [program] + yenc,
                                        c / "yenc" / "random.bin", original, args.runs,
                                        base_stdout=True, env=env))
            if not args.no_peers and size == 256 * MIB:
                node = ["env", f"NODE_PATH={BUILD / 'peers' / 'node_modules'}", "node",
                        str(BENCH / "peer_yencode.js"), str(out / "peer")]
                rows.append(measure(f"npm yencode, yEnc, {len(yenc)} files, {tag}", ["cat"] + yenc,
                                    copy, node + yenc, out / "peer", original, args.runs,
                                    base_stdout=True))
                saby = [PYTHON, str(BENCH / "peer_sabyenc.py"), str(out / "peer")]
                rows.append(measure(f"python3-sabyenc, yEnc, {len(yenc)} files, {tag}",
                                    ["cat"] + yenc, copy, saby + yenc, out / "peer", original,
                                    args.runs, base_stdout=True))
            for level, env in levels:
                for label, program in builds:
                    rows.append(measure(f"{label}vantorelle-decode {level}, uuencode, {len(uu)} files, {tag}",
                                        ["cat"] + uu, copy, [program] + uu,
                                        c / "uu" / "random.bin", original, args.runs,
                                        base_stdout=True, env=env))
            if not args.no_peers and size == 256 * MIB:
                rows.append(measure(f"sharutils uudecode, one uuencoded block, {tag}",
                                    ["cp", str(c / "single.uue"), str(copy)], copy,
                                    ["uudecode", "-o", str(out / "peer"), str(c / "single.uue")],
                                    out / "peer", original, args.runs))
        # Assembly against the number of parts: many small articles in one file.
        scale = []
        for parts in (10000, 100000):
            f = BUILD / f"parts-{parts}.txt"
            if not f.exists():
                sh([str(maker), "--parts", str(f), str(parts), str(SEED)])
            walls = []
            for _ in range(args.runs):
                (BUILD / "random.bin").unlink(missing_ok=True)
                walls.append(timed([str(decode), str(f)])[0])
                if not filecmp.cmp(BUILD / "random.bin", f"{f}.bin", shallow=False):
                    sys.exit(f"{parts} parts: output differs")
            scale.append(statistics.median(walls))
        (BUILD / "random.bin").unlink(missing_ok=True)
    finally:
        shutil.rmtree(out, ignore_errors=True)
        if not args.keep:
            for size in sizes:
                shutil.rmtree(BUILD / f"corpus-{size // MIB}", ignore_errors=True)

    print(f"Machine: {machine()}; warm page cache; median of {args.runs} runs.\n")
    print("| program and input | seconds | MB/s | × copy (pair by pair) | peak RSS MiB |")
    print("|---|---:|---:|---:|---:|")
    for name, wall, rate, ratio, peak in rows:
        print(f"| {name} | {wall:.3f} | {rate:.0f} | {ratio:.2f} | {peak:.1f} |")
    print(f"\nAssembly scaling, yEnc parts of 100 bytes in one file: 10,000 parts {scale[0]:.3f} s, "
          f"100,000 parts {scale[1]:.3f} s (× {scale[1] / scale[0]:.1f} for ten times the parts).")


if __name__ == "__main__":
    main()
