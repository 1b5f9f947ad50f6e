// Measurements of a bisection that several steps share: weights, balance bounds and the cut.
#pragma once

#include "hgpart/hgraph.h"

// Least weights of the two sides: a bisection is balanced when both sides reach them.
struct balance_bounds {
  int min[2]; // min[0] = total x (target fraction - UBfactor), min[1] likewise for side 1
};

// Total weight of the vertices that lie in nets.
int CoreWeight__(const hgraph& graph);

// The bounds for a total weight, in single precision and truncated toward zero.
balance_bounds BalanceBounds__(const hgp_ctrl& ctrl, int total);

inline bool IsBalanced__(const balance_bounds& bounds, const hgraph& graph) {
  return graph.pwgts[0] >= bounds.min[0] && graph.pwgts[1] >= bounds.min[1];
}

// Weight of the nets that have vertices on both sides under the given sides, from scratch.
int ComputeCut__(const hgraph& graph, const int* where);

// Part 0's share of the weight under the given sides, for the diagnostic prints.
float PartZeroShare__(const hgraph& graph, const int* where);
