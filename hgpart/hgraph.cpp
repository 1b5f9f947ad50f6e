#include "hgpart/hgraph.h"

#include <algorithm>

void free_hgraph(std::unique_ptr<hgraph>& graph) { graph.reset(); }

std::unique_ptr<hgraph> SetupHGraph__(int nvtxs, int nedges, const int* vwgts, const int* eptr, const int* eind,
                                      const int* hewgts) {
  auto graph = std::make_unique<hgraph>();
  graph->nvtxs = nvtxs;
  graph->nedges = nedges;
  graph->cellwgt = hgp_array<int>(nvtxs, 1, "HGP: graph->cellwgt");
  if (vwgts) graph->cellwgt.assign_from(vwgts, nvtxs);
  graph->netwgt = hgp_array<int>(nedges, 1, "HGP: graph->netwgt");
  if (hewgts) graph->netwgt.assign_from(hewgts, nedges);

  // INVARIANT: the gain and side-count bookkeeping counts each vertex of a net once.
  const int npins = nedges > 0 ? eptr[nedges] - eptr[0] : 0;
  graph->netptr = hgp_array<int>(nedges + 1, "HGP: graph->netptr");
  graph->netind = hgp_array<int>(npins, "HGP: graph->netind");
  hgp_array<int> seen_in(nvtxs, -1, "HGP: seen_in");
  int npinned = 0;
  for (int e = 0; e < nedges; ++e) {
    for (int i = eptr[e]; i < eptr[e + 1]; ++i) {
      const int v = eind[i];
      if (seen_in[v] == e) continue;
      seen_in[v] = e;
      graph->netind[npinned++] = v;
    }
    graph->netptr[e + 1] = npinned;
  }
  return graph;
}

void BuildIncidence__(hgraph& graph) {
  graph.incptr = hgp_array<int>(graph.nvtxs + 1, "HGP: graph->incptr");
  graph.incind = hgp_array<int>(graph.netptr[graph.nedges], "HGP: graph->incind");
  graph.adjwgt = hgp_array<int>(graph.nvtxs, "HGP: graph->adjwgt");
  graph.edgewgt = hgp_array<float>(graph.nedges, "HGP: graph->edgewgt");

  for (int e = 0; e < graph.nedges; ++e)
    for (int i = graph.netptr[e]; i < graph.netptr[e + 1]; ++i) ++graph.incptr[graph.netind[i] + 1];
  for (int v = 0; v < graph.nvtxs; ++v) graph.incptr[v + 1] += graph.incptr[v];
  hgp_array<int> fill(graph.nvtxs, "HGP: incidence fill");
  fill.assign_from(graph.incptr.data(), graph.nvtxs);
  for (int e = 0; e < graph.nedges; ++e) {
    const int size = net_size(graph, e);
    // A net of fewer than two vertices never joins two vertices: it adds nothing to a match.
    graph.edgewgt[e] = size >= 2 ? static_cast<float>(graph.netwgt[e]) / static_cast<float>(size - 1) : 0.0f;
    for (int i = graph.netptr[e]; i < graph.netptr[e + 1]; ++i) {
      const int v = graph.netind[i];
      graph.incind[fill[v]++] = e;
      graph.adjwgt[v] += graph.netwgt[e];
    }
  }
}

std::unique_ptr<hgraph> PrunedCopy__(int maxsize, const hgraph& graph) {
  auto pruned = std::make_unique<hgraph>();
  pruned->nvtxs = graph.nvtxs;
  pruned->cellwgt = hgp_array<int>(graph.nvtxs, "HGP: pruned->cellwgt");
  pruned->cellwgt.assign_from(graph.cellwgt.data(), graph.nvtxs);

  int nkept = 0, npins = 0;
  for (int e = 0; e < graph.nedges; ++e) {
    if (net_size(graph, e) > maxsize) continue;
    ++nkept;
    npins += net_size(graph, e);
  }
  pruned->nedges = nkept;
  pruned->netptr = hgp_array<int>(nkept + 1, "HGP: pruned->netptr");
  pruned->netind = hgp_array<int>(npins, "HGP: pruned->netind");
  pruned->netwgt = hgp_array<int>(nkept, "HGP: pruned->netwgt");
  int k = 0;
  for (int e = 0; e < graph.nedges; ++e) {
    if (net_size(graph, e) > maxsize) continue;
    const int* pins = graph.netind.data() + graph.netptr[e];
    const int start = pruned->netptr[k];
    std::copy(pins, pins + net_size(graph, e), pruned->netind.data() + start);
    pruned->netwgt[k] = graph.netwgt[e];
    pruned->netptr[++k] = start + net_size(graph, e);
  }
  BuildIncidence__(*pruned);
  return pruned;
}

