#include "nnf/circuit_fixtures.h"
#include "nnf/decomposable.h"
#include "nnf/entail.h"

using fixtures::circuit_from;

namespace {

cnf formula_of(unsigned var_count, const fixtures::clause_list& clauses) { return *tarn_test::make_cnf(var_count, clauses); }

}  // namespace

// And-nodes whose children share variables are reported with those variables, increasing;
// or-nodes may share.
TEST(Decomposability, SharedVariablesOfAndNodesArePrintedInIncreasingOrder) {
  const std::pair<const char*, const char*> cases[] = {
      {"L 1|L 2|A 2 0 1|L -1|L 3|A 2 3 4|O 1 2 2 5", ""},
      {"L 1|L 1|O 0 2 0 1", ""},
      {"L 1|L 2|O 0 2 0 1|A 2 0 2", "shared vars: 1 "},
      {"L 3|L -3|L 1|A 2 0 2|A 3 1 3 2|A 0|A 2 4 5", "shared vars: 1 3 "},
      {"L 2|A 2 0 0", "shared vars: 2 "},  // a child listed twice
      {"L 3|L -3|A 2 0 1", "shared vars: 3 "},
  };
  for (const auto& [text, printed] : cases) {
    auto circuit = circuit_from(text, 3);
    testing::internal::CaptureStdout();
    EXPECT_EQ(nnf_decomposable(*circuit), *printed == '\0') << text;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), printed) << text;
  }
}

TEST(Entailment, ACircuitEntailsTheClausesThatHoldUnderEveryAssignmentItEvaluatesTrue) {
  EXPECT_TRUE(nnf_entails_cnf(*circuit_from("O 0 0", 2), formula_of(2, {})));
  EXPECT_TRUE(nnf_entails_cnf(*circuit_from("A 0", 2), formula_of(2, {})));
  auto x1 = circuit_from("L 1", 2);
  EXPECT_TRUE(nnf_entails_cnf(*x1, formula_of(2, {{1, 2}})));
  EXPECT_FALSE(nnf_entails_cnf(*x1, formula_of(2, {{1, 2}, {2}})));
  EXPECT_TRUE(nnf_entails_cnf(*circuit_from("O 0 0", 2), formula_of(2, {{2}, {-2}})));
  EXPECT_FALSE(nnf_entails_cnf(*circuit_from("A 0", 2), formula_of(2, {{-1, 2}})));
  // (x3 and not x3) entails everything, but with both signs of x3 true it evaluates to true.
  EXPECT_FALSE(nnf_entails_cnf(*circuit_from("L 3|L -3|A 2 0 1", 3), formula_of(3, {{1}})));
  // A tautology is entailed by every circuit, though making both of its literals false leaves a
  // circuit that does not mention the variable true.
  for (const char* text : {"A 0", "O 0 0", "L 1", "L -2|L 3|A 2 0 1"}) {
    EXPECT_TRUE(nnf_entails_cnf(*circuit_from(text, 3), formula_of(3, {{-2, 2}}))) << text;
    EXPECT_TRUE(nnf_entails_cnf(*circuit_from(text, 3), formula_of(3, {{1, 3, -1}}))) << text;
  }
}

TEST(CheckProperties, CompiledCircuitsAreDecomposableAndEntailmentMatchesBruteForce) {
  const unsigned seed = 555;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 150; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 1 + round % 10;
    auto clauses = fixtures::random_cnf(rng, vars, vars + round % (vars + 1));
    auto circuit = fixtures::compile_cnf(clauses, vars);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(nnf_decomposable(*circuit));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(nnf_entails_cnf(*circuit, formula_of(vars, clauses)));

    fixtures::table models = fixtures::cnf_table(clauses, vars);
    auto e = construct_evaluation(*circuit);
    for (const auto& probe : fixtures::random_cnf(rng, vars, 8)) {
      bool entailed = !models.intersects(~fixtures::cnf_table({probe}, vars));
      std::vector<int> terminated = probe;
      terminated.push_back(0);
      EXPECT_EQ(nnf_entails_clause(*circuit, terminated.data(), *e), entailed);
    }
  }
}
