#!/usr/bin/env python3
"""Independent check of a dtree file against its CNF.

Reads the CNF the way tarn does (comment lines c, % and 0; the "p cnf" line; an optional
"eclauses" line; clauses that may span lines, with whatever follows the terminating 0 on its
line ignored; duplicate literals removed; tautologies dropped, except two-literal ones with
--keep-trivial) and the dtree file ("dtree N", then N records "L clause" or "I left right" in
post-order, and the optional orders trailer of cutset, separator and context lists, which must
name the same sets). Checks that the dtree is a full binary tree with one leaf per kept clause, computes
vars, separator, cutset and context of every node from the definitions, checks that every
variable of a clause lies in exactly one cutset, and prints the largest cluster.

Exit status 0 when the dtree passes, 1 otherwise. Uses no module outside the standard library.
"""
import argparse
import sys


class CheckFailure(Exception):
    pass


def read_cnf(path, keep_trivial):
    """Returns (variable count, list of clause variable sets) of the clauses tarn keeps."""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    n = len(text)
    pos = 0
    var_count = None
    declared = 0
    clauses = []
    clause_lines = 0

    def end_of_line(p):
        q = text.find("\n", p)
        return n if q < 0 else q + 1

    while pos < n:
        c = text[pos]
        if c.isspace():
            pos += 1
            continue
        if c == "p":
            end = end_of_line(pos)
            fields = text[pos:end].split()
            if len(fields) < 4 or fields[1] != "cnf":
                raise CheckFailure("bad p line: %r" % text[pos:end])
            var_count, declared = int(fields[2]), int(fields[3])
            pos = end
        elif c in "c%0" or c == "e":
            pos = end_of_line(pos)
        elif c == "-" or c.isdigit():
            literals = []
            while True:
                while pos < n and text[pos].isspace():
                    pos += 1
                start = pos
                if pos < n and text[pos] in "+-":
                    pos += 1
                while pos < n and text[pos].isdigit():
                    pos += 1
                if start == pos:
                    raise CheckFailure("clause cut off or not a number at offset %d" % start)
                value = int(text[start:pos])
                if value == 0:
                    break
                literals.append(value)
            pos = end_of_line(pos)
            clause_lines += 1
            written = len(literals)
            unique = set(literals)
            tautology = any(-l in unique for l in unique)
            if tautology and not (keep_trivial and written == 2):
                continue
            variables = frozenset(abs(l) for l in unique)
            if var_count is None or any(v > var_count for v in variables):
                raise CheckFailure("literal beyond the declared variables")
            clauses.append(variables)
        else:
            raise CheckFailure("unknown line at offset %d" % pos)
    if var_count is None:
        raise CheckFailure("no p line")
    if clause_lines != declared:
        raise CheckFailure("%d clause lines, %d declared" % (clause_lines, declared))
    return var_count, clauses


def read_dtree(path, clause_count):
    """Returns left, right (child positions or -1) and clause (position or -1) per record."""
    with open(path) as f:
        tokens = f.read().split()
    if len(tokens) < 2 or tokens[0] != "dtree":
        raise CheckFailure("no dtree header")
    count = int(tokens[1])
    if count != 2 * clause_count - 1:
        raise CheckFailure("%d nodes for %d clauses" % (count, clause_count))
    left, right, clause = [], [], []
    has_parent = [False] * count
    seen_clause = [False] * clause_count
    t = 2
    for i in range(count):
        kind = tokens[t]
        if kind == "I":
            a, b = int(tokens[t + 1]), int(tokens[t + 2])
            t += 3
            for child in (a, b):
                if not 0 <= child < i or has_parent[child]:
                    raise CheckFailure("record %d: bad child %d" % (i, child))
                has_parent[child] = True
            if a == b:
                raise CheckFailure("record %d: same child twice" % i)
            left.append(a)
            right.append(b)
            clause.append(-1)
        elif kind == "L":
            c = int(tokens[t + 1])
            t += 2
            if not 0 <= c < clause_count or seen_clause[c]:
                raise CheckFailure("record %d: bad clause position %d" % (i, c))
            seen_clause[c] = True
            left.append(-1)
            right.append(-1)
            clause.append(c)
        else:
            raise CheckFailure("record %d: unknown letter %r" % (i, kind))
    orders = read_orders(tokens, t, left)
    if any(not has_parent[i] for i in range(count - 1)) or (count and has_parent[count - 1]):
        raise CheckFailure("the records are not one tree rooted at the last record")
    if not all(seen_clause):
        raise CheckFailure("a clause has no leaf")
    return left, right, clause, orders


