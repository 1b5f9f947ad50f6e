// Gains and the Fiduccia-Mattheyses refinements of one bisected level.
//
// Every step here starts from and keeps the level's refinement state consistent: where, pwgts, the
// per-net side counts ndeg and vertex xors netxor, the gains and mincut agree with a recomputation
// from where (ComputeInitGains__ establishes it).
#pragma once

#include <memory>

#include "hgpart/basics.h"
#include "hgpart/hgraph.h"
#include "hgpart/pqueue.h"

// The refinement state of a level as a pass found it, so that a pass whose best prefix is short
// goes back to it by a copy and a replay of that prefix.
struct pass_start_state {
  hgp_array<int> where;     // [0, n)
  hgp_array<int> gain;      // [0, n)
  hgp_array<int> ndeg[2];   // [0, nedges)
  hgp_array<int> netxor[2]; // [0, nedges)
  int mincut = 0;
  int pwgts[2] = {0, 0};
};

// Scratch of the refinements of one level, allocated once per level and reused by every pass.
struct fm_workspace {
  pqueue queues[2];    // gain queue of each side
  hgp_array<int> perm; // [0, n) order in which a pass queues the vertices
  hgp_array<int> moves; // [0, n) vertices moved in the current pass, in order
  pass_start_state start; // the state the current pass started from
};

// A workspace for the level: bucket queues unless its largest adjwgt exceeds three times its
// vertex count.
std::unique_ptr<fm_workspace> construct_fm_workspace(const hgraph& graph);

// Counts the side counts and xors, the cut, the part weights and every gain from where. A
// vertex's gain is -w(e) for each net of at least two vertices that lies wholly on its side and
// +w(e) for each cut net in which it is the only vertex on its side.
void ComputeInitGains__(hgraph& graph);

// Moves v to the other side, negates its gain and updates the side counts, the part weights and
// the gains of its neighbours; the queued neighbours follow in the workspace's queues when one is
// given. The caller lowers its running cut by v's gain beforehand.
void MoveVertex__(int v, fm_workspace* workspace, hgraph& graph);

// FM with npasses passes; stops early after a pass that did not lower the cut. Every pass moves
// each vertex once, then takes back the moves after the best balanced prefix.
void Refine_FM__(const hgp_ctrl& ctrl, int npasses, fm_workspace& workspace, hgraph& graph);

// As Refine_FM__, but each side only offers its best vertex that fits the side's room above its
// least weight, so a heavy vertex never unbalances the bisection.
void Refine_FM2__(const hgp_ctrl& ctrl, int npasses, fm_workspace& workspace, hgraph& graph);

// FM in one direction per pass, starting out of the heavier side and alternating; stops early
// after an odd-numbered pass that did not lower the cut.
void Refine_OneWayFM__(const hgp_ctrl& ctrl, int npasses, fm_workspace& workspace, hgraph& graph);

// The FM the level needs: Refine_FM2__ when the heavy-cells flag is set, else Refine_FM__.
void RefineFMByCells__(const hgp_ctrl& ctrl, int npasses, fm_workspace& workspace, hgraph& graph);
