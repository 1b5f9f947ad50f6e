// Helpers of the partitioner tests: random hypergraphs and from-scratch checks of a level's
// refinement state.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "hgpart/basics.h"
#include "hgpart/fm.h"
#include "hgpart/hgraph.h"
#include "hgpart/util.h"

namespace hgp_testing {

// A hypergraph as the entry takes it.
struct net_list {
  int nvtxs = 0;
  std::vector<int> eptr{0};
  std::vector<int> eind;
  std::vector<int> vwgts; // empty: all 1
  std::vector<int> hewgts; // empty: all 1

  int nedges() const { return static_cast<int>(eptr.size()) - 1; }
  void add_net(const std::vector<int>& vertices) {
    eind.insert(eind.end(), vertices.begin(), vertices.end());
    eptr.push_back(static_cast<int>(eind.size()));
  }
};

// Nets of 1 to max_size distinct vertices drawn from the first n - nislands vertices; weights
// from 1 to max_weight when above 1.
inline net_list random_net_list(std::mt19937& rng, int n, int nnets, int max_size, int nislands = 0,
                                int max_vertex_weight = 1, int max_net_weight = 1) {
  net_list nets;
  nets.nvtxs = n;
  const int core = n - nislands;
  for (int e = 0; e < nnets; ++e) {
    const int size = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(max_size, core)));
    std::vector<int> vertices;
    while (static_cast<int>(vertices.size()) < size) {
      const int v = static_cast<int>(rng() % static_cast<unsigned>(core));
      if (std::find(vertices.begin(), vertices.end(), v) == vertices.end()) vertices.push_back(v);
    }
    nets.add_net(vertices);
  }
  if (max_vertex_weight > 1)
    for (int v = 0; v < n; ++v) nets.vwgts.push_back(1 + static_cast<int>(rng() % max_vertex_weight));
  if (max_net_weight > 1)
    for (int e = 0; e < nnets; ++e) nets.hewgts.push_back(1 + static_cast<int>(rng() % max_net_weight));
  return nets;
}

inline const int* or_null(const std::vector<int>& v) { return v.empty() ? nullptr : v.data(); }

// The level the bisection works on: nets, incidence and refinement arrays.
inline std::unique_ptr<hgraph> make_hgraph(const net_list& nets) {
  auto graph = SetupHGraph__(nets.nvtxs, nets.nedges(), or_null(nets.vwgts), nets.eptr.data(), nets.eind.data(),
                             or_null(nets.hewgts));
  BuildIncidence__(*graph);
  AllocateRefinementState__(*graph);
  return graph;
}

inline void random_sides(std::mt19937& rng, hgraph& graph) {
  for (int v = 0; v < graph.nvtxs; ++v) graph.where[v] = static_cast<int>(rng() % 2);
}

// The cut change of moving v, by moving it and recounting.
inline int brute_force_gain(int v, const hgraph& graph) {
  std::vector<int> where(graph.where.begin(), graph.where.end());
  const int before = ComputeCut__(graph, where.data());
  where[v] = 1 - where[v];
  return before - ComputeCut__(graph, where.data());
}

// Every part of the refinement state agrees with a recount from where.
inline void expect_consistent_state(const hgraph& graph) {
  EXPECT_EQ(graph.mincut, ComputeCut__(graph, graph.where.data()));
  int pwgts[2] = {0, 0};
  for (int v = 0; v < graph.nvtxs; ++v) pwgts[graph.where[v]] += graph.cellwgt[v];
  EXPECT_EQ(graph.pwgts[0], pwgts[0]);
  EXPECT_EQ(graph.pwgts[1], pwgts[1]);
  for (int e = 0; e < graph.nedges; ++e) {
    int count[2] = {0, 0}, vertices[2] = {0, 0};
    for (int i = graph.netptr[e]; i < graph.netptr[e + 1]; ++i) {
      const int v = graph.netind[i];
      ++count[graph.where[v]];
      vertices[graph.where[v]] ^= v;
    }
    for (int side = 0; side < 2; ++side) {
      EXPECT_EQ(graph.ndeg[side][e], count[side]) << "net " << e << " side " << side;
      EXPECT_EQ(graph.netxor[side][e], vertices[side]) << "net " << e << " side " << side;
    }
  }
  for (int v = 0; v < graph.nvtxs; ++v) EXPECT_EQ(graph.gain[v], brute_force_gain(v, graph)) << "vertex " << v;
}

// Settings of a plain bisection: target 0.5, the given balance factor in percent.
inline hgp_ctrl bisection_ctrl(int ubfactor = 25) {
  hgp_ctrl ctrl;
  ctrl.UBfactor = static_cast<float>(ubfactor) / 100.0f;
  ctrl.target_fraction = 0.5f;
  return ctrl;
}

}  // namespace hgp_testing
