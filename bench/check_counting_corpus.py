#!/usr/bin/env python3
"""Checks tarn's weighted and projected counts on the counting families of the corpus, independently.

  check_counting_corpus.py [TARN] [--enumerator PATH] [--only SUBSTRING ...]
                           [--tarn-timeout S] [--enum-limit N] [--enum-timeout S]
                           [--enum-timeout-unprojected S]

TARN defaults to build/release/tarn; the enumerator to bench/enumerate_projected in TARN's build
folder. Each file is copied to a temporary folder (tarn writes FILE.nnf beside its input) and run
with "-count -silent". tarn's answer is then judged by tools that share no code with it:
  circuit  nnfcheck.py on the circuit (structure, decomposability, entailment, and the count over
           all variables against the manifest when it has one); only without a projection, since
           nnfcheck knows nothing of projections
  eval     wmc_of_circuit.py: the weighted count of the circuit, recomputed (checks the counter)
  enum     enumerate_projected: the answer from the CNF alone by SAT enumeration, when it finishes
           within the model limit and time (checks the compiler); files without a projection
           get a shorter time, since nnfcheck already checks their circuits
One row per file, then a summary. Exit status 1 on any disagreement or tarn failure.
"""
import argparse
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from fractions import Fraction

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
from wmc_of_circuit import read_directives  # noqa: E402

CORPUS = '/work/shared/bench'
NNFCHECK = '/work/shared/tools/nnfcheck.py'
FAMILIES = ['mc2022_track2', 'mc2022_track3', 'mc2022_track4', 'projected_c_ind', 'bn_qmr_weighted']
CHECK_TIMEOUT = 900  # seconds for nnfcheck and the circuit evaluator on one file
# Counts run to tens of thousands of digits, beyond Python's default limit for int <-> str; the
# variable lifts it in the child scripts too.
os.environ['PYTHONINTMAXSTRDIGITS'] = '0'
sys.set_int_max_str_digits(0)


class ManifestRow:
    def __init__(self, cells, header):
        count = cells[header.index('count')]
        self.count = int(count) if count else None  # over all variables, directives ignored
        self.reader = cells[header.index('reader')]  # 'ok', or the error expected of the reader
        published = PUBLISHED_LOG10.search(cells[header.index('notes')])
        self.published_log10 = float(published.group(1)) if published else None


# The competition's published answers, as the notes quote them: log10 of the weighted or projected
# count, to 8 decimals.
PUBLISHED_LOG10 = re.compile(r'MC2022 log10\((?:weighted|projected) count\)=(\S+?)\s')


def read_manifest():
    """{path: ManifestRow}"""
    rows = {}
    with open(os.path.join(CORPUS, 'manifest.tsv')) as f:
        header = f.readline().rstrip('\n').split('\t')
        for line in f:
            cells = line.rstrip('\n').split('\t')
            rows[cells[header.index('path')]] = ManifestRow(cells, header)
    return rows


def run(command, timeout, cwd=None):
    """(return code or 'timeout', stdout, stderr, wall seconds)."""
    start = time.monotonic()
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=timeout, cwd=cwd)
        return done.returncode, done.stdout, done.stderr, time.monotonic() - start
    except subprocess.TimeoutExpired:
        return 'timeout', '', '', time.monotonic() - start


def declared_type(cnf):
    """The "c t" value, else the type the directives imply."""
    with open(cnf) as f:
        for line in f:
            t = line.split()
            if len(t) == 3 and t[:2] == ['c', 't']:
                return t[2]
    _, weights, shown = read_directives(cnf)
    return ('p' if shown is not None else '') + ('wmc' if weights else 'mc')


def tarn_result(tarn, cnf, timeout):
    """dict: status ('ok', 'timeout', 'error'), seconds, type, answer (Fraction), message."""
    code, out, err, seconds = run([tarn, '-in', cnf, '-count', '-silent'], timeout, cwd=os.path.dirname(cnf))
    result = {'seconds': seconds, 'type': '?', 'answer': None, 'message': ''}
    for line in out.splitlines():
        t = line.split()
        if t[:3] == ['c', 's', 'type']:
            result['type'] = t[3]
        elif t[:4] == ['c', 's', 'exact', 'arb']:
            result['answer'] = Fraction(t[5])
    if code == 'timeout':
        result['status'] = 'timeout'
    elif code != 0 or result['answer'] is None:
        result['status'] = 'error'
        last = (err.strip() or out.strip()).splitlines()
        result['message'] = 'exit %s: %s' % (code, last[-1] if last else '')
    else:
        result['status'] = 'ok'
    return result


