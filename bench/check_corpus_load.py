#!/usr/bin/env python3
"""Loads every file of a benchmark manifest with tarn and checks what the reader reports:
for a valid file the "Loaded cnf" line with the manifest's variable and clause counts, for an
invalid one exit status 1 and the message named in the manifest's reader column.

Each run stops right after reading: tarn is handed an empty dtree file (/dev/null), which it
rejects as corrupt, so a valid file ends with "Dtree file corrupt" after its "Loaded cnf" line
and the time measured is that of reading the CNF.

The manifest names "Unknown Line" for files with legacy `w LIT W` weight lines; tarn reads those
as weights now, so such a file must instead fail on what else is wrong with it (these files
declare a clause count they do not hold).

  check_corpus_load.py MANIFEST [--tarn PATH] [--args "..."]
"""
import argparse
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CLAUSE_COUNT_MESSAGES = ("More clauses in cnf file than has been declared", "Fewer clauses in cnf file than declared")


def has_weight_lines(path):
    with open(path, errors="replace") as f:
        return any(re.match(r"w\s", line) for line in f)


def expected_messages(row, path):
    if row["reader"].startswith("Unknown Line") and has_weight_lines(path):
        return CLAUSE_COUNT_MESSAGES
    return (row["reader"].split("%")[0].rstrip(". "),)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("manifest")
    ap.add_argument("--tarn", default=os.path.join(HERE, "..", "build", "release", "tarn"))
    ap.add_argument("--args", default="", help="extra tarn arguments")
    opts = ap.parse_args()
    base = os.path.dirname(os.path.abspath(opts.manifest))
    failures = slowest = 0
    slowest_file = ""
    with open(opts.manifest) as f:
        header = f.readline().rstrip("\n").split("\t")
        rows = [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]
    for row in rows:
        path = os.path.join(base, row["path"])
        start = time.monotonic()
        proc = subprocess.run([opts.tarn, "-in", path, "-dt_in", os.devnull] + opts.args.split(), capture_output=True, text=True,
                              errors="replace")
        elapsed = time.monotonic() - start
        if elapsed > slowest:
            slowest, slowest_file = elapsed, row["path"]
        if row["reader"] == "ok":
            m = re.search(r"Loaded cnf: (\d+) vars (\d+) clauses", proc.stdout)
            ok = ("Dtree file corrupt" in proc.stdout and m and (m.group(1), m.group(2)) == (row["vars"], row["clauses"]))
            detail = m.group(0) if m else proc.stdout[-200:]
        else:
            ok = proc.returncode == 1 and any(m in proc.stdout for m in expected_messages(row, path))
            detail = proc.stdout.strip().splitlines()[-1] if proc.stdout.strip() else ""
        if not ok:
            failures += 1
        print("%-4s %-70s %7.3fs  %s" % ("ok" if ok else "FAIL", row["path"], elapsed, detail), flush=True)
    print("\n%d files, %d failures; slowest: %s (%.3fs)" % (len(rows), failures, slowest_file, slowest))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