void AllocateRefinementState__(hgraph& graph) {
  const auto nvtxs = static_cast<std::size_t>(graph.nvtxs), nedges = static_cast<std::size_t>(graph.nedges);
  if (graph.where.size() == nvtxs && graph.gain.size() == nvtxs && graph.ndeg[0].size() == nedges)
    return;
  graph.where = hgp_array<int>(graph.nvtxs, "HGP: graph->where");
  graph.gain = hgp_array<int>(graph.nvtxs, "HGP: graph->gain");
  for (int side = 0; side < 2; ++side) {
    graph.ndeg[side] = hgp_array<int>(graph.nedges, "HGP: graph->ndeg");
    graph.netxor[side] = hgp_array<int>(graph.nedges, "HGP: graph->netxor");
  }
}

void BuildMatchMaps__(int cnvtxs, hgraph& graph) {
  const int n = core_vertices(graph);
  graph.mptr = hgp_array<int>(cnvtxs + 1, "HGP: graph->mptr");
  graph.mind = hgp_array<int>(n, "HGP: graph->mind");
  for (int v = 0; v < n; ++v) ++graph.mptr[graph.cellmap[v] + 1];
  for (int c = 0; c < cnvtxs; ++c) graph.mptr[c + 1] += graph.mptr[c];
  hgp_array<int> fill(cnvtxs, "HGP: mind fill");
  fill.assign_from(graph.mptr.data(), cnvtxs);
  for (int v = 0; v < n; ++v) graph.mind[fill[graph.cellmap[v]]++] = v;
}

namespace {
// Moves the entries of a per-vertex array to their new positions (empty arrays stay empty).
void permute(const hgp_array<int>& newnum, hgp_array<int>& values) {
  if (values.empty()) return;
  hgp_array<int> moved(values.size(), "HGP: permuted vertex array");
  for (std::size_t v = 0; v < values.size(); ++v) moved[newnum[v]] = values[v];
  values = std::move(moved);
}

// Renumbers every vertex v as newnum[v]: the nets, the per-vertex arrays and the incidence.
void renumber_vertices(const hgp_array<int>& newnum, hgraph& graph) {
  for (int& v : graph.netind) v = newnum[v];
  permute(newnum, graph.cellwgt);
  permute(newnum, graph.label);
  permute(newnum, graph.where);
  permute(newnum, graph.gain);
  BuildIncidence__(graph);
}
}  // namespace

void MoveIslands__(hgraph& graph) {
  int nislands = 0;
  for (int v = 0; v < graph.nvtxs; ++v) nislands += graph.incptr[v] == graph.incptr[v + 1];
  graph.nislands = nislands;
  if (nislands == 0) return;

  hgp_array<int> newnum(graph.nvtxs, "HGP: island newnum");
  int next_core = 0, next_island = graph.nvtxs - nislands;
  for (int v = 0; v < graph.nvtxs; ++v)
    newnum[v] = graph.incptr[v] == graph.incptr[v + 1] ? next_island++ : next_core++;
  renumber_vertices(newnum, graph);

  if (graph.finer) {
    for (int& c : graph.finer->cellmap) c = newnum[c];
    BuildMatchMaps__(graph.nvtxs, *graph.finer);
    return;
  }
  graph.islandmap = hgp_array<int>(graph.nvtxs, "HGP: graph->islandmap");
  for (int v = 0; v < graph.nvtxs; ++v) graph.islandmap[newnum[v]] = v;
}

void RestoreIslandOrder__(hgraph& graph) {
  if (graph.islandmap.empty()) return;
  renumber_vertices(graph.islandmap, graph);
  graph.islandmap = hgp_array<int>();
  graph.nislands = 0;
}
