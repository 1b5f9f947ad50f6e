#include "hgpart/fm.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "hgpart/util.h"

std::unique_ptr<fm_workspace> construct_fm_workspace(const hgraph& graph) {
  const int n = core_vertices(graph);
  int maxgain = 0;
  for (int v = 0; v < n; ++v) maxgain = std::max(maxgain, graph.adjwgt[v]);
  auto workspace = std::make_unique<fm_workspace>();
  for (pqueue& queue : workspace->queues) init_pqueue(n, maxgain, queue);
  workspace->perm = hgp_array<int>(n, "HGP: fm perm");
  workspace->moves = hgp_array<int>(n, "HGP: fm moves");
  workspace->start.where = hgp_array<int>(n, "HGP: fm start where");
  workspace->start.gain = hgp_array<int>(n, "HGP: fm start gain");
  for (int side = 0; side < 2; ++side) {
    workspace->start.ndeg[side] = hgp_array<int>(graph.nedges, "HGP: fm start ndeg");
    workspace->start.netxor[side] = hgp_array<int>(graph.nedges, "HGP: fm start netxor");
  }
  return workspace;
}

void ComputeInitGains__(hgraph& graph) {
  const int n = core_vertices(graph);
  const int* const where = graph.where.data();
  int* const gain = graph.gain.data();
  graph.pwgts[0] = graph.pwgts[1] = 0;
  for (int v = 0; v < n; ++v) {
    graph.pwgts[where[v]] += graph.cellwgt[v];
    gain[v] = 0;
  }
  graph.mincut = 0;
  for (int e = 0; e < graph.nedges; ++e) {
    int count[2] = {0, 0}, vertices[2] = {0, 0};
    for (int i = graph.netptr[e]; i < graph.netptr[e + 1]; ++i) {
      const int v = graph.netind[i];
      ++count[where[v]];
      vertices[where[v]] ^= v;
    }
    for (int side = 0; side < 2; ++side) {
      graph.ndeg[side][e] = count[side];
      graph.netxor[side][e] = vertices[side];
    }
    const int w = graph.netwgt[e];
    // Per side, what each of its vertices gains from the net. A net of one vertex is never cut,
    // wherever that vertex goes: it counts for nothing.
    int contribution[2];
    for (int side = 0; side < 2; ++side) {
      const int own = count[side], other = count[1 - side];
      contribution[side] = other == 0 && own >= 2 ? -w : other > 0 && own == 1 ? w : 0;
    }
    if (count[0] > 0 && count[1] > 0) graph.mincut += w;
    if (contribution[0] == 0 && contribution[1] == 0) continue;
    for (int i = graph.netptr[e]; i < graph.netptr[e + 1]; ++i) {
      const int v = graph.netind[i];
      gain[v] += contribution[where[v]];
    }
  }
}

namespace {
// Adds delta to the gain of u, a vertex on side, and moves it in that side's queue if it waits
// there.
inline void change_gain(int u, int side, int delta, fm_workspace* workspace, hgraph& graph) {
  graph.gain[u] += delta;
  if (!workspace) return;
  pqueue& queue = workspace->queues[side];
  if (pqueue_contains(u, queue)) pqueue_update(u, graph.gain[u], queue);
}
}  // namespace

void MoveVertex__(int v, fm_workspace* workspace, hgraph& graph) {
  const int from = graph.where[v], to = 1 - from;
  int* const ndeg_from = graph.ndeg[from].data();
  int* const ndeg_to = graph.ndeg[to].data();
  int* const xor_from = graph.netxor[from].data();
  int* const xor_to = graph.netxor[to].data();
  const int* const netptr = graph.netptr.data();
  const int* const netind = graph.netind.data();
  graph.where[v] = to;
  graph.pwgts[from] -= graph.cellwgt[v];
  graph.pwgts[to] += graph.cellwgt[v];
  graph.gain[v] = -graph.gain[v];
  for (int i = graph.incptr[v]; i < graph.incptr[v + 1]; ++i) {
    const int e = graph.incind[i];
    const int left = --ndeg_from[e], joined = ++ndeg_to[e];
    xor_from[e] ^= v;
    xor_to[e] ^= v;
    // Only a net left with at most one vertex on the old side, or at most two on the new one,
    // changes a neighbour's gain.
    if (joined >= 3 && left >= 2) continue;
    const int w = graph.netwgt[e];
    if (joined == 1 || left == 0) {
      // Every other vertex of the net is on one side: the old one when the net has just become
      // cut, the new one when it has just become whole. They all change alike, sides unread.
      const int side = joined == 1 ? from : to;
      const int delta = joined == 1 ? (left == 1 ? 2 * w : w) : (joined == 2 ? -2 * w : -w);
      for (int j = netptr[e]; j < netptr[e + 1]; ++j)
        if (netind[j] != v) change_gain(netind[j], side, delta, workspace, graph);
      continue;
    }
    // The net stays cut and only a lone vertex changes: the last one on the old side, or the
    // first-comer on the new one (beside v). The xors name them.
    if (left == 1) change_gain(xor_from[e], from, w, workspace, graph);
    if (joined == 2) change_gain(xor_to[e] ^ v, to, -w, workspace, graph);
  }
}

