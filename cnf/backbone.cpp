#include "cnf/backbone.h"

#include <algorithm>
#include <cstdlib>

#include "cnf/counted_solver.h"

namespace {

// Loads the clauses; `mentioned` gets a flag per variable [0, var_count] that occurs.
void load_clauses(const std::vector<std::vector<int>>& clauses, counted_solver& s, std::vector<char>& mentioned) {
  for (const std::vector<int>& clause : clauses) {
    if (clause.empty()) continue;
    for (int literal : clause) {
      s.solver.add(literal);
      mentioned[static_cast<unsigned>(std::abs(literal))] = 1;
    }
    s.solver.add(0);
  }
}

// The literals of the model, one per mentioned variable. Each gets the opposite phase in
// CaDiCaL's decisions, so that the models the tests find falsify as many candidates as they can.
std::vector<int> candidates_of_model(const std::vector<char>& mentioned, counted_solver& s) {
  std::vector<int> candidates;
  for (std::size_t v = 1; v < mentioned.size(); ++v) {
    if (!mentioned[v]) continue;
    int variable = static_cast<int>(v);
    int literal = s.solver.val(variable) > 0 ? variable : -variable;
    candidates.push_back(literal);
    s.solver.phase(-literal);
  }
  return candidates;
}

// A candidate the model falsifies gets its first phase back: once it is known to flip, the
// decisions of the next models go to the candidates still open. Where only one of a group of
// literals can flip at a time (exactly one of several options), each model then flips another
// one of every group, instead of the same one again.
void drop_falsified_candidates(std::size_t from, std::vector<int>& candidates, counted_solver& s) {
  auto falsified = [&s](int literal) {
    if (s.solver.val(literal) > 0) return false;
    s.solver.phase(literal);
    return true;
  };
  candidates.erase(std::remove_if(candidates.begin() + static_cast<std::ptrdiff_t>(from), candidates.end(), falsified),
                   candidates.end());
}

// A candidate fixed at CaDiCaL's root level costs no solve; that check goes on after the budget
// is spent, since it only reads what earlier solves learned.
void test_candidates(std::vector<int>& candidates, const backbone_budget& budget, counted_solver& s,
                     backbone_search& search) {
  long first_model_conflicts = search.conflicts;
  for (std::size_t next = 0; next < candidates.size();) {
    int literal = candidates[next++];
    if (s.solver.fixed(literal) > 0) {
      search.literals.push_back(literal);
      continue;
    }
    long left = budget.total_conflicts - (search.conflicts - first_model_conflicts);
    if (left <= 0 || search.tests == budget.tests) continue;
    s.solver.assume(-literal);
    ++search.tests;
    int result = s.solve_within(std::min<long>(budget.test_conflicts, left), search.conflicts);
    if (result == UNSATISFIABLE) {
      search.literals.push_back(literal);
      s.solver.add(literal);
      s.solver.add(0);
    } else if (result == SATISFIABLE) {
      s.solver.phase(literal);
      drop_falsified_candidates(next, candidates, s);
    }
  }
}

}  // namespace

backbone_search find_backbone(unsigned var_count, const std::vector<std::vector<int>>& clauses,
                              const backbone_budget& budget) {
  backbone_search search;
  counted_solver s;
  std::vector<char> mentioned(std::size_t{var_count} + 1, 0);
  load_clauses(clauses, s, mentioned);
  int first = s.solve_within(budget.first_model_conflicts, search.conflicts);
  if (first == UNSATISFIABLE) search.status = backbone_status::unsatisfiable;
  if (first != SATISFIABLE) return search;
  search.status = backbone_status::satisfiable;
  std::vector<int> candidates = candidates_of_model(mentioned, s);
  test_candidates(candidates, budget, s, search);
  return search;
}
