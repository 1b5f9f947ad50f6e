#include "hgpart/coarsen.h"

#include <algorithm>
#include <cstdio>

#include "hgpart/ikeysort.h"
#include "hgpart/util.h"

namespace {
constexpr int kDegreeCap = 50;          // degrees above this sort together
constexpr float kHeavyEdgeWeight = 0.1f; // lighter nets do not count for the heavy-edge order
constexpr double kMergeShare = 0.4;      // merges per level, as a share of the vertices in nets
}  // namespace

void init_connection_scan(int n, connection_scan& scan) {
  scan.slots = hgp_array<connection_slot>(n, "HGP: scan->slots");
  scan.touched = hgp_array<connection>(n, "HGP: scan->touched");
  scan.ntouched = 0;
  scan.current = 1;
}

void clear_connections(connection_scan& scan) {
  scan.ntouched = 0;
  ++scan.current;
}

// ---------------------------------------------------------------------------------------------
// Visit orders
// ---------------------------------------------------------------------------------------------
namespace {
void sort_order_by_keys(int n, const int* key_of, int* order) {
  hgp_array<KeyValueType> items(n, "HGP: order items");
  for (int i = 0; i < n; ++i) items[i] = KeyValueType{key_of[order[i]], order[i]};
  ikeysort(n, items.data());
  for (int i = 0; i < n; ++i) order[i] = items[i].val;
}
}  // namespace

void CappedDegreeOrder__(const hgraph& graph, int* order) {
  const int n = core_vertices(graph);
  QuickShuffle__(n, order);
  hgp_array<int> degree(n, "HGP: capped degrees");
  for (int v = 0; v < n; ++v) degree[v] = std::min(graph.incptr[v + 1] - graph.incptr[v], kDegreeCap);
  sort_order_by_keys(n, degree.data(), order);
}

void HeavyEdgeOrder__(const hgp_ctrl& ctrl, const hgraph& graph, int* order) {
  const int n = core_vertices(graph);
  hgp_array<int> key(n, "HGP: heavy-edge keys");
  connection_scan scan;
  init_connection_scan(n, scan);
  int maxkey = 0;
  for (int v = 0; v < n; ++v) {
    const int limit = ctrl.max_cell_weight - graph.cellwgt[v];
    scan_connections(
        v, graph,
        [&](int e) { return graph.edgewgt[e] >= kHeavyEdgeWeight && net_size(graph, e) <= ctrl.maxsize; },
        [](int) { return true; }, scan);
    bool mergeable = false;
    float strongest = 0.0f;
    for (int k = 0; k < scan.ntouched; ++k) {
      const connection& candidate = scan.touched[k];
      if ((mergeable && candidate.weight <= strongest) || graph.cellwgt[candidate.vertex] > limit) continue;
      mergeable = true;
      strongest = candidate.weight;
    }
    key[v] = mergeable ? static_cast<int>(100.0f / strongest) : -1;
    maxkey = std::max(maxkey, key[v]);
    clear_connections(scan);
  }
  for (int v = 0; v < n; ++v)
    if (key[v] == -1) key[v] = maxkey + 1;
  sort_order_by_keys(n, key.data(), order);
}

// ---------------------------------------------------------------------------------------------
// Star matching
// ---------------------------------------------------------------------------------------------
namespace {
// The best partner among the scanned candidates that fit: the strongest connection; on a tie a
// later candidate replaces one that already belongs to a coarse vertex. A weaker candidate than
// the best so far cannot win, so it is passed over before its weights are looked up.
template <typename Fits>
int strongest_candidate(const connection_scan& scan, const int* cellmap, Fits fits) {
  const connection* best = nullptr;
  for (int k = 0; k < scan.ntouched; ++k) {
    const connection& candidate = scan.touched[k];
    if (best && (candidate.weight < best->weight || (candidate.weight == best->weight && cellmap[best->vertex] == -1)))
      continue;
    if (fits(candidate.vertex)) best = &candidate;
  }
  return best ? best->vertex : -1;
}
}  // namespace