def without_weight_lines(cnf, folder):
    """A copy of cnf without "w" and "vp" lines, which nnfcheck would read as clauses."""
    copy = os.path.join(folder, 'for_nnfcheck.cnf')
    with open(cnf) as src, open(copy, 'w') as dst:
        for line in src:
            if line.split()[:1] not in (['w'], ['vp']):
                dst.write(line)
    return copy


def nnfcheck_verdict(cnf, nnf, expected_count, folder):
    command = ['python3', NNFCHECK, without_weight_lines(cnf, folder), nnf]
    if expected_count is not None:
        command += ['--expect-count', str(expected_count)]
    code, out, err, _ = run(command, CHECK_TIMEOUT)
    if code == 'timeout':
        return 'timeout', True
    if code == 0:
        return ('ok+count' if expected_count is not None else 'ok'), True
    failed = [kv for kv in out.split() if kv.split('=')[0] not in ('nodes', 'edges', 'vars', 'count')
              and not kv.endswith(('=ok', '=yes'))]
    return 'FAIL(%s)' % ' '.join(failed or [(err.strip().splitlines() or ['?'])[-1]]), False


def eval_verdict(cnf, nnf, answer):
    code, out, err, _ = run(['python3', os.path.join(HERE, 'wmc_of_circuit.py'), cnf, nnf], CHECK_TIMEOUT)
    if code == 'timeout':
        return 'timeout', True
    fields = dict(kv.split('=', 1) for kv in out.split() if '=' in kv)
    if 'answer' not in fields:
        return 'FAIL(%s)' % (err.strip().splitlines() or ['?'])[-1], False
    if code != 0:
        return 'FAIL(decomposable=%s foreign=%s)' % (fields.get('decomposable'), fields.get('foreign_vars')), False
    value = Fraction(fields['answer'])
    return ('agree', True) if value == answer else ('DIFF(%s)' % short(value), False)


def enum_verdict(enumerator, cnf, answer, limit, timeout):
    code, out, err, seconds = run([enumerator, cnf, str(limit)], timeout)
    if code == 'timeout':
        return 'timeout>%ds' % timeout, True
    if code == 2:
        return 'too many(>%d)' % limit, True
    if code != 0:
        return 'FAIL(%s)' % (err.strip().splitlines() or ['?'])[-1], False
    value = Fraction(out.strip())
    if value != answer:
        return 'DIFF(%s)' % short(value), False
    return 'agree(%.0fs)' % seconds, True


def log10_of(value, decimals=4):
    if value == 0:
        return '-inf'
    return '%.*f' % (decimals, math.log10(abs(value.numerator)) - math.log10(value.denominator))


def short(value, width=22):
    text = str(value)
    return text if len(text) <= width else '%s..%s' % (text[:12], text[-6:])


def corpus_files(only):
    files = []
    for family in FAMILIES:
        for name in sorted(os.listdir(os.path.join(CORPUS, family))):
            relative = '%s/%s' % (family, name)
            if not only or any(s in relative for s in only):
                files.append(relative)
    return files


def with_true_clause_count(cnf):
    """A copy of cnf whose p line declares the clauses the file holds, or None when it already does."""
    with open(cnf) as f:
        lines = f.readlines()
    held = sum(t == '0' for line in lines if line.split()[:1] not in (['c'], ['p'], ['w'], ['vp'])
               for t in line.split())
    for i, line in enumerate(lines):
        t = line.split()
        if t[:1] == ['p'] and len(t) == 4 and int(t[3]) != held:
            lines[i] = 'p cnf %s %d\n' % (t[2], held)
            copy = cnf[:-len('.cnf')] + '.clause_count_fixed.cnf'
            with open(copy, 'w') as f:
                f.writelines(lines)
            return copy
    return None


def check_file(relative, args, manifest):
    """Table rows (lists of cells) with whether all their verdicts hold. A file the manifest marks
    as invalid input must be rejected; when its only fault is the declared clause count, a copy with
    the count fixed is checked on a second row, so that its directives are still exercised."""
    facts = manifest[relative]
    with tempfile.TemporaryDirectory(prefix='tarn_counting_') as folder:
        cnf = os.path.join(folder, os.path.basename(relative))
        shutil.copyfile(os.path.join(CORPUS, relative), cnf)
        cells, ok = check_cnf(relative, cnf, facts, args, folder)
        if facts.reader == 'ok' or cells[3] != 'error':
            return [(cells, ok)]
        cells[3], cells[-1] = 'rejected', 'as the manifest expects: ' + cells[-1]
        rows = [(cells, True)]
        fixed = with_true_clause_count(cnf)
        if fixed:
            rows.append(check_cnf(relative + ' (clause count fixed)', fixed, facts, args, folder))
        return rows


