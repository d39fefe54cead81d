#!/usr/bin/python3
"""damage_report_test.py - vantorelle-decode --report on whole and damaged postings.

Usage: damage_report_test.py VANTORELLE_DECODE
Each case posts a random file, damages the posting, decodes it with --report
and checks the report against the file and against the run's own messages.
With Debian's par2 installed, a yEnc output with a part missing must also be
repairable by par2 from a recovery set made of the original, and a posting
that carries such a set is verified, and repaired with --repair, by the run.
"""
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import foreign_articles  # noqa: E402

DECODE = sys.argv[1]
PART = 10_000
failures = []
passes = 0


def check(condition, what):
    global passes
    passes += 1 if condition else 0
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def post(folder, data, kind):
    os.makedirs(folder)
    with open(os.path.join(folder, "..", "original.bin"), "wb") as f:
        f.write(data)
    foreign_articles.PARTS = (len(data) + PART - 1) // PART
    if kind == "yenc":
        articles = foreign_articles.yenc_articles(data, b"file.bin", foreign_articles.sabyenc_piece)
    else:
        articles = foreign_articles.sharutils_articles(folder, data, b"file.bin")
    paths = []
    for i, text in enumerate(articles):
        paths.append(os.path.join(folder, "part-%d.txt" % (i + 1)))
        with open(paths[-1], "wb") as f:
            f.write(text)
    return paths


def flip_data_byte(path):
    with open(path, "rb") as f:
        text = bytearray(f.read())
    at = text.index(b"\n", text.index(b"=ypart")) + 10
    text[at] = ord("a") if text[at] != ord("a") else ord("b")
    with open(path, "wb") as f:
        f.write(text)


def run(args):
    done = subprocess.run([DECODE] + args, capture_output=True)
    return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")


def check_schema(report, name):
    check(report.get("report_version") == 1, name + ": report_version 1")
    for key, kind in (("stopped", bool), ("outputs", list), ("inputs", list), ("messages", list)):
        check(isinstance(report.get(key), kind), "%s: %s is a %s" % (name, key, kind.__name__))
    for output in report["outputs"]:
        for key in ("path", "name", "size", "verdict", "layout", "file_crc", "parts", "missing_parts", "holes"):
            check(key in output, "%s: output has %s" % (name, key))
        check(output["verdict"] in ("good", "damaged", "not written", "stopped"), name + ": verdict word")
        for part in output["parts"]:
            check(part["crc"] in ("verified", "mismatch", "not given", "not checked"), name + ": crc word")
            check(part["line"] >= 1 and part["input"] in [i["path"] for i in report["inputs"]],
                  name + ": part input and line")
    # Verdicts agree with the messages: an output is good exactly when no
    # error or warning named it.
    for output in report["outputs"]:
        named = [m for m in report["messages"] if m["level"] in (0, 1) and not m["text"].startswith("PAR2")
                 and (output["path"] in m["text"] or "'%s'" % output["name"] in m["text"])]
        check((output["verdict"] == "good") == (not named), name + ": verdict agrees with the messages")


