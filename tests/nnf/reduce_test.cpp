#include <gtest/gtest.h>

#include "nnf/circuit_fixtures.h"
#include "nnf/nnf-operations.h"

using fixtures::circuit_from;
using fixtures::text_of;

namespace {

// Reduces the hand-made circuit and returns its text; the function must not change.
std::string reduced(const std::string& text, unsigned var_count, const std::vector<unsigned>& forget = {}) {
  auto circuit = circuit_from(text, var_count);
  fixtures::table before = fixtures::truth_table(*circuit, var_count);
  exist_quantify_nnf(forget, *circuit);
  fixtures::expect_well_formed(*circuit);
  if (forget.empty()) {
    EXPECT_EQ(fixtures::truth_table(*circuit, var_count), before) << text;
  }
  return text_of(*circuit);
}

}  // namespace

TEST(Reduction, ACircuitWithoutReducibleStructureOnlyGetsItsChildrenSorted) {
  EXPECT_EQ(reduced("L 1|L 2|A 2 0 1|L 3|A 2 3 0|O 1 2 2 4", 3),
            "L 1|L 2|A 2 0 1|L 3|A 2 0 3|O 1 2 2 4");
}

TEST(Reduction, FalseChildrenAreKeptByAndNodesAndByOrNodes) {
  EXPECT_EQ(reduced("L 1|O 0 0|A 2 0 1", 1), "L 1|O 0 0|A 2 0 1");
  EXPECT_EQ(reduced("L 1|O 0 0|L 2|O 0 3 0 1 2", 2), "L 1|O 0 0|L 2|O 0 3 0 1 2");
}

TEST(Reduction, AnAndNodeOfTrueChildrenBecomesTrueAndItsParentsAbsorbIt) {
  EXPECT_EQ(reduced("L 1|A 0|A 0|A 2 1 2|A 2 0 3", 1), "L 1|A 1 0") << "an and-parent drops it";
  EXPECT_EQ(reduced("L 1|A 0|A 0|A 2 1 2|O 0 2 0 3", 1), "A 0") << "an or-parent becomes true";
}

TEST(Reduction, ExcludedMiddleBecomesTrueOnlyAsATwoChildOrNode) {
  EXPECT_EQ(reduced("L 2|L 1|L -1|O 1 2 1 2|A 2 0 3", 2), "L 2|A 1 0");
  EXPECT_EQ(reduced("L 1|L -1|L 2|O 0 3 0 1 2", 2), "L 1|L -1|L 2|O 0 3 0 1 2");
}

TEST(Reduction, AVacuousDecisionIsReplacedByTheSharedNodeInEveryPairPosition) {
  // The shared node s is L 2; its slot in the two sorted and-nodes is (0,0), (0,1), (1,0), (1,1).
  EXPECT_EQ(reduced("L 2|L 1|L -1|A 2 0 1|A 2 0 2|O 1 2 3 4", 2), "L 2");
  EXPECT_EQ(reduced("L -1|L 2|L 1|A 2 1 2|A 2 0 1|O 1 2 3 4", 2), "L 2");
  EXPECT_EQ(reduced("L 1|L 2|L -1|A 2 0 1|A 2 1 2|O 1 2 3 4", 2), "L 2");
  EXPECT_EQ(reduced("L 1|L -1|L 2|A 2 0 2|A 2 1 2|O 1 2 3 4", 2), "L 2");
}

TEST(Reduction, AVacuousDecisionOverTwoEqualNodesUsesTheMergedOne) {
  EXPECT_EQ(reduced("L 2|L 3|A 2 0 1|A 2 1 0|L 1|L -1|A 2 4 2|A 2 5 3|O 1 2 6 7", 3), "L 2|L 3|A 2 0 1");
}

TEST(Reduction, ADecisionWhoseRemainingChildrenAreNotComplementaryIsKept) {
  EXPECT_EQ(reduced("L 2|L 1|L 3|A 2 0 1|A 2 0 2|O 1 2 3 4", 3), "L 2|L 1|L 3|A 2 0 1|A 2 0 2|O 1 2 3 4");
}

TEST(Reduction, ARootThatBecomesADuplicateIsReplacedByItsStandInWhichEndsLast) {
  EXPECT_EQ(reduced("L 2|L 3|A 2 0 1|L 1|A 2 3 2|L -1|A 2 5 2|O 1 2 4 6", 3), "L 2|L 3|A 2 0 1");
}

