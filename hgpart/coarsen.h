// Coarsening: the levels of the multilevel scheme, built by star matching, and the construction of
// a coarser hypergraph from a matching. The restricted coarsening of the V-cycles (ccoarsen.h)
// shares the visit order, the connection scan and the construction.
#pragma once

#include "hgpart/hgraph.h"

// Coarsens graph level by level until at most coarsen_to vertices remain or progress stalls (a
// level keeping more than a ratio of 0.8, relaxed once by 1.075); returns the coarsest level, or
// graph itself when it is small enough. The levels hang off graph.coarser.
hgraph& Coarsen__(const hgp_ctrl& ctrl, hgraph& graph);

// Star matching of the vertices in nets: each vertex, in visit order, joins the candidate it shares
// the most edgewgt with (over nets of at most maxsize vertices) while the merges so far are at most
// 0.4 x n. A candidate must stay within max_cell_weight together with the vertex, and, when where
// is given, lie on the vertex's side. Fills cellmap, mptr and mind; returns the coarse count.
int Match_EdgesStars__(const hgp_ctrl& ctrl, bool heavy_edge_order, const int* where, hgraph& graph);

// The coarser level from graph's matching: nets mapped to coarse vertices without repeats, nets
// left with one vertex dropped into rmnetwgt, identical nets merged with their weights added.
// keep_sides gives each coarse vertex the side of its vertices. Attaches and returns the level.
hgraph& CreateCoarseHGraph__(int cnvtxs, bool keep_sides, hgraph& graph);

// The visit order of the matchings: a quick shuffle of the vertices in nets, stably sorted by
// their number of nets capped at 50.
void CappedDegreeOrder__(const hgraph& graph, int* order);

// Stably re-sorts a visit order by 100 / (the vertex's strongest connection over nets of edgewgt
// at least 0.1 to a vertex it could merge with), so strongly tied vertices come first.
void HeavyEdgeOrder__(const hgp_ctrl& ctrl, const hgraph& graph, int* order);

// With debug level bit 1: one statistics line for a new level.
void PrintCoarseningStats__(const hgp_ctrl& ctrl, const hgraph& coarse);

// Connection weights from one vertex to its candidate partners, in the order first met while
// scanning the vertex's nets in order and their vertices in order. A candidate is listed once,
// however many nets it shares with the vertex. The weights sit beside the candidates, so that the
// choice of a partner reads them in order instead of across a per-vertex array.
struct connection {
  int vertex;   // the candidate
  float weight; // sum of edgewgt over the nets it shares with the scanned vertex
};

struct connection_slot {
  int scan = 0;    // the scan that last listed the vertex
  int listed = 0;  // its position in touched during that scan
};

struct connection_scan {
  hgp_array<connection_slot> slots; // [0, n) per vertex
  hgp_array<connection> touched;    // [0, ntouched) the candidates in the order first met
  int ntouched = 0;
  int current = 1;                  // number of the scan under way
};

void init_connection_scan(int n, connection_scan& scan);

// Adds edgewgt[e] to every vertex u != v of every net e of v with net_ok(e) and listed(u). Tests
// that depend on the vertex alone, not on the net, are cheaper applied once per listed candidate
// afterwards: the candidates that pass keep their order and their weights.
template <typename NetOk, typename Listed>
void scan_connections(int v, const hgraph& graph, NetOk net_ok, Listed listed, connection_scan& scan) {
  for (int i = graph.incptr[v]; i < graph.incptr[v + 1]; ++i) {
    const int e = graph.incind[i];
    if (!net_ok(e)) continue;
    const float weight = graph.edgewgt[e];
    for (int j = graph.netptr[e]; j < graph.netptr[e + 1]; ++j) {
      const int u = graph.netind[j];
      if (u == v || !listed(u)) continue;
      connection_slot& slot = scan.slots[u];
      if (slot.scan != scan.current) {
        slot.scan = scan.current;
        slot.listed = scan.ntouched;
        scan.touched[scan.ntouched++] = connection{u, 0.0f};
      }
      scan.touched[slot.listed].weight += weight;
    }
  }
}

// Forgets the listed candidates, ready for the next vertex.
void clear_connections(connection_scan& scan);
