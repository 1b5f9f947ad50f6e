#include "hgpart/coarsen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "hgpart/ccoarsen.h"
#include "hgpart/mlevelpart.h"
#include "hgpart_testing.h"

namespace {
using namespace hgp_testing;

std::vector<int> net_vertices(const hgraph& graph, int e) {
  return std::vector<int>(graph.netind.data() + graph.netptr[e], graph.netind.data() + graph.netptr[e + 1]);
}

long total_vertex_weight(const hgraph& graph) {
  long total = 0;
  for (int v = 0; v < graph.nvtxs; ++v) total += graph.cellwgt[v];
  return total;
}

// cellmap, mptr and mind describe the same assignment of every vertex in nets to one coarse vertex.
void expect_valid_matching(int cnvtxs, const hgraph& graph) {
  const int n = core_vertices(graph);
  std::vector<int> seen(n, 0);
  for (int c = 0; c < cnvtxs; ++c) {
    EXPECT_LT(graph.mptr[c], graph.mptr[c + 1]) << "coarse vertex " << c << " is empty";
    for (int i = graph.mptr[c]; i < graph.mptr[c + 1]; ++i) {
      const int v = graph.mind[i];
      EXPECT_EQ(graph.cellmap[v], c);
      ++seen[v];
    }
  }
  for (int v = 0; v < n; ++v) EXPECT_EQ(seen[v], 1) << "vertex " << v;
}

// Checks one coarsening step: weights kept, nets mapped, one-vertex nets dropped into rmnetwgt,
// identical nets merged with their weights added.
void expect_valid_contraction(const hgraph& fine, const hgraph& coarse) {
  long core_weight = 0;
  for (int v = 0; v < core_vertices(fine); ++v) core_weight += fine.cellwgt[v];
  EXPECT_EQ(total_vertex_weight(coarse), core_weight);

  std::set<std::vector<int>> coarse_nets;
  for (int e = 0; e < coarse.nedges; ++e) {
    const std::vector<int> vertices = net_vertices(coarse, e);
    EXPECT_GE(vertices.size(), 2u);
    EXPECT_TRUE(std::is_sorted(vertices.begin(), vertices.end()));
    EXPECT_TRUE(coarse_nets.insert(vertices).second) << "coarse net " << e << " has a twin";
  }
  std::vector<long> weight_into(coarse.nedges, 0);
  long dropped = 0;
  for (int e = 0; e < fine.nedges; ++e) {
    std::set<int> mapped;
    for (int v : net_vertices(fine, e)) mapped.insert(fine.cellmap[v]);
    if (mapped.size() < 2) {
      EXPECT_EQ(fine.netmap[e], -1);
      dropped += fine.netwgt[e];
      continue;
    }
    ASSERT_GE(fine.netmap[e], 0);
    EXPECT_EQ(net_vertices(coarse, fine.netmap[e]), std::vector<int>(mapped.begin(), mapped.end()));
    weight_into[fine.netmap[e]] += fine.netwgt[e];
  }
  for (int e = 0; e < coarse.nedges; ++e) EXPECT_EQ(coarse.netwgt[e], weight_into[e]);
  EXPECT_EQ(coarse.rmnetwgt - fine.rmnetwgt, dropped);
}

TEST(CreateCoarseHGraph, DropsOneVertexNetsAndMergesIdenticalNetsAddingTheirWeights) {
  net_list nets;
  nets.nvtxs = 5;
  nets.hewgts = {1, 2, 4, 8, 16, 32};
  nets.add_net({0, 1});    // inside coarse vertex 0: dropped
  nets.add_net({2, 3});    // inside coarse vertex 1: dropped
  nets.add_net({0, 2});    // {0, 1}
  nets.add_net({3, 1});    // {0, 1}: merged into the one above
  nets.add_net({0, 1, 2}); // {0, 1}: merged as well
  nets.add_net({4, 0});    // {0, 2}
  auto graph = make_hgraph(nets);
  const int cellmap[] = {0, 0, 1, 1, 2};
  graph->cellmap = hgp_array<int>(5, "test cellmap");
  for (int v = 0; v < 5; ++v) graph->cellmap[v] = cellmap[v];
  BuildMatchMaps__(3, *graph);
  hgraph& coarse = CreateCoarseHGraph__(3, false, *graph);
  ASSERT_EQ(coarse.nedges, 2);
  EXPECT_EQ(net_vertices(coarse, 0), (std::vector<int>{0, 1}));
  EXPECT_EQ(coarse.netwgt[0], 4 + 8 + 16);
  EXPECT_EQ(net_vertices(coarse, 1), (std::vector<int>{0, 2}));
  EXPECT_EQ(coarse.netwgt[1], 32);
  EXPECT_EQ(coarse.rmnetwgt, 1 + 2);
  EXPECT_EQ(coarse.level, 1);
  EXPECT_EQ(coarse.finer, graph.get());
  expect_valid_contraction(*graph, coarse);
}

TEST(StarMatching, MapsEveryVertexOnceWithinTheWeightLimitAndTheMergeBudget) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    const int n = 150 + static_cast<int>(rng() % 300);
    auto graph = make_hgraph(random_net_list(rng, n, n, 6, 0, seed % 2 ? 3 : 1, seed % 3 ? 1 : 4));
    hgp_ctrl ctrl = bisection_ctrl();
    SetMaxCellWeight__(ctrl, *graph);
    InitRandom__(seed);
    const int cnvtxs = Match_EdgesStars__(ctrl, seed % 2 == 0, nullptr, *graph);
    expect_valid_matching(cnvtxs, *graph);
    EXPECT_LE(n - cnvtxs, static_cast<int>(0.4 * n) + 1);
    for (int c = 0; c < cnvtxs; ++c) {
      if (graph->mptr[c + 1] - graph->mptr[c] < 2) continue;
      int weight = 0;
      for (int i = graph->mptr[c]; i < graph->mptr[c + 1]; ++i) weight += graph->cellwgt[graph->mind[i]];
      EXPECT_LE(weight, ctrl.max_cell_weight);
    }
    expect_valid_contraction(*graph, CreateCoarseHGraph__(cnvtxs, false, *graph));
    if (HasFailure()) return;
  }
}

