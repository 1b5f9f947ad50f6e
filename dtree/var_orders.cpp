#include "dtree/var_orders.h"

#include <algorithm>

namespace {

bool all_subsumed(clause** first, clause** last_inclusive) {
  for (clause** c = first; c <= last_inclusive; ++c)
    if (!(*c)->subsumed) return false;
  return true;
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
