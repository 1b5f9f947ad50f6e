// The library entry: a CNF and a dtree skeleton in memory, the finished circuit out.
#include <random>

#include "driver/library.h"
#include "dtree/elm_orders.h"
#include "nnf/count.h"
#include "nnf/nnf_operations.h"
#include "test_support.h"

using tarn_test::brute_force_count;
using tarn_test::capture_exit;
using tarn_test::exit_outcome;
using tarn_test::make_cnf;

namespace {

std::vector<unsigned> min_fill_skeleton(const cnf& f) {
  const int settings[5] = {4, 25, 25, 25, 0};
  return cnf2dtree_skeleton(&f, settings);
}

}  // namespace

TEST(LibraryEntry, CompilesAnInMemoryCnfWithAGivenDtreeAndRestoresTheSettings) {
  std::mt19937 random(777);
  for (int round = 0; round < 40; ++round) {
    unsigned vars = 3 + random() % 8;
    auto f = make_cnf(vars, tarn_test::random_clauses(random, vars, 1 + random() % 20));
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
  const unsigned exist[] = {3, 0}, force[] = {2, 0}, determined[] = {5, 0}, decompose_except[] = {4, 0};
  std::unique_ptr<nnf> circuit =
      dez2irivi(f.get(), nullptr, min_fill_skeleton(*f), exist, force, determined, decompose_except);
  EXPECT_EQ(count_nnf_models(5, *circuit), std::to_string(brute_force_count(*f, {3})));
}

TEST(LibraryEntry, RejectsASkeletonOfAnotherFormulaAndSizesBeyondThirtyTwoBits) {
  auto f = make_cnf(3, {{1, 2}, {2, 3}});
  auto other = make_cnf(3, {{1, 2}, {2, 3}, {1, 3}});
  exit_outcome outcome =
      capture_exit([&] { dez2irivi(f.get(), nullptr, min_fill_skeleton(*other), nullptr, nullptr, nullptr, nullptr); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "dtree does not mactch cnf!");
  const int settings[5] = {0, 0, 4096, 64, 0};
  outcome = capture_exit([&] { dez2irivi(f.get(), settings, min_fill_skeleton(*f), nullptr, nullptr, nullptr, nullptr); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "\nCache size of 4096 MB is out of range (0 to 4095).");
}
