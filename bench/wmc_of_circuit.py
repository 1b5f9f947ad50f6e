#!/usr/bin/env python3
"""Exact weighted count of a compiled circuit, computed independently of tarn.

  wmc_of_circuit.py CNF NNF

Reads the counting directives of the CNF itself ("c p weight LIT W 0", legacy "w LIT W [0]",
"c p show ... 0", "c ind ... 0", "vp ... 0"; unlisted literals weigh 1) and the circuit in the
"nnf N E V" format (children before parents, root last), and prints
  answer=P/Q-or-N counted=K nodes=N decomposable=yes|NO foreign_vars=...
Counted variables are the shown ones under a projection, else all V. The count assumes a
deterministic circuit: an and-node multiplies, an or-node adds its children, each child widened by
w(v) + w(-v) for every variable of the node that the child lacks; the root is widened the same way
over the counted variables it lacks. Exit status 1 when the circuit is not decomposable or mentions
a variable that is not counted (the count would then mean nothing).
"""
import sys
from array import array
from fractions import Fraction
from math import lcm


def exact_number(text):
    """A decimal ("0.25", "-1.5e-3", ".5") or a fraction ("1/4"), exactly."""
    return Fraction(text)


def read_directives(path):
    """(V, weights {literal: Fraction}, shown set or None) as the CNF's comment lines give them."""
    V = 0
    weights, legacy, shown = {}, {}, None

    def set_weight(table, literal, weight):
        if table.get(literal, weight) != weight:
            raise ValueError('literal %d given two weights' % literal)
        table[literal] = weight

    def add_shown(tokens):
        nonlocal shown
        shown = shown or set()
        if '0' not in tokens:
            raise ValueError('projection line without closing 0')
        shown.update(int(t) for t in tokens[:tokens.index('0')])

    with open(path) as f:
        for line in f:
            t = line.split()
            if not t:
                continue
            if t[0].startswith('%'):
                break
            if t[0] == 'p':
                V = int(t[2])
            elif t[0] == 'w':
                set_weight(legacy, int(t[1]), exact_number(t[2]))
            elif t[0] == 'vp':
                add_shown(t[1:])
            elif t[0] == 'c' and len(t) >= 2 and t[1] == 'ind':
                add_shown(t[2:])
            elif t[0] == 'c' and len(t) >= 3 and t[1] == 'p' and t[2] == 'show':
                add_shown(t[3:])
            elif t[0] == 'c' and len(t) >= 5 and t[1] == 'p' and t[2] == 'weight':
                set_weight(weights, int(t[3]), exact_number(t[4]))
    # Legacy "w" convention: "w V -1" makes both literals weigh 1; "w V W" with W in [0,1] and no
    # weight on -V makes -V weigh 1 - W.
    for literal, weight in sorted(legacy.items()):
        if weight == -1:
            set_weight(weights, literal, Fraction(1))
            set_weight(weights, -literal, Fraction(1))
            continue
        set_weight(weights, literal, weight)
        complement_weighed = -literal in legacy or -literal in weights
        if literal > 0 and not complement_weighed and 0 <= weight <= 1:
            set_weight(weights, -literal, 1 - weight)
    return V, weights, shown


class Circuit:
    """Nodes in flat arrays, so that circuits of millions of nodes fit in memory: node i has kind
    kinds[i] ('L', 'A' or 'O'), literal (L) or decision variable (O) labels[i], and children
    children[starts[i]:starts[i + 1]]."""

    def __init__(self):
        self.kinds = bytearray()
        self.labels = array('i')
        self.starts = array('q', [0])
        self.children = array('i')

    def __len__(self):
        return len(self.kinds)

    def add(self, kind, label, children):
        if any(c < 0 or c >= len(self.kinds) for c in children):
            raise ValueError('node %d: a child that does not come before it' % len(self.kinds))
        self.kinds.append(ord(kind))
        self.labels.append(label)
        self.children.extend(children)
        self.starts.append(len(self.children))

    def children_of(self, i):
        return self.children[self.starts[i]:self.starts[i + 1]]


