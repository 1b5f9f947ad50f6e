#include "hgpart/refine.h"

#include "hgpart/basics.h"
#include "hgpart/util.h"

void Balance__(const hgp_ctrl& ctrl, fm_workspace& workspace, hgraph& graph) {
  const int n = core_vertices(graph);
  graph.pwgts[0] = graph.pwgts[1] = 0;
  for (int v = 0; v < n; ++v) graph.pwgts[graph.where[v]] += graph.cellwgt[v];
  const balance_bounds bounds = BalanceBounds__(ctrl, graph.pwgts[0] + graph.pwgts[1]);
  if (IsBalanced__(bounds, graph)) return;

  pqueue_reset(workspace.queues[0]);
  pqueue_reset(workspace.queues[1]);
  QuickShuffle__(n, workspace.perm.data());
  for (int i = 0; i < n; ++i) {
    const int v = workspace.perm[i];
    pqueue_insert(v, graph.gain[v], workspace.queues[graph.where[v]]);
  }
  for (int iter = 0; iter < n; ++iter) {
    int from;
    if (graph.pwgts[0] < bounds.min[0])
      from = 1;
    else if (graph.pwgts[1] < bounds.min[1])
      from = 0;
    else
      break;
    const int v = pqueue_get_max(workspace.queues[from]);
    if (v == -1) break;
    if (graph.pwgts[from] - graph.cellwgt[v] < bounds.min[from]) continue;
    graph.mincut -= graph.gain[v];
    MoveVertex__(v, &workspace, graph);
  }
}

namespace {
void project_partition(const hgraph& coarse, hgraph& fine) {
  AllocateRefinementState__(fine);
  for (int v = 0; v < core_vertices(fine); ++v) fine.where[v] = coarse.where[fine.cellmap[v]];
}

// Islands are in no net, so they only shift weight: each goes to the lighter side.
void place_islands(hgraph& graph) {
  for (int v = core_vertices(graph); v < graph.nvtxs; ++v) {
    const int side = graph.pwgts[0] < graph.pwgts[1] ? 0 : 1;
    graph.where[v] = side;
    graph.gain[v] = 0;
    graph.pwgts[side] += graph.cellwgt[v];
  }
}

void refine_level(const hgp_ctrl& ctrl, hgraph& graph) {
  auto workspace = construct_fm_workspace(graph);
  ComputeInitGains__(graph);
  Balance__(ctrl, *workspace, graph);
  switch (ctrl.RType) {
    case 1:
      RefineFMByCells__(ctrl, 10, *workspace, graph);
      break;
    case 2:
      Refine_OneWayFM__(ctrl, 10, *workspace, graph);
      RefineFMByCells__(ctrl, 10, *workspace, graph);
      break;
    default:
      hgp_fail("Unknown refinement type: %d\n", ctrl.RType);
  }
  place_islands(graph);
}
}  // namespace

void Refine__(const hgp_ctrl& ctrl, hgraph& top, hgraph& coarsest) {
  hgraph* coarse = &coarsest;
  while (coarse != &top) {
    hgraph& fine = *coarse->finer;
    project_partition(*coarse, fine);
    fine.coarser.reset();
    refine_level(ctrl, fine);
    coarse = &fine;
  }
  RestoreIslandOrder__(top);
}