// The partner rules of both matchings, written plainly for comparison: connection weights summed
// per candidate in the order first met (v's nets in order, their vertices in order), then a scan
// of all candidates. Star matching (pairs false): any vertex of v's side that fits, merged or not,
// while the merges are at most 0.4 n; on a tie a later candidate replaces a merged one. Pair
// matching (pairs true): unmatched vertices only, no merge budget; on a tie the lighter wins.
std::vector<int> reference_matching(const hgp_ctrl& ctrl, bool pairs, const std::vector<int>& order,
                                    const int* where, const hgraph& graph) {
  const int n = core_vertices(graph);
  std::vector<int> cellmap(n, -1), cwgt;
  int nmerges = 0;
  for (int v : order) {
    if (cellmap[v] != -1) continue;
    int partner = -1;
    if (pairs || nmerges <= 0.4 * n) {
      std::vector<int> met;
      std::map<int, float> conn;
      for (int i = graph.incptr[v]; i < graph.incptr[v + 1]; ++i) {
        const int e = graph.incind[i];
        if (net_size(graph, e) > ctrl.maxsize) continue;
        for (int j = graph.netptr[e]; j < graph.netptr[e + 1]; ++j) {
          const int u = graph.netind[j];
          if (u == v || (where && where[u] != where[v]) || (pairs && cellmap[u] != -1)) continue;
          if (!conn.count(u)) met.push_back(u);
          conn[u] += graph.edgewgt[e];
        }
      }
      const int limit = ctrl.max_cell_weight - graph.cellwgt[v];
      for (int u : met) {
        if (graph.cellwgt[u] > limit || (cellmap[u] != -1 && cwgt[cellmap[u]] > limit)) continue;
        if (partner == -1 || conn[u] > conn[partner]) {
          partner = u;
        } else if (conn[u] == conn[partner]) {
          const bool tie_won = pairs ? graph.cellwgt[u] < graph.cellwgt[partner] : cellmap[partner] != -1;
          if (tie_won) partner = u;
        }
      }
    }
    if (partner != -1 && cellmap[partner] != -1) {
      cellmap[v] = cellmap[partner];
      cwgt[cellmap[v]] += graph.cellwgt[v];
    } else {
      cellmap[v] = static_cast<int>(cwgt.size());
      cwgt.push_back(graph.cellwgt[v]);
      if (partner != -1) {
        cellmap[partner] = cellmap[v];
        cwgt.back() += graph.cellwgt[partner];
      }
    }
    nmerges += partner != -1;
  }
  return cellmap;
}