int Match_EdgesStars__(const hgp_ctrl& ctrl, bool heavy_edge_order, const int* where, hgraph& graph) {
  const int n = core_vertices(graph);
  hgp_array<int> order(n, "HGP: match order");
  CappedDegreeOrder__(graph, order.data());
  if (heavy_edge_order) HeavyEdgeOrder__(ctrl, graph, order.data());

  graph.cellmap = hgp_array<int>(n, -1, "HGP: graph->cellmap");
  hgp_array<int> cwgt(n, "HGP: coarse weights");
  connection_scan scan;
  init_connection_scan(n, scan);
  int cnvtxs = 0, nmerges = 0;
  for (int i = 0; i < n; ++i) {
    const int v = order[i];
    if (graph.cellmap[v] != -1) continue;
    int partner = -1;
    if (nmerges <= kMergeShare * n) {
      const int limit = ctrl.max_cell_weight - graph.cellwgt[v];
      scan_connections(
          v, graph, [&](int e) { return net_size(graph, e) <= ctrl.maxsize; },
          [&](int u) { return !where || where[u] == where[v]; }, scan);
      partner = strongest_candidate(scan, graph.cellmap.data(), [&](int u) {
        const int c = graph.cellmap[u];
        return graph.cellwgt[u] <= limit && (c == -1 || cwgt[c] <= limit);
      });
      clear_connections(scan);
    }
    if (partner == -1) {
      graph.cellmap[v] = cnvtxs;
      cwgt[cnvtxs++] = graph.cellwgt[v];
      continue;
    }
    ++nmerges;
    if (graph.cellmap[partner] == -1) {
      graph.cellmap[partner] = cnvtxs;
      cwgt[cnvtxs++] = graph.cellwgt[partner];
    }
    graph.cellmap[v] = graph.cellmap[partner];
    cwgt[graph.cellmap[v]] += graph.cellwgt[v];
  }
  BuildMatchMaps__(cnvtxs, graph);
  return cnvtxs;
}

