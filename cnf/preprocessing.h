// CNF simplification for the simplify modes: unit clauses derived by unit resolution and by
// resolution over two-literal clauses, satisfied clauses and false literals dropped, and (for
// simplify_cnf_s) subsumed clauses removed with a clause trie. Each returns a new, equivalent cnf.
#pragma once

#include <memory>
#include <unordered_set>
#include <vector>

#include "cnf/cnf_manager.h"

std::unique_ptr<cnf> simplify_cnf(const cnf& formula);
std::unique_ptr<cnf> simplify_cnf_s(const cnf& formula);

// Derives unit clauses by resolution over the two-literal clauses (eclauses contribute their
// pairwise exclusions) and records them in pos_unit / neg_unit. False when the CNF is found
// unsatisfiable. Leaves no assignment behind.
bool binary_resolution(cnf_manager* m);

// ---------------------------------------------------------------------------------------------
// The steps of binary_resolution
// ---------------------------------------------------------------------------------------------

// The two-literal clauses known so far: the bucket of literal x lists, in the order they became
// known, every y for which (x or y) is known. A pair is in both buckets.
struct bucket_node {
  literal* other;     // the other literal of the clause
  unsigned next;      // next node of the bucket, or NO_BUCKET_NODE
};
constexpr unsigned NO_BUCKET_NODE = ~0u;

// The closure of the two-literal clauses can be quadratic in the formula and the resolution
// work beyond that; once `steps_left` resolvents have been tried, no further one is. The units
// found until then are still sound consequences.
struct binary_buckets {
  std::vector<unsigned> head;   // per literal (2v positive, 2v + 1 negative): first node
  std::vector<unsigned> tail;   // per literal: last node
  std::vector<bucket_node> nodes;
  std::unordered_set<unsigned long long> known;  // the pairs in the buckets, smaller slot first
  std::size_t steps_left;       // clauses that may still be tried
  bool exhausted = false;       // a clause was turned away for the budget
  binary_buckets(unsigned var_count, std::size_t step_budget);
};

unsigned count_unit_clauses(const cnf_manager* m);
void record_unit_clause(const literal* t, cnf_manager* m);
// True when the clause is not subsumed and exactly two of its literals are not false; those
// two are returned in clause order.
bool is_binary_clause(const clause* c, literal*& a, literal*& b);
// Adds (x or y) to both buckets unless known; false when it was known.
bool add_literal(literal* x, literal* y, binary_buckets& buckets);
// Adds the clause (a or b) and every resolvent over the known two-literal clauses; a resolvent
// (x or x) becomes the unit clause x. False on a conflict.
bool add_binary_clause_to_buckets(literal* a, literal* b, binary_buckets& buckets, cnf_manager* m);
// Asserts x at level 1, records every literal this sets as a unit clause, and adds the
// two-literal clauses that the new false literals leave behind. False on a conflict.
bool add_unit_clause(literal* x, binary_buckets& buckets, cnf_manager* m);
// The clauses (not a or not b) for every pair of non-false literals of the eclause.
bool add_e_clause_b_clauses(const clause* c, binary_buckets& buckets, cnf_manager* m);
