#include "compiler/compile.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "base/run_limits.h"
#include "base/utility.h"
#include "cnf/conflict_analysis.h"
#include "cnf/unit_resolution.h"
#include "compiler/cache.h"
#include "compiler/nnf_manager.h"
#include "dtree/dtree_manager.h"
#include "dtree/var_orders.h"

dtree* CURRENT_DTREE = nullptr;
var* FIRST_PURE_VAR = nullptr;
var* LAST_PURE_VAR = nullptr;
double completed_fraction = 0;
std::clock_t elapsed_time = 0;
unsigned last_progress_reported = 0;
const std::clock_t progress_inc = 2000000;

namespace {

// Reading the processor clock is a system call, dearer than a search step: the clock is read
// once every so many steps, which at a few microseconds a step still checks every few
// milliseconds, far below the two seconds between reports.
constexpr unsigned STEPS_PER_CLOCK_READING = 1024;
unsigned steps_since_clock_reading = 0;

// A line with the wall time, the part of the search done, the circuit and cache sizes and the
// memory every few seconds, so that a long compilation shows where it stands.
double next_progress_line = 0;
const nnf_manager* progress_nodes = nullptr;
const cnf_cache_manager* progress_cache = nullptr;

void report_progress() {
  if (++steps_since_clock_reading < STEPS_PER_CLOCK_READING) return;
  steps_since_clock_reading = 0;
  print_progress_line(progress_nodes->node_count, progress_cache->count);
  std::clock_t now = std::clock();
  if (now - elapsed_time <= progress_inc) return;
  elapsed_time = now;
  unsigned p = static_cast<unsigned>(completed_fraction);
  if (p > last_progress_reported) {
    last_progress_reported = p;
    std::printf("%u.", p);
    std::fflush(stdout);
  }
}

unsigned open_separators(separator** seps, unsigned count) {
  return push_items_to_end(seps, count, [](const separator* s) { return eliminated_separator(s); });
}

// A completed decomposition step of the root covers 1 / 2^depth of its search space.
void account_root_step(const dtree* t, unsigned depth) {
  if (!t->parent) completed_fraction += 100.0 / std::pow(2.0, depth);
}

// Starts an empty effect span for a node's search and returns the enclosing one.
clause_span open_effect_span(cnf_manager* cm) { return std::exchange(cm->effect_span, clause_span{}); }

// Ends a node's effect span, widening the enclosing one by it (the enclosing search includes
// this one); true when the node's search acted through its own clauses only.
bool close_effect_span(const dtree* t, clause_span outer, cnf_manager* cm) {
  clause_span inner = cm->effect_span;
  cm->effect_span = outer;
  if (!inner.first) return true;
  if (!outer.first || inner.first < outer.first) cm->effect_span.first = inner.first;
  if (!outer.last || inner.last > outer.last) cm->effect_span.last = inner.last;
  return inner.first >= t->clauses && inner.last < t->clauses + t->clause_count;
}

// A conflict's false result holds only until the backjump, and a result that depended on
// clauses outside the node only while they stay as they are: the key describes neither, so
// neither is cached.
void settle_cache_entry(nnf_node* r, bool within, dtree* t, cnf_cache_manager* cache) {
  if ((DD_BACKTRACK && r == ZERO_NNF_NODE) || !within) {
    free_cnf_cache_entry(t->pending_entry);
    t->pending_entry = nullptr;
  } else {
    insert_cnf_cache(r, t, cache);
  }
}

nnf_node* compile_leaf(const dtree* t, nnf_manager* nm) {
  return t->clauses->subsumed ? ONE_NNF_NODE : clause2nnf_node(t->clauses, nm);
}

}  // namespace

void print_progress_line(unsigned nodes, unsigned cache_entries) {
  double now = wall_seconds();
  if (now < next_progress_line) return;
  next_progress_line = now + PROGRESS_SECONDS;
  std::printf("\nProgress: %.1f s wall, %.1f%% done, %u nodes, %u cache entries, %zu MB\n", now, completed_fraction,
              nodes, cache_entries, resident_megabytes());
  std::fflush(stdout);
}