TEST(Reduction, AnOrNodeWithTheSameChildTwiceKeepsOne) {
  EXPECT_EQ(reduced("L 1|L 2|A 2 0 1|O 0 2 2 2", 2), "L 1|L 2|A 2 0 1|O 0 1 2");
}

TEST(Reduction, AChainOfSingleChildNodesCollapsesToItsEnd) {
  EXPECT_EQ(reduced("L 1|L 2|O 0 1 1|A 1 2|O 0 1 3|A 2 0 4", 2), "L 1|L 2|A 2 0 1");
}

TEST(Reduction, SingleParentChildrenOfTheSameTypeAreSplicedIn) {
  EXPECT_EQ(reduced("L 1|L 2|L 3|A 2 1 2|A 2 0 3", 3), "L 1|L 2|L 3|A 3 0 1 2");
  EXPECT_EQ(reduced("L 1|L 2|L 3|O 2 2 1 2|O 1 2 0 3", 3), "L 1|L 2|L 3|O 1 3 0 1 2")
      << "the spliced or-node keeps its own variable";
}

TEST(Reduction, SharedChildrenAndChildrenOfTheOtherTypeAreNotSpliced) {
  EXPECT_EQ(reduced("L 1|L 2|L 3|A 2 1 2|A 2 0 3|L 4|A 2 5 3|O 0 2 4 6", 4),
            "L 1|L 2|L 3|A 2 1 2|A 2 0 3|L 4|A 2 3 5|O 0 2 4 6");
}

TEST(Reduction, SubsumedDisjunctsAreDropped) {
  EXPECT_EQ(reduced("L 1|L 2|A 2 0 1|O 0 2 0 2", 2), "L 1|O 0 1 0") << "x or (x and y)";
  EXPECT_EQ(reduced("L 1|L 2|A 2 0 1|O 0 2 2 0", 2), "L 1|O 0 1 0") << "(x and y) or x";
  EXPECT_EQ(reduced("L 1|L 2|O 0 2 0 1|L 3|A 2 2 3|O 0 3 2 1 4", 3), "L 1|L 2|O 0 2 0 1|O 0 1 2")
      << "children of a shared or-child, and and-nodes over it";
}

TEST(Reduction, AChildMovedIntoADroppedSlotIsComparedWithEveryLaterChildAgain) {
  // x1 drops (x1 and x2) from slot 0; (x3 and x4) moves there and is then dropped by x3 in slot 1.
  EXPECT_EQ(reduced("L 1|L 2|A 2 0 1|L 3|L 4|A 2 3 4|O 0 4 2 3 0 5", 4), "L 1|L 3|O 0 2 0 1");
}

TEST(Reduction, ForgettingAVariableMakesBothItsLiteralsTrue) {
  EXPECT_EQ(reduced("L 1|L 2|A 2 0 1|L -1|O 1 2 2 3", 2, {1}), "A 0")
      << "a decision on x becomes true when either branch does";
  EXPECT_EQ(reduced("L 1|L 2|A 2 0 1|L -1|L 3|A 2 3 4|O 1 2 2 5", 3, {2}), "L 1|L -1|L 3|A 2 1 2|O 1 2 0 3");
}

TEST(Reduction, AForgetListWithRepeatedOrUnknownVariablesActsLikeTheDistinctKnownOnes) {
  const char* circuit = "L 1|L 2|A 2 0 1|L -1|L 3|A 2 3 4|O 1 2 2 5";
  EXPECT_EQ(reduced(circuit, 3, {2, 2, 99, 0}), reduced(circuit, 3, {2}));
}

TEST(ReductionRules, FoldingPutsTheFirstGrandchildInPlaceAndAppendsTheOthers) {
  auto circuit = circuit_from("L 2|L 3|A 2 0 1|L 1|L 4|A 3 2 3 4", 4);
  std::vector<unsigned> refs = get_ref_counts(*circuit);
  fold_in_grandchildren(circuit->nodes[5], *circuit, refs);
  EXPECT_EQ(text_of(*circuit), "L 2|L 3|dead|L 1|L 4|A 4 0 3 4 1");
  EXPECT_EQ(refs, (std::vector<unsigned>{1, 1, 0, 1, 1, 1}));
}

