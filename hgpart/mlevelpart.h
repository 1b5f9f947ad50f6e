// The bisection driver: multilevel bisection trials, V-cycles, and the best bisection kept.
#pragma once

#include "hgpart/hgraph.h"

// One multilevel bisection of graph: coarsen, bisect the coarsest level, refine back up.
void MlevelBisect__(const hgp_ctrl& ctrl, hgraph& graph);

// Bisects graph with nruns trials on its copy without nets above maxsize, each carried back to
// graph (with FM when nets were left out) and V-cycled as the Vcycle policy says. Writes the best
// bisection into part[0, nvtxs) and returns its cut. Seeds the random generator first.
int Hypergraph_Bisection__(hgp_ctrl& ctrl, hgraph& graph, int* part);

// At most maxcycles V-cycles on a bisected graph (consistent refinement state): coarsen within the
// sides (schemes 0, 1, 0, ...) to 1000 vertices and refine back up, until two cycles in a row do
// not lower the cut. The graph keeps the best bisection seen.
void VCycleRefinement__(hgp_ctrl& ctrl, int maxcycles, hgraph& graph);

// Sets, for a bisection of graph, max_cell_weight: twice the weight per vertex that coarsening to
// coarsen_to vertices would give, leaving out the vertices heavier than 2 x total / coarsen_to;
// and the heavy-cells flag: whether there are such vertices (always, below 50 unit vertices).
void SetMaxCellWeight__(hgp_ctrl& ctrl, const hgraph& graph);
