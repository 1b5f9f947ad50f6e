#!/usr/bin/env python3
"""Files solved within a time limit, per family, for tarn configurations and the peer tools.

  solved_by_family.py [--tarn PATH] [--timeout S] [--jobs N] [--files LIST] [--only RE]
                      [--config NAME=ARGS ...] [--results TSV] [--reuse TSV ...]

Runs "tarn -in FILE -count -in_memory -silent ARGS" for every configuration on the files of
peer_times.tsv (or LIST, one corpus path per line), N files at a time, and counts a file as solved
when tarn exits 0 within the limit with the manifest's count (files with weights or a projection
have no count to compare in the manifest and count when tarn answers). Then, per family: files,
solved and median wall time of each configuration, and the peers' solved counts from
peer_times.tsv under the same limit. --results writes one row per file and configuration;
--reuse reads such rows instead of running them again.
"""
import argparse
import collections
import concurrent.futures
import csv
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CORPUS = '/work/shared/bench'
HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = ['dsharp', 'd4v2_mtkahypar', 'ganak']
COUNT = re.compile(r'c s exact (?:arb int|arb frac|arb float|double prec-sci) (\S+)')


def counted_exactly(path):
    """Files whose manifest count is a plain model count of every variable."""
    directive = re.compile(r'^c (t (w|p)|p (weight|show)|ind )')
    with open(path, errors='replace') as f:
        return not any(directive.match(line) for line in f)


def run(tarn, path, args, timeout):
    scratch = tempfile.mkdtemp(prefix='tarn-solved-')
    start = time.time()
    try:
        p = subprocess.run([tarn, '-in', path, '-count', '-in_memory', '-silent'] + args, capture_output=True,
                           text=True, timeout=timeout, cwd=scratch)
        m = COUNT.search(p.stdout)
        return ('ok' if p.returncode == 0 else 'exit%d' % p.returncode), time.time() - start, m.group(1) if m else ''
    except subprocess.TimeoutExpired:
        return 'timeout', timeout, ''
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def judge(status, count, known, path):
    if status != 'ok':
        return status
    if known and counted_exactly(path) and count != known:
        return 'WRONG'
    return 'solved'


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--tarn', default=os.path.join(HERE, '..', 'build', 'release', 'tarn'))
    ap.add_argument('--timeout', type=float, default=60)
    ap.add_argument('--jobs', type=int, default=1)
    ap.add_argument('--files')
    ap.add_argument('--only')
    ap.add_argument('--config', action='append', default=[])
    ap.add_argument('--results')
    ap.add_argument('--reuse', action='append', default=[])
    opts = ap.parse_args()
    configs = [c.split('=', 1) for c in opts.config] or [['default', '']]

    peers = {r['path']: r for r in csv.DictReader(open(os.path.join(CORPUS, 'peer_times.tsv')), delimiter='\t')}
    known = {r['path']: r['count'] for r in csv.DictReader(open(os.path.join(CORPUS, 'manifest.tsv')), delimiter='\t')}
    files = [l.strip() for l in open(opts.files)] if opts.files else list(peers)
    files = [f for f in files if f and (not opts.only or re.search(opts.only, f))]

    rows = {}
    for tsv in opts.reuse:
        for r in csv.DictReader(open(tsv), delimiter='\t'):
            rows[(r['config'], r['file'])] = (r['verdict'], float(r['seconds']))
    work = [(name, args, f) for name, args in configs for f in files if (name, f) not in rows]
    with concurrent.futures.ThreadPoolExecutor(opts.jobs) as pool:
        futures = {pool.submit(run, opts.tarn, os.path.join(CORPUS, f), args.split(), opts.timeout): (name, f)
                   for name, args, f in work}
        for future in concurrent.futures.as_completed(futures):
            name, f = futures[future]
            status, seconds, count = future.result()
            rows[(name, f)] = (judge(status, count, known.get(f), os.path.join(CORPUS, f)), seconds)
            print('%-10s %-8s %7.2f  %s' % (name, rows[(name, f)][0], seconds, f), flush=True)
    if opts.results:
        with open(opts.results, 'w') as out:
            out.write('config\tfile\tverdict\tseconds\n')
            for (name, f), (verdict, seconds) in sorted(rows.items()):
                out.write('%s\t%s\t%s\t%.3f\n' % (name, f, verdict, seconds))

    def peer_solved(f, peer):
        try:
            return float(peers.get(f, {}).get(peer, '')) <= opts.timeout
        except ValueError:
            return False

    families = collections.OrderedDict()
    for f in sorted(files):
        families.setdefault(f.split('/')[0], []).append(f)
    names = [name for name, _ in configs]
    print('\n%-20s %5s ' % ('family', 'files') + ' '.join('%16s' % n[:16] for n in names) + ' ' +
          ' '.join('%8s' % p[:8] for p in PEERS))
    totals = collections.Counter()
    for family, members in list(families.items()) + [('all', files)]:
        cells = []
        for name in names:
            solved = [rows[(name, f)][1] for f in members if rows.get((name, f), ('', 0))[0] == 'solved']
            if family != 'all':
                totals[name] += len(solved)
            cells.append('%5d %9s' % (len(solved), '%.2fs' % statistics.median(solved) if solved else '-'))
        peer_cells = ['%8d' % sum(peer_solved(f, p) for f in members) for p in PEERS]
        print('%-20s %5d ' % (family, len(members)) + ' '.join('%16s' % c for c in cells) + ' ' + ' '.join(peer_cells))
    wrong = [(n, f) for (n, f), (v, _) in rows.items() if v == 'WRONG']
    for n, f in wrong:
        print('WRONG count: %s %s' % (n, f))
    return 1 if wrong else 0


if __name__ == '__main__':
    sys.exit(main())