// ---------------------------------------------------------------------------------------------
// The coarser hypergraph
// ---------------------------------------------------------------------------------------------
namespace {
// Nets of the coarse level before identical ones are merged.
struct contracted_nets {
  int count = 0;         // nets kept
  hgp_array<int> ptr;    // [0, count] start of each net in ind
  hgp_array<int> ind;    // coarse vertices, ascending within a net
  hgp_array<int> wgt;    // [0, count) weights
  hgp_array<int> source; // [0, count) the fine net each came from
};

// Calls visit(c, e) once for every coarse vertex c and every net e that holds one of c's vertices,
// with c ascending: walking the coarse vertices in order lists each net's coarse vertices already
// sorted. last_vertex is a per-net scratch that must not hold any coarse vertex number on entry.
template <typename Visit>
void for_each_coarse_pin(int cnvtxs, const hgraph& graph, hgp_array<int>& last_vertex, Visit visit) {
  for (int c = 0; c < cnvtxs; ++c)
    for (int k = graph.mptr[c]; k < graph.mptr[c + 1]; ++k) {
      const int v = graph.mind[k];
      for (int i = graph.incptr[v]; i < graph.incptr[v + 1]; ++i) {
        const int e = graph.incind[i];
        if (last_vertex[e] == c) continue;
        last_vertex[e] = c;
        visit(c, e);
      }
    }
}

// Maps every net to the coarse vertices of its vertices, once each and ascending; nets left with
// fewer than two vertices are dropped and their weight added to the coarse level's rmnetwgt.
contracted_nets contract_nets(int cnvtxs, const hgraph& graph, hgraph& coarse) {
  hgp_array<int> last_vertex(graph.nedges, -1, "HGP: contract marker");
  hgp_array<int> fill(graph.nedges, "HGP: contracted sizes");
  for_each_coarse_pin(cnvtxs, graph, last_vertex, [&](int, int e) { ++fill[e]; });

  contracted_nets nets;
  nets.ptr = hgp_array<int>(graph.nedges + 1, "HGP: contracted ptr");
  nets.wgt = hgp_array<int>(graph.nedges, "HGP: contracted wgt");
  nets.source = hgp_array<int>(graph.nedges, "HGP: contracted source");
  int npins = 0;
  for (int e = 0; e < graph.nedges; ++e) {
    const int size = fill[e];
    if (size < 2) {
      coarse.rmnetwgt += graph.netwgt[e];
      fill[e] = -1;
      continue;
    }
    fill[e] = npins;
    npins += size;
    nets.wgt[nets.count] = graph.netwgt[e];
    nets.source[nets.count] = e;
    nets.ptr[++nets.count] = npins;
  }

  nets.ind = hgp_array<int>(npins, "HGP: contracted ind");
  last_vertex.fill(-1);
  for_each_coarse_pin(cnvtxs, graph, last_vertex, [&](int c, int e) {
    if (fill[e] != -1) nets.ind[fill[e]++] = c;
  });
  return nets;
}

bool same_vertices(const contracted_nets& nets, int a, int b) {
  return std::equal(&nets.ind[nets.ptr[a]], nets.ind.data() + nets.ptr[a + 1], &nets.ind[nets.ptr[b]]);
}

// Merges each net into the first identical one (weights added); returns, per net, the net it was
// merged into, or itself. Nets are grouped by the key size + 100 x sum of i x (i-th vertex), in
// wrapping unsigned arithmetic, and a net is compared with the following nets of its key and size.
hgp_array<int> merge_identical_nets(contracted_nets& nets) {
  hgp_array<KeyValueType> items(nets.count, "HGP: net keys");
  for (int k = 0; k < nets.count; ++k) {
    const int size = nets.ptr[k + 1] - nets.ptr[k];
    unsigned key = static_cast<unsigned>(size);
    const int* vertices = &nets.ind[nets.ptr[k]];
    for (int i = 0; i < size; ++i) key += 100u * static_cast<unsigned>(i + 1) * static_cast<unsigned>(vertices[i]);
    items[k] = KeyValueType{static_cast<int>(key), k};
  }
  ikeysort(nets.count, items.data());

  hgp_array<int> merged_into(nets.count, "HGP: merged_into");
  for (int k = 0; k < nets.count; ++k) merged_into[k] = k;
  for (int a = 0; a < nets.count; ++a) {
    const int x = items[a].val;
    if (merged_into[x] != x) continue;
    const int size = nets.ptr[x + 1] - nets.ptr[x];
    for (int b = a + 1; b < nets.count && items[b].key == items[a].key; ++b) {
      const int y = items[b].val;
      if (nets.ptr[y + 1] - nets.ptr[y] != size) break;
      if (merged_into[y] != y || !same_vertices(nets, x, y)) continue;
      merged_into[y] = x;
      nets.wgt[x] += nets.wgt[y];
    }
  }
  return merged_into;
}

// The surviving nets, in their original order, become the coarse level's nets.
void store_coarse_nets(const contracted_nets& nets, const hgp_array<int>& merged_into, hgraph& graph,
                       hgraph& coarse) {
  hgp_array<int> newnum(nets.count, "HGP: coarse net numbers");
  int ncoarse = 0, npins = 0;
  for (int k = 0; k < nets.count; ++k) {
    if (merged_into[k] != k) continue;
    newnum[k] = ncoarse++;
    npins += nets.ptr[k + 1] - nets.ptr[k];
  }
  coarse.nedges = ncoarse;
  coarse.netptr = hgp_array<int>(ncoarse + 1, "HGP: coarse->netptr");
  coarse.netind = hgp_array<int>(npins, "HGP: coarse->netind");
  coarse.netwgt = hgp_array<int>(ncoarse, "HGP: coarse->netwgt");
  graph.netmap = hgp_array<int>(graph.nedges, -1, "HGP: graph->netmap");
  for (int k = 0; k < nets.count; ++k) {
    // INVARIANT: a net is merged into one earlier in the original order (the sort is stable), so
    // its representative already has its number.
    graph.netmap[nets.source[k]] = newnum[merged_into[k]];
    if (merged_into[k] != k) continue;
    const int c = newnum[k];
    const int start = coarse.netptr[c];
    std::copy(&nets.ind[nets.ptr[k]], nets.ind.data() + nets.ptr[k + 1], coarse.netind.data() + start);
    coarse.netwgt[c] = nets.wgt[k];
    coarse.netptr[c + 1] = start + nets.ptr[k + 1] - nets.ptr[k];
  }
}
}  // namespace