def published_verdict(published, answer):
    """tarn's answer against the competition's log10, which has 8 decimals."""
    if published is None:
        return '-', True
    if published == -math.inf or answer <= 0:
        return ('agree', True) if answer == 0 and published == -math.inf else ('DIFF(%s)' % published, False)
    close = abs(float(log10_of(answer, 10)) - published) <= 1e-6 + 1e-9 * abs(published)
    return ('agree', True) if close else ('DIFF(%s)' % published, False)


def check_cnf(name, cnf, facts, args, folder):
    """One table row for a copy of a corpus file, and whether every verdict holds."""
    tarn = tarn_result(args.tarn, cnf, args.tarn_timeout)
    row = [name, tarn['type'], '%.1f' % tarn['seconds']]
    if tarn['status'] != 'ok':
        return row + [tarn['status'], '', '', '', '', '', tarn['message']], tarn['status'] == 'timeout'
    answer = tarn['answer']
    row += [short(answer), log10_of(answer)]
    verdicts = []
    expected_type = declared_type(cnf)
    verdicts.append(('agree', True) if tarn['type'] == expected_type else ('DIFF(%s)' % expected_type, False))
    verdicts.append(published_verdict(facts.published_log10, answer))
    projected = read_directives(cnf)[2] is not None
    nnf = cnf + '.nnf'
    if projected:
        verdicts.append(('n/a (projected)', True))
    else:
        verdicts.append(nnfcheck_verdict(cnf, nnf, facts.count, folder))
    verdicts.append(eval_verdict(cnf, nnf, answer))
    enum_timeout = args.enum_timeout if projected else args.enum_timeout_unprojected
    verdicts.append(enum_verdict(args.enumerator, cnf, answer, args.enum_limit, enum_timeout))
    return row + [v for v, _ in verdicts], all(ok for _, ok in verdicts)


COLUMNS = ['file', 'type', 'tarn s', 'tarn answer', 'log10', 'tcheck', 'mc2022', 'circuit', 'eval', 'enum']


def print_row(cells):
    widths = [52, 5, 7, 24, 11, 6, 7, 16, 8, 0]
    print(' '.join(str(c).ljust(w) for c, w in zip(cells, widths)).rstrip(), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument('tarn', nargs='?', default=os.path.join(ROOT, 'build/release/tarn'))
    parser.add_argument('--enumerator')
    parser.add_argument('--only', nargs='*', default=[], help='files whose path contains one of these')
    parser.add_argument('--tarn-timeout', type=float, default=120)
    parser.add_argument('--enum-limit', type=int, default=200000)
    parser.add_argument('--enum-timeout', type=float, default=300)
    parser.add_argument('--enum-timeout-unprojected', type=float, default=60)
    args = parser.parse_args()
    args.tarn = os.path.abspath(args.tarn)
    args.enumerator = args.enumerator or os.path.join(os.path.dirname(args.tarn), 'bench', 'enumerate_projected')
    if not os.access(args.enumerator, os.X_OK):
        sys.exit('no enumerator at %s (it is built with tarn, in the bench folder of the build)'
                 % args.enumerator)
    manifest = read_manifest()
    print_row(COLUMNS)
    rows = []
    for relative in corpus_files(args.only):
        for cells, ok in check_file(relative, args, manifest):
            print_row(cells)
            rows.append((cells, ok))
    summarize(rows)
    return 0 if all(ok for _, ok in rows) else 1


def summarize(rows):
    answered = [c for c, _ in rows if c[3] not in ('timeout', 'error', 'rejected')]
    published = [c for c in answered if c[6] == 'agree']
    circuits = [c for c in answered if c[7].startswith('ok')]
    evaluated = [c for c in answered if c[8] == 'agree']
    enumerated = [c for c in answered if c[9].startswith('agree')]
    bad = [c[0] for c, ok in rows if not ok]
    print('\n%d rows: tarn answered %d, timed out on %d, rejected %d invalid inputs, failed on %d' % (
        len(rows), len(answered), *(sum(c[3] == status for c, _ in rows) for status in ('timeout', 'rejected', 'error'))))
    print('published log10 matched on %d; nnfcheck passed %d circuits (%d with the manifest count); the circuit '
          'evaluator agreed on %d; the enumerator confirmed %d answers' % (
              len(published), len(circuits), sum(c[7] == 'ok+count' for c in answered), len(evaluated),
              len(enumerated)))
    print('disagreements or failures: %s' % (', '.join(bad) if bad else 'none'))


if __name__ == '__main__':
    sys.exit(main())
