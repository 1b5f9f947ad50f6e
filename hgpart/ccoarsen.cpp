#include "hgpart/ccoarsen.h"

#include "hgpart/coarsen.h"
#include "hgpart/util.h"

int CMatch_Edges__(const hgp_ctrl& ctrl, hgraph& graph) {
  const int n = core_vertices(graph);
  hgp_array<int> order(n, "HGP: cmatch order");
  CappedDegreeOrder__(graph, order.data());
  graph.cellmap = hgp_array<int>(n, -1, "HGP: graph->cellmap");
  connection_scan scan;
  init_connection_scan(n, scan);
  int cnvtxs = 0;
  for (int i = 0; i < n; ++i) {
    const int v = order[i];
    if (graph.cellmap[v] != -1) continue;
    const int limit = ctrl.max_cell_weight - graph.cellwgt[v];
    scan_connections(
        v, graph, [&](int e) { return net_size(graph, e) <= ctrl.maxsize; },
        [&](int u) { return graph.cellmap[u] == -1 && graph.where[u] == graph.where[v]; }, scan);
    // The strongest candidate that fits, the lighter on a tie; weaker ones are passed over unread.
    const connection* best = nullptr;
    for (int k = 0; k < scan.ntouched; ++k) {
      const connection& candidate = scan.touched[k];
      if (best && candidate.weight < best->weight) continue;
      const int weight = graph.cellwgt[candidate.vertex];
      if (weight > limit) continue;
      if (!best || candidate.weight > best->weight || weight < graph.cellwgt[best->vertex]) best = &candidate;
    }
    const int partner = best ? best->vertex : -1;
    clear_connections(scan);
    graph.cellmap[v] = cnvtxs;
    if (partner != -1) graph.cellmap[partner] = cnvtxs;
    ++cnvtxs;
  }
  BuildMatchMaps__(cnvtxs, graph);
  return cnvtxs;
}

namespace {
int match_within_sides(const hgp_ctrl& ctrl, hgraph& graph) {
  switch (ctrl.CType) {
    case 0:
      return Match_EdgesStars__(ctrl, false, graph.where.data(), graph);
    case 1:
      return CMatch_Edges__(ctrl, graph);
    default:
      hgp_fail("Unknown matching type! %d\n", ctrl.CType);
  }
}
}  // namespace

hgraph& CCoarsen__(const hgp_ctrl& ctrl, hgraph& graph) {
  if (graph.nvtxs <= ctrl.coarsen_to) return graph;
  hgraph* fine = &graph;
  for (;;) {
    MoveIslands__(*fine);
    const int cnvtxs = match_within_sides(ctrl, *fine);
    hgraph& coarse = CreateCoarseHGraph__(cnvtxs, true, *fine);
    PrintCoarseningStats__(ctrl, coarse);
    if (static_cast<float>(coarse.nvtxs) > 0.8f * static_cast<float>(fine->nvtxs) || coarse.nvtxs == fine->nvtxs ||
        coarse.nvtxs <= ctrl.coarsen_to)
      return coarse;
    fine = &coarse;
  }
}
