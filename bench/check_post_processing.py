#!/usr/bin/env python3
"""Compiles corpus files with -reduce -check_entailment -count and checks what tarn reports:
the known count, "OK" for decomposability and for entailment; and measures how much reduction
shrinks each circuit. Prints one row per file, then the median edge ratio (after / before
reduction) per family.

  check_post_processing.py MANIFEST [--tarn PATH] [--args "..."] [--timeout S] [--filter RE]
                                    [--shard K/N]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("manifest")
    ap.add_argument("--tarn", default=os.path.join(HERE, "..", "build", "release", "tarn"))
    ap.add_argument("--args", default="")
    ap.add_argument("--timeout", type=float, default=120)
    ap.add_argument("--filter")
    ap.add_argument("--shard", default="1/1")
    opts = ap.parse_args()
    base = os.path.dirname(os.path.abspath(opts.manifest))
    with open(opts.manifest) as f:
        header = f.readline().rstrip("\n").split("\t")
        rows = [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]
    rows = [r for r in rows if r["reader"] == "ok" and (not opts.filter or re.search(opts.filter, r["path"]))]
    k, n = (int(x) for x in opts.shard.split("/"))
    rows = rows[k - 1::n]
    scratch = tempfile.mkdtemp(prefix="tarn-post-")
    ratios, failures, timeouts = {}, 0, 0
    try:
        for row in rows:
            local = os.path.join(scratch, os.path.basename(row["path"]))
            shutil.copyfile(os.path.join(base, row["path"]), local)
            try:
                proc = subprocess.run([opts.tarn, "-in", local, "-reduce", "-check_entailment", "-count"] +
                                      opts.args.split(), capture_output=True, text=True, errors="replace",
                                      timeout=opts.timeout)
            except subprocess.TimeoutExpired:
                timeouts += 1
                print("%-8s %s" % ("timeout", row["path"]), flush=True)
                continue
            out = proc.stdout
            sizes = re.search(r"Reducing (\d+) nodes, (\d+) edges\.\.\.\.\.\.(\d+) nodes, (\d+) edges", out)
            count = re.search(r"(\d+) models / ", out)
            checks = "Checking decomposability...OK / " in out and re.search(r"Checking entailment\.\.\.OK  / ", out)
            ok = proc.returncode == 0 and sizes and checks and (not row["count"] or (count and count.group(1) == row["count"]))
            failures += not ok
            ratio = int(sizes.group(4)) / max(1, int(sizes.group(2))) if sizes else float("nan")
            if ok:
                ratios.setdefault(os.path.dirname(row["path"]), []).append(ratio)
            print("%-8s %-62s edges %s -> %s (%.3f)" % ("ok" if ok else "FAIL", row["path"],
                                                         sizes.group(2) if sizes else "-",
                                                         sizes.group(4) if sizes else "-", ratio), flush=True)
            for leftover in os.listdir(scratch):
                os.remove(os.path.join(scratch, leftover))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("\n%-24s %6s %12s" % ("family", "files", "edge_ratio"))
    for family in sorted(ratios):
        print("%-24s %6d %12.3f" % (family, len(ratios[family]), statistics.median(ratios[family])))
    print("\n%d failures, %d timed out" % (failures, timeouts))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