namespace {
// The running cut of a pass and its best balanced prefix (the empty prefix counts as one).
struct pass_state {
  int cut;      // cut after the moves so far
  int bestcut;  // cut of the best prefix
  int bestdiff; // its difference of the part weights
  int nbest;    // its length
  int nmoves;   // moves so far
};

int weight_difference(const hgraph& graph) { return std::abs(graph.pwgts[0] - graph.pwgts[1]); }

// Copies the refinement state of a level's core vertices and nets between the level and a saved
// copy (both have where, gain, ndeg, netxor, mincut and pwgts).
template <typename Source, typename Target>
void copy_refinement_state(const Source& source, int n, int nedges, Target& target) {
  target.where.assign_from(source.where.data(), n);
  target.gain.assign_from(source.gain.data(), n);
  for (int side = 0; side < 2; ++side) {
    target.ndeg[side].assign_from(source.ndeg[side].data(), nedges);
    target.netxor[side].assign_from(source.netxor[side].data(), nedges);
  }
  target.mincut = source.mincut;
  target.pwgts[0] = source.pwgts[0];
  target.pwgts[1] = source.pwgts[1];
}

pass_state start_pass(fm_workspace& workspace, const hgraph& graph) {
  copy_refinement_state(graph, core_vertices(graph), graph.nedges, workspace.start);
  return pass_state{graph.mincut, graph.mincut, weight_difference(graph), 0, 0};
}

void make_move(int v, const balance_bounds& bounds, pass_state& pass, fm_workspace& workspace, hgraph& graph) {
  pass.cut -= graph.gain[v];
  MoveVertex__(v, &workspace, graph);
  workspace.moves[pass.nmoves++] = v;
  if (!IsBalanced__(bounds, graph)) return;
  const int diff = weight_difference(graph);
  if (pass.cut < pass.bestcut || (pass.cut == pass.bestcut && diff < pass.bestdiff)) {
    pass.bestcut = pass.cut;
    pass.bestdiff = diff;
    pass.nbest = pass.nmoves;
  }
}

// Goes back to the state after the best prefix, by the cheapest of three routes that all end in
// the same state (the gains, side counts, weights and cut follow from where alone): take back the
// moves after the prefix, replay the prefix from the pass's start, or flip the moves after the
// prefix and recount. A recount costs about as much as n / 8 moves.
void end_pass(const pass_state& pass, fm_workspace& workspace, hgraph& graph) {
  const int nundone = pass.nmoves - pass.nbest;
  const int recount = core_vertices(graph) / 8;
  if (nundone <= pass.nbest && nundone <= recount) {
    for (int i = pass.nmoves - 1; i >= pass.nbest; --i) MoveVertex__(workspace.moves[i], nullptr, graph);
  } else if (pass.nbest <= recount) {
    copy_refinement_state(workspace.start, core_vertices(graph), graph.nedges, graph);
    for (int i = 0; i < pass.nbest; ++i) MoveVertex__(workspace.moves[i], nullptr, graph);
  } else {
    for (int i = pass.nmoves - 1; i >= pass.nbest; --i) {
      const int v = workspace.moves[i];
      graph.where[v] = 1 - graph.where[v];
    }
    ComputeInitGains__(graph);
    assert(graph.mincut == pass.bestcut);
  }
  graph.mincut = pass.bestcut;
}

void reset_queues(fm_workspace& workspace) {
  pqueue_reset(workspace.queues[0]);
  pqueue_reset(workspace.queues[1]);
}

// The side to move from, given each side's candidate (-1 for none); -1 when neither has one.
int choose_side(const int candidate[2], const balance_bounds& bounds, const hgraph& graph) {
  if (candidate[0] == -1 && candidate[1] == -1) return -1;
  if (candidate[0] == -1) return 1;
  if (candidate[1] == -1) return 0;
  const int gain0 = graph.gain[candidate[0]], gain1 = graph.gain[candidate[1]];
  if (gain0 > gain1) return graph.pwgts[0] - graph.cellwgt[candidate[0]] >= bounds.min[0] ? 0 : 1;
  if (gain1 > gain0) return graph.pwgts[1] - graph.cellwgt[candidate[1]] >= bounds.min[1] ? 1 : 0;
  return graph.pwgts[0] - bounds.min[0] < graph.pwgts[1] - bounds.min[1] ? 1 : 0;
}

// One pass of two-way FM from consistent gains; returns whether it lowered the cut. The
// constrained form offers on each side only vertices that fit the side's room, and ends when
// neither side has one.
bool fm_pass(const balance_bounds& bounds, bool constrained, fm_workspace& workspace, hgraph& graph) {
  const int initcut = graph.mincut;
  const int n = core_vertices(graph);
  reset_queues(workspace);
  QuickShuffle__(n, workspace.perm.data());
  for (int i = 0; i < n; ++i) {
    const int v = workspace.perm[i];
    pqueue_insert(v, graph.gain[v], workspace.queues[graph.where[v]]);
  }

  pass_state pass = start_pass(workspace, graph);
  for (;;) {
    int candidate[2];
    for (int side = 0; side < 2; ++side)
      candidate[side] = constrained ? pqueue_see_max_lighter(graph.pwgts[side] - bounds.min[side],
                                                             graph.cellwgt.data(), workspace.queues[side])
                                    : pqueue_see_max(workspace.queues[side]);
    const int side = choose_side(candidate, bounds, graph);
    if (side == -1) break;
    pqueue_delete(candidate[side], workspace.queues[side]);
    make_move(candidate[side], bounds, pass, workspace, graph);
  }
  end_pass(pass, workspace, graph);
  return graph.mincut < initcut;
}

void fm_passes(const hgp_ctrl& ctrl, int npasses, bool constrained, fm_workspace& workspace, hgraph& graph) {
  const balance_bounds bounds = BalanceBounds__(ctrl, CoreWeight__(graph));
  for (int pass = 0; pass < npasses; ++pass)
    if (!fm_pass(bounds, constrained, workspace, graph)) break;
}
}  // namespace