def read_nnf(path):
    """(variable count of the header, Circuit), read one node line at a time."""
    circuit = Circuit()
    with open(path) as f:
        header = f.readline().split()
        if len(header) != 4 or header[0] != 'nnf':
            raise ValueError('missing nnf header')
        for line in f:
            t = line.split()
            if not t:
                continue
            if t[0] == 'L':
                circuit.add('L', int(t[1]), ())
            elif t[0] == 'A':
                circuit.add('A', 0, [int(x) for x in t[2:]])
            elif t[0] == 'O':
                circuit.add('O', int(t[1]), [int(x) for x in t[3:]])
            else:
                raise ValueError('bad record %r' % t[0])
    if not len(circuit):
        raise ValueError('empty circuit')
    return int(header[3]), circuit


class Widening:
    """Products of w(v) + w(-v) over sets of counted variables, given as bit masks.

    Weights are scaled by a common denominator D, so the whole count runs on integers (exact, and
    far faster than fractions on big circuits): every model's term then carries D once per counted
    variable, divided out at the end. Variables with equal sums share one mask, so a widening costs
    a few popcounts rather than a loop over its variables."""

    def __init__(self, counted, weights):
        self.denominator = lcm(*(w.denominator for w in weights.values())) if weights else 1
        self.scaled = {}
        masks = {}
        for bit, v in enumerate(counted):
            for literal in (v, -v):
                self.scaled[literal] = int(weights.get(literal, Fraction(1)) * self.denominator)
            total = self.scaled[v] + self.scaled[-v]
            masks[total] = masks.get(total, 0) | (1 << bit)
        self.groups = list(masks.items())

    def factor(self, missing):
        product = 1
        for total, mask in self.groups:
            n = (missing & mask).bit_count()
            if n:
                product *= total ** n
        return product


def refcounts(circuit):
    refs = array('i', bytes(4 * len(circuit)))
    for c in circuit.children:
        refs[c] += 1
    refs[-1] += 1
    return refs


def count_circuit(circuit, counted, widening):
    """(scaled count, decomposable, foreign variables) in one pass in node order, each node's value
    and variable mask dropped once its last parent is done."""
    bit_of = {v: b for b, v in enumerate(counted)}
    refs = refcounts(circuit)
    values, masks = [None] * len(circuit), [None] * len(circuit)
    decomposable, foreign = True, set()
    for i in range(len(circuit)):
        kind, x, ch = chr(circuit.kinds[i]), circuit.labels[i], circuit.children_of(i)
        if kind == 'L':
            if abs(x) not in bit_of:
                foreign.add(abs(x))
                values[i], masks[i] = 0, 0
            else:
                values[i], masks[i] = widening.scaled[x], 1 << bit_of[abs(x)]
        elif kind == 'A':
            value, mask = 1, 0
            for c in ch:
                decomposable = decomposable and not (mask & masks[c])
                value *= values[c]
                mask |= masks[c]
            values[i], masks[i] = value, mask
        else:
            mask = 0
            for c in ch:
                mask |= masks[c]
            values[i] = sum(values[c] * widening.factor(mask & ~masks[c]) for c in ch)
            masks[i] = mask
        for c in ch:
            refs[c] -= 1
            if refs[c] == 0:
                values[c] = masks[c] = None
    everything = (1 << len(counted)) - 1
    return values[-1] * widening.factor(everything & ~masks[-1]), decomposable, foreign


def main(argv):
    sys.set_int_max_str_digits(0)  # exact answers may have tens of thousands of digits
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    V, weights, shown = read_directives(argv[1])
    circuit_vars, circuit = read_nnf(argv[2])
    if circuit_vars != V:
        print('circuit declares %d variables, the CNF %d' % (circuit_vars, V), file=sys.stderr)
        return 1
    counted = sorted(shown) if shown is not None else list(range(1, V + 1))
    widening = Widening(counted, weights)
    scaled, decomposable, foreign = count_circuit(circuit, counted, widening)
    answer = Fraction(scaled, widening.denominator ** len(counted))
    print('answer=%s counted=%d nodes=%d decomposable=%s foreign_vars=%s' % (
        answer, len(counted), len(circuit), 'yes' if decomposable else 'NO',
        ','.join(map(str, sorted(foreign)[:10])) or 'none'))
    return 0 if decomposable and not foreign else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv))