TEST(ReductionRules, RemovingTrueChildrenFillsTheHoleWithTheLastChild) {
  auto circuit = circuit_from("L 1|A 0|L 2|L 3|A 4 1 0 2 3", 3);
  std::vector<unsigned> refs = get_ref_counts(*circuit);
  EXPECT_EQ(remove_edges_to_true_children(circuit->nodes[4], *circuit, refs), 1u);
  EXPECT_EQ(text_of(*circuit), "L 1|dead|L 2|L 3|A 3 3 0 2");
}

TEST(ReductionRules, SubsumptionAnswersTheThreeCasesOnly) {
  auto circuit = circuit_from("L 1|L 2|A 2 0 1|O 0 2 0 1|O 0 0", 2);
  const auto& n = circuit->nodes;
  EXPECT_TRUE(node_subsumes_node(1, n[1], 1, n[1]));
  EXPECT_TRUE(node_subsumes_node(0, n[0], 2, n[2])) << "x and y entails x";
  EXPECT_TRUE(node_subsumes_node(3, n[3], 1, n[1])) << "y entails x or y";
  EXPECT_FALSE(node_subsumes_node(2, n[2], 0, n[0]));
  EXPECT_FALSE(node_subsumes_node(1, n[1], 3, n[3]));
  EXPECT_FALSE(child_of(0, n[4])) << "a childless node has no children";
  nnfn x5{nnfn_type::pos_literal, 0, 5, nullptr};
  nnfn not_x5{nnfn_type::neg_literal, 0, 5, nullptr};
  EXPECT_TRUE(complimentary_nnf_nodes(x5, not_x5) && complimentary_nnf_nodes(not_x5, x5));
  EXPECT_FALSE(complimentary_nnf_nodes(x5, x5));
  EXPECT_FALSE(complimentary_nnf_nodes(n[0], n[1]));
}

// Random circuits that are neither decomposable nor deterministic, dense in the shapes that
// the rules rewrite: every property must hold for any NNF.
TEST(ReductionProperties, KeepsTheFunctionNeverGrowsAndLeavesSortedUniqueNodes) {
  const unsigned seed = 20240601;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 250; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 2 + round % 6;
    auto circuit = fixtures::random_nnf(rng, vars, 5 + round % 40);
    fixtures::table before = fixtures::truth_table(*circuit, vars);
    unsigned edges = circuit->edge_count;
    exist_quantify_nnf({}, *circuit);
    fixtures::expect_well_formed(*circuit);
    ASSERT_EQ(fixtures::truth_table(*circuit, vars), before) << text_of(*circuit);
    EXPECT_LE(circuit->edge_count, edges);
    std::set<std::string> seen;
    for (const nnfn& n : circuit->nodes) {
      if (!internal_node(n)) continue;
      EXPECT_TRUE(std::is_sorted(n.children.get(), n.children.get() + n.size));
      std::string key = std::to_string(static_cast<int>(n.type));
      for (unsigned k = 0; k < n.size; ++k) key += ' ' + std::to_string(n.children[k]);
      EXPECT_TRUE(seen.insert(key).second) << "two equal nodes " << key;
    }
  }
}

// On a decomposable circuit, making a variable's literals true is existential quantification.
TEST(ReductionProperties, ForgettingOnDecomposableCircuitsIsExistentialQuantification) {
  const unsigned seed = 77;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 100; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 3 + round % 8;
    auto clauses = fixtures::random_cnf(rng, vars, vars + round % 7, 3);
    auto circuit = fixtures::compile_cnf(clauses, vars);
    unsigned x = 1 + rng() % vars;
    fixtures::table f = fixtures::cnf_table(clauses, vars);
    fixtures::table expected(f.size(), 0);
    for (std::size_t a = 0; a < (std::size_t{1} << vars); ++a)
      if (fixtures::holds(f, a) || fixtures::holds(f, a ^ (std::size_t{1} << (x - 1))))
        expected[a / 64] |= std::uint64_t{1} << (a % 64);
    exist_quantify_nnf({x}, *circuit);
    fixtures::expect_well_formed(*circuit);
    EXPECT_EQ(fixtures::truth_table(*circuit, vars), expected);
  }
}