void Refine_FM__(const hgp_ctrl& ctrl, int npasses, fm_workspace& workspace, hgraph& graph) {
  fm_passes(ctrl, npasses, false, workspace, graph);
}

void Refine_FM2__(const hgp_ctrl& ctrl, int npasses, fm_workspace& workspace, hgraph& graph) {
  fm_passes(ctrl, npasses, true, workspace, graph);
}

void RefineFMByCells__(const hgp_ctrl& ctrl, int npasses, fm_workspace& workspace, hgraph& graph) {
  fm_passes(ctrl, npasses, ctrl.cells_heavy, workspace, graph);
}

void Refine_OneWayFM__(const hgp_ctrl& ctrl, int npasses, fm_workspace& workspace, hgraph& graph) {
  const balance_bounds bounds = BalanceBounds__(ctrl, CoreWeight__(graph));
  const int n = core_vertices(graph);
  int from = graph.pwgts[0] >= graph.pwgts[1] ? 0 : 1;
  for (int pass = 0; pass < npasses; ++pass, from = 1 - from) {
    const int initcut = graph.mincut;
    reset_queues(workspace);
    pqueue& queue = workspace.queues[from];
    QuickShuffle__(n, workspace.perm.data());
    for (int i = 0; i < n; ++i) {
      const int v = workspace.perm[i];
      if (graph.where[v] == from) pqueue_insert(v, graph.gain[v], queue);
    }

    pass_state state = start_pass(workspace, graph);
    for (int v; (v = pqueue_get_max(queue)) != -1;) {
      if (graph.pwgts[from] - graph.cellwgt[v] < bounds.min[from]) {
        // Too heavy to leave: a vertex that would not lower the cut ends the pass.
        if (graph.gain[v] < 1) break;
        continue;
      }
      make_move(v, bounds, state, workspace, graph);
    }
    end_pass(state, workspace, graph);
    if (pass % 2 == 1 && graph.mincut >= initcut) break;
  }
}
