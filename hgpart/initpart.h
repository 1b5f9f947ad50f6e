// The initial bisection of the coarsest level.
#pragma once

#include "hgpart/hgraph.h"

// Tries 20 random splits (10 for more than 64 parts), each balanced and refined by FM, and keeps
// the first one unless a later one has a strictly smaller cut. Leaves the level with consistent
// refinement state.
void Random_FMPartition__(const hgp_ctrl& ctrl, hgraph& graph);
