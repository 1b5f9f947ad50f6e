#include "nnf/circuit_fixtures.h"
#include "nnf/nnf_operations.h"

using fixtures::circuit_from;
using fixtures::text_of;

// Each rule of the reduction on a hand-made circuit; without a forget list the function must
// not change.
TEST(Reduction, RewritesEachShapeItsRuleNamesAndNothingElse) {
  struct reduction_case {
    const char* rule;
    const char* circuit;
    unsigned vars;
    std::vector<unsigned> forget;
    const char* reduced;
  };
  const reduction_case cases[] = {
      {"nothing to reduce: children sorted", "L 1|L 2|A 2 0 1|L 3|A 2 3 0|O 1 2 2 4", 3, {},
       "L 1|L 2|A 2 0 1|L 3|A 2 0 3|O 1 2 2 4"},
      {"false children kept by an and-node", "L 1|O 0 0|A 2 0 1", 1, {}, "L 1|O 0 0|A 2 0 1"},
      {"false children kept by an or-node", "L 1|O 0 0|L 2|O 0 3 0 1 2", 2, {}, "L 1|O 0 0|L 2|O 0 3 0 1 2"},
      {"true and-node dropped by an and-parent", "L 1|A 0|A 0|A 2 1 2|A 2 0 3", 1, {}, "L 1|A 1 0"},
      {"true and-node makes an or-parent true", "L 1|A 0|A 0|A 2 1 2|O 0 2 0 3", 1, {}, "A 0"},
      {"excluded middle of two children", "L 2|L 1|L -1|O 1 2 1 2|A 2 0 3", 2, {}, "L 2|A 1 0"},
      {"excluded middle among three children kept", "L 1|L -1|L 2|O 0 3 0 1 2", 2, {}, "L 1|L -1|L 2|O 0 3 0 1 2"},
      // The shared node s is L 2; its slot in the two sorted and-nodes is (0,0), (0,1), (1,0), (1,1).
      {"vacuous decision, s at (0,0)", "L 2|L 1|L -1|A 2 0 1|A 2 0 2|O 1 2 3 4", 2, {}, "L 2"},
      {"vacuous decision, s at (0,1)", "L -1|L 2|L 1|A 2 1 2|A 2 0 1|O 1 2 3 4", 2, {}, "L 2"},
      {"vacuous decision, s at (1,0)", "L 1|L 2|L -1|A 2 0 1|A 2 1 2|O 1 2 3 4", 2, {}, "L 2"},
      {"vacuous decision, s at (1,1)", "L 1|L -1|L 2|A 2 0 2|A 2 1 2|O 1 2 3 4", 2, {}, "L 2"},
      {"vacuous decision over two equal nodes", "L 2|L 3|A 2 0 1|A 2 1 0|L 1|L -1|A 2 4 2|A 2 5 3|O 1 2 6 7", 3, {},
       "L 2|L 3|A 2 0 1"},
      {"decision over children that are not complementary", "L 2|L 1|L 3|A 2 0 1|A 2 0 2|O 1 2 3 4", 3, {},
       "L 2|L 1|L 3|A 2 0 1|A 2 0 2|O 1 2 3 4"},
      {"root replaced by its stand-in, which ends last", "L 2|L 3|A 2 0 1|L 1|A 2 3 2|L -1|A 2 5 2|O 1 2 4 6", 3,
       {}, "L 2|L 3|A 2 0 1"},
      {"repeated child of an or-node", "L 1|L 2|A 2 0 1|O 0 2 2 2", 2, {}, "L 1|L 2|A 2 0 1|O 0 1 2"},
      {"chain of single-child nodes", "L 1|L 2|O 0 1 1|A 1 2|O 0 1 3|A 2 0 4", 2, {}, "L 1|L 2|A 2 0 1"},
      {"single-parent and-child spliced", "L 1|L 2|L 3|A 2 1 2|A 2 0 3", 3, {}, "L 1|L 2|L 3|A 3 0 1 2"},
      {"spliced or-node keeps its own variable", "L 1|L 2|L 3|O 2 2 1 2|O 1 2 0 3", 3, {}, "L 1|L 2|L 3|O 1 3 0 1 2"},
      {"shared children and children of the other type not spliced",
       "L 1|L 2|L 3|A 2 1 2|A 2 0 3|L 4|A 2 5 3|O 0 2 4 6", 4, {},
       "L 1|L 2|L 3|A 2 1 2|A 2 0 3|L 4|A 2 3 5|O 0 2 4 6"},
      {"x or (x and y)", "L 1|L 2|A 2 0 1|O 0 2 0 2", 2, {}, "L 1|O 0 1 0"},
      {"(x and y) or x", "L 1|L 2|A 2 0 1|O 0 2 2 0", 2, {}, "L 1|O 0 1 0"},
      {"children of a shared or-child, and and-nodes over it", "L 1|L 2|O 0 2 0 1|L 3|A 2 2 3|O 0 3 2 1 4", 3, {},
       "L 1|L 2|O 0 2 0 1|O 0 1 2"},
      // x1 drops (x1 and x2) from slot 0; (x3 and x4) moves there and is then dropped by x3.
      {"a child moved into a dropped slot compared again", "L 1|L 2|A 2 0 1|L 3|L 4|A 2 3 4|O 0 4 2 3 0 5", 4, {},
       "L 1|L 3|O 0 2 0 1"},
      {"a decision on a forgotten variable becomes true", "L 1|L 2|A 2 0 1|L -1|O 1 2 2 3", 2, {1}, "A 0"},
      {"forgetting makes both literals true", "L 1|L 2|A 2 0 1|L -1|L 3|A 2 3 4|O 1 2 2 5", 3, {2},
       "L 1|L -1|L 3|A 2 1 2|O 1 2 0 3"},
      {"repeated and unknown forgotten variables", "L 1|L 2|A 2 0 1|L -1|L 3|A 2 3 4|O 1 2 2 5", 3, {2, 2, 99, 0},
       "L 1|L -1|L 3|A 2 1 2|O 1 2 0 3"},
  };
  for (const reduction_case& c : cases) {
    SCOPED_TRACE(c.rule);
    auto circuit = circuit_from(c.circuit, c.vars);
    fixtures::table before = fixtures::truth_table(*circuit, c.vars);
    exist_quantify_nnf(c.forget, *circuit);
    fixtures::expect_well_formed(*circuit);
    EXPECT_EQ(text_of(*circuit), c.reduced);
    if (c.forget.empty()) {
      EXPECT_TRUE(fixtures::truth_table(*circuit, c.vars) == before);
    }
  }
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
    ASSERT_TRUE(fixtures::truth_table(*circuit, vars) == before) << text_of(*circuit);
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
    auto clauses = fixtures::random_cnf(rng, vars, vars + round % 7);
    auto circuit = fixtures::compile_cnf(clauses, vars);
    unsigned x = 1 + rng() % vars;
    exist_quantify_nnf({x}, *circuit);
    fixtures::expect_well_formed(*circuit);
    EXPECT_TRUE(fixtures::truth_table(*circuit, vars) == fixtures::cnf_table(clauses, vars).forget(x));
  }
}

// Each of 2000 and-nodes comes twice, its children in the other order, under one disjunction:
// the table, sized by the circuit, must find every pair.
TEST(Reduction, MergesEveryDuplicateOfACircuitOfThousandsOfNodes) {
  fixtures::dag d;
  std::vector<unsigned> disjuncts;
  for (int a = 1; disjuncts.size() < 4000; ++a) {
    for (int b = a + 1; b <= 100 && disjuncts.size() < 4000; ++b) {
      disjuncts.push_back(d.conj({d.literal(a), d.literal(-b)}));
      disjuncts.push_back(d.conj({d.literal(-b), d.literal(a)}));
    }
  }
  d.disj(0, disjuncts);
  auto circuit = d.export_circuit(100);
  unsigned literals = 0;
  for (const nnfn& n : circuit->nodes) literals += literal_node(n);
  exist_quantify_nnf({}, *circuit);
  fixtures::expect_well_formed(*circuit);
  EXPECT_EQ(circuit->node_count, literals + 2000 + 1);
  EXPECT_EQ(circuit->nodes.back().size, 2000u);
}
