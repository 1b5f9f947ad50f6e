#!/usr/bin/env python3
"""Circuit size against formula size on random or-gate formulas: how large a full circuit of a
formula shaped like mc2022_track1_002 (100 inputs, 100 four-input or-gates, 2^100 models) would be.

  or_gate_growth.py [--tarn PATH] [--sizes N ...] [--seeds K] [--timeout S] [--args "..."]

Formula n has inputs 1..n and outputs n+1..2n, output i being the or of four distinct random
inputs (the clauses -x y and -y x1 x2 x3 x4). Each is compiled with "tarn -in F -seed 1 ARGS"
(the dtree's seed fixed, so the sizes repeat) and per size the median nodes, edges and wall time
over K formulas are printed, then the growth of the median node count per added gate, fitted over
the sizes that finished, and where that growth puts the sizes up to 100 gates.
"""
import argparse
import math
import os
import random
import shutil
import statistics
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def or_gate_formula(n, seed):
    r = random.Random(seed)
    lines = ['p cnf %d %d' % (2 * n, 5 * n)]
    for gate in range(n):
        y = n + gate + 1
        inputs = r.sample(range(1, n + 1), 4)
        lines += ['-%d %d 0' % (x, y) for x in inputs]
        lines.append(' '.join(['-%d' % y] + [str(x) for x in inputs] + ['0']))
    return '\n'.join(lines) + '\n'


def compile_size(tarn, cnf, args, timeout):
    """(nodes, edges, seconds) of the written circuit, or None when tarn fails or runs out of time."""
    start = time.monotonic()
    try:
        done = subprocess.run([tarn, '-in', cnf, '-seed', '1', '-silent'] + args, capture_output=True,
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    if done.returncode != 0:
        return None
    with open(cnf + '.nnf') as f:
        _, nodes, edges, _ = f.readline().split()
    return int(nodes), int(edges), time.monotonic() - start


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--tarn', default=os.path.join(HERE, '..', 'build', 'release', 'tarn'))
    ap.add_argument('--sizes', type=int, nargs='+', default=[30, 35, 40, 45, 50, 55])
    ap.add_argument('--seeds', type=int, default=3)
    ap.add_argument('--timeout', type=float, default=300)
    ap.add_argument('--args', default='-preprocess')
    opts = ap.parse_args()

    scratch = tempfile.mkdtemp(prefix='tarn-or-gates-')
    medians = {}
    print('%6s %12s %12s %9s' % ('gates', 'nodes', 'edges', 'seconds'))
    try:
        for n in opts.sizes:
            runs = []
            for seed in range(1, opts.seeds + 1):
                cnf = os.path.join(scratch, 'or%d_%d.cnf' % (n, seed))
                with open(cnf, 'w') as f:
                    f.write(or_gate_formula(n, seed))
                runs.append(compile_size(opts.tarn, cnf, opts.args.split(), opts.timeout))
            if None in runs:
                print('%6d %12s' % (n, 'timeout'))
                break
            medians[n] = [statistics.median(r[i] for r in runs) for i in range(3)]
            print('%6d %12d %12d %9.2f' % (n, medians[n][0], medians[n][1], medians[n][2]))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    if len(medians) < 2:
        return
    sizes = sorted(medians)
    xs, ys = sizes, [math.log(medians[n][0]) for n in sizes]
    mean_x, mean_y = statistics.mean(xs), statistics.mean(ys)
    slope = sum((x - mean_x) * (y - mean_y) for x, y in zip(xs, ys)) / sum((x - mean_x) ** 2 for x in xs)
    print('\nnodes grow %.3fx per added gate' % math.exp(slope))
    for n in range(sizes[-1] + 10 - sizes[-1] % 10, 101, 10):
        print('%6d gates: about %.1e nodes' % (n, math.exp(mean_y + slope * (n - mean_x))))


if __name__ == '__main__':
    main()
