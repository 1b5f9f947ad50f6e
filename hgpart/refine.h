// Balancing, and the level-by-level refinement that carries a bisection from the coarsest level
// back up to the top one.
#pragma once

#include "hgpart/fm.h"
#include "hgpart/hgraph.h"

// Recomputes the part weights and, while a side is below its least weight, moves the best vertex
// of the other side over if that side stays at or above its own; a vertex that cannot move is
// dropped. Needs consistent gains on entry and keeps them so.
void Balance__(const hgp_ctrl& ctrl, fm_workspace& workspace, hgraph& graph);

// From the coarsest level (bisected) up to top: each finer level takes the sides of its coarse
// vertices, is balanced and refined by RType, and places its islands into the lighter side; the
// top level then gets its vertex order back. Each coarse level is freed once projected.
void Refine__(const hgp_ctrl& ctrl, hgraph& top, hgraph& coarsest);
