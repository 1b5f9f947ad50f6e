#include "nnf/count.h"

#include "nnf/circuit_fixtures.h"
#include "nnf/smooth.h"

using fixtures::circuit_from;

// Unmentioned variables double the count; the integer counter assumes a circuit smoothed over
// all variables and undercounts one that is not smooth.
TEST(ModelCounting, CountsConstantsLiteralsAndDecisionsAndBeyondSixtyFourBits) {
  const char* const decision = "L 1|L 2|A 2 0 1|L -1|O 1 2 2 3";
  // An and-node over 70 or-nodes, each of a literal and its complement, and x71: a wide product.
  std::string wide, wide_and = "|A 70";
  for (int v = 1; v <= 70; ++v) {
    wide += (v > 1 ? "|L " : "L ") + std::to_string(v) + "|L -" + std::to_string(v) + "|O " + std::to_string(v) +
            " 2 " + std::to_string(3 * v - 3) + " " + std::to_string(3 * v - 2);
    wide_and += " " + std::to_string(3 * v - 1);
  }
  wide += wide_and + "|L 71|A 2 " + std::to_string(3 * 70) + " " + std::to_string(3 * 70 + 1);
  struct count_case {
    const char* circuit;
    unsigned vars;
    std::string count, smooth_count, smoothed_all_count;
  };
  const count_case cases[] = {
      {"A 0", 3, "8", "1", "8"},
      {"O 0 0", 3, "0", "0", "0"},
      {"A 0", 0, "1", "1", "1"},
      {"L 1", 1, "1", "1", "1"},
      {"L -1", 3, "4", "1", "4"},
      {decision, 2, "3", "2", "3"},
      {"A 0", 100, "1267650600228229401496703205376", "1", "1267650600228229401496703205376"},
      {wide.c_str(), 72, "2361183241434822606848", "1180591620717411303424", "2361183241434822606848"},
  };
  for (const count_case& c : cases) {
    SCOPED_TRACE(c.circuit);
    auto circuit = circuit_from(c.circuit, c.vars);
    EXPECT_EQ(count_nnf_models(c.vars, *circuit), c.count);
    EXPECT_EQ(count_smooth_nnf_models(*circuit), c.smooth_count);
    smooth_nnf(*circuit, true);
    EXPECT_EQ(count_smooth_nnf_models(*circuit), c.smoothed_all_count);
    EXPECT_EQ(count_nnf_models(c.vars, *circuit), c.smoothed_all_count);
  }
}

TEST(ModelCountingProperties, BothCountersMatchBruteForceOnCompiledCircuits) {
  const unsigned seed = 123;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 120; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 1 + round % 12;
    auto clauses = fixtures::random_cnf(rng, vars, round % (2 * vars + 2));
    std::string expected = std::to_string(fixtures::cnf_table(clauses, vars).count());
    auto circuit = fixtures::compile_cnf(clauses, vars);
    EXPECT_EQ(count_nnf_models(vars, *circuit), expected);
    exist_quantify_nnf({}, *circuit);
    EXPECT_EQ(count_nnf_models(vars, *circuit), expected) << "after reduction";
    smooth_nnf(*circuit, true);
    EXPECT_EQ(count_smooth_nnf_models(*circuit), expected) << "after smoothing all";
  }
}
