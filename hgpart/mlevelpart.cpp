#include "hgpart/mlevelpart.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "hgpart/basics.h"
#include "hgpart/ccoarsen.h"
#include "hgpart/coarsen.h"
#include "hgpart/fm.h"
#include "hgpart/initpart.h"
#include "hgpart/refine.h"
#include "hgpart/util.h"

void MlevelBisect__(const hgp_ctrl& ctrl, hgraph& graph) {
  hgraph& coarsest = Coarsen__(ctrl, graph);
  Random_FMPartition__(ctrl, coarsest);
  Refine__(ctrl, graph, coarsest);
}

void SetMaxCellWeight__(hgp_ctrl& ctrl, const hgraph& graph) {
  long total = 0;
  for (int v = 0; v < graph.nvtxs; ++v) total += graph.cellwgt[v];
  const long heavy = 2 * total / ctrl.coarsen_to;
  int nheavy = 0;
  for (int v = 0; v < graph.nvtxs; ++v) {
    if (graph.cellwgt[v] <= heavy) continue;
    ++nheavy;
    total -= graph.cellwgt[v];
  }
  // INVARIANT: with non-negative weights fewer than coarsen_to / 2 vertices can be heavy.
  ctrl.max_cell_weight = static_cast<int>(2 * total / (ctrl.coarsen_to - nheavy));
  ctrl.cells_heavy = nheavy >= 1;
}

void VCycleRefinement__(hgp_ctrl& ctrl, int maxcycles, hgraph& graph) {
  const int coarsen_to = ctrl.coarsen_to, ctype = ctrl.CType;
  ctrl.coarsen_to = 1000;
  hgp_array<int> bestwhere(graph.nvtxs, "HGP: vcycle bestwhere");
  bestwhere.assign_from(graph.where.data(), graph.nvtxs);
  int bestcut = graph.mincut;
  bool last_is_best = true;
  for (int cycle = 0, nfailures = 0; cycle < maxcycles && nfailures < 2; ++cycle) {
    ctrl.CType = cycle % 2;
    hgraph& coarsest = CCoarsen__(ctrl, graph);
    Refine__(ctrl, graph, coarsest);
    last_is_best = graph.mincut < bestcut;
    if (last_is_best) {
      bestcut = graph.mincut;
      bestwhere.assign_from(graph.where.data(), graph.nvtxs);
      nfailures = 0;
    } else {
      ++nfailures;
    }
  }
  if (!last_is_best) {
    graph.where.assign_from(bestwhere.data(), graph.nvtxs);
    ComputeInitGains__(graph);
  }
  ctrl.coarsen_to = coarsen_to;
  ctrl.CType = ctype;
}

namespace {
// Carries the pruned copy's bisection to the full hypergraph; when nets were left out, FM on the
// full hypergraph takes them into account.
void take_pruned_bisection(const hgp_ctrl& ctrl, const hgraph& pruned, hgraph& graph) {
  graph.where.assign_from(pruned.where.data(), graph.nvtxs);
  ComputeInitGains__(graph);
  if (pruned.nedges == graph.nedges) return;
  auto workspace = construct_fm_workspace(graph);
  RefineFMByCells__(ctrl, 10, *workspace, graph);
}

// Whether the trial's bisection (cut) is V-cycled at once, given the best cut so far and whether
// the trial beat the best cut on the pruned copy.
bool vcycle_now(int policy, int cut, int best, bool improved_coarse) {
  switch (policy) {
    case 2:
      return cut <= best || improved_coarse;
    case 3:
      return cut < 1.2 * best || cut - best <= 19;
    default:
      return false;
  }
}

// Policy 1 keeps the best few bisections of the trials and V-cycles them at the end.
struct kept_bisection {
  int cut;
  hgp_array<int> where;
};

void keep_if_among_best(std::size_t capacity, const hgraph& graph, std::vector<kept_bisection>& kept) {
  std::size_t slot = kept.size();
  if (kept.size() == capacity) {
    slot = 0;
    for (std::size_t k = 1; k < kept.size(); ++k)
      if (kept[k].cut > kept[slot].cut) slot = k;
    if (graph.mincut >= kept[slot].cut) return;
  } else {
    kept.push_back(kept_bisection{0, hgp_array<int>(graph.nvtxs, "HGP: kept bisection")});
  }
  kept[slot].cut = graph.mincut;
  kept[slot].where.assign_from(graph.where.data(), graph.nvtxs);
}

int vcycle_kept(hgp_ctrl& ctrl, std::vector<kept_bisection>& kept, int best, int* part, hgraph& graph) {
  for (kept_bisection& bisection : kept) {
    graph.where.assign_from(bisection.where.data(), graph.nvtxs);
    ComputeInitGains__(graph);
    VCycleRefinement__(ctrl, 10, graph);
    if (graph.mincut >= best) continue;
    best = graph.mincut;
    std::copy(graph.where.begin(), graph.where.end(), part);
  }
  return best;
}

int total_net_weight(const hgraph& graph) {
  int total = 0;
  for (int e = 0; e < graph.nedges; ++e) total += graph.netwgt[e];
  return total;
}
}  // namespace

int Hypergraph_Bisection__(hgp_ctrl& ctrl, hgraph& graph, int* part) {
  BuildIncidence__(graph);
  AllocateRefinementState__(graph);
  auto pruned = PrunedCopy__(ctrl.maxsize, graph);
  SetMaxCellWeight__(ctrl, graph);
  if (ctrl.debug_level & (8 | 128))
    std::printf("\n  Bisecting a hgraph of size [vertices=%d, hedges=%d, balance=%4.2f]\n", graph.nvtxs, graph.nedges,
                ctrl.target_fraction);

  int best = total_net_weight(graph) + 1, bestcoarse = best;
  long sumcut = 0;
  std::vector<kept_bisection> kept;
  const std::size_t nkept = ctrl.nruns <= 10 ? 1 : 3;
  InitRandom__(ctrl.seed);
  const int ctype = ctrl.CType;
  // A later trial replaces the best only with a smaller cut: none is left to find below 0.
  for (int trial = 0; trial < ctrl.nruns && best > 0; ++trial) {
    if (ctype == 1) ctrl.CType = trial % 2 == 0 ? 1 : 2;
    MlevelBisect__(ctrl, *pruned);
    const bool improved_coarse = pruned->mincut < bestcoarse;
    if (improved_coarse) bestcoarse = pruned->mincut;
    take_pruned_bisection(ctrl, *pruned, graph);
    if (vcycle_now(ctrl.Vcycle, graph.mincut, best, improved_coarse)) VCycleRefinement__(ctrl, 10, graph);
    if (ctrl.Vcycle == 1) keep_if_among_best(nkept, graph, kept);
    if (ctrl.debug_level & 16)
      std::printf("    Cut of trial %4d:\t %6d [%4.2f]\n", trial, graph.mincut,
                  PartZeroShare__(graph, graph.where.data()));
    sumcut += graph.mincut;
    if (graph.mincut < best) {
      best = graph.mincut;
      std::copy(graph.where.begin(), graph.where.end(), part);
    }
  }
  ctrl.CType = ctype;
  if (ctrl.Vcycle == 1) best = vcycle_kept(ctrl, kept, best, part, graph);

  const int cut = ComputeCut__(graph, part);
  if (cut != best) std::printf("Wrong cut! %d %d\n", cut, best);
  if (ctrl.debug_level & (8 | 128))
    std::printf("    The mincut for this bisection = %d, (average = %3.1f) (balance = %4.2f)\n", best,
                static_cast<double>(sumcut) / ctrl.nruns, PartZeroShare__(graph, part));
  return best;
}
