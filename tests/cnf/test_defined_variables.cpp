// Defined variables against brute force: on random gate circuits and random formulas, every
// variable returned is fixed by the variables kept, and the gate outputs are found.
#include <climits>
#include <random>

#include "cnf/defined_variables.h"
#include "e2e/random_cnf.h"
#include "test_support.h"

using tarn_test::clause_list;
using tarn_test::make_cnf;
using tarn_test::models;

namespace {

constexpr definability_budget AMPLE = {1000, 1000000, 100000, 100000000, 100000000};

definability_search defined_in(unsigned vars, const clause_list& clauses, const definability_budget& budget = AMPLE) {
  return find_defined_variables(vars, plain_clauses(*make_cnf(vars, clauses)), budget);
}

// Every two models that agree on the kept variables (those occurring and not returned) agree on
// every returned one.
bool kept_ones_fix_the_rest(unsigned vars, const clause_list& clauses, const std::vector<unsigned>& defined) {
  std::uint32_t defined_mask = 0, occurring = 0;
  for (unsigned v : defined) defined_mask |= 1u << (v - 1);
  for (const std::vector<int>& c : clauses)
    for (int l : c) occurring |= 1u << (std::abs(l) - 1);
  std::uint32_t kept = occurring & ~defined_mask;
  std::vector<std::uint32_t> all = models(*make_cnf(vars, clauses));
  for (std::uint32_t a : all)
    for (std::uint32_t b : all)
      if ((a & kept) == (b & kept) && (a & defined_mask) != (b & defined_mask)) return false;
  return true;
}

}  // namespace

TEST(DefinedVariables, ReturnedVariablesAreFixedByTheKeptOnes) {
  unsigned found = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 random(seed);
    unsigned vars = 4 + random() % 9;
    clause_list clauses = seed % 2 ? random_cnf::circuit(random, 1 + random() % 3, vars)
                                   : tarn_test::random_clauses(random, vars, random() % (3 * vars));
    definability_search search = defined_in(vars, clauses);
    ASSERT_TRUE(kept_ones_fix_the_rest(vars, clauses, search.defined)) << "seed " << seed;
    found += static_cast<unsigned>(search.defined.size());
  }
  EXPECT_GT(found, 600u);
}

TEST(DefinedVariables, SmallCases) {
  // Or-gates over shared inputs: 4 = 1 or 2, 5 = 2 or 3, 6 = 3 or 1; the outputs occur in three
  // clauses each, the inputs in four, so the inputs are tried first, and each is needed.
  clause_list ors = {{4, -1}, {4, -2}, {-4, 1, 2}, {5, -2}, {5, -3}, {-5, 2, 3}, {6, -3}, {6, -1}, {-6, 3, 1}};
  definability_search gates = defined_in(6, ors);
  EXPECT_EQ(gates.defined.size(), 3u);
  EXPECT_TRUE(kept_ones_fix_the_rest(6, ors, gates.defined));
  // x1 or x2 alone defines neither.
  EXPECT_TRUE(defined_in(2, {{1, 2}}).defined.empty());
  // A unit fixes its variable, and x1 = x2 leaves one of them to define the other.
  EXPECT_EQ(defined_in(3, {{3}, {1, -2}, {-1, 2}}).defined.size(), 2u);
  // Unsatisfiable clauses define everything they mention.
  EXPECT_EQ(defined_in(2, {{1}, {-1}, {2, 1}}).defined, (std::vector<unsigned>{1, 2}));
}

// An eclause over x1..x3 defines x3 once x1 and x2 are known.
TEST(DefinedVariables, EclausesTakePartAsTheirClauses) {
  std::unique_ptr<cnf> f = make_cnf(3, {{1, 2, 3}}, 1);
  EXPECT_EQ(find_defined_variables(3, plain_clauses(*f), AMPLE).defined.size(), 1u);
}

TEST(DefinedVariables, NoTestsLeftFindsNothing) {
  clause_list circuit = {{-3, 1}, {-3, 2}, {3, -1, -2}};
  EXPECT_TRUE(defined_in(3, circuit, {1000, 1000000, 0, 1000, 1000}).defined.empty());
  EXPECT_TRUE(find_defined_variables(INT_MAX / 3 + 1, circuit, AMPLE).defined.empty());
  EXPECT_TRUE(defined_in(3, circuit, {1000, 0, 100, 1000, 1000}).defined.empty());
  // x3 goes first; its test assumes x1 and x2 equal in both copies.
  EXPECT_TRUE(defined_in(3, circuit, {1000, 1000000, 100, 1, 1000}).defined.empty());
  // A test that may find a model needs room for the clauses' seven literals.
  EXPECT_TRUE(defined_in(3, circuit, {1000, 1000000, 100, 1000, 6}).defined.empty());
  for (const definability_budget& budget : {definability_budget{1000, 1000000, 1, 1000, 1000}, {1000, 1000000, 100, 2, 1000}}) {
    definability_search one = defined_in(3, circuit, budget);
    EXPECT_EQ(one.tests, 1u);
    EXPECT_EQ(one.defined, (std::vector<unsigned>{3}));
  }
  // x3's test finds no model; x1's finds one and spends the room.
  definability_search two = defined_in(3, circuit, {1000, 1000000, 100, 1000, 7});
  EXPECT_EQ(two.tests, 2u);
  EXPECT_EQ(two.model_work, 7);
  EXPECT_EQ(two.defined, (std::vector<unsigned>{3}));
}
