#include "cnf/defined_variables.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "cnf/counted_solver.h"

namespace {

// Variable v of the clauses is v in the first copy, v + V in the second, and 2V + v is the
// selector that, assumed, makes v equal in both.
struct two_copies {
  int var_count;
  int second(int literal) const { return literal > 0 ? literal + var_count : literal - var_count; }
  int selector(int v) const { return 2 * var_count + v; }
};

void load_copies(const std::vector<std::vector<int>>& clauses, const two_copies& c, counted_solver& s) {
  for (const std::vector<int>& clause : clauses) {
    if (clause.empty()) continue;
    for (int literal : clause) s.solver.add(literal);
    s.solver.add(0);
    for (int literal : clause) s.solver.add(c.second(literal));
    s.solver.add(0);
  }
}

void load_selector(int v, const two_copies& c, counted_solver& s) {
  for (int sign : {1, -1}) {
    s.solver.add(-c.selector(v));
    s.solver.add(sign * v);
    s.solver.add(-sign * c.second(v));
    s.solver.add(0);
  }
}

// The variables in test order, most occurrences first, ties to the lower variable; and per
// variable its clauses and its place in that order.
struct test_plan {
  std::vector<unsigned> order;
  std::vector<unsigned> place;                    // per variable; untested ones come after the one tested
  std::vector<std::vector<std::uint32_t>> occurs;  // per variable: its clauses
  std::vector<std::size_t> stamp;                  // per variable: the test that last assumed it, plus one
};

test_plan plan_tests(unsigned var_count, const std::vector<std::vector<int>>& clauses) {
  test_plan p;
  p.occurs.resize(std::size_t{var_count} + 1);
  for (std::uint32_t k = 0; k < clauses.size(); ++k)
    for (int literal : clauses[k]) p.occurs[static_cast<unsigned>(std::abs(literal))].push_back(k);
  for (unsigned v = 1; v <= var_count; ++v)
    if (!p.occurs[v].empty()) p.order.push_back(v);
  std::stable_sort(p.order.begin(), p.order.end(),
                   [&p](unsigned a, unsigned b) { return p.occurs[a].size() > p.occurs[b].size(); });
  p.place.assign(std::size_t{var_count} + 1, 0);
  for (std::size_t i = 0; i < p.order.size(); ++i) p.place[p.order[i]] = static_cast<unsigned>(i);
  p.stamp.assign(std::size_t{var_count} + 1, 0);
  return p;
}

void assume_equal(unsigned u, std::size_t i, const two_copies& c, test_plan& p, counted_solver& s) {
  if (p.place[u] <= i || p.stamp[u] == i + 1) return;
  p.stamp[u] = i + 1;
  s.solver.assume(c.selector(static_cast<int>(u)));
}

// The variable ORDER[I] is defined by the kept ones when the two copies cannot differ on it while
// they agree on every kept variable: those tested and kept agree through unit clauses, the
// untested ones, after I, through assumptions. CaDiCaL takes assumptions in order and stops at
// the first that fails, so the two copies of the variable come first, then the variables it
// shares a clause with: a gate output meets its conflict before the rest of the formula is set.
bool defined_by_kept(std::size_t i, const std::vector<std::vector<int>>& clauses, const two_copies& c, long conflicts,
                     test_plan& p, counted_solver& s, definability_search& search) {
  int v = static_cast<int>(p.order[i]);
  s.solver.assume(v);
  s.solver.assume(-c.second(v));
  for (std::uint32_t k : p.occurs[p.order[i]])
    for (int literal : clauses[k]) assume_equal(static_cast<unsigned>(std::abs(literal)), i, c, p, s);
  for (std::size_t j = i + 1; j < p.order.size(); ++j) assume_equal(p.order[j], i, c, p, s);
  search.assumptions += static_cast<long>(p.order.size() - i - 1);
  ++search.tests;
  return s.solve_within(conflicts, search.conflicts) == UNSATISFIABLE;
}

// A variable kept stays kept, as a smaller set defines no more: its selector becomes a unit clause
// instead of an assumption of every later test.
void keep_for_good(unsigned v, const two_copies& c, counted_solver& s) {
  s.solver.add(c.selector(static_cast<int>(v)));
  s.solver.add(0);
}

}  // namespace

definability_search find_defined_variables(unsigned var_count, const std::vector<std::vector<int>>& clauses,
                                           const definability_budget& budget) {
  definability_search search;
  if (var_count > INT_MAX / 3) return search;  // the selectors would not fit CaDiCaL's variables
  counted_solver s;
  two_copies c{static_cast<int>(var_count)};
  load_copies(clauses, c, s);
  test_plan p = plan_tests(var_count, clauses);
  long literals = 0;
  for (const std::vector<int>& clause : clauses) literals += static_cast<long>(clause.size());
  for (unsigned v : p.order) load_selector(static_cast<int>(v), c, s);
  for (std::size_t i = 0; i < p.order.size(); ++i) {
    long left = budget.total_conflicts - search.conflicts;
    long assumed = search.assumptions + static_cast<long>(p.order.size() - i - 1);
    if (left <= 0 || search.tests == budget.tests || assumed > budget.assumptions) break;
    if (search.model_work + literals > budget.model_work) break;
    if (defined_by_kept(i, clauses, c, std::min<long>(budget.test_conflicts, left), p, s, search)) {
      search.defined.push_back(p.order[i]);
    } else {
      search.model_work += literals;
      keep_for_good(p.order[i], c, s);
    }
  }
  std::sort(search.defined.begin(), search.defined.end());
  return search;
}
