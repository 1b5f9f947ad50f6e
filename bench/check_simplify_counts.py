#!/usr/bin/env python3
"""Checks that both simplify modes keep the model count: every valid manifest file with a known
count is simplified, and the simplified file is compiled and counted.

  check_simplify_counts.py MANIFEST [--tarn PATH] [--args "..."] [--timeout S] [--filter RE]

Prints one row per file and mode: verdict, simplify time, clauses before and after.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run(cmd, timeout):
    start = time.monotonic()
    proc = subprocess.run(cmd, capture_output=True, text=True, errors="replace", timeout=timeout)
    return proc, time.monotonic() - start


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("manifest")
    ap.add_argument("--tarn", default=os.path.join(HERE, "..", "build", "release", "tarn"))
    ap.add_argument("--args", default="", help="extra tarn arguments for counting")
    ap.add_argument("--timeout", type=float, default=120)
    ap.add_argument("--filter")
    opts = ap.parse_args()
    base = os.path.dirname(os.path.abspath(opts.manifest))
    with open(opts.manifest) as f:
        header = f.readline().rstrip("\n").split("\t")
        rows = [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]
    rows = [r for r in rows if r["reader"] == "ok" and r["count"] and (not opts.filter or re.search(opts.filter, r["path"]))]
    scratch = tempfile.mkdtemp(prefix="tarn-simplify-")
    failures = skipped = passed = 0
    try:
        for row in rows:
            local = os.path.join(scratch, os.path.basename(row["path"]))
            shutil.copyfile(os.path.join(base, row["path"]), local)
            for mode in ("-simplify", "-simplify_s"):
                try:
                    simplified, seconds = run([opts.tarn, "-in", local, mode, "-silent"], opts.timeout)
                    out = local + "_simplified"
                    counted, _ = run([opts.tarn, "-in", out, "-count", "-silent"] + opts.args.split(), opts.timeout)
                except subprocess.TimeoutExpired:
                    skipped += 1
                    print("%-8s %-60s %-11s" % ("timeout", row["path"], mode), flush=True)
                    continue
                m = re.search(r"(\d+) models / ", counted.stdout)
                count = m.group(1) if m else "-"
                with open(out) as f:
                    after = f.readline().split()[3]
                ok = simplified.returncode == 0 and count == row["count"]
                passed += ok
                failures += not ok
                print("%-8s %-60s %-11s %7.2fs  clauses %s -> %s" % ("ok" if ok else "WRONG", row["path"], mode, seconds,
                                                                  row["clauses"], after), flush=True)
            for leftover in os.listdir(scratch):
                os.remove(os.path.join(scratch, leftover))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("\n%d runs passed, %d wrong, %d timed out" % (passed, failures, skipped))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
