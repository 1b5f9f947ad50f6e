#include "hgpart/fm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "hgpart/refine.h"
#include "hgpart_testing.h"

namespace {
using namespace hgp_testing;

// The initial gains count the cut reduction of every move, one-vertex nets included, and every
// move keeps counts and gains equal to a recount.
TEST(Gains, InitialGainsAndEveryMoveAgreeWithARecount) {
  for (unsigned seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    net_list nets = random_net_list(rng, 30, 40, 6, 0, 1, seed % 2 ? 5 : 1);
    nets.add_net({3}); // never cut, wherever vertex 3 goes
    auto graph = make_hgraph(nets);
    random_sides(rng, *graph);
    ComputeInitGains__(*graph);
    expect_consistent_state(*graph);
    for (int step = 0; step < 10; ++step) {
      const int v = static_cast<int>(rng() % 30);
      const int cut = graph->mincut - graph->gain[v];
      MoveVertex__(v, nullptr, *graph);
      graph->mincut = cut;
      expect_consistent_state(*graph);
    }
    if (HasFailure()) return;
  }
}

// Runs a refinement step on many random bisections and checks the state against a recount, and
// that the cut never grows from a balanced start.
template <typename Step>
void check_step_on_random_hypergraphs(Step step, bool heavy) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    const int n = 20 + static_cast<int>(rng() % 40);
    auto graph = make_hgraph(random_net_list(rng, n, n + static_cast<int>(rng() % 40), 7, 0, heavy ? 6 : 1,
                                             seed % 3 == 0 ? 3 : 1));
    hgp_ctrl ctrl = bisection_ctrl(10 + static_cast<int>(seed % 30));
    ctrl.cells_heavy = heavy;
    auto workspace = construct_fm_workspace(*graph);
    random_sides(rng, *graph);
    ComputeInitGains__(*graph);
    Balance__(ctrl, *workspace, *graph);
    const bool balanced = IsBalanced__(BalanceBounds__(ctrl, CoreWeight__(*graph)), *graph);
    const int before = graph->mincut;
    InitRandom__(seed);
    step(ctrl, *workspace, *graph);
    expect_consistent_state(*graph);
    if (balanced) {
      EXPECT_LE(graph->mincut, before);
      EXPECT_TRUE(IsBalanced__(BalanceBounds__(ctrl, CoreWeight__(*graph)), *graph));
    }
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(FMRefinement, EveryVariantKeepsGainsAndCutConsistentAndNeverWorsensABalancedCut) {
  check_step_on_random_hypergraphs(
      [](const hgp_ctrl& ctrl, fm_workspace& ws, hgraph& graph) { Refine_FM__(ctrl, 10, ws, graph); }, false);
  check_step_on_random_hypergraphs(
      [](const hgp_ctrl& ctrl, fm_workspace& ws, hgraph& graph) { Refine_FM2__(ctrl, 10, ws, graph); }, true);
  check_step_on_random_hypergraphs(
      [](const hgp_ctrl& ctrl, fm_workspace& ws, hgraph& graph) { Refine_OneWayFM__(ctrl, 10, ws, graph); }, false);
}

TEST(FMRefinement, FindsTheSingleBridgeBetweenTwoDenseClusters) {
  net_list nets;
  nets.nvtxs = 40;
  for (int cluster = 0; cluster < 2; ++cluster)
    for (int a = 0; a < 20; ++a)
      for (int b = a + 1; b < 20; b += 3) nets.add_net({20 * cluster + a, 20 * cluster + b});
  nets.add_net({0, 20});
  auto graph = make_hgraph(nets);
  const hgp_ctrl ctrl = bisection_ctrl(25);
  auto workspace = construct_fm_workspace(*graph);
  for (int v = 0; v < 40; ++v) graph->where[v] = v % 2; // every cluster net starts cut or not at random
  ComputeInitGains__(*graph);
  InitRandom__(1);
  Refine_FM__(ctrl, 10, *workspace, *graph);
  EXPECT_EQ(graph->mincut, 1);
  expect_consistent_state(*graph);
}

TEST(FMRefinement, TakesBackEveryMoveWhenNoPrefixBeatsTheStart) {
  // From the split {0, 1 | 2, 3} with nets {0, 1} and {2, 3} every balanced prefix cuts a net,
  // and the full pass ends in the mirror image, which is no better: all moves are taken back.
  net_list nets;
  nets.nvtxs = 4;
  nets.add_net({0, 1});
  nets.add_net({2, 3});
  auto graph = make_hgraph(nets);
  const hgp_ctrl ctrl = bisection_ctrl(25);
  auto workspace = construct_fm_workspace(*graph);
  graph->where[0] = 0, graph->where[1] = 0, graph->where[2] = 1, graph->where[3] = 1;
  ComputeInitGains__(*graph);
  Refine_FM__(ctrl, 10, *workspace, *graph);
  EXPECT_EQ(graph->mincut, 0);
  EXPECT_EQ(graph->where[0], 0);
  EXPECT_EQ(graph->where[2], 1);
  expect_consistent_state(*graph);
}

// From any start, small weights reach both least weights; a balanced start is left alone
// without drawing a random number.
TEST(Balance, ReachesBothLeastWeightsFromAnyStartAndLeavesABalancedOneAlone) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    const int n = 30 + static_cast<int>(rng() % 60);
    auto graph = make_hgraph(random_net_list(rng, n, n, 6, 0, seed % 2 ? 3 : 1, 2));
    const hgp_ctrl ctrl = bisection_ctrl(5 + static_cast<int>(seed % 40));
    auto workspace = construct_fm_workspace(*graph);
    const int start = static_cast<int>(seed % 4); // all on side 0, all on side 1, random, halves
    for (int v = 0; v < n; ++v) graph->where[v] = start < 2 ? start : start == 2 ? rng() % 2 : v < n / 2;
    ComputeInitGains__(*graph);
    const balance_bounds bounds = BalanceBounds__(ctrl, CoreWeight__(*graph));
    const bool balanced = IsBalanced__(bounds, *graph);
    const std::vector<int> where(graph->where.begin(), graph->where.end());
    InitRandom__(seed);
    const double first_draw = RandomDraw__();
    InitRandom__(seed);
    Balance__(ctrl, *workspace, *graph);
    EXPECT_GE(graph->pwgts[0], bounds.min[0]);
    EXPECT_GE(graph->pwgts[1], bounds.min[1]);
    expect_consistent_state(*graph);
    if (balanced) {
      EXPECT_EQ(std::vector<int>(graph->where.begin(), graph->where.end()), where);
      EXPECT_EQ(RandomDraw__(), first_draw);
    }
    if (HasFailure()) return;
  }
}

