#include "hgpart/initpart.h"

#include <cstdio>

#include "hgpart/basics.h"
#include "hgpart/fm.h"
#include "hgpart/refine.h"
#include "hgpart/util.h"

namespace {
// In shuffled order, part 0 takes vertices while it weighs less than the target.
void random_split(int target, hgp_array<int>& perm, hgraph& graph) {
  const int n = core_vertices(graph);
  for (int v = 0; v < n; ++v) perm[v] = v;
  FullShuffle__(n, perm.data());
  int part0 = 0;
  for (int i = 0; i < n; ++i) {
    const int v = perm[i];
    graph.where[v] = part0 < target ? 0 : 1;
    if (graph.where[v] == 0) part0 += graph.cellwgt[v];
  }
}
// A try replaces the best only with a smaller cut, so a cut of 0 is final, and the remaining
// tries would only draw numbers. When the level is the top of a hypergraph of at most maxsize
// vertices, nothing after this step draws any: the hypergraph is not coarsened (not even in a
// V-cycle), no net was left out for FM to take back, and a trial of cut 0 ends the bisection's
// trials. The skipped tries then change nothing.
bool settled_at_zero(const hgp_ctrl& ctrl, int bestcut, int tries_made, const hgraph& graph) {
  return tries_made > 0 && bestcut == 0 && !graph.finer && graph.nvtxs <= ctrl.maxsize &&
         graph.nvtxs <= ctrl.coarsen_to;
}
}  // namespace

void Random_FMPartition__(const hgp_ctrl& ctrl, hgraph& graph) {
  const int n = core_vertices(graph);
  const int ntries = ctrl.Nparts > 64 ? 10 : 20;
  const int target = static_cast<int>(static_cast<float>(CoreWeight__(graph)) * ctrl.target_fraction);
  AllocateRefinementState__(graph);
  auto workspace = construct_fm_workspace(graph);
  hgp_array<int> perm(n, "HGP: initpart perm");
  hgp_array<int> bestwhere(n, "HGP: initpart bestwhere");
  int bestcut = 0;
  bool last_is_best = false;
  for (int t = 0; t < ntries && !settled_at_zero(ctrl, bestcut, t, graph); ++t) {
    random_split(target, perm, graph);
    ComputeInitGains__(graph);
    const int initcut = graph.mincut;
    Balance__(ctrl, *workspace, graph);
    RefineFMByCells__(ctrl, 10, *workspace, graph);
    if (ctrl.debug_level & 2) std::printf("%5d %5d %5d\n", initcut, graph.mincut, graph.pwgts[0]);
    last_is_best = t == 0 || graph.mincut < bestcut;
    if (last_is_best) {
      bestcut = graph.mincut;
      bestwhere.assign_from(graph.where.data(), n);
    }
  }
  if (!last_is_best) {
    graph.where.assign_from(bestwhere.data(), n);
    ComputeInitGains__(graph);
  }
  if (ctrl.debug_level & 2) std::printf("Bestcut Icut: %5d\n", bestcut);
}
