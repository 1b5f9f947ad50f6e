// Any byte string as a CNF file, directives included. The reader either rejects it through the
// exit funnel or returns a formula whose clauses keep the reader's promises (literals of declared
// variables, no repeats, no tautologies but the kept two-literal ones) and whose directives are
// consistent; written back as text, clauses and directives, it reads as the same formula.
#include <algorithm>
#include <string>
#include <vector>

#include "cnf/cnf_read.h"
#include "directive_checks.h"
#include "fuzz_support.h"

namespace {

void check_clause(const std::vector<int>& clause, unsigned var_count, bool skip_trivial) {
  fuzz::expect(!clause.empty() && clause.back() == 0, "a clause without its terminating 0");
  std::vector<int> literals(clause.begin(), clause.end() - 1);
  for (int literal : literals) {
    fuzz::expect(literal != 0, "a 0 inside a clause");
    fuzz::expect(static_cast<unsigned>(std::abs(literal)) <= var_count, "a literal of an undeclared variable");
  }
  std::sort(literals.begin(), literals.end());
  fuzz::expect(std::adjacent_find(literals.begin(), literals.end()) == literals.end(), "a literal twice in a clause");
  bool tautology = std::any_of(literals.begin(), literals.end(), [&](int literal) {
    return literal > 0 && std::binary_search(literals.begin(), literals.end(), -literal);
  });
  fuzz::expect(!tautology || (!skip_trivial && literals.size() == 2), "a tautology that should have been dropped");
}

void check_formula(const cnf& formula, bool skip_trivial, unsigned long lines) {
  fuzz::expect(formula.eclause_count <= formula.clause_count(), "more eclauses than clauses");
  for (const std::vector<int>& clause : formula.clauses) check_clause(clause, formula.var_count, skip_trivial);
  fuzz::check_directives_read(formula.directives, lines);
  fuzz::check_directives_accepted(formula.directives, formula.var_count);
}

// The formula as the writer lays it out, followed by its directives.
std::string as_text(const cnf& formula) {
  std::string text = "p cnf " + std::to_string(formula.var_count) + " " + std::to_string(formula.clause_count()) + "\n";
  if (formula.eclause_count) text += "eclauses " + std::to_string(formula.eclause_count) + "\n";
  for (const std::vector<int>& clause : formula.clauses) {
    for (const int* literal = clause.data(); *literal; ++literal) text += std::to_string(*literal) + " ";
    text += "0\n";
  }
  return text + fuzz::directive_lines(formula.directives);
}

void expect_same_formula(const cnf& first, const cnf& second) {
  fuzz::expect(second.var_count == first.var_count && second.eclause_count == first.eclause_count &&
                   second.clauses == first.clauses,
               "the formula written back reads as another formula");
  fuzz::expect(fuzz::same_meaning(first.directives, second.directives),
               "the directives written back read as other directives");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  bool skip_trivial = size == 0 || data[0] % 2;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<cnf> first;
  try {
    first = get_cnf_from_text(text, "fuzz.cnf", skip_trivial);
  } catch (const fuzz::rejected_input&) {
    return 0;
  }
  check_formula(*first, skip_trivial, fuzz::physical_lines(text));
  std::unique_ptr<cnf> second;
  try {
    second = get_cnf_from_text(as_text(*first), "fuzz-again.cnf", skip_trivial);
  } catch (const fuzz::rejected_input&) {
    fuzz::expect(false, "the formula written back is rejected");
  }
  expect_same_formula(*first, *second);
  return 0;
}