bool pure_var_of_current_dtree(const var* v) { return FIRST_PURE_VAR && v >= FIRST_PURE_VAR && v <= LAST_PURE_VAR; }

void declare_current_dtree(dtree* t) {
  CURRENT_DTREE = t;
  for (var* v : t->context_vars) v->dtree = t;
  for (unsigned i = 0; i < t->dexcept_count; ++i) t->dexcept_vars[i]->dtree = t;
  FIRST_PURE_VAR = t->pure_var_count ? t->pure_vars : nullptr;
  LAST_PURE_VAR = t->pure_var_count ? t->pure_vars + t->pure_var_count - 1 : nullptr;
}

void initialize_progress() {
  completed_fraction = 0;
  elapsed_time = 0;
  next_progress_line = wall_seconds() + PROGRESS_SECONDS;
  last_progress_reported = 0;
  steps_since_clock_reading = 0;
}

nnf_node* comp_dtree(dtree_manager* dm, cnf_manager* cm, nnf_manager* nm, cnf_cache_manager* cache) {
  dtree* root = dm->root.get();
  if (!root) {
    // A CNF without clauses: every assignment is a model.
    nm->root = ONE_NNF_NODE;
    return nm->root;
  }
  declare_current_dtree(root);
  initialize_progress();
  progress_nodes = nm;
  progress_cache = cache;
  literal** start = cm->trail_top;
  cm->caching = CACHING_ON;
  dm->caching = CACHING_ON;
  // A learned clause links a node's variables to the rest of the formula, which its key leaves
  // out: a result that a learned clause helped shape holds only where it was made, so with
  // learning the search tracks where propagation acts and caches only results of the node's own
  // clauses.
  if (CACHING_ON && DD_BACKTRACK) cm->track_effects = 1;
  declare_valid_binary_clauses(cm);
  nnf_node* result = ZERO_NNF_NODE;
  if (assert_unit_clauses(cm)) {
    literal** units_end = cm->trail_top;
    nnf_node* r = leaf_dtree(root) ? compile_leaf(root, nm)
                                   : comp_decompose(root->separator_count, root->separators.data(), units_end, root,
                                                    dm, cm, nm, cache, 0);
    result = conjoin_nnfs_lits(ONE_NNF_NODE, r, start, units_end - 1, nm);
  }
  undo_assert_unit_clauses(cm);
  undeclare_valid_binary_clauses(cm);
  nm->root = result;
  return result;
}

nnf_node* comp_dtree_aux(dtree* t, dtree_manager* dm, cnf_manager* cm, nnf_manager* nm, cnf_cache_manager* cache) {
  if (leaf_dtree(t)) return compile_leaf(t, nm);
  if (subsumed_dtree(t)) return ONE_NNF_NODE;
  literal** start = cm->trail_top;
  unsigned open = open_separators(t->separators.data(), t->separator_count);
  t->cacheable = open != 0;
  declare_current_dtree(t);
  if (!(cm->caching && t->cacheable)) {
    nnf_node* r = comp_decompose(open, t->separators.data(), start, t, dm, cm, nm, cache, 0);
    declare_current_dtree(CURRENT_DTREE->parent);
    return r;
  }
  push_dtree_state(t, cache->key.data(), dm);
  if (nnf_node* hit = lookup_cnf_cache(t, cache)) {
    declare_current_dtree(CURRENT_DTREE->parent);
    pop_dtree_state(t, dm);
    return hit;
  }
  clause_span outer = open_effect_span(cm);
  nnf_node* r = comp_decompose(open, t->separators.data(), start, t, dm, cm, nm, cache, 0);
  bool within = close_effect_span(t, outer, cm);
  declare_current_dtree(CURRENT_DTREE->parent);
  pop_dtree_state(t, dm);
  settle_cache_entry(r, within, t, cache);
  return r;
}

