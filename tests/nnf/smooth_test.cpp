#include "nnf/smooth.h"

#include <gtest/gtest.h>

#include "nnf/circuit_fixtures.h"
#include "nnf/count.h"

using fixtures::circuit_from;
using fixtures::text_of;

namespace {

// (x1 and x2) or not x1: five nodes, four edges.
constexpr const char* DECISION = "L 1|L 2|A 2 0 1|L -1|O 1 2 2 3";

std::unique_ptr<nnf> smoothed(const std::string& text, unsigned var_count, bool all) {
  auto circuit = circuit_from(text, var_count);
  fixtures::table before = fixtures::truth_table(*circuit, var_count);
  smooth_nnf(*circuit, all);
  fixtures::expect_well_formed(*circuit);
  EXPECT_EQ(fixtures::truth_table(*circuit, var_count), before);
  return circuit;
}

// Every or-node's children mention the same variables; with `all`, the root mentions them all.
void expect_smooth(const nnf& circuit, bool all) {
  auto vars = fixtures::variables_below(circuit);
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    const nnfn& n = circuit.nodes[i];
    if (n.type != nnfn_type::or_node) continue;
    for (unsigned k = 0; k < n.size; ++k) EXPECT_EQ(vars[n.children[k]], vars[i]) << "or-node " << i;
  }
  if (all) {
    EXPECT_EQ(vars.back().size(), circuit.var_count);
  }
}

}  // namespace

TEST(Smoothing, TheDecisionExampleGainsOneAndNodeATautologyAndOneLiteral) {
  auto circuit = smoothed(DECISION, 2, false);
  EXPECT_EQ(circuit->node_count, 8u);
  EXPECT_EQ(circuit->edge_count, 8u);
  EXPECT_EQ(text_of(*circuit), "L 1|L 2|L -1|L -2|O 2 2 1 3|A 2 0 1|A 2 2 4|O 1 2 5 6");
  EXPECT_EQ(text_of(*smoothed(DECISION, 2, true)), text_of(*circuit)) << "the root mentions all variables";
}

TEST(Smoothing, BothSmoothedChildrenOfAnOrNodeEndInSwappedSlots) {
  auto circuit = smoothed("L 1|L 2|O 0 2 0 1", 2, false);
  // Slot 0 now holds the and-node made for L 2 (node 7), slot 1 the one made for L 1 (node 6).
  EXPECT_EQ(text_of(*circuit), "L 1|L 2|L -1|L -2|O 1 2 0 2|O 2 2 1 3|A 2 0 5|A 2 1 4|O 0 2 7 6");
  EXPECT_EQ(circuit->edge_count, 10u);
}

TEST(Smoothing, AnAlreadySmoothCircuitOnlyGetsItsLiteralsMovedToTheFront) {
  auto circuit = smoothed("L 2|L -2|L 1|A 2 2 0|L -1|A 2 4 1|O 1 2 3 5", 2, false);
  EXPECT_EQ(text_of(*circuit), "L 1|L 2|L -1|L -2|A 2 0 1|A 2 2 3|O 1 2 4 5");
  EXPECT_EQ(circuit->edge_count, 6u);
}

TEST(Smoothing, ASingleLiteralStaysAloneUnlessAllVariablesAreAsked) {
  EXPECT_EQ(text_of(*smoothed("L 2", 3, false)), "L 2");
  auto circuit = smoothed("L 2", 3, true);
  EXPECT_EQ(text_of(*circuit), "L 2|L 1|L 3|L -1|L -3|O 1 2 1 3|O 3 2 2 4|A 3 0 6 5");
  EXPECT_EQ(circuit->edge_count, 7u);
}

TEST(Smoothing, ConstantsAreCompletedOverAllVariables) {
  auto truth = smoothed("A 0", 1, true);
  EXPECT_EQ(text_of(*truth), "L 1|L -1|O 1 2 0 1|A 0|A 2 3 2");
  EXPECT_EQ(count_smooth_nnf_models(*truth), "2");
  auto falsity = smoothed("O 0 0", 1, true);
  EXPECT_EQ(count_smooth_nnf_models(*falsity), "0");
  EXPECT_EQ(text_of(*smoothed("A 0", 0, true)), "A 0");
}

