// Shared helpers of the CNF engine tests: formulas built in memory, managers over them, a
// brute-force model enumerator that uses none of the engine, and checks of the manager's
// invariants.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "cnf/cnf_manager.h"
#include "cnf/unit_resolution.h"
#include "test_support.h"

namespace engine_test {

using tarn_test::clause_list;
using tarn_test::make_cnf;

inline std::vector<unsigned> identity_order(unsigned n) {
  std::vector<unsigned> order(n);
  std::iota(order.begin(), order.end(), 1u);
  return order;
}

inline std::unique_ptr<cnf_manager> manager_for(const cnf& formula, std::vector<unsigned> var_order = {},
                                                std::vector<unsigned> clause_order = {}) {
  if (var_order.empty()) var_order = identity_order(formula.var_count);
  if (clause_order.empty()) clause_order = identity_order(formula.clause_count());
  return construct_cnf_manager(var_order.data(), clause_order.data(), formula);
}

inline literal* lit(const std::unique_ptr<cnf_manager>& m, int i) { return index2literalp(i, m.get()); }

inline std::vector<int> indices(literal* const* literals) {
  std::vector<int> result;
  for (; *literals; ++literals) result.push_back((*literals)->index);
  return result;
}

inline std::vector<int> trail_indices(const cnf_manager* m) {
  std::vector<int> result;
  for (literal* const* t = m->trail.data(); t < m->trail_top; ++t) result.push_back((*t)->index);
  return result;
}

// The trail as "literal@level", with "<l" after a literal implied by the literal l and "<#c"
// after one implied by clause c.
inline std::string trail_text(const cnf_manager* m) {
  auto clause_index = [m](literal* const* literals) {
    for (unsigned i = 0; i < m->clause_count; ++i)
      if (m->clause_records[i].literals == literals) return m->clause_records[i].index;
    for (const clause* c = m->learned_clauses; c; c = c->next_learned)
      if (c->literals == literals) return c->index;
    return m->report.learned && m->report.learned->literals == literals ? m->report.learned->index : 0u;
  };
  std::string text;
  for (literal* const* t = m->trail.data(); t < m->trail_top; ++t) {
    const literal* l = *t;
    text += (text.empty() ? "" : " ") + std::to_string(l->index) + "@" + std::to_string(l->true_level);
    if (l->reason_literal) text += "<" + std::to_string(l->reason_literal->index);
    if (l->reason_clause) text += "<#" + std::to_string(clause_index(l->reason_clause));
  }
  return text;
}

inline std::vector<unsigned> watch_list(const literal* l) {
  std::vector<unsigned> result;
  for (const clause* c = l->watch_head; c; c = c->watch_next[c->literals[1] == l]) result.push_back(c->index);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Brute force
// ---------------------------------------------------------------------------------------------

using tarn_test::literal_holds;
using tarn_test::models;

inline bool implied_by(const std::vector<std::uint32_t>& formula_models, const std::vector<int>& clause_literals) {
  for (std::uint32_t a : formula_models) {
    bool satisfied = false;
    for (int l : clause_literals) satisfied |= literal_holds(l, a);
    if (!satisfied) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Invariants of the manager
// ---------------------------------------------------------------------------------------------

inline bool watched(const clause* c) { return c->size >= 2 && !trivial_binary_clause(c); }

inline unsigned count_in_watch_list(const literal* l, const clause* target, std::string& error) {
  unsigned found = 0, length = 0;
  const clause* previous = nullptr;
  for (const clause* c = l->watch_head; c; c = c->watch_next[c->literals[1] == l]) {
    unsigned position = c->literals[1] == l;
    if (c->literals[position] != l) error += "clause in the watch list of a literal it does not watch; ";
    if (c->watch_prev[position] != previous) error += "broken watch_prev link; ";
    previous = c;
    found += c == target;
    if (++length > 1000000) {
      error += "watch list cycle; ";
      break;
    }
  }
  if (length != l->watch_count) error += "watch_count differs from the list length; ";
  return found;
}

// Every watched clause is in exactly the lists of its positions 0 and 1, and no list holds
// anything else.
inline std::string watch_invariant_errors(const cnf_manager* m) {
  std::string error;
  std::vector<const clause*> all;
  for (unsigned i = 0; i < m->clause_count; ++i) all.push_back(&m->clause_records[i]);
  for (const clause* c = m->learned_clauses; c; c = c->next_learned) all.push_back(c);
  std::size_t list_total = 0;
  for (unsigned v = 1; v <= m->var_count; ++v)
    list_total += index2varp(v, m)->pos->watch_count + index2varp(v, m)->neg->watch_count;
  std::size_t expected_total = 0;
  for (const clause* c : all) {
    if (!watched(c)) continue;
    expected_total += 2;
    for (unsigned p = 0; p < 2; ++p)
      if (count_in_watch_list(c->literals[p], c, error) != 1)
        error += "clause " + std::to_string(c->index) + " not exactly once in a watch list; ";
  }
  if (list_total != expected_total) error += "watch lists hold clauses they should not; ";
  return error;
}

// With no conflict pending: every clause is satisfied or keeps two non-false literals, the
// subsumed flags match the assignment, eclauses have at most one true literal, and the trail
// holds exactly the true literals with non-decreasing levels.
inline std::string fixpoint_errors(const cnf_manager* m, bool valid_binaries_declared) {
  std::string error;
  auto check_clause = [&](const clause* c, bool input) {
    unsigned true_count = 0, open = 0;
    for (literal** l = c->literals; *l; ++l) {
      true_count += literal_true(*l);
      open += !literal_false(*l) && !literal_true(*l);
    }
    if (true_count == 0 && open == 0) error += "unreported conflict in clause " + std::to_string(c->index) + "; ";
    if (true_count == 0 && open == 1) error += "unpropagated unit clause " + std::to_string(c->index) + "; ";
    if (input && c->eclause && true_count > 1) error += "eclause with two true literals; ";
    if (input && c->eclause && true_count == 1 && open > 0) error += "eclause with a true and an open literal; ";
    if (input) {
      bool expected = true_count > 0 || (valid_binaries_declared && trivial_binary_clause(c));
      if (static_cast<bool>(c->subsumed) != expected) error += "wrong subsumed flag on " + std::to_string(c->index) + "; ";
    }
  };
  for (unsigned i = 0; i < m->clause_count; ++i) check_clause(&m->clause_records[i], true);
  for (const clause* c = m->learned_clauses; c; c = c->next_learned) check_clause(c, false);

  unsigned assigned = 0, previous_level = 0;
  for (literal* const* t = m->trail.data(); t < m->trail_top; ++t) {
    if (!literal_true(*t) || literal_false(*t) || !(*t)->var->assigned) error += "trail literal not true; ";
    if ((*t)->true_level < previous_level) error += "trail levels decrease; ";
    if ((*t)->true_level > m->level) error += "trail literal above the current level; ";
    previous_level = (*t)->true_level;
  }
  for (unsigned v = 1; v <= m->var_count; ++v) {
    const var* x = index2varp(v, m);
    assigned += x->assigned;
    if (x->assigned != (literal_true(x->pos) || literal_true(x->neg))) error += "assigned flag wrong; ";
    if (literal_true(x->pos) != literal_false(x->neg) || literal_true(x->neg) != literal_false(x->pos))
      error += "literal levels of a variable disagree; ";
  }
  if (assigned != static_cast<unsigned>(m->trail_top - m->trail.data())) error += "trail misses true literals; ";
  return error;
}

// What an undo must restore.
struct assignment_snapshot {
  std::vector<int> trail;
  std::vector<unsigned> true_levels;
  std::vector<char> subsumed;
  std::vector<const void*> reasons;
  unsigned level;
  std::ptrdiff_t subsumed_depth;

  explicit assignment_snapshot(const cnf_manager* m) : trail(trail_indices(m)), level(m->level) {
    for (unsigned v = 1; v <= m->var_count; ++v) {
      const var* x = index2varp(v, m);
      for (const literal* l : {x->pos, x->neg}) {
        true_levels.push_back(l->true_level);
        true_levels.push_back(l->false_level);
        reasons.push_back(l->reason_clause);
        reasons.push_back(l->reason_literal);
      }
      true_levels.push_back(x->assigned);
    }
    for (unsigned i = 0; i < m->clause_count; ++i) subsumed.push_back(m->clause_records[i].subsumed);
    subsumed_depth = m->subsumed_top - m->subsumed_stack.data();
  }
  bool operator==(const assignment_snapshot& o) const {
    return trail == o.trail && true_levels == o.true_levels && subsumed == o.subsumed && reasons == o.reasons &&
           level == o.level && subsumed_depth == o.subsumed_depth;
  }
};

}  // namespace engine_test
