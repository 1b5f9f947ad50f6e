#include "nnf/count.h"

#include <gtest/gtest.h>

#include "nnf/circuit_fixtures.h"
#include "nnf/smooth.h"

using fixtures::circuit_from;

TEST(ModelCounting, ConstantsCountAllOrNoAssignments) {
  EXPECT_EQ(count_nnf_models(3, *circuit_from("A 0", 3)), "8");
  EXPECT_EQ(count_nnf_models(3, *circuit_from("O 0 0", 3)), "0");
  EXPECT_EQ(count_smooth_nnf_models(*circuit_from("A 0", 0)), "1");
  EXPECT_EQ(count_smooth_nnf_models(*circuit_from("O 0 0", 0)), "0");
}

TEST(ModelCounting, UnmentionedVariablesDoubleTheCount) {
  EXPECT_EQ(count_nnf_models(1, *circuit_from("L 1", 1)), "1");
  EXPECT_EQ(count_nnf_models(3, *circuit_from("L -1", 3)), "4");
  EXPECT_EQ(count_nnf_models(2, *circuit_from("L 1|L 2|A 2 0 1|L -1|O 1 2 2 3", 2)), "3");
}

TEST(ModelCounting, BothCountersAgreeOnTheDecisionExampleAfterSmoothingAll) {
  auto circuit = circuit_from("L 1|L 2|A 2 0 1|L -1|O 1 2 2 3", 2);
  smooth_nnf(*circuit, true);
  EXPECT_EQ(count_smooth_nnf_models(*circuit), "3");
  EXPECT_EQ(count_nnf_models(2, *circuit), "3");
}

TEST(ModelCounting, CountsBeyondSixtyFourBitsArePrintedInFull) {
  EXPECT_EQ(count_nnf_models(100, *circuit_from("A 0", 100)), "1267650600228229401496703205376");
  auto circuit = circuit_from("A 0", 100);
  smooth_nnf(*circuit, true);
  EXPECT_EQ(count_smooth_nnf_models(*circuit), "1267650600228229401496703205376");
}

TEST(ModelCounting, TheIntegerCounterUndercountsCircuitsThatAreNotSmooth) {
  EXPECT_EQ(count_smooth_nnf_models(*circuit_from("L 1|L 2|A 2 0 1|L -1|O 1 2 2 3", 2)), "2");
}

TEST(Mpz2Str, WritesZeroNegativeAndLongValuesExactly) {
  mpz_t value;
  mpz_init(value);
  EXPECT_EQ(mpz2str(value), "0");
  for (const char* text : {"-1", "-99", "9", "10", "-123456789012345678901234567890", "999999999999999999999"}) {
    mpz_set_str(value, text, 10);
    EXPECT_EQ(mpz2str(value), text);
  }
  mpz_clear(value);
}

TEST(ModelCountingProperties, BothCountersMatchBruteForceOnCompiledCircuits) {
  const unsigned seed = 123;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 120; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 1 + round % 12;
    auto clauses = fixtures::random_cnf(rng, vars, round % (2 * vars + 2), 1 + round % 4);
    std::string expected = std::to_string(fixtures::models_in(fixtures::cnf_table(clauses, vars)));
    auto circuit = fixtures::compile_cnf(clauses, vars);
    EXPECT_EQ(count_nnf_models(vars, *circuit), expected);
    exist_quantify_nnf({}, *circuit);
    EXPECT_EQ(count_nnf_models(vars, *circuit), expected) << "after reduction";
    smooth_nnf(*circuit, true);
    EXPECT_EQ(count_smooth_nnf_models(*circuit), expected) << "after smoothing all";
  }
}
