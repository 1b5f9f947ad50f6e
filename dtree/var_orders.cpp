#include "dtree/var_orders.h"

#include <algorithm>

#include "base/utility.h"

namespace {

bool all_subsumed(clause** first, clause** last_inclusive) {
  for (clause** c = first; c <= last_inclusive; ++c)
    if (!(*c)->subsumed) return false;
  return true;
}

// A shown variable that still matters below t: unassigned, decidable, and in a clause of t's
// run that is not yet satisfied (occurrence lists are in clause-record order).
bool open_shown_var(const var* x, const dtree* t) {
  if (x->assigned || x->exist || x->decompose_except) return false;
  const clause* first = t->clauses;
  const clause* last = t->clauses + t->clause_count - 1;
  for (clause** c = x->clauses; *c && *c <= last; ++c)
    if (*c >= first && !(*c)->subsumed) return true;
  return false;
}

var* open_shown_var_below(const dtree* t) {
  for (var* x : t->context_vars)
    if (open_shown_var(x, t)) return x;
  for (unsigned i = 0; i < t->pure_var_count; ++i)
    if (open_shown_var(t->pure_vars + i, t)) return t->pure_vars + i;
  return nullptr;
}

}  // namespace

bool subsumed_separator_both(const separator* s) { return all_subsumed(s->left_first, s->right_last); }

bool subsumed_separator_either(const separator* s) {
  return all_subsumed(s->left_first, s->right_first - 1) || all_subsumed(s->right_first, s->right_last);
}

bool eliminated_separator(const separator* s) {
  const var* x = s->var;
  if (x->assigned || x->decompose_except) return true;
  return x->force_order ? subsumed_separator_both(s) : subsumed_separator_either(s);
}

unsigned long separator_score_occ(const separator* s) {
  return std::count_if(s->left_first, s->right_last + 1, [](const clause* c) { return !c->subsumed; });
}

unsigned long separator_score_active_occ(const separator* s) {
  return std::max(s->var->pos->occ_count_all, s->var->neg->occ_count_all);
}

separator* select_separator(separator* const* seps, unsigned n, const cnf_manager*) {
  return max_item_tie(seps, n, separator_score_occ, separator_score_active_occ);
}

var* select_decision_var(separator* const* seps, unsigned n, const dtree* t, const cnf_manager* cm) {
  var* chosen = select_separator(seps, n, cm)->var;
  if (!chosen->exist || !DECIDE_SHOWN_FIRST) return chosen;
  for (unsigned i = 0; i < n; ++i)
    if (!seps[i]->var->exist) return seps[i]->var;
  var* shown = open_shown_var_below(t);
  return shown ? shown : chosen;
}
