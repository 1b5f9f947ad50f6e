#include "cnf/defined_variables.h"

#include <algorithm>
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

std::vector<unsigned> occurrences_of(unsigned var_count, const std::vector<std::vector<int>>& clauses) {
  std::vector<unsigned> occurrences(std::size_t{var_count} + 1, 0);
  for (const std::vector<int>& clause : clauses)
    for (int literal : clause) ++occurrences[static_cast<unsigned>(std::abs(literal))];
  return occurrences;
}

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

// Most occurrences first, ties to the lower variable: gate outputs, which occur in every clause
// of their gate and of the gates they feed, go before the inputs that define them.
std::vector<unsigned> test_order(const std::vector<unsigned>& occurrences) {
  std::vector<unsigned> order;
  for (unsigned v = 1; v < occurrences.size(); ++v)
    if (occurrences[v]) order.push_back(v);
  std::stable_sort(order.begin(), order.end(),
                   [&occurrences](unsigned a, unsigned b) { return occurrences[a] > occurrences[b]; });
  return order;
}

// The variable ORDER[I] is defined by the kept ones when the two copies cannot differ on it while
// they agree on every kept variable: those tested and kept agree through unit clauses, the
// untested ones, after I, through assumptions.
bool defined_by_kept(const std::vector<unsigned>& order, std::size_t i, const two_copies& c, long conflicts,
                     counted_solver& s, definability_search& search) {
  for (std::size_t j = i + 1; j < order.size(); ++j) s.solver.assume(c.selector(static_cast<int>(order[j])));
  int v = static_cast<int>(order[i]);
  s.solver.assume(v);
  s.solver.assume(-c.second(v));
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
  counted_solver s;
  two_copies c{static_cast<int>(var_count)};
  load_copies(clauses, c, s);
  std::vector<unsigned> order = test_order(occurrences_of(var_count, clauses));
  for (unsigned v : order) load_selector(static_cast<int>(v), c, s);
  for (std::size_t i = 0; i < order.size(); ++i) {
    long left = budget.total_conflicts - search.conflicts;
    if (left <= 0 || search.tests == budget.tests) break;
    if (defined_by_kept(order, i, c, std::min<long>(budget.test_conflicts, left), s, search))
      search.defined.push_back(order[i]);
    else
      keep_for_good(order[i], c, s);
  }
  std::sort(search.defined.begin(), search.defined.end());
  return search;
}
