#!/usr/bin/env python3
"""Times tarn against the peer tools' times of the corpus: per file tarn's median wall time over
--runs runs and its peak memory in one more run (through GNU time, when installed), the fastest peer time listed in peer_times.tsv, and the
ratio tarn/peer; then the medians over the files that have both times.

  peer_ratio.py [--tarn PATH] [--corpus DIR] [--runs N] [--timeout S] [--list FILE]
                [--check] [--tsv OUT.tsv] [--compare OLD.tsv] [FILE...] [-- TARN_ARGS...]

Files are corpus-relative paths, given as arguments or in a --list file (one per line, '#'
starts a comment). Each run is `tarn -in FILE -count TARN_ARGS`, one after another, on a copy
of the file in a scratch directory (tarn writes its circuit next to its input). A run counts
when it exits 0 and prints its "Counting...N models" line; --check also compares N with the
manifest's count. A timed-out file shows "timeout" and stays out of the medians. --tsv writes
the table; --compare OLD.tsv adds the old time of each file and the speed-up old/new.
Exit status 1 when a run fails or a count is wrong.
"""
import argparse
import csv
import dataclasses
import math
import os
import re
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from typing import Optional

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
COUNT_LINE = re.compile(rb"Counting\.\.\.(\d+) models")


@dataclasses.dataclass
class Run:
    seconds: float
    peak_mb: float
    exit_code: int
    count: Optional[str] = None


@dataclasses.dataclass
class Row:
    """One file's outcome; `status` is "ok", "timeout" or "failed"."""
    name: str
    status: str
    seconds: Optional[float] = None
    peak_mb: Optional[float] = None
    count: Optional[str] = None
    peer_seconds: Optional[float] = None
    peer_name: Optional[str] = None
    old_cell: Optional[str] = None
    check: Optional[str] = None


def parse_args(argv):
    # Everything after "--" belongs to tarn; argparse would take "-count" for one of ours.
    split = argv.index("--") if "--" in argv else len(argv)
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tarn", default=os.path.join(REPO, "build", "release", "tarn"))
    ap.add_argument("--corpus", default=os.path.join(os.path.dirname(REPO), "shared", "bench"))
    ap.add_argument("--runs", type=int, default=3, help="runs per file; the median is shown (default 3)")
    ap.add_argument("--timeout", type=float, default=60.0, help="seconds per run (default 60)")
    ap.add_argument("--list", help="file of corpus-relative paths, one per line")
    ap.add_argument("--check", action="store_true", help="compare counts with the manifest")
    ap.add_argument("--tsv", help="write the table to this TSV file")
    ap.add_argument("--compare", help="TSV of an earlier run: add its times and the speed-up")
    ap.add_argument("files", nargs="*")
    opts = ap.parse_args(argv[:split])
    if opts.runs < 1:
        ap.error("--runs must be at least 1")
    opts.tarn_args = argv[split + 1:]
    return opts


def read_list(path):
    with open(path) as f:
        lines = (line.split("#", 1)[0].strip() for line in f)
        return [line for line in lines if line]


def read_tsv(path, key="path"):
    with open(path, newline="") as f:
        return {row[key]: row for row in csv.DictReader(f, delimiter="\t")}


def fastest_peer(row):
    """The smallest numeric time of a peer_times.tsv row and its column, or (None, None)."""
    best = (None, None)
    for tool, cell in row.items():
        seconds = seconds_or_none(cell) if tool != "path" else None
        if seconds is not None and math.isfinite(seconds) and (best[0] is None or seconds < best[0]):
            best = (seconds, tool)
    return best


GNU_TIME = "/usr/bin/time"