TEST(Balance, DropsAVertexTooHeavyToMoveAndTakesTheNextOnes) {
  // Total 40, least weights 10 and 10. Side 0 holds five light vertices; side 1 a vertex of
  // weight 26 with the best gain and nine light ones. Moving the heavy vertex would leave side 1
  // at 9, so it is dropped and five light vertices move instead.
  net_list nets;
  nets.nvtxs = 15;
  nets.vwgts.assign(15, 1);
  nets.vwgts[0] = 26;
  nets.add_net({0, 10});
  for (int v = 1; v < 9; v += 2) nets.add_net({v, v + 1});
  nets.add_net({9, 1});
  nets.add_net({11, 12});
  nets.add_net({13, 14});
  auto graph = make_hgraph(nets);
  const hgp_ctrl ctrl = bisection_ctrl(25);
  auto workspace = construct_fm_workspace(*graph);
  for (int v = 0; v < 15; ++v) graph->where[v] = v < 10 ? 1 : 0;
  ComputeInitGains__(*graph);
  ASSERT_GT(graph->gain[0], graph->gain[1]);
  InitRandom__(2);
  Balance__(ctrl, *workspace, *graph);
  EXPECT_EQ(graph->where[0], 1);
  EXPECT_EQ(graph->pwgts[0], 10);
  expect_consistent_state(*graph);
}

}  // namespace