namespace {

// The children of t compiled one after the other, the one with fewer clauses first, and
// conjoined with the literals set since lits_start.
nnf_node* decompose(dtree* t, literal** lits_start, literal** here, dtree_manager* dm, cnf_manager* cm,
                    nnf_manager* nm, cnf_cache_manager* cache, unsigned depth) {
  dtree* first = t->left.get();
  dtree* second = t->right.get();
  if (second->clause_count < first->clause_count) std::swap(first, second);
  unsigned long long mark = newest_cache_stamp(cache);
  nnf_node* r1 = comp_dtree_aux(first, dm, cm, nm, cache);
  if (r1 == ZERO_NNF_NODE) {
    account_root_step(t, depth);
    return ZERO_NNF_NODE;
  }
  nnf_node* r2 = comp_dtree_aux(second, dm, cm, nm, cache);
  if (DD_BACKTRACK && r2 == ZERO_NNF_NODE) forget_cache_these_entries(mark, cache);
  account_root_step(t, depth);
  return conjoin_nnfs_lits(r1, r2, lits_start, here - 1, nm);
}

enum class branch_outcome { compiled, retry, failed };

// One branch of a decision: the literal decided, the node compiled under it, the level undone.
// A conflict under backjumping either asserts the learned literal here (retry) or passes the
// failure up (failed).
branch_outcome decide_branch(literal* lit, nnf_node** result, unsigned open, separator** seps, literal** here,
                             dtree* t, dtree_manager* dm, cnf_manager* cm, nnf_manager* nm, cnf_cache_manager* cache,
                             unsigned depth, double saved_fraction) {
  *result = ZERO_NNF_NODE;
  if (decide_literal(lit, cm)) *result = comp_decompose(open, seps, here, t, dm, cm, nm, cache, depth + 1);
  undo_decide_literal(cm);
  if (!DD_BACKTRACK || *result != ZERO_NNF_NODE) return branch_outcome::compiled;
  completed_fraction = saved_fraction;
  return at_assertion_level(cm) && assert_cd_literal(cm) ? branch_outcome::retry : branch_outcome::failed;
}

}  // namespace

nnf_node* comp_decompose(unsigned count, separator** seps, literal** lits_start, dtree* t, dtree_manager* dm,
                         cnf_manager* cm, nnf_manager* nm, cnf_cache_manager* cache, unsigned depth) {
  // A retry after asserting a learned literal compiles the same node again with the caller's
  // lits_start, so the asserted literal joins the term; it is a loop rather than a nested call.
  for (;;) {
    if (VERBOSE) report_progress();
    literal** here = cm->trail_top;
    unsigned open = count ? open_separators(seps, count) : 0;
    if (open == 0) return decompose(t, lits_start, here, dm, cm, nm, cache, depth);

    var* v = select_decision_var(seps, open, t, cm);
    double saved = completed_fraction;
    nnf_node* rp;
    branch_outcome positive = decide_branch(v->pos, &rp, open, seps, here, t, dm, cm, nm, cache, depth, saved);
    if (positive == branch_outcome::failed) return ZERO_NNF_NODE;
    if (positive == branch_outcome::retry) {
      count = open;
      continue;
    }
    // A forgotten variable's disjunction is true once one branch is: the other needs no search.
    if (v->exist && rp == ONE_NNF_NODE) return conjoin_nnfs_lits(ONE_NNF_NODE, rp, lits_start, here - 1, nm);
    nnf_node* rn;
    branch_outcome negative = decide_branch(v->neg, &rn, open, seps, here, t, dm, cm, nm, cache, depth, saved);
    if (negative == branch_outcome::failed) return ZERO_NNF_NODE;
    if (negative == branch_outcome::retry) {
      count = open;
      continue;
    }
    nnf_node* d = disjoin_nnfs(v, rn, rp, nm);
    return conjoin_nnfs_lits(ONE_NNF_NODE, d, lits_start, here - 1, nm);
  }
}