TEST(Smoothing, TwoNodesForOneLiteralShareTheOneNewNodeAndLeaveNoFillerNodes) {
  auto circuit = smoothed("L 1|L 1|L 2|A 2 0 2|L -2|A 2 1 4|O 0 2 3 5", 2, false);
  EXPECT_EQ(text_of(*circuit), "L 1|L 2|L -2|A 2 0 1|A 2 0 2|O 0 2 3 4");
  auto with_filler = smoothed("L 1|L 1|L -1|A 2 0 1|O 1 2 3 2", 2, true);
  expect_smooth(*with_filler, true);
}

TEST(SmoothingNode, ListsTheMissingVariablesInDecreasingOrderAfterTheChild) {
  bit_set missing;
  for (unsigned bit : {5u, 0u, 3u}) mpz_setbit(missing.get(), bit);
  smoothing_node record = get_smoothing_node(42, missing);
  ASSERT_EQ(record.count, 4u);
  EXPECT_EQ(std::vector<unsigned>(record.items.get(), record.items.get() + 4), (std::vector<unsigned>{42, 5, 3, 0}));
}

TEST(Minimization, FillsMissingVariablesWithNegativeLiteralsAndMakesNoTautology) {
  auto circuit = circuit_from(DECISION, 2);
  smooth_min_nnf(*circuit);
  fixtures::expect_well_formed(*circuit);
  EXPECT_EQ(circuit->node_count, 7u);
  EXPECT_EQ(circuit->edge_count, 6u);
  EXPECT_EQ(text_of(*circuit), "L 1|L 2|L -1|L -2|A 2 0 1|A 2 2 3|O 1 2 4 5");
}

TEST(Minimization, CompletesTheRootWithNegativeLiterals) {
  auto circuit = circuit_from("L 2", 3);
  smooth_min_nnf(*circuit);
  EXPECT_EQ(text_of(*circuit), "L 2|L -1|L -3|A 3 0 2 1");
  EXPECT_EQ(count_smooth_nnf_models(*circuit), "1");
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
    ASSERT_EQ(fixtures::truth_table(*circuit, vars), before);
    expect_smooth(*circuit, all);
  }
}

TEST(SmoothingProperties, SmoothingAllThenCountingWithIntegersMatchesBruteForce) {
  const unsigned seed = 99;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 150; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 1 + round % 12;
    auto clauses = fixtures::random_cnf(rng, vars, vars + round % (vars + 1), 3);
    auto circuit = fixtures::compile_cnf(clauses, vars);
    if (round % 3 == 0) exist_quantify_nnf({}, *circuit);
    smooth_nnf(*circuit, true);
    expect_smooth(*circuit, true);
    EXPECT_EQ(count_smooth_nnf_models(*circuit),
              std::to_string(fixtures::models_in(fixtures::cnf_table(clauses, vars))));
  }
}

// The compiled circuits keep, at each decision, only the branches of least cardinality; after
// minimisation their models must be exactly the minimum-cardinality models of the CNF.
TEST(SmoothingProperties, MinimizationKeepsExactlyTheMinimumCardinalityModels) {
  const unsigned seed = 31337;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 200; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 1 + round % 12;
    auto clauses = fixtures::random_cnf(rng, vars, vars + round % (vars + 1), 3);
    fixtures::table models = fixtures::cnf_table(clauses, vars);
    fixtures::table expected(models.size(), 0);
    int least = 99;
    for (std::size_t a = 0; a < (std::size_t{1} << vars); ++a)
      if (fixtures::holds(models, a)) least = std::min(least, __builtin_popcountll(a));
    for (std::size_t a = 0; a < (std::size_t{1} << vars); ++a)
      if (fixtures::holds(models, a) && __builtin_popcountll(a) == least)
        expected[a / 64] |= std::uint64_t{1} << (a % 64);

    auto circuit = fixtures::compile_cnf(clauses, vars, true);
    smooth_min_nnf(*circuit);
    fixtures::expect_well_formed(*circuit);
    EXPECT_EQ(fixtures::truth_table(*circuit, vars), expected);
    EXPECT_EQ(count_smooth_nnf_models(*circuit), std::to_string(fixtures::models_in(expected)));
  }
}
