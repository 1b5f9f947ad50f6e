// The partitioner's records: the control record of one call and the hypergraph of one level of the
// multilevel scheme, with the helpers that build and reshape it.
#pragma once

#include <memory>

#include "hgpart/memory.h"

// Settings of one HGP_PartRecursive call, read by every step.
struct hgp_ctrl {
  int coarsen_to = 100;     // coarsening stops at this many vertices (1000 while a V-cycle runs)
  int CType = 1;            // matching scheme: 1 to 5 (0 and 1 inside a V-cycle: star, pairs)
  int RType = 1;            // refinement scheme: 1 to 3
  int nruns = 10;           // independent bisection trials
  int Vcycle = 1;           // V-cycle policy: 0 to 3
  int Reconst = 0;          // 0 or 1; no step on the bisection path reads it
  int Fixed = 0;            // 0 or 1: whether the part array brings pre-assigned vertices
  int seed = -1;            // of drand48; negative: the current time
  int debug_level = 0;      // bit set of diagnostic prints
  int maxsize = 50;         // larger nets take no part in coarsening and initial partitioning
  float UBfactor = 0.25f;   // allowed deviation from the target share, as a fraction of the total
  int Nparts = 2;           // parts asked for
  bool cells_heavy = false; // some vertex outweighs the coarsening limit: FM keeps moves in bounds
  float target_fraction = 0.5f; // share of the total weight that part 0 should get
  int max_cell_weight = 0;  // the heaviest a merged vertex may become, per bisection
};

// One level of the multilevel scheme. Vertices [0, nvtxs - nislands) lie in nets; the islands
// (in no net) sit behind them once coarsening has moved them there.
struct hgraph {
  int nvtxs = 0;            // vertices
  int nedges = 0;           // nets
  hgp_array<int> netptr;    // [0, nedges]: net e is netind[netptr[e], netptr[e + 1])
  hgp_array<int> netind;    // vertices of the nets, distinct within a net
  hgp_array<int> incptr;    // [0, nvtxs]: vertex v is in the nets incind[incptr[v], incptr[v + 1])
  hgp_array<int> incind;    // nets of the vertices, ascending per vertex
  hgp_array<int> cellwgt;   // [0, nvtxs) vertex weights
  hgp_array<int> netwgt;    // [0, nedges) net weights
  hgp_array<int> adjwgt;    // [0, nvtxs) sum of the weights of the vertex's nets: its largest gain
  hgp_array<float> edgewgt; // [0, nedges) netwgt / (size - 1): what the net adds to a match
  int nislands = 0;         // vertices in no net, moved behind the others while coarsening
  int rmnetwgt = 0;         // weight of the nets that shrank to one vertex, down to this level
  hgp_array<int> islandmap; // top level only, while its islands are moved: position -> old vertex
  hgp_array<int> cellmap;   // [0, nvtxs - nislands) the coarse vertex of each vertex
  hgp_array<int> mptr;      // [0, coarse nvtxs]: coarse vertex c merges mind[mptr[c], mptr[c + 1])
  hgp_array<int> mind;      // the vertices merged into each coarse vertex
  hgp_array<int> netmap;    // [0, nedges) the coarse net of each net, -1 when it was dropped
  hgp_array<int> label;     // top level only: the vertex's number in the caller's hypergraph
  std::unique_ptr<hgraph> coarser; // the next level down, owned
  hgraph* finer = nullptr;  // the level this one was built from, or none at the top
  int level = 0;            // 0 at the top, one more per coarsening step

  // Refinement state, allocated when the level is first refined.
  hgp_array<int> where;     // [0, nvtxs) side of each vertex, 0 or 1
  int mincut = 0;           // weight of the nets with vertices on both sides
  int pwgts[2] = {0, 0};    // weights of the two sides
  hgp_array<int> gain;      // [0, nvtxs) cut reduction if the vertex changed sides
  hgp_array<int> ndeg[2];   // [0, nedges) vertices of each net on side 0 and on side 1
  hgp_array<int> netxor[2]; // [0, nedges) xor of the numbers of those vertices: the one itself when
                            // a side holds only one, which a move then finds without a scan
};

void free_hgraph(std::unique_ptr<hgraph>& graph);

// Vertices that lie in some net: the part of the level that coarsening and refinement work on.
inline int core_vertices(const hgraph& graph) { return graph.nvtxs - graph.nislands; }
inline int net_size(const hgraph& graph, int e) { return graph.netptr[e + 1] - graph.netptr[e]; }

// The top-level hypergraph from the caller's arrays (null weights mean 1 each). A vertex listed
// twice in one net counts once there. The arrays must be valid (HGP_PartRecursive checks them).
std::unique_ptr<hgraph> SetupHGraph__(int nvtxs, int nedges, const int* vwgts, const int* eptr, const int* eind,
                                      const int* hewgts);

// Builds incptr/incind, adjwgt and edgewgt from the nets.
void BuildIncidence__(hgraph& graph);

// The same vertices and weights with only the nets of at most maxsize vertices, with incidence.
std::unique_ptr<hgraph> PrunedCopy__(int maxsize, const hgraph& graph);

// mptr/mind from cellmap: the vertices of each of the cnvtxs coarse vertices, ascending.
void BuildMatchMaps__(int cnvtxs, hgraph& graph);

// Allocates where, gain and the side counts if the level does not have them yet.
void AllocateRefinementState__(hgraph& graph);

// Moves the island vertices behind the others, keeping the order of the rest, and sets nislands.
// Below the top the finer level's cellmap, mptr and mind follow the new numbers; the top level
// keeps islandmap so that RestoreIslandOrder__ can bring its old order back.
void MoveIslands__(hgraph& graph);
void RestoreIslandOrder__(hgraph& graph);