def read_orders(tokens, t, left):
    """The orders trailer after the records, if any: per record a dict of its "cut", "sep"
    (internal records only) and "ctx" lists; None for a file of records alone."""
    if t == len(tokens):
        return None
    if tokens[t] != "orders":
        raise CheckFailure("text after the last record")
    t += 1
    orders = []
    for i in range(len(left)):
        lists = {}
        for word in ("cut", "sep", "ctx") if left[i] >= 0 else ("cut", "ctx"):
            if t == len(tokens) or tokens[t] != word:
                raise CheckFailure("orders of record %d: %r expected" % (i, word))
            t += 1
            numbers = []
            while t < len(tokens) and tokens[t] not in ("cut", "sep", "ctx"):
                numbers.append(int(tokens[t]))
                t += 1
            if len(set(numbers)) != len(numbers):
                raise CheckFailure("orders of record %d: %s lists a variable twice" % (i, word))
            lists[word] = frozenset(numbers)
        orders.append(lists)
    if t != len(tokens):
        raise CheckFailure("text after the orders")
    return orders


def check(cnf_path, dtree_path, keep_trivial):
    var_count, clauses = read_cnf(cnf_path, keep_trivial)
    if not clauses:
        raise CheckFailure("the CNF has no clauses, so it has no dtree")
    left, right, clause, orders = read_dtree(dtree_path, len(clauses))
    count = len(left)
    root = count - 1

    # Leaf positions left to right, and each variable's first and last leaf, so that "x occurs
    # outside T" is a comparison with T's leaf interval.
    lo, hi = [0] * count, [0] * count
    first_leaf, last_leaf = {}, {}
    leaf_number = 0
    stack = [(root, False)]
    while stack:
        node, expanded = stack.pop()
        if clause[node] >= 0:
            lo[node] = hi[node] = leaf_number
            for x in clauses[clause[node]]:
                first_leaf.setdefault(x, leaf_number)
                last_leaf[x] = leaf_number
            leaf_number += 1
        elif expanded:
            lo[node], hi[node] = lo[left[node]], hi[right[node]]
        else:
            stack.extend([(node, True), (right[node], False), (left[node], False)])

    # vars(T) for the membership tests of the definitions. An internal node keeps only the
    # variables that also occur outside it: the tests are separator(T) = vars(L) & vars(R),
    # whose members occur in both children and so outside each, and context(T) & vars(C),
    # whose members occur outside T. Records come in post-order, children first.
    vars_of = [None] * count
    for node in range(count):
        if clause[node] >= 0:
            vars_of[node] = clauses[clause[node]]
            continue
        a, b, l, h = left[node], right[node], lo[node], hi[node]
        vars_of[node] = frozenset(
            x for x in vars_of[a] | vars_of[b] if first_leaf[x] < l or last_leaf[x] > h
        )

    in_cutsets = {}
    max_cluster = max_cutset = max_context = max_separator = 0
    stack = [(root, frozenset())]
    while stack:
        node, context = stack.pop()
        if clause[node] >= 0:
            separator = frozenset()
            cutset = vars_of[node] - context
        else:
            a, b = left[node], right[node]
            full_a = vars_of[a]
            full_b = vars_of[b]
            separator = full_a & full_b
            cutset = separator - context
            stack.append((b, (context & full_b) | cutset))
            stack.append((a, (context & full_a) | cutset))
        if orders is not None:
            given = orders[node]
            if given["cut"] != cutset or given["ctx"] != context or given.get("sep", frozenset()) != separator:
                raise CheckFailure("record %d: the orders trailer lists other sets than the tree's" % node)
        for x in cutset:
            in_cutsets[x] = in_cutsets.get(x, 0) + 1
        max_cluster = max(max_cluster, len(cutset) + len(context))
        max_cutset = max(max_cutset, len(cutset))
        max_context = max(max_context, len(context))
        max_separator = max(max_separator, len(separator))
        vars_of[node] = None

    used = set().union(*clauses)
    for x in used:
        if in_cutsets.get(x, 0) != 1:
            raise CheckFailure("variable %d lies in %d cutsets" % (x, in_cutsets.get(x, 0)))
    if set(in_cutsets) - used:
        raise CheckFailure("a cutset holds a variable of no clause")
    return {
        "clauses": len(clauses),
        "nodes": count,
        "max_cluster": max_cluster,
        "max_cutset": max_cutset,
        "max_context": max_context,
        "max_separator": max_separator,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("cnf")
    parser.add_argument("dtree")
    parser.add_argument("--keep-trivial", action="store_true", help="as tarn's -keep_trivial_cls")
    args = parser.parse_args()
    try:
        r = check(args.cnf, args.dtree, args.keep_trivial)
    except (CheckFailure, ValueError, IndexError) as e:
        print("FAIL %s: %s" % (args.dtree, e))
        return 1
    print(
        "OK clauses=%d nodes=%d max_cluster=%d max_cutset=%d max_context=%d max_separator=%d"
        % (r["clauses"], r["nodes"], r["max_cluster"], r["max_cutset"], r["max_context"], r["max_separator"])
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