def run_tarn(tarn, cnf, tarn_args, timeout, rss_file=None):
    """One run with its wall time and peak RSS, or None on timeout. The child is reaped with
    wait4 rather than by subprocess so that its resource usage is not lost. A child forked from
    Python starts with Python's own resident pages on its count, so with rss_file the run goes
    through GNU time, a small process whose own child's peak it writes there."""
    log_path = cnf + ".log"
    command = [tarn, "-in", cnf, "-count"] + tarn_args
    if rss_file:
        command = [GNU_TIME, "-f", "%M", "-o", rss_file] + command
    with open(log_path, "wb") as log:
        start = time.perf_counter()
        child = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT, cwd=os.path.dirname(cnf))
        exited = wait_for_exit(child.pid, timeout)
        seconds = time.perf_counter() - start
        if not exited:
            child.kill()
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = os.waitstatus_to_exitcode(status)
    if not exited:
        return None
    with open(log_path, "rb") as log:
        found = COUNT_LINE.search(log.read())
    peak_kb = usage.ru_maxrss
    if rss_file:
        with open(rss_file) as rss:
            peak_kb = int(rss.read().split()[-1])
    return Run(seconds, peak_kb / 1024.0, child.returncode, found.group(1).decode() if found else None)


def wait_for_exit(pid, timeout):
    """Whether the process ends within timeout seconds; it stays unreaped, so killing it after
    a timeout cannot hit a recycled pid."""
    fd = os.pidfd_open(pid)
    try:
        return bool(select.select([fd], [], [], timeout)[0])
    finally:
        os.close(fd)


def measure_file(opts, name, scratch):
    local = os.path.join(scratch, os.path.basename(name))
    shutil.copyfile(os.path.join(opts.corpus, name), local)
    runs = []
    try:
        # The timed runs are direct; one more run through GNU time gives the peak memory.
        measure_rss = os.access(GNU_TIME, os.X_OK)
        for index in range(opts.runs + measure_rss):
            rss_run = index == opts.runs
            run = run_tarn(opts.tarn, local, opts.tarn_args, opts.timeout, local + ".rss" if rss_run else None)
            if run is None:
                return Row(name, "timeout")
            if run.exit_code != 0 or run.count is None:
                report_failure(name, run, local + ".log")
                return Row(name, "failed")
            if rss_run:
                peak_mb = run.peak_mb
            else:
                runs.append(run)
        if not measure_rss:
            peak_mb = statistics.median(r.peak_mb for r in runs)
    finally:
        empty_directory(scratch)
    counts = {run.count for run in runs}
    if len(counts) > 1:
        print("!!! %s: counts differ between runs: %s" % (name, ", ".join(sorted(counts))), flush=True)
        return Row(name, "failed")
    return Row(name, "ok", statistics.median(r.seconds for r in runs), peak_mb, runs[0].count)


def report_failure(name, run, log_path):
    with open(log_path, "rb") as log:
        tail = log.read().decode(errors="replace").strip().splitlines()[-5:]
    why = "exit status %d" % run.exit_code if run.exit_code != 0 else "no count line"
    print("!!! %s: %s; last output:\n    %s" % (name, why, "\n    ".join(tail)), flush=True)


def empty_directory(path):
    for entry in os.listdir(path):
        os.remove(os.path.join(path, entry))


def check_count(row, manifest):
    """Compares the printed count with the manifest's; "-" when either is missing."""
    known = manifest.get(row.name, {}).get("count") or ""
    if row.status != "ok" or not known:
        return "-"
    if row.count == known:
        return "ok"
    print("!!! WRONG COUNT %s: tarn %s, manifest %s" % (row.name, abbreviate(row.count), abbreviate(known)),
          flush=True)
    return "WRONG"


def abbreviate(digits):
    return digits if len(digits) <= 40 else "%s...%s (%d digits)" % (digits[:15], digits[-15:], len(digits))


def seconds_or_none(cell):
    try:
        return float(cell)
    except (TypeError, ValueError):
        return None


def columns(opts):
    names = ["file", "tarn_s", "rss_mb", "peer_s", "peer", "ratio"]
    if opts.compare:
        names += ["old_s", "speedup"]
    if opts.check:
        names += ["check"]
    return names


