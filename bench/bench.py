#!/usr/bin/env python3
"""Runs tarn over CNF files and prints one row per file: median time, median peak memory,
circuit nodes and edges, and the model count; then one row per family (the file's folder):
files compiled, median time, median peak memory, median edges.

  bench.py [--tarn PATH] [--runs N] [--repeat-below S] [--timeout S] [--args "..."]
           [--checker NNFCHECK] [--manifest TSV [--filter RE] [--shard K/N]] [FILE...]

Each input is copied into a scratch directory first, since tarn writes its circuit next to
its input. With --manifest, the files are the manifest rows whose reader column is "ok"
(paths relative to the manifest), and a known count is checked against the printed one. With
--checker, the circuit of the last run is also handed to that independent checker (with the
known count), and a rejected circuit counts as a failure. --shard K/N takes every N-th file
from the K-th (1-based), so that several runs can share a corpus. --repeat-below S runs a file
only once when its first run takes S seconds or more, so that a corpus with long compilations
fits a time budget (the medians of the quick files stay medians of N runs).
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run_once(tarn, cnf, extra, timeout):
    start = time.monotonic()
    proc = subprocess.Popen([tarn, "-in", cnf] + extra, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    deadline = start + timeout
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() > deadline:
            proc.kill()
            os.wait4(proc.pid, 0)
            return None
        time.sleep(0.01)
    elapsed = time.monotonic() - start
    output = proc.stdout.read().decode(errors="replace")
    code = os.waitstatus_to_exitcode(status)
    return elapsed, usage.ru_maxrss / 1024.0, code, output


def parse(output):
    nodes = edges = count = None
    for m in re.finditer(r"Saving (\d+) (?:nnf )?nodes and (\d+) edges", output):
        nodes, edges = int(m.group(1)), int(m.group(2))
    m = re.search(r"(\d+) models / ", output)
    if m:
        count = m.group(1)
    return nodes, edges, count


def manifest_files(path, pattern, shard):
    base = os.path.dirname(os.path.abspath(path))
    rows = []
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        for line in f:
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            if row.get("reader") != "ok" or (pattern and not re.search(pattern, row["path"])):
                continue
            rows.append((os.path.join(base, row["path"]), row.get("count") or None))
    k, n = shard
    return rows[k - 1::n]


def tautology_free_copy(cnf, copy):
    """The CNF without clauses that hold a literal and its complement. tarn drops them, and a
    checker that falsifies every literal of a clause misjudges such a clause."""
    header, eclauses, clauses, current = None, None, [], []
    with open(cnf) as f:
        for line in f:
            words = line.split()
            if not words or words[0][0] in "c%" or words[0] == "0":
                if words and words[0] == "%":
                    break
                continue
            if words[0] == "p":
                header = words
                continue
            if words[0] == "eclauses":
                eclauses = int(words[1])
                continue
            for word in words:
                literal = int(word)
                if literal == 0:
                    clauses.append(current)
                    current = []
                    break
                current.append(literal)
    keep = [not any(-l in c for l in c) for c in clauses]
    first_eclause = len(clauses) - (eclauses or 0)
    kept_eclauses = sum(keep[first_eclause:])
    with open(copy, "w") as f:
        f.write("p cnf %s %d\n" % (header[2], sum(keep)))
        if eclauses:
            f.write("eclauses %d\n" % kept_eclauses)
        for c, k in zip(clauses, keep):
            if k:
                f.write(" ".join(map(str, c)) + " 0\n")


def check_circuit(checker, cnf, known):
    checked = cnf + ".checked"
    tautology_free_copy(cnf, checked)
    cmd = [sys.executable, checker, checked, cnf + ".nnf"] + (["--expect-count", known] if known else [])
    # Counts of thousands of digits exceed Python's default limit for int-string conversion.
    env = dict(os.environ, PYTHONINTMAXSTRDIGITS="0")
    verdict = subprocess.run(cmd, capture_output=True, text=True, env=env)
    return verdict.returncode == 0, (verdict.stdout + verdict.stderr).strip()[-2000:]


def print_families(results):
    families = {}
    for name, seconds, peak, edges in results:
        families.setdefault(os.path.dirname(name) or ".", []).append((seconds, peak, edges))
    print("\n%-24s %6s %9s %9s %12s" % ("family", "files", "time_s", "peak_mb", "edges"))
    for family in sorted(families):
        rows = families[family]
        print("%-24s %6d %9.3f %9.1f %12d" % (family, len(rows), statistics.median(r[0] for r in rows),
                                              statistics.median(r[1] for r in rows),
                                              statistics.median(r[2] for r in rows)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tarn", default=os.path.join(HERE, "..", "build", "release", "tarn"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--repeat-below", type=float)
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--args", default="-count", help="extra tarn arguments (default: -count)")
    ap.add_argument("--manifest")
    ap.add_argument("--filter")
    ap.add_argument("--shard", default="1/1")
    ap.add_argument("--checker")
    ap.add_argument("files", nargs="*")
    opts = ap.parse_args()

    work = [(f, None) for f in opts.files]
    if opts.manifest:
        work += manifest_files(opts.manifest, opts.filter, tuple(int(x) for x in opts.shard.split("/")))
    extra = opts.args.split()
    print("%-60s %6s %9s %9s %10s %12s  %s" % ("file", "status", "time_s", "peak_mb", "nodes", "edges", "count"))
    failures = 0
    results = []
    scratch = tempfile.mkdtemp(prefix="tarn-bench-")
    try:
        for path, known in work:
            local = os.path.join(scratch, os.path.basename(path))
            shutil.copyfile(path, local)
            runs = []
            for _ in range(opts.runs):
                r = run_once(opts.tarn, local, extra, opts.timeout)
                if r is None:
                    runs = []
                    break
                runs.append(r)
                if opts.repeat_below is not None and r[0] >= opts.repeat_below:
                    break
            name = os.path.relpath(path, os.path.dirname(opts.manifest)) if opts.manifest else path
            if not runs:
                print("%-60s %6s" % (name[-60:], "TIMEOUT"), flush=True)
                continue
            code, output = runs[-1][2], runs[-1][3]
            nodes, edges, count = parse(output)
            status = "ok" if code == 0 else "exit%d" % code
            if known and count and count != known:
                status = "WRONG"
                failures += 1
            if opts.checker and code == 0:
                accepted, verdict = check_circuit(opts.checker, local, known)
                if not accepted:
                    status = "REJECT"
                    failures += 1
                    print(verdict, flush=True)
            if status == "ok" and edges is not None:
                results.append((name, statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs),
                                edges))
            print("%-60s %6s %9.3f %9.1f %10s %12s  %s" % (
                name[-60:], status, statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs),
                nodes if nodes is not None else "-", edges if edges is not None else "-",
                (count[:40] + "...") if count and len(count) > 43 else (count or "-")), flush=True)
            for leftover in os.listdir(scratch):
                os.remove(os.path.join(scratch, leftover))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    if results:
        print_families(results)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
