// The library entry: a CNF and a dtree skeleton in memory, the finished circuit out.
#include <random>

#include "cnf/cnf_read.h"
#include "driver/library.h"
#include "dtree/elm_orders.h"
#include "nnf/count.h"
#include "nnf/nnf-operations.h"
#include "test_support.h"

using tarn_test::capture_exit;
using tarn_test::exit_outcome;
using tarn_test::make_cnf;
using tarn_test::random_clauses;

namespace {

// Models over all variables, by enumeration, with the eclauses' at-most-one constraint.
unsigned long long brute_force_count(const cnf& f, const std::vector<unsigned>& forget = {}) {
  unsigned long long count = 0;
  std::vector<char> forgotten(f.var_count + 1, 0);
  for (unsigned v : forget) forgotten[v] = 1;
  auto satisfies = [&](unsigned long long a) {
    for (unsigned i = 0; i < f.clause_count(); ++i) {
      unsigned true_literals = 0;
      for (const int* l = f.clause(i); *l; ++l) true_literals += ((a >> (std::abs(*l) - 1)) & 1) == (*l > 0);
      bool eclause = i >= f.clause_count() - f.eclause_count;
      if (true_literals == 0 || (eclause && true_literals > 1)) return false;
    }
    return true;
  };
  // An assignment is a model of the projection when some assignment that differs from it only
  // on forgotten variables satisfies the formula.
  for (unsigned long long a = 0; a < (1ull << f.var_count); ++a) {
    bool model = false;
    for (unsigned long long b = 0; b < (1ull << f.var_count) && !model; ++b) {
      bool same_elsewhere = true;
      for (unsigned v = 1; v <= f.var_count; ++v)
        if (!forgotten[v] && ((a ^ b) >> (v - 1) & 1)) same_elsewhere = false;
      model = same_elsewhere && satisfies(b);
    }
    count += model;
  }
  return count;
}

std::vector<unsigned> min_fill_skeleton(const cnf& f) {
  const int settings[5] = {4, 25, 25, 25, 0};
  return cnf2dtree_skeleton(&f, settings);
}

}  // namespace

TEST(LibraryEntry, CompilesAnInMemoryCnfWithAGivenDtreeAndRestoresTheSettings) {
  std::mt19937 random(777);
  for (int round = 0; round < 40; ++round) {
    unsigned vars = 3 + random() % 8;
    auto clauses = random_clauses(random, vars, 1 + random() % 20);
    auto f = make_cnf(vars, clauses);
    const int settings[5] = {0, 0, 1, 1, 0};
    std::unique_ptr<nnf> circuit = dez2irivi(f.get(), settings, min_fill_skeleton(*f), nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(circuit);
    EXPECT_EQ(count_nnf_models(vars, *circuit), std::to_string(brute_force_count(*f))) << "round " << round;
    EXPECT_EQ(MAX_NNF_CACHE_MEMORY, 536870912u);
    EXPECT_FALSE(VERBOSE);
  }
}

TEST(LibraryEntry, ForgetsExistentialVariablesAndHandlesEveryVariableList) {
  auto f = make_cnf(5, {{1, 2}, {-2, 3}, {3, 4, -5}, {-1, 5}, {2, 4}}, 1);
  const unsigned exist[] = {3, 0};
  const unsigned force[] = {2, 0};
  const unsigned determined[] = {5, 0};
  const unsigned decompose_except[] = {4, 0};
  std::unique_ptr<nnf> circuit =
      dez2irivi(f.get(), nullptr, min_fill_skeleton(*f), exist, force, determined, decompose_except);
  EXPECT_EQ(count_nnf_models(5, *circuit), std::to_string(brute_force_count(*f, {3})));
}

TEST(LibraryEntry, RejectsASkeletonOfAnotherFormula) {
  auto f = make_cnf(3, {{1, 2}, {2, 3}});
  auto other = make_cnf(3, {{1, 2}, {2, 3}, {1, 3}});
  exit_outcome outcome =
      capture_exit([&] { dez2irivi(f.get(), nullptr, min_fill_skeleton(*other), nullptr, nullptr, nullptr, nullptr); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "dtree does not mactch cnf!");
  set_tarn_defaults();
}

TEST(LibraryEntry, RejectsSizesThatDoNotFitThirtyTwoBits) {
  auto f = make_cnf(2, {{1, 2}});
  const int settings[5] = {0, 0, 4096, 64, 0};
  exit_outcome outcome =
      capture_exit([&] { dez2irivi(f.get(), settings, min_fill_skeleton(*f), nullptr, nullptr, nullptr, nullptr); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "\nCache size of 4096 MB is out of range (0 to 4095).");
  set_tarn_defaults();
}
