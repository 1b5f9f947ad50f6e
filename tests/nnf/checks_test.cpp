#include <gtest/gtest.h>

#include "nnf/circuit_fixtures.h"
#include "nnf/decomposable.h"
#include "nnf/entail.h"

using fixtures::circuit_from;

namespace {

std::string decomposability_output(const std::string& text, unsigned var_count, bool expected) {
  auto circuit = circuit_from(text, var_count);
  testing::internal::CaptureStdout();
  bool answer = nnf_decomposable(*circuit);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(answer, expected) << text;
  return printed;
}

cnf formula_of(unsigned var_count, const fixtures::clause_list& clauses) {
  cnf formula;
  formula.var_count = var_count;
  for (auto clause : clauses) {
    clause.push_back(0);
    formula.clauses.push_back(clause);
  }
  return formula;
}

}  // namespace

TEST(Decomposability, ACircuitWhoseAndNodesShareNoVariablePassesSilently) {
  EXPECT_EQ(decomposability_output("L 1|L 2|A 2 0 1|L -1|L 3|A 2 3 4|O 1 2 2 5", 3, true), "");
  EXPECT_EQ(decomposability_output("L 1|L 1|O 0 2 0 1", 1, true), "") << "or-nodes may share";
}

TEST(Decomposability, SharedVariablesArePrintedInIncreasingOrder) {
  EXPECT_EQ(decomposability_output("L 1|L 2|O 0 2 0 1|A 2 0 2", 2, false), "shared vars: 1 ");
  EXPECT_EQ(decomposability_output("L 3|L -3|L 1|A 2 0 2|A 3 1 3 2|A 0|A 2 4 5", 3, false), "shared vars: 1 3 ");
  EXPECT_EQ(decomposability_output("L 2|A 2 0 0", 2, false), "shared vars: 2 ") << "a child listed twice";
}

TEST(Entailment, ACnfWithoutClausesIsEntailedByAnyCircuit) {
  EXPECT_TRUE(nnf_entails_cnf(*circuit_from("O 0 0", 2), formula_of(2, {})));
  EXPECT_TRUE(nnf_entails_cnf(*circuit_from("A 0", 2), formula_of(2, {})));
}

TEST(Entailment, ALiteralEntailsTheClausesThatContainIt) {
  auto x1 = circuit_from("L 1", 2);
  EXPECT_TRUE(nnf_entails_cnf(*x1, formula_of(2, {{1, 2}})));
  EXPECT_FALSE(nnf_entails_cnf(*x1, formula_of(2, {{1, 2}, {2}})));
  EXPECT_TRUE(nnf_entails_cnf(*circuit_from("O 0 0", 2), formula_of(2, {{2}, {-2}})));
  EXPECT_FALSE(nnf_entails_cnf(*circuit_from("A 0", 2), formula_of(2, {{-1, 2}})));
}

TEST(Entailment, TheEvaluationIgnoresComplementaryLiteralsOfNonDecomposableCircuits) {
  // (x3 and not x3) entails everything, but with both signs of x3 true it evaluates to true.
  auto contradiction = circuit_from("L 3|L -3|A 2 0 1", 3);
  EXPECT_FALSE(nnf_entails_cnf(*contradiction, formula_of(3, {{1}})));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(nnf_decomposable(*contradiction));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "shared vars: 3 ");
}

TEST(Entailment, EvaluationReadsTheLiteralSetsAndLeavesTheirBitsAsSet) {
  auto circuit = circuit_from("L 1|L -2|A 2 0 1|L 3|O 0 2 2 3", 3);
  auto e = construct_evaluation(*circuit);
  init_evaluation_1(*e);
  EXPECT_TRUE(evaluate_nnf(*circuit, *e));
  mpz_clrbit(e->pos.get(), 2);  // x3 false
  mpz_clrbit(e->neg.get(), 1);  // not x2 false
  EXPECT_FALSE(evaluate_nnf(*circuit, *e));
  EXPECT_TRUE(mpz_tstbit(e->values.get(), 0)) << "x1 stays true";
  EXPECT_TRUE(nnf_entails_clause(*circuit, std::vector<int>{1, 3, 0}.data(), *e));
  EXPECT_FALSE(nnf_entails_clause(*circuit, std::vector<int>{-2, 0}.data(), *e));
  free_evaluation(e);
  EXPECT_EQ(e, nullptr);
}

TEST(CheckProperties, CompiledCircuitsAreDecomposableAndEntailmentMatchesBruteForce) {
  const unsigned seed = 555;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 150; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 1 + round % 10;
    auto clauses = fixtures::random_cnf(rng, vars, vars + round % (vars + 1), 3);
    auto circuit = fixtures::compile_cnf(clauses, vars);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(nnf_decomposable(*circuit));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(nnf_entails_cnf(*circuit, formula_of(vars, clauses)));

    fixtures::table models = fixtures::cnf_table(clauses, vars);
    auto e = construct_evaluation(*circuit);
    for (const auto& probe : fixtures::random_cnf(rng, vars, 8, 3)) {
      fixtures::table clause_table = fixtures::cnf_table({probe}, vars);
      bool entailed = true;
      for (std::size_t w = 0; w < models.size(); ++w) entailed &= (models[w] & ~clause_table[w]) == 0;
      std::vector<int> terminated = probe;
      terminated.push_back(0);
      EXPECT_EQ(nnf_entails_clause(*circuit, terminated.data(), *e), entailed);
    }
  }
}