// Draws the visit order the matching will draw from the same seed.
std::vector<int> visit_order(unsigned seed, const hgp_ctrl& ctrl, bool heavy_edge_order, const hgraph& graph) {
  std::vector<int> order(core_vertices(graph));
  InitRandom__(seed);
  CappedDegreeOrder__(graph, order.data());
  if (heavy_edge_order) HeavyEdgeOrder__(ctrl, graph, order.data());
  InitRandom__(seed);
  return order;
}

TEST(Matching, PicksThePartnersThatThePlainRulesPick) {
  for (unsigned seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    const int n = 120 + static_cast<int>(rng() % 200);
    // Few distinct net sizes and weights, so that equal connection weights are common.
    auto graph = make_hgraph(random_net_list(rng, n, n, 5, 0, seed % 2 ? 4 : 1, seed % 3 ? 1 : 2));
    random_sides(rng, *graph);
    hgp_ctrl ctrl = bisection_ctrl();
    SetMaxCellWeight__(ctrl, *graph);
    const int* sides = seed % 4 == 0 ? graph->where.data() : nullptr;

    const std::vector<int> star_order = visit_order(seed, ctrl, seed % 2 == 0, *graph);
    Match_EdgesStars__(ctrl, seed % 2 == 0, sides, *graph);
    const std::vector<int> star(graph->cellmap.begin(), graph->cellmap.end());
    EXPECT_EQ(star, reference_matching(ctrl, false, star_order, sides, *graph));

    const std::vector<int> pair_order = visit_order(seed, ctrl, false, *graph);
    CMatch_Edges__(ctrl, *graph);
    const std::vector<int> pairs(graph->cellmap.begin(), graph->cellmap.end());
    EXPECT_EQ(pairs, reference_matching(ctrl, true, pair_order, graph->where.data(), *graph));
    if (HasFailure()) return;
  }
}

TEST(Coarsen, BuildsShrinkingLevelsThatKeepTheWeightOfTheVerticesInNetsAboveCoarsenTo) {
  for (int ctype = 1; ctype <= 3; ++ctype) {
    SCOPED_TRACE(::testing::Message() << "Ctype " << ctype);
    std::mt19937 rng(ctype);
    auto graph = make_hgraph(random_net_list(rng, 2000, 2500, 4, 30, 2));
    hgp_ctrl ctrl = bisection_ctrl();
    ctrl.CType = ctype;
    SetMaxCellWeight__(ctrl, *graph);
    int nislands = 0;
    for (int v = 0; v < graph->nvtxs; ++v) nislands += graph->incptr[v] == graph->incptr[v + 1];
    InitRandom__(ctype);
    const hgraph& coarsest = Coarsen__(ctrl, *graph);
    int levels = 0;
    for (const hgraph* level = graph.get(); level != &coarsest; level = level->coarser.get(), ++levels) {
      const hgraph& coarse = *level->coarser;
      EXPECT_LT(coarse.nvtxs, level->nvtxs);
      EXPECT_EQ(coarse.level, level->level + 1);
      expect_valid_matching(coarse.nvtxs, *level);
      expect_valid_contraction(*level, coarse);
    }
    EXPECT_GT(levels, 1);
    EXPECT_EQ(graph->nislands, nislands);
    for (int v = graph->nvtxs - nislands; v < graph->nvtxs; ++v) EXPECT_EQ(graph->incptr[v], graph->incptr[v + 1]);
  }
  // A hypergraph of at most coarsen_to (100) vertices is left alone.
  std::mt19937 rng(1);
  auto small = make_hgraph(random_net_list(rng, 100, 150, 5));
  hgp_ctrl ctrl = bisection_ctrl();
  SetMaxCellWeight__(ctrl, *small);
  EXPECT_EQ(&Coarsen__(ctrl, *small), small.get());
  EXPECT_FALSE(small->coarser);
}

