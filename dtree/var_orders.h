// Which separator variables of a dtree node are still open, and which open one to decide next.
// Both read the current assignment and the subsumed flags through the entries' list positions.
#pragma once

#include "cnf/cnf_manager.h"
#include "dtree/dtree_manager.h"

// True when the entry's variable needs no split at this node: it is assigned or excepted from
// decomposition, or it no longer links the two children through unsatisfied clauses (for a
// forced variable: none of its clauses below the node is unsatisfied).
bool eliminated_separator(const separator* s);

// One of the first n entries (n >= 1): the most unsatisfied occurrences below the node, then
// the most occurrences of one literal in input and learned clauses, then the earliest entry.
separator* select_separator(separator* const* seps, unsigned n, const cnf_manager* cm);

// The variable to decide next at node t among the first n entries. Normally the selected
// separator's; when forgotten variables are decided only after shown ones, a forgotten choice
// gives way to an open shown separator, then to any shown variable still open below t, so that
// both branches of a forgotten decision are constants and the circuit stays deterministic over
// the shown variables.
var* select_decision_var(separator* const* seps, unsigned n, const dtree* t, const cnf_manager* cm);

unsigned long separator_score_occ(const separator* s);
unsigned long separator_score_active_occ(const separator* s);
bool subsumed_separator_either(const separator* s);
bool subsumed_separator_both(const separator* s);

// The item with the largest score, a larger tie score breaking ties, the first item a full tie.
template <typename Item, typename Score, typename Tie>
Item max_item_tie(Item const* items, unsigned n, Score score, Tie tie) {
  Item best = items[0];
  unsigned long best_score = score(best), best_tie = tie(best);
  for (unsigned i = 1; i < n; ++i) {
    unsigned long s = score(items[i]);
    if (s < best_score) continue;
    unsigned long t = tie(items[i]);
    if (s > best_score || t > best_tie) {
      best = items[i];
      best_score = s;
      best_tie = t;
    }
  }
  return best;
}
