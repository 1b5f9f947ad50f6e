// Coarsening that respects a bisection, for the V-cycles: vertices only merge with vertices of
// their own side, so the coarsest level inherits the bisection and its cut.
#pragma once

#include "hgpart/hgraph.h"

// Coarsens the bisected graph with scheme CType (0: star matching in capped-degree order, 1: pair
// matching) until a level keeps more than 0.8 of the vertices, keeps all of them, or has at most
// coarsen_to; returns the coarsest level, or graph itself when it is small enough. Each coarse
// vertex takes the side of its vertices.
hgraph& CCoarsen__(const hgp_ctrl& ctrl, hgraph& graph);

// Pair matching: each unmatched vertex, in visit order, pairs with the unmatched vertex of its side
// it shares the most edgewgt with over nets of at most maxsize vertices, within max_cell_weight;
// on equal weight the lighter candidate wins. Fills cellmap, mptr and mind; returns the count.
int CMatch_Edges__(const hgp_ctrl& ctrl, hgraph& graph);