TEST(Islands, MoveBehindTheOthersInOrderAndComeBackAtTheTop) {
  net_list nets;
  nets.nvtxs = 6;
  nets.vwgts = {10, 11, 12, 13, 14, 15};
  nets.add_net({0, 3});
  nets.add_net({3, 5});
  auto graph = make_hgraph(nets); // islands: 1, 2, 4
  MoveIslands__(*graph);
  EXPECT_EQ(graph->nislands, 3);
  EXPECT_EQ(std::vector<int>(graph->cellwgt.begin(), graph->cellwgt.end()),
            (std::vector<int>{10, 13, 15, 11, 12, 14}));
  EXPECT_EQ(net_vertices(*graph, 0), (std::vector<int>{0, 1}));
  EXPECT_EQ(net_vertices(*graph, 1), (std::vector<int>{1, 2}));
  RestoreIslandOrder__(*graph);
  EXPECT_EQ(graph->nislands, 0);
  EXPECT_EQ(std::vector<int>(graph->cellwgt.begin(), graph->cellwgt.end()),
            (std::vector<int>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(net_vertices(*graph, 1), (std::vector<int>{3, 5}));
  EXPECT_EQ(graph->incptr[4], graph->incptr[5]);
}

// A bisected level: random sides, refinement state counted.
std::unique_ptr<hgraph> bisected(unsigned seed, int n) {
  std::mt19937 rng(seed);
  auto graph = make_hgraph(random_net_list(rng, n, n + n / 2, 5, n / 50, 1, 2));
  random_sides(rng, *graph);
  ComputeInitGains__(*graph);
  return graph;
}

TEST(RestrictedCoarsening, MergesOnlyWithinASideSoTheCoarsestLevelKeepsTheCut) {
  for (int scheme = 0; scheme < 2; ++scheme) {
    SCOPED_TRACE(::testing::Message() << "scheme " << scheme);
    auto graph = bisected(10 + scheme, 3000);
    hgp_ctrl ctrl = bisection_ctrl();
    SetMaxCellWeight__(ctrl, *graph);
    ctrl.coarsen_to = 1000;
    ctrl.CType = scheme;
    InitRandom__(scheme);
    const hgraph& coarsest = CCoarsen__(ctrl, *graph);
    ASSERT_NE(&coarsest, graph.get());
    for (const hgraph* level = graph.get(); level != &coarsest; level = level->coarser.get()) {
      const hgraph& coarse = *level->coarser;
      expect_valid_matching(coarse.nvtxs, *level);
      expect_valid_contraction(*level, coarse);
      for (int v = 0; v < core_vertices(*level); ++v)
        EXPECT_EQ(coarse.where[level->cellmap[v]], level->where[v]) << "level " << level->level << " vertex " << v;
      if (scheme == 1) {
        for (int c = 0; c < coarse.nvtxs; ++c) EXPECT_LE(level->mptr[c + 1] - level->mptr[c], 2);
      }
    }
    EXPECT_EQ(ComputeCut__(coarsest, coarsest.where.data()), graph->mincut);
  }
}

}  // namespace
