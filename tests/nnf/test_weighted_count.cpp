// Weighted counts and satisfiability of compiled, non-smooth circuits, judged by sums over all
// assignments of the CNF itself.
#include "nnf/weighted_count.h"

#include <tuple>
#include <utility>

#include "nnf/circuit_fixtures.h"
#include "nnf/count.h"
#include "nnf/smooth.h"

using fixtures::circuit_from;
using fixtures::clause_list;

namespace {

// The summed weights of the assignments of the counted variables that extend to a model.
mpq_class brute_force_weight(const clause_list& clauses, unsigned vars, const weight_table& w) {
  unsigned counted_mask = 0;
  for (unsigned v = 0; v < vars; ++v) counted_mask |= unsigned(w.counted[v]) << v;
  fixtures::table models = fixtures::cnf_table(clauses, vars);
  std::set<unsigned> projected;
  for (unsigned a = 0; a < models.size(); ++a)
    if (models.get(a)) projected.insert(a & counted_mask);
  mpq_class sum = 0;
  for (unsigned a : projected) {
    mpq_class product = 1;
    for (unsigned v = 0; v < vars; ++v)
      if (w.counted[v]) product *= (a >> v) & 1 ? w.positive[v] : w.negative[v];
    sum += product;
  }
  return sum;
}

// Decimals, fractions, negatives, zeros; a quarter of the variables sum to zero, a fifth are
// uncounted and left out of the clauses, as a forgotten variable is left out of its circuit.
weight_table random_weights(std::mt19937& rng, unsigned vars) {
  const mpq_class choices[] = {1, 0, -2, mpq_class(7, 10), mpq_class(1, 3), mpq_class(-5, 4), mpq_class(3, 1000)};
  auto any = [&] { return choices[rng() % 7]; };
  weight_table w = unit_weights(vars);
  for (unsigned v = 0; v < vars; ++v) {
    w.positive[v] = any();
    w.negative[v] = rng() % 4 ? any() : mpq_class(-w.positive[v]);
    w.counted[v] = rng() % 5 != 0;
  }
  return w;
}

clause_list without_uncounted(clause_list clauses, const weight_table& w) {
  auto uncounted = [&](const std::vector<int>& c) {
    return std::any_of(c.begin(), c.end(), [&](int l) { return !w.counted[std::abs(l) - 1]; });
  };
  clauses.erase(std::remove_if(clauses.begin(), clauses.end(), uncounted), clauses.end());
  return clauses;
}

// Weights (w(x), w(-x)) of variables 1, 2, ... in turn, all counted.
weight_table listed(const std::vector<std::pair<mpq_class, mpq_class>>& pairs) {
  weight_table w = unit_weights(static_cast<unsigned>(pairs.size()));
  for (unsigned v = 0; v < pairs.size(); ++v) std::tie(w.positive[v], w.negative[v]) = pairs[v];
  return w;
}

}  // namespace

TEST(WeightedCount, MatchesBruteForceBeforeAndAfterReductionAndSmoothing) {
  std::mt19937 rng(2024);
  for (unsigned round = 0; round < 200; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    unsigned vars = 1 + round % 10;
    weight_table w = random_weights(rng, vars);
    clause_list clauses = without_uncounted(fixtures::random_cnf(rng, vars, round % (2 * vars + 2)), w);
    mpq_class expected = brute_force_weight(clauses, vars, w);
    auto circuit = fixtures::compile_cnf(clauses, vars);
    EXPECT_EQ(weighted_count_nnf(*circuit, w), expected);
    exist_quantify_nnf({}, *circuit);
    EXPECT_EQ(weighted_count_nnf(*circuit, w), expected) << "after reduction";
    smooth_nnf(*circuit, true);  // gadgets x or -x for uncounted and zero-sum variables too
    EXPECT_EQ(weighted_count_nnf(*circuit, w), expected) << "after smoothing all";
  }
}

TEST(WeightedCount, UnitWeightsReproduceTheModelCounter) {
  std::mt19937 rng(7);
  for (unsigned round = 0; round < 60; ++round) {
    unsigned vars = 1 + round % 14;
    auto circuit = fixtures::compile_cnf(fixtures::random_cnf(rng, vars, round % (2 * vars)), vars);
    EXPECT_EQ(weighted_count_nnf(*circuit, unit_weights(vars)), mpq_class(count_nnf_models(vars, *circuit)));
  }
}