hgraph& CreateCoarseHGraph__(int cnvtxs, bool keep_sides, hgraph& graph) {
  auto coarse = std::make_unique<hgraph>();
  coarse->nvtxs = cnvtxs;
  coarse->level = graph.level + 1;
  coarse->finer = &graph;
  coarse->rmnetwgt = graph.rmnetwgt;
  coarse->cellwgt = hgp_array<int>(cnvtxs, "HGP: coarse->cellwgt");
  for (int c = 0; c < cnvtxs; ++c)
    for (int i = graph.mptr[c]; i < graph.mptr[c + 1]; ++i) coarse->cellwgt[c] += graph.cellwgt[graph.mind[i]];

  contracted_nets nets = contract_nets(cnvtxs, graph, *coarse);
  const hgp_array<int> merged_into = merge_identical_nets(nets);
  store_coarse_nets(nets, merged_into, graph, *coarse);
  BuildIncidence__(*coarse);

  if (keep_sides) {
    AllocateRefinementState__(*coarse);
    for (int c = 0; c < cnvtxs; ++c) coarse->where[c] = graph.where[graph.mind[graph.mptr[c]]];
  }
  graph.coarser = std::move(coarse);
  return *graph.coarser;
}

// ---------------------------------------------------------------------------------------------
// The coarsening loop
// ---------------------------------------------------------------------------------------------
void PrintCoarseningStats__(const hgp_ctrl& ctrl, const hgraph& coarse) {
  if (!(ctrl.debug_level & 1)) return;
  const hgraph& fine = *coarse.finer;
  const int npins = coarse.netptr[coarse.nedges];
  long total_vertex_weight = 0, total_net_weight = 0;
  int heaviest = 0;
  for (int c = 0; c < coarse.nvtxs; ++c) {
    total_vertex_weight += coarse.cellwgt[c];
    heaviest = std::max(heaviest, coarse.cellwgt[c]);
  }
  for (int e = 0; e < coarse.nedges; ++e) total_net_weight += coarse.netwgt[e];
  const auto per = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  // [vertices nets pins/net pins/vertex weight/vertex heaviest/limit, net weight removed-net-weight
  //  islands-of-the-finer-level vertices/finer-vertices]
  std::printf("[%6d %6d %6.2f %6.2f %6.2f %6.2f, %6d %6d %6d %6.2f]\n", coarse.nvtxs, coarse.nedges,
              per(npins, coarse.nedges), per(npins, coarse.nvtxs), per(total_vertex_weight, coarse.nvtxs),
              per(heaviest, ctrl.max_cell_weight), static_cast<int>(total_net_weight), coarse.rmnetwgt, fine.nislands,
              per(coarse.nvtxs, fine.nvtxs));
}

namespace {
int match_by_scheme(const hgp_ctrl& ctrl, hgraph& graph) {
  switch (ctrl.CType) {
    case 1:
      return Match_EdgesStars__(ctrl, graph.level <= 3, nullptr, graph);
    case 2:
      return Match_EdgesStars__(ctrl, false, nullptr, graph);
    case 3:
      return Match_EdgesStars__(ctrl, true, nullptr, graph);
    default:
      hgp_fail("Unknown matching type! %d\n", ctrl.CType);
  }
}

bool slow_progress(float ratio, const hgraph& fine, const hgraph& coarse) {
  return static_cast<float>(coarse.nvtxs) > ratio * static_cast<float>(fine.nvtxs) || coarse.nvtxs == fine.nvtxs;
}
}  // namespace

hgraph& Coarsen__(const hgp_ctrl& ctrl, hgraph& graph) {
  if (graph.nvtxs <= ctrl.coarsen_to) return graph;
  bool relaxed = false;
  float ratio = 0.8f;
  hgraph* fine = &graph;
  for (;;) {
    MoveIslands__(*fine);
    const int cnvtxs = match_by_scheme(ctrl, *fine);
    hgraph& coarse = CreateCoarseHGraph__(cnvtxs, false, *fine);
    PrintCoarseningStats__(ctrl, coarse);
    if (slow_progress(ratio, *fine, coarse)) {
      if (relaxed) {
        if (ctrl.debug_level & 1) std::printf("\nSlow progress in coarsening. Aborted at %d nodes\n", coarse.nvtxs);
        return coarse;
      }
      relaxed = true;
      ratio *= 1.075f;
    }
    if (coarse.nvtxs <= ctrl.coarsen_to) return coarse;
    fine = &coarse;
  }
}
