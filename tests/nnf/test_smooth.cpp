#include "nnf/smooth.h"

#include "nnf/circuit_fixtures.h"
#include "nnf/count.h"

using fixtures::circuit_from;
using fixtures::text_of;

// The exact circuits smoothing and minimisation make: one new node per missing literal, shared;
// a tautology per variable for smoothing, negative literals for minimisation.
TEST(Smoothing, MakesTheExactCircuitsOfTheExamples) {
  const char* const decision = "L 1|L 2|A 2 0 1|L -1|O 1 2 2 3";  // (x1 and x2) or not x1
  enum mode { smooth, smooth_all, minimize };
  struct smoothing_case {
    const char* circuit;
    unsigned vars;
    mode how;
    const char* result;
    unsigned edges;
  };
  const smoothing_case cases[] = {
      {decision, 2, smooth, "L 1|L 2|L -1|L -2|O 2 2 1 3|A 2 0 1|A 2 2 4|O 1 2 5 6", 8},
      {decision, 2, smooth_all, "L 1|L 2|L -1|L -2|O 2 2 1 3|A 2 0 1|A 2 2 4|O 1 2 5 6", 8},
      // Both smoothed children end in swapped slots: slot 0 holds the and-node made for L 2.
      {"L 1|L 2|O 0 2 0 1", 2, smooth, "L 1|L 2|L -1|L -2|O 1 2 0 2|O 2 2 1 3|A 2 0 5|A 2 1 4|O 0 2 7 6", 10},
      {"L 2|L -2|L 1|A 2 2 0|L -1|A 2 4 1|O 1 2 3 5", 2, smooth, "L 1|L 2|L -1|L -2|A 2 0 1|A 2 2 3|O 1 2 4 5", 6},
      {"L 2", 3, smooth, "L 2", 0},
      {"L 2", 3, smooth_all, "L 2|L 1|L 3|L -1|L -3|O 1 2 1 3|O 3 2 2 4|A 3 0 6 5", 7},
      {"A 0", 1, smooth_all, "L 1|L -1|O 1 2 0 1|A 0|A 2 3 2", 4},
      {"A 0", 0, smooth_all, "A 0", 0},
      {"L 1|L 1|L 2|A 2 0 2|L -2|A 2 1 4|O 0 2 3 5", 2, smooth, "L 1|L 2|L -2|A 2 0 1|A 2 0 2|O 0 2 3 4", 6},
      {decision, 2, minimize, "L 1|L 2|L -1|L -2|A 2 0 1|A 2 2 3|O 1 2 4 5", 6},
      {"L 2", 3, minimize, "L 2|L -1|L -3|A 3 0 2 1", 3},
  };
  for (const smoothing_case& c : cases) {
    SCOPED_TRACE(std::string(c.circuit) + " mode " + std::to_string(c.how));
    auto circuit = circuit_from(c.circuit, c.vars);
    fixtures::table before = fixtures::truth_table(*circuit, c.vars);
    if (c.how == minimize) {
      smooth_min_nnf(*circuit);
    } else {
      smooth_nnf(*circuit, c.how == smooth_all);
      EXPECT_TRUE(fixtures::truth_table(*circuit, c.vars) == before);
      EXPECT_TRUE(fixtures::smooth(*circuit, c.how == smooth_all));
    }
    fixtures::expect_well_formed(*circuit);
    EXPECT_EQ(text_of(*circuit), c.result);
    EXPECT_EQ(circuit->edge_count, c.edges);
  }
  auto falsity = circuit_from("O 0 0", 1);
  smooth_nnf(*falsity, true);
  EXPECT_EQ(count_smooth_nnf_models(*falsity), "0");
  auto with_filler = circuit_from("L 1|L 1|L -1|A 2 0 1|O 1 2 3 2", 2);
  smooth_nnf(*with_filler, true);
  EXPECT_TRUE(fixtures::smooth(*with_filler, true));
}

TEST(SmoothingProperties, KeepTheFunctionAndMakeEveryOrNodeSmooth) {
  const unsigned seed = 4242;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 300; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 2 + round % 11;
    bool all = round % 2;
    auto circuit = fixtures::random_nnf(rng, vars, 4 + round % 30);
    fixtures::table before = fixtures::truth_table(*circuit, vars);
    smooth_nnf(*circuit, all);
    fixtures::expect_well_formed(*circuit);
    ASSERT_TRUE(fixtures::truth_table(*circuit, vars) == before);
    EXPECT_TRUE(fixtures::smooth(*circuit, all));
  }
}

// Smoothing all then counting with integers matches brute force; a minimum-cardinality
// compilation minimised keeps exactly the minimum-cardinality models.
TEST(SmoothingProperties, CountsAndMinimisationOfCompiledCircuitsMatchBruteForce) {
  const unsigned seed = 31337;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 200; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 1 + round % 12;
    auto clauses = fixtures::random_cnf(rng, vars, vars + round % (vars + 1));
    fixtures::table models = fixtures::cnf_table(clauses, vars);
    auto circuit = fixtures::compile_cnf(clauses, vars);
    if (round % 3 == 0) exist_quantify_nnf({}, *circuit);
    smooth_nnf(*circuit, true);
    EXPECT_TRUE(fixtures::smooth(*circuit, true));
    EXPECT_EQ(count_smooth_nnf_models(*circuit), std::to_string(models.count()));

    fixtures::table least = brute_force::minimum_cardinality_models(models, vars);
    auto minimal = fixtures::compile_cnf(clauses, vars, true);
    smooth_min_nnf(*minimal);
    fixtures::expect_well_formed(*minimal);
    EXPECT_TRUE(fixtures::truth_table(*minimal, vars) == least);
    EXPECT_EQ(count_smooth_nnf_models(*minimal), std::to_string(least.count()));
  }
}