TEST(WeightedCount, HandlesConstantsLiteralRootsAndZeroSumVariablesMissingFromABranch) {
  const mpq_class third(1, 3), minus_third(-1, 3);
  const weight_table plain = listed({{2, 3}, {mpq_class(1, 2), 4}}), zero_sum_2 = listed({{2, 3}, {third, minus_third}});
  struct count_case {
    const char* circuit;
    weight_table weights;
    mpq_class expected;
  };
  // The and-node x1 ... x12, wide enough to be multiplied as a tree; x12 sums to zero.
  std::string wide, wide_and = "|A 12";
  std::vector<std::pair<mpq_class, mpq_class>> wide_weights;
  for (int v = 1; v <= 12; ++v) {
    wide += (v > 1 ? "|L " : "L ") + std::to_string(v);
    wide_and += " " + std::to_string(v - 1);
    wide_weights.emplace_back(v < 12 ? mpq_class(v) : third, v < 12 ? mpq_class(1) : minus_third);
  }
  wide += wide_and;
  const count_case cases[] = {
      {wide.c_str(), listed(wide_weights), mpq_class(13305600)},  // 11! / 3
      {"O 0 0", plain, 0},
      {"A 0", plain, mpq_class(45, 2)},
      {"A 0", zero_sum_2, 0},  // the root lacks a zero-sum variable
      {"L -2", plain, 20},
      {"L 2", zero_sum_2, mpq_class(5, 3)},
      // x1 x2 or -x1: the second branch lacks zero-sum x2 and counts 0.
      {"L 1|L 2|A 2 0 1|L -1|O 1 2 2 3", zero_sum_2, mpq_class(2, 3)},
      {"L 1|L 2|A 2 0 1|L -1|O 1 2 2 3", plain, mpq_class(29, 2)},
      // Both zero-sum: x1 x2 or -x1 -x2.
      {"L 1|L 2|A 2 0 1|L -1|L -2|A 2 3 4|O 1 2 2 5", listed({{third, minus_third}, {2, -2}}), mpq_class(4, 3)},
      // x1 x2 or -x1 x3 with x2, x3 zero-sum: each branch lacks the other's.
      {"L 1|L 2|A 2 0 1|L -1|L 3|A 2 3 4|O 1 2 2 5", listed({{2, 3}, {third, minus_third}, {1, -1}}), 0},
      {"L 1|L 2|A 2 0 1|L -1|L 3|A 2 3 4|O 1 2 2 5", listed({{2, 3}, {third, minus_third}, {1, 5}}), mpq_class(4)},
  };
  for (const count_case& c : cases) {
    SCOPED_TRACE(c.circuit);
    unsigned vars = static_cast<unsigned>(c.weights.positive.size());
    EXPECT_EQ(weighted_count_nnf(*circuit_from(c.circuit, vars), c.weights), c.expected);
  }
  weight_table uncounted_1 = listed({{5, 6}, {3, 4}});
  uncounted_1.counted[0] = 0;
  EXPECT_EQ(weighted_count_nnf(*circuit_from("L 1|L -1|O 1 2 0 1", 2), uncounted_1), 7) << "a smoothing gadget";
  EXPECT_EQ(weighted_count_nnf(*circuit_from("L 2", 2), uncounted_1), 3);
}

TEST(Satisfiability, MatchesBruteForceUnderRandomAssumptions) {
  std::mt19937 rng(99);
  for (unsigned round = 0; round < 80; ++round) {
    unsigned vars = 1 + round % 8;
    clause_list clauses = fixtures::random_cnf(rng, vars, round % (3 * vars));
    auto circuit = fixtures::compile_cnf(clauses, vars);
    for (unsigned trial = 0; trial < 10; ++trial) {
      std::vector<int> assumed;
      for (unsigned k = rng() % 4; k > 0; --k) assumed.push_back(int(1 + rng() % vars) * (rng() % 2 ? 1 : -1));
      clause_list with_units = clauses;
      for (int l : assumed) with_units.push_back({l});
      bool expected = fixtures::cnf_table(with_units, vars).count() > 0;
      EXPECT_EQ(nnf_satisfiable(*circuit, assumed), expected) << "round " << round << " trial " << trial;
    }
  }
  auto truth = circuit_from("A 0", 3);
  EXPECT_TRUE(nnf_satisfiable(*truth, {3, -2}));
  EXPECT_FALSE(nnf_satisfiable(*truth, {3, -3}));
  EXPECT_FALSE(nnf_satisfiable(*circuit_from("O 0 0", 3), {}));
}
