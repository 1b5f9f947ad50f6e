#!/usr/bin/env python3
"""Compiles every valid file of a benchmark manifest and hands each circuit to an independent
checker, with the manifest's known model count when it has one.

  check_corpus_circuits.py MANIFEST --checker NNFCHECK [--tarn PATH] [--args "..."]
                           [--timeout S] [--filter RE]

Prints one row per file: verdict, compile time, checker summary. A file that does not compile
within the timeout is reported as such and not counted as a failure.
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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("manifest")
    ap.add_argument("--checker", required=True)
    ap.add_argument("--tarn", default=os.path.join(HERE, "..", "build", "release", "tarn"))
    ap.add_argument("--args", default="")
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--filter")
    opts = ap.parse_args()
    base = os.path.dirname(os.path.abspath(opts.manifest))
    with open(opts.manifest) as f:
        header = f.readline().rstrip("\n").split("\t")
        rows = [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]
    rows = [r for r in rows if r["reader"] == "ok" and (not opts.filter or re.search(opts.filter, r["path"]))]
    scratch = tempfile.mkdtemp(prefix="tarn-circuits-")
    failures = timeouts = passed = 0
    try:
        for row in rows:
            local = os.path.join(scratch, os.path.basename(row["path"]))
            shutil.copyfile(os.path.join(base, row["path"]), local)
            start = time.monotonic()
            try:
                proc = subprocess.run([opts.tarn, "-in", local, "-silent"] + opts.args.split(), capture_output=True,
                                      timeout=opts.timeout)
            except subprocess.TimeoutExpired:
                timeouts += 1
                print("%-8s %-66s >%.0fs" % ("timeout", row["path"], opts.timeout), flush=True)
                continue
            elapsed = time.monotonic() - start
            if proc.returncode != 0:
                failures += 1
                print("%-8s %-66s %8.2fs  exit %d" % ("FAIL", row["path"], elapsed, proc.returncode), flush=True)
                continue
            check = [sys.executable, opts.checker, local, local + ".nnf"]
            if row.get("count"):
                check += ["--expect-count", row["count"]]
            verdict = subprocess.run(check, capture_output=True, text=True)
            summary = " ".join(w for w in verdict.stdout.split() if not w.startswith("count=") or len(w) < 40)
            ok = verdict.returncode == 0
            passed += ok
            failures += not ok
            print("%-8s %-66s %8.2fs  %s" % ("ok" if ok else "FAIL", row["path"], elapsed, summary), flush=True)
            for leftover in os.listdir(scratch):
                os.remove(os.path.join(scratch, leftover))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("\n%d files: %d passed, %d failed, %d timed out" % (len(rows), passed, failures, timeouts))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