def par2_repairs(folder, data, output):
    """par2 made from the original finds the good blocks in place and repairs the output."""
    if shutil.which("par2") is None:
        print("par2 not installed: repair check skipped")
        return
    original = os.path.join(folder, "original.bin")
    subprocess.run(["par2", "create", "-q", "-s2000", "-r30", "-n1", os.path.join(folder, "set.par2"), original],
                   check=True, capture_output=True)
    shutil.copyfile(output, original)
    verify = subprocess.run(["par2", "verify", os.path.join(folder, "set.par2")], capture_output=True, text=True)
    blocks = len(data) // 2000
    check("Found %d of %d data blocks" % (blocks - PART // 2000, blocks) in verify.stdout,
          "par2 finds every block of the good parts in place")
    subprocess.run(["par2", "repair", "-q", os.path.join(folder, "set.par2")], capture_output=True)
    with open(original, "rb") as f:
        check(f.read() == data, "par2 repairs the output to the original")


def case(name, kind, damage, expect, disposal=None):
    print("==", name)
    with tempfile.TemporaryDirectory() as top:
        rng = random.Random(name)
        data = bytes(rng.getrandbits(8) for _ in range(4 * PART))
        paths = post(os.path.join(top, "posting"), data, kind)
        damage(paths)
        paths = [p for p in paths if os.path.exists(p)]
        report_path = os.path.join(top, "report.json")
        status, _, err = run(["--report", report_path] + ([disposal] if disposal else []) + paths)
        with open(report_path) as f:
            report = json.load(f)
        check_schema(report, name)
        [output] = report["outputs"]
        with open(output["path"], "rb") as f:
            written = f.read()
        check(output["size"] == len(written), name + ": size is the file's")
        check((status == 0) == (output["verdict"] == "good"), name + ": exit status agrees (%d)" % status)
        expect(report, output, written, data, top, err)


def complete(report, output, written, data, top, err):
    check(written == data and output["verdict"] == "good" and output["layout"] == "offsets", "complete: good")
    check(all(p["state"] == "good" and p["crc"] == "verified" for p in output["parts"]), "complete: parts verified")
    check(output["file_crc"] == "verified" and not output["holes"], "complete: file CRC verified")
    check([i["state"] for i in report["inputs"]] == ["deleted"] * 4, "complete: inputs deleted")


def third_missing(report, output, written, data, top, err):
    check(output["verdict"] == "damaged" and output["damage"] == "missing parts", "missing: verdict")
    check(len(written) == len(data), "missing: the output has the posted size")
    check(written[:2 * PART] == data[:2 * PART] and written[3 * PART:] == data[3 * PART:], "missing: good parts in place")
    check(written[2 * PART:3 * PART] == bytes(PART), "missing: the hole is zeros")
    check(output["holes"] == [{"offset": 2 * PART, "length": PART}], "missing: one hole")
    check(output["missing_parts"] == [{"first": 3, "last": 3}], "missing: part 3")
    check([p["offset"] for p in output["parts"]] == [0, PART, 3 * PART], "missing: part offsets")
    check(all(i["state"] == "kept" and i["why"] for i in report["inputs"]), "missing: inputs kept, with a reason")
    par2_repairs(top, data, output["path"])


def second_damaged(report, output, written, data, top, err):
    check(output["verdict"] == "damaged" and output["damage"] == "crc", "crc: verdict")
    check([p["crc"] for p in output["parts"]] == ["verified", "mismatch", "verified", "verified"], "crc: per part")
    check(output["parts"][1]["state"] == "damaged", "crc: part 2 damaged")


def uu_missing(report, output, written, data, top, err):
    check(output["layout"] == "sequential" and output["missing_parts"] == [{"first": 2, "last": 2}], "uu: part 2")
    check(output["verdict"] == "damaged" and all(p["crc"] == "not given" for p in output["parts"]), "uu: no CRCs")
    check(report["inputs"][0]["why"] == "not asked to remove inputs", "uu: why kept")


def posted_par2(top, data, paths):
    """Adds a recovery set of the original, each volume posted as a yEnc article of its own."""
    made = os.path.join(top, "made")
    os.makedirs(made)
    with open(os.path.join(made, "file.bin"), "wb") as f:
        f.write(data)
    subprocess.run(["par2", "create", "-q", "-s2000", "-r30", os.path.join(made, "file.par2"),
                    os.path.join(made, "file.bin")], check=True, capture_output=True, cwd=made)
    foreign_articles.PARTS = 1
    for name in sorted(n for n in os.listdir(made) if n.endswith(".par2")):
        with open(os.path.join(made, name), "rb") as f:
            [text] = foreign_articles.yenc_articles(f.read(), name.encode(), foreign_articles.sabyenc_piece)
        paths.append(os.path.join(os.path.dirname(paths[0]), name + ".txt"))
        with open(paths[-1], "wb") as f:
            f.write(text)


def par2_in_the_run(repair):
    """A posting with part 3 missing and its recovery set, decoded with --delete-inputs."""
    name = "PAR2 set in the posting, " + ("--repair" if repair else "verified only")
    print("==", name)
    if shutil.which("par2") is None:
        print("par2 not installed: skipped")
        return
    with tempfile.TemporaryDirectory() as top:
        rng = random.Random(name)
        data = bytes(rng.getrandbits(8) for _ in range(4 * PART))
        paths = post(os.path.join(top, "posting"), data, "yenc")
        os.remove(paths.pop(2))
        posted_par2(top, data, paths)
        report_path = os.path.join(top, "report.json")
        status, _, err = run(["--report", report_path, "--delete-inputs"] + (["--repair"] if repair else []) + paths)
        with open(report_path) as f:
            report = json.load(f)
        check_schema(report, name)
        [output] = [o for o in report["outputs"] if o["name"] == "file.bin"]
        with open(output["path"], "rb") as f:
            written = f.read()
        [par2_set] = report["par2"]
        check(par2_set["repairable"] != repair and par2_set["repaired"] == repair, name + ": set repaired or not")
        check((written == data) == repair and output["exact"] == repair, name + ": the output is exact after repair")
        check(output["par2"] == ("repaired" if repair else "damaged"), name + ": the output's par2 word")
        check(all((i["state"] == "deleted") == repair for i in report["inputs"] if "part-" in i["path"]),
              name + ": the file's inputs are deleted only once it is repaired")
        check((status == 0) == repair, name + ": exit status (%d)" % status)
        check(("PAR2: 5 blocks damaged" in err) != repair and ("Repaired 'file.bin'" in err) == repair,
              name + ": what is said")
        leftovers = [n for n in os.listdir(os.path.dirname(output["path"])) if n.startswith("file.bin.")]
        check(not leftovers, name + ": no damaged original left beside it")


def remove(n):
    return lambda paths: os.remove(paths[n - 1])


case("complete yEnc, inputs deleted", "yenc", lambda paths: None, complete, "--delete-inputs")
case("yEnc with part 3 missing", "yenc", remove(3), third_missing, "--delete-inputs")
case("yEnc with part 2 damaged", "yenc", lambda paths: flip_data_byte(paths[1]), second_damaged)
case("uuencode with part 2 missing", "uu", remove(2), uu_missing)

par2_in_the_run(False)
par2_in_the_run(True)

# The report on standard output replaces the list of output files there.
with tempfile.TemporaryDirectory() as top:
    paths = post(os.path.join(top, "posting"), bytes(3 * PART), "yenc")
    status, out, _ = run(["--report", "-"] + paths)
    check(status == 0 and json.loads(out)["outputs"][0]["verdict"] == "good", "--report - writes JSON alone")

print("%d passed, %d failed" % (passes, len(failures)))
sys.exit(1 if failures else 0)