def cells(row, opts):
    tarn = "%.3f" % row.seconds if row.status == "ok" else row.status
    peer = "%.3f" % row.peer_seconds if row.peer_seconds is not None else "-"
    out = [row.name, tarn, "%.1f" % row.peak_mb if row.peak_mb is not None else "-", peer, row.peer_name or "-",
           fraction(row.seconds, row.peer_seconds)]
    if opts.compare:
        out += [row.old_cell or "-", fraction(seconds_or_none(row.old_cell), row.seconds)]
    if opts.check:
        out += [row.check]
    return out


def fraction(top, bottom):
    return "%.2f" % (top / bottom) if top is not None and bottom else "-"


def print_line(values, name_width):
    print(values[0].ljust(name_width) + "".join(v.rjust(10) for v in values[1:4]) + "  " +
          values[4].ljust(15) + "".join(v.rjust(10) for v in values[5:]), flush=True)


def print_summary(rows, opts):
    both = [r for r in rows if r.status == "ok" and r.peer_seconds]
    print()
    if both:
        print("medians over %d files with both times: tarn %.3f s, peer %.3f s, tarn/peer %.2f" % (
            len(both), statistics.median(r.seconds for r in both), statistics.median(r.peer_seconds for r in both),
            statistics.median(r.seconds / r.peer_seconds for r in both)))
    speedups = [seconds_or_none(r.old_cell) / r.seconds for r in rows
                if r.status == "ok" and seconds_or_none(r.old_cell) and r.seconds]
    if speedups:
        print("median speed-up old/new over %d files: %.2f" % (len(speedups), statistics.median(speedups)))
    wrong = ", wrong counts: %d" % sum(r.check == "WRONG" for r in rows) if opts.check else ""
    print("files: %d, timed out: %d, failed: %d, no peer time: %d%s" % (
        len(rows), sum(r.status == "timeout" for r in rows), sum(r.status == "failed" for r in rows),
        sum(r.peer_seconds is None for r in rows), wrong))


def write_tsv(path, rows, opts):
    with open(path, "w", newline="") as f:
        out = csv.writer(f, delimiter="\t", lineterminator="\n")
        out.writerow(columns(opts))
        out.writerows(cells(r, opts) for r in rows)


def main():
    opts = parse_args(sys.argv[1:])
    names = [os.path.normpath(n) for n in (read_list(opts.list) if opts.list else []) + opts.files]
    if not names:
        sys.exit("peer_ratio.py: no files given (--list FILE or paths)")
    if not os.access(opts.tarn, os.X_OK):
        sys.exit("peer_ratio.py: no tarn binary at %s" % opts.tarn)
    missing = [n for n in names if not os.path.isfile(os.path.join(opts.corpus, n))]
    if missing:
        sys.exit("peer_ratio.py: not in the corpus: %s" % ", ".join(missing))
    peers = read_tsv(os.path.join(opts.corpus, "peer_times.tsv"))
    manifest = read_tsv(os.path.join(opts.corpus, "manifest.tsv")) if opts.check else {}
    old = read_tsv(opts.compare, key="file") if opts.compare else {}
    name_width = max(len(n) for n in names) + 2
    print_line(columns(opts), name_width)
    rows = []
    scratch = tempfile.mkdtemp(prefix="tarn-peer-ratio-")
    try:
        for name in names:
            row = measure_file(opts, name, scratch)
            row.peer_seconds, row.peer_name = fastest_peer(peers.get(name, {}))
            row.old_cell = old.get(name, {}).get("tarn_s")
            row.check = check_count(row, manifest) if opts.check else None
            rows.append(row)
            print_line(cells(row, opts), name_width)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print_summary(rows, opts)
    if opts.tsv:
        write_tsv(opts.tsv, rows, opts)
    return 1 if any(r.status == "failed" or r.check == "WRONG" for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main())
