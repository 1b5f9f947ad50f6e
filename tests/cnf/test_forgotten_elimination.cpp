// Elimination of forgotten variables against brute force: the same projected models on hundreds
// of random small formulas, eliminated variables gone, and the cases that decide what goes.
#include <random>
#include <set>

#include "cnf/equivalence_preprocessing.h"
#include "cnf/forgotten_elimination.h"
#include "test_support.h"

using tarn_test::clause_list;
using tarn_test::clauses_of;
using tarn_test::make_cnf;
using tarn_test::models;

namespace {

std::set<std::uint32_t> projected_models(const cnf& f, const std::vector<unsigned>& forgotten) {
  std::uint32_t mask = 0;
  for (unsigned v : forgotten) mask |= 1u << (v - 1);
  std::set<std::uint32_t> projected;
  for (std::uint32_t a : models(f)) projected.insert(a & ~mask);
  return projected;
}

std::set<unsigned> occurring_variables(const cnf& f) {
  std::set<unsigned> vars;
  for (const std::vector<int>& c : clauses_of(f))
    for (int l : c) vars.insert(static_cast<unsigned>(std::abs(l)));
  return vars;
}

// Two- and three-literal clauses over a few variables, with some units and a long clause.
std::unique_ptr<cnf> random_formula(std::mt19937& random) {
  unsigned vars = 3 + random() % 10;
  clause_list clauses;
  unsigned count = random() % (2 * vars + 1);
  for (unsigned k = 0; k < count; ++k) {
    unsigned size = random() % 8 == 0 ? 1 + random() % 6 : 2 + random() % 2;
    std::vector<int> c;
    for (unsigned i = 0; i < size; ++i) {
      int v = static_cast<int>(1 + random() % vars);
      c.push_back(random() % 2 ? v : -v);
    }
    clauses.push_back(c);
  }
  return make_cnf(vars, clauses);
}

std::vector<unsigned> random_forgotten(std::mt19937& random, unsigned vars) {
  std::vector<unsigned> forgotten;
  for (unsigned v = 1; v <= vars; ++v)
    if (random() % 2) forgotten.push_back(v);
  return forgotten;
}

}  // namespace

TEST(ForgottenElimination, KeepsTheProjectedModelsOfRandomFormulas) {
  unsigned eliminated = 0;
  for (unsigned seed = 1; seed <= 600; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::unique_ptr<cnf> f = random_formula(random);
    std::vector<unsigned> forgotten = random_forgotten(random, f->var_count);
    std::unique_ptr<cnf> preprocessed = preprocess_cnf(*f, nullptr, false);
    forgotten_elimination_summary summary;
    std::unique_ptr<cnf> result = eliminate_forgotten_variables(*preprocessed, forgotten, 24, &summary);
    EXPECT_EQ(result->var_count, f->var_count);
    EXPECT_EQ(summary.clauses, result->clause_count());
    EXPECT_EQ(projected_models(*result, forgotten), projected_models(*f, forgotten));
    // Every eliminated variable is gone; others may go with the clauses they shared.
    std::set<unsigned> before = occurring_variables(*preprocessed), after = occurring_variables(*result);
    unsigned gone = 0;
    for (unsigned v : forgotten) gone += before.count(v) == 1 && after.count(v) == 0;
    if (!models(*f).empty()) {
      EXPECT_LE(summary.eliminated, gone);
    }
    eliminated += summary.eliminated;
  }
  EXPECT_GT(eliminated, 1000u);
}

TEST(ForgottenElimination, ReplacesAVariableByItsResolventsOnlyWhenThoseAreNoMore) {
  // x4 = x1 or x2, and x4 or x3: resolving x4 away leaves x1 or x2 or x3 (the tautologies go).
  std::unique_ptr<cnf> gate = make_cnf(4, {{-4, 1, 2}, {4, -1}, {4, -2}, {4, 3}});
  forgotten_elimination_summary summary;
  std::unique_ptr<cnf> result = eliminate_forgotten_variables(*gate, {4}, 24, &summary);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1, 2, 3}}));
  EXPECT_EQ(summary.eliminated, 1u);
  // Unless that resolvent is longer than allowed.
  result = eliminate_forgotten_variables(*gate, {4}, 2, &summary);
  EXPECT_EQ(clauses_of(*result), clauses_of(*gate));
  EXPECT_EQ(summary.eliminated, 0u);

  // Three clauses with x4 and three with not x4 give nine resolvents for six clauses: x4 stays.
  clause_list crossing;
  for (int i = 1; i <= 3; ++i) {
    crossing.push_back({4, i});
    crossing.push_back({-4, 4 + i});
  }
  std::unique_ptr<cnf> wide = make_cnf(7, crossing);
  result = eliminate_forgotten_variables(*wide, {4}, 24, &summary);
  EXPECT_EQ(clauses_of(*result), crossing);
  EXPECT_EQ(summary.eliminated, 0u);
}

TEST(ForgottenElimination, DropsThePureAndFindsTheContradiction) {
  std::unique_ptr<cnf> pure = make_cnf(3, {{1, 2}, {1, 3}, {-2, 3}});
  std::unique_ptr<cnf> result = eliminate_forgotten_variables(*pure, {1}, 24, nullptr);
  EXPECT_EQ(clauses_of(*result), (clause_list{{-2, 3}}));

  std::unique_ptr<cnf> contradiction = make_cnf(2, {{2}, {-2}, {1, 2}});
  result = eliminate_forgotten_variables(*contradiction, {2}, 24, nullptr);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1}, {-1}}));
}
