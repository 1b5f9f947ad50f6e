#include "hgpart/basics.h"

int CoreWeight__(const hgraph& graph) {
  int total = 0;
  for (int v = 0; v < core_vertices(graph); ++v) total += graph.cellwgt[v];
  return total;
}

balance_bounds BalanceBounds__(const hgp_ctrl& ctrl, int total) {
  const float weight = static_cast<float>(total);
  return balance_bounds{{static_cast<int>(weight * (ctrl.target_fraction - ctrl.UBfactor)),
                         static_cast<int>(weight * ((1.0f - ctrl.target_fraction) - ctrl.UBfactor))}};
}

int ComputeCut__(const hgraph& graph, const int* where) {
  int cut = 0;
  for (int e = 0; e < graph.nedges; ++e) {
    bool seen[2] = {false, false};
    for (int i = graph.netptr[e]; i < graph.netptr[e + 1]; ++i) seen[where[graph.netind[i]]] = true;
    if (seen[0] && seen[1]) cut += graph.netwgt[e];
  }
  return cut;
}

float PartZeroShare__(const hgraph& graph, const int* where) {
  long part0 = 0, total = 0;
  for (int v = 0; v < graph.nvtxs; ++v) {
    total += graph.cellwgt[v];
    if (where[v] == 0) part0 += graph.cellwgt[v];
  }
  return total > 0 ? static_cast<float>(part0) / static_cast<float>(total) : 0.0f;
}
