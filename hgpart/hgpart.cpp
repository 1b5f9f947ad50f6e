#include "hgpart/hgpart.h"

#include <climits>
#include <memory>
#include <string>

#include "hgpart/hgraph.h"
#include "hgpart/memory.h"
#include "hgpart/mlevelpart.h"
#include "hgpart/util.h"

namespace {
thread_local std::string last_error;

hgp_ctrl setup_ctrl(int nparts, int ubfactor, const int* options) {
  hgp_ctrl ctrl;
  if (options && options[0] != 0) {
    ctrl.nruns = options[1];
    ctrl.CType = options[2];
    ctrl.RType = options[3];
    ctrl.Vcycle = options[4];
    ctrl.Reconst = options[5];
    ctrl.Fixed = options[6];
    ctrl.seed = options[7];
    ctrl.debug_level = options[8];
  }
  ctrl.Nparts = nparts;
  ctrl.UBfactor = static_cast<float>(ubfactor) / 100.0f;

  if (nparts < 2) hgp_fail("Nparts should be at least 2.\n");
  if (ubfactor < 1 || ubfactor > 49) hgp_fail("UBfactor should be between 1 and 49.\n");
  if (ctrl.nruns < 1) hgp_fail("Nruns should be at least 1.\n");
  if (ctrl.CType < 1 || ctrl.CType > 5) hgp_fail("Ctype should be between 1 and 5.\n");
  if (ctrl.RType < 1 || ctrl.RType > 3) hgp_fail("Rtype should be between 1 and 3.\n");
  if (ctrl.Vcycle < 0 || ctrl.Vcycle > 3) hgp_fail("Vcycle should be between 0 and 3.\n");
  if (ctrl.Reconst < 0 || ctrl.Reconst > 1) hgp_fail("Reconst should be between 0 and 1.\n");
  if (ctrl.Fixed < 0 || ctrl.Fixed > 1) hgp_fail("Fixed should be between 0 and 1.\n");

  // Schemes the program never asks for are not built: say so instead of partitioning differently.
  if (nparts > 2) hgp_fail("Nparts %d is not supported: only bisection (Nparts 2) is available.\n", nparts);
  if (ctrl.CType > 3)
    hgp_fail("Ctype %d is not supported: only star matching (Ctype 1 to 3) is available.\n", ctrl.CType);
  if (ctrl.RType > 2)
    hgp_fail("Rtype %d is not supported: only FM refinement (Rtype 1 and 2) is available.\n", ctrl.RType);
  if (ctrl.Fixed) hgp_fail("Fixed vertices are not supported.\n");

  ctrl.target_fraction = static_cast<float>(nparts / 2) / static_cast<float>(nparts);
  return ctrl;
}

// The caller's arrays must describe a hypergraph the partitioner can index safely.
void check_hypergraph(int nvtxs, int nhedges, const int* vwgts, const int* eptr, const int* eind,
                      const int* hewgts, const int* part) {
  if (nvtxs < 0 || nhedges < 0) hgp_fail("The vertex and net counts should not be negative.\n");
  if (!eptr || (nvtxs > 0 && !part) || (nhedges > 0 && !eind))
    hgp_fail("The net pointers, net vertices and part array should be given.\n");
  if (eptr[0] < 0) hgp_fail("Net %d has an invalid range of vertices.\n", 0);
  for (int e = 0; e < nhedges; ++e) {
    if (eptr[e + 1] < eptr[e]) hgp_fail("Net %d has an invalid range of vertices.\n", e);
    for (int i = eptr[e]; i < eptr[e + 1]; ++i)
      if (eind[i] < 0 || eind[i] >= nvtxs)
        hgp_fail("Net %d has vertex %d, outside 0 to %d.\n", e, eind[i], nvtxs - 1);
  }
  // Part weights, cuts and gains are ints: every total must fit one, with room for the cut bound.
  const auto check_weights = [](int n, const int* weights) {
    long total = 0;
    for (int i = 0; weights && i < n; ++i) {
      if (weights[i] < 0) hgp_fail("Vertex and net weights should not be negative.\n");
      total += weights[i];
      if (total >= INT_MAX) hgp_fail("The total vertex or net weight is too large.\n");
    }
  };
  check_weights(nvtxs, vwgts);
  check_weights(nhedges, hewgts);
}

// Recursive bisection for two parts: one bisection, written through the labels.
int part_recursive(hgp_ctrl& ctrl, hgraph& graph, int* part) {
  graph.label = hgp_array<int>(graph.nvtxs, "HGP: graph->label");
  for (int v = 0; v < graph.nvtxs; ++v) graph.label[v] = v;
  hgp_array<int> bisection(graph.nvtxs, "HGP: bisection");
  const int cut = Hypergraph_Bisection__(ctrl, graph, bisection.data());
  for (int v = 0; v < graph.nvtxs; ++v) part[graph.label[v]] = bisection[v];
  return cut;
}
}  // namespace

int HGP_PartRecursive(int nvtxs, int nhedges, const int* vwgts, const int* eptr, const int* eind,
                      const int* hewgts, int nparts, int ubfactor, const int* options, int* part, int* edgecut) {
  try {
    hgp_ctrl ctrl = setup_ctrl(nparts, ubfactor, options);
    check_hypergraph(nvtxs, nhedges, vwgts, eptr, eind, hewgts, part);
    std::unique_ptr<hgraph> graph = SetupHGraph__(nvtxs, nhedges, vwgts, eptr, eind, hewgts);
    const int cut = part_recursive(ctrl, *graph, part);
    free_hgraph(graph);
    if (edgecut) *edgecut = cut;
    return cut;
  } catch (hgp_error& error) {
    last_error = std::move(error.message);
    return HGP_ERROR;
  }
}

const char* HGP_LastError() { return last_error.c_str(); }
