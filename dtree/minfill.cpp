#include "dtree/minfill.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <utility>

#include "base/utility.h"
#include "cnf/cnf_read.h"

bool vertex_set::contains(int v) const { return std::binary_search(items_.begin(), items_.end(), v); }

void vertex_set::insert(int v) {
  auto at = std::lower_bound(items_.begin(), items_.end(), v);
  if (at == items_.end() || *at != v) items_.insert(at, v);
}

void vertex_set::erase(int v) {
  auto at = std::lower_bound(items_.begin(), items_.end(), v);
  if (at != items_.end() && *at == v) items_.erase(at);
}

void vertex_set::assign(std::vector<int> items) {
  std::sort(items.begin(), items.end());
  items.erase(std::unique(items.begin(), items.end()), items.end());
  items_ = std::move(items);
}

// ---------------------------------------------------------------------------------------------
// Graph
// ---------------------------------------------------------------------------------------------
namespace {

int vertex_of(int literal, unsigned clause, unsigned var_count) {
  long var = std::labs(literal);
  if (var == 0 || var > static_cast<long>(var_count))
    fatal("\nClause %u holds the literal %d, beyond the %u declared variables.", clause + 1, literal, var_count);
  return static_cast<int>(var);
}

}  // namespace

// The neighbour lists are gathered whole and sorted once: adding the pairs of a long clause
// one by one into ordered sets would cost a factor of the clause length more.
Graph::Graph(const cnf* formula)
    : mark(formula->var_count + 1, 0),
      active(formula->var_count + 1, 0),
      score(formula->var_count + 1, 0),
      vertex_count_(static_cast<int>(formula->var_count)),
      adjacency_(formula->var_count + 1),
      in_changed_(formula->var_count + 1, 0) {
  std::vector<std::vector<int>> gathered(formula->var_count + 1);
  std::vector<int> vars;
  for (unsigned c = 0; c < formula->clause_count(); ++c) {
    vars.clear();
    for (const int* literal = formula->clause(c); *literal; ++literal)
      vars.push_back(vertex_of(*literal, c, formula->var_count));
    for (std::size_t i = 0; i < vars.size(); ++i)
      for (std::size_t j = i + 1; j < vars.size(); ++j)
        if (vars[i] != vars[j]) {
          gathered[vars[i]].push_back(vars[j]);
          gathered[vars[j]].push_back(vars[i]);
        }
  }
  for (int v = 1; v <= vertex_count_; ++v) adjacency_[v].assign(std::move(gathered[v]));
}

Graph::~Graph() = default;

void Graph::addEdge(int a, int b) {
  adjacency_[a].insert(b);
  adjacency_[b].insert(a);
}

void Graph::removeEdge(int a, int b) {
  adjacency_[a].erase(b);
  adjacency_[b].erase(a);
}

bool Graph::containsEdge(int a, int b) const {
  if (adjacency_[a].size() >= adjacency_[b].size()) return adjacency_[b].contains(a);
  return adjacency_[a].contains(b);
}

const vertex_set& Graph::getNeighbors(int v) const { return adjacency_[v]; }

void Graph::getNeighbors(int v, vertex_set& copy) const { copy = adjacency_[v]; }

// All pairs of neighbours minus the adjacent ones; each adjacent pair {u, w} is seen from u and
// from w. Linear in the neighbours' degrees instead of quadratic in v's.
long long Graph::minFillScore(int v) {
  const vertex_set& nbrs = adjacency_[v];
  for (int u : nbrs) mark[u] = 1;
  long long adjacent_twice = 0;
  for (int u : nbrs)
    for (int w : adjacency_[u]) adjacent_twice += mark[w];
  for (int u : nbrs) mark[u] = 0;
  long long d = nbrs.size();
  return d * (d - 1) / 2 - adjacent_twice / 2;
}

// Step 2 of an elimination: for an active neighbour u of the eliminated v (the neighbours are
// marked), every pair {v, w} of u's neighbours with w not adjacent to v has gone.
void Graph::drop_pairs_with_eliminated(const vertex_set& nbrs, std::vector<int>& changed) {
  for (int u : nbrs) {
    if (!active[u]) continue;
    long long lost = 0;
    for (int w : adjacency_[u]) lost += !mark[w];
    if (lost) {
      score[u] -= lost;
      note_changed(u, changed);
    }
  }
}

// Joins two neighbours of the eliminated vertex. Every active common neighbour x gains the
// pair {u, w} as adjacent; u gains w as a neighbour, so each of w's neighbours not adjacent
// to u makes a new open pair for u (and the other way round). One merge gives both counts.
void Graph::join(int u, int w, std::vector<int>& changed) {
  const vertex_set& adj_u = adjacency_[u];
  const vertex_set& adj_w = adjacency_[w];
  long long common = 0;
  for (auto i = adj_u.begin(), j = adj_w.begin(); i != adj_u.end() && j != adj_w.end();) {
    if (*i < *j) {
      ++i;
    } else if (*j < *i) {
      ++j;
    } else {
      ++common;
      if (active[*i]) {
        --score[*i];
        note_changed(*i, changed);
      }
      ++i;
      ++j;
    }
  }
  if (active[w] && adj_w.size() > common) {
    score[w] += adj_w.size() - common;
    note_changed(w, changed);
  }
  if (active[u] && adj_u.size() > common) {
    score[u] += adj_u.size() - common;
    note_changed(u, changed);
  }
  addEdge(u, w);
}

void Graph::removeAndConnect(int v, std::vector<int>& changed) {
  changed.clear();
  vertex_set nbrs;
  getNeighbors(v, nbrs);
  for (int u : nbrs) {
    removeEdge(v, u);
    mark[u] = 1;
  }
  drop_pairs_with_eliminated(nbrs, changed);
  for (int u : nbrs) mark[u] = 0;
  // Pairs are joined row by row (u ascending, then u' ascending); fill edges added for earlier
  // pairs count for later ones, since each join reads the graph as it stands. A pair's own
  // adjacency cannot change before its row (earlier rows join earlier vertices), so each row
  // marks its vertex's neighbours once instead of searching every pair.
  std::vector<int> unjoined;
  for (auto i = nbrs.begin(); i != nbrs.end(); ++i) {
    for (int w : adjacency_[*i]) mark[w] = 1;
    unjoined.clear();
    for (auto j = i + 1; j != nbrs.end(); ++j)
      if (!mark[*j]) unjoined.push_back(*j);
    for (int w : adjacency_[*i]) mark[w] = 0;
    for (int w : unjoined) join(*i, w, changed);
  }
  std::sort(changed.begin(), changed.end());
  for (int u : changed) in_changed_[u] = 0;
}

void Graph::note_changed(int u, std::vector<int>& changed) {
  if (in_changed_[u]) return;
  in_changed_[u] = 1;
  changed.push_back(u);
}

// ---------------------------------------------------------------------------------------------
// Heap
// ---------------------------------------------------------------------------------------------
bool pair_less_than(const heap_entry& a, const heap_entry& b) {
  return a.score < b.score || (a.score == b.score && a.var > b.var);
}

namespace {

void swap_entries(std::vector<heap_entry>& heap, unsigned i, unsigned j, std::vector<unsigned>& pos) {
  std::swap(heap[i], heap[j]);
  pos[heap[i].var] = i;
  pos[heap[j].var] = j;
}

}  // namespace

void sift_up(std::vector<heap_entry>& heap, unsigned i, std::vector<unsigned>& pos) {
  while (i > 0 && pair_less_than(heap[i], heap[(i - 1) / 2])) {
    swap_entries(heap, i, (i - 1) / 2, pos);
    i = (i - 1) / 2;
  }
}

void sift_down(std::vector<heap_entry>& heap, unsigned i, std::vector<unsigned>& pos) {
  const std::size_t n = heap.size();
  for (;;) {
    std::size_t l = 2 * std::size_t{i} + 1;
    std::size_t r = l + 1;
    if (l >= n) return;
    std::size_t child;
    if (pair_less_than(heap[l], heap[i]))
      child = r < n && pair_less_than(heap[r], heap[l]) ? r : l;
    else if (r < n && pair_less_than(heap[r], heap[i]))
      child = r;
    else
      return;
    swap_entries(heap, i, static_cast<unsigned>(child), pos);
    i = static_cast<unsigned>(child);
  }
}

void sift(std::vector<heap_entry>& heap, unsigned i, std::vector<unsigned>& pos) {
  if (i > 0 && pair_less_than(heap[i], heap[(i - 1) / 2]))
    sift_up(heap, i, pos);
  else
    sift_down(heap, i, pos);
}

// ---------------------------------------------------------------------------------------------
// Orders
// ---------------------------------------------------------------------------------------------
namespace {

struct elimination {
  Graph graph;
  std::vector<heap_entry> heap;
  std::vector<unsigned> pos;  // [0, V]: the variable's index in the heap
  std::vector<unsigned> order;
  std::vector<int> changed;

  explicit elimination(const cnf* formula) : graph(formula), pos(formula->var_count + 1, 0) {
    order.reserve(formula->var_count);
  }

  void add(int v) {
    graph.active[v] = 1;
    graph.score[v] = graph.minFillScore(v);
    heap.push_back({graph.score[v], v});
    pos[v] = static_cast<unsigned>(heap.size() - 1);
    sift_up(heap, pos[v], pos);
  }

  // Eliminates the heap's vertices one by one, smallest score first. A changed vertex is
  // re-sifted only when its heap entry is its own and its key moved.
  void eliminate_all() {
    while (!heap.empty()) {
      int v = heap[0].var;
      order.push_back(static_cast<unsigned>(v));
      heap[0] = heap.back();
      pos[heap[0].var] = 0;
      heap.pop_back();
      if (!heap.empty()) sift_down(heap, 0, pos);
      graph.removeAndConnect(v, changed);
      for (int u : changed) {
        unsigned at = pos[u];
        if (at >= heap.size() || heap[at].var != u || heap[at].score == graph.score[u]) continue;
        heap[at].score = graph.score[u];
        sift(heap, at, pos);
      }
    }
  }
};

}  // namespace

std::vector<unsigned> cnf2minfill_order(const cnf* formula) {
  elimination e(formula);
  for (int v = 1; v <= e.graph.vertex_count(); ++v) e.add(v);
  e.eliminate_all();
  return std::move(e.order);
}

// Blocks are taken in ascending number; a number that no variable has would give an empty
// group, so only the numbers that occur are visited (the numbers may be far apart).
std::vector<unsigned> cnf2minfill_order(const cnf* formula, const std::vector<unsigned>& blocks) {
  if (blocks.size() != formula->var_count)
    fatal("\nThe block order holds %zu block numbers for %u variables.", blocks.size(), formula->var_count);
  std::vector<int> by_block(formula->var_count);
  for (unsigned v = 1; v <= formula->var_count; ++v) by_block[v - 1] = static_cast<int>(v);
  std::stable_sort(by_block.begin(), by_block.end(), [&](int a, int b) { return blocks[a - 1] < blocks[b - 1]; });

  elimination e(formula);
  for (std::size_t first = 0; first < by_block.size();) {
    std::size_t last = first;
    while (last < by_block.size() && blocks[by_block[last] - 1] == blocks[by_block[first] - 1]) ++last;
    e.heap.clear();
    for (std::size_t i = first; i < last; ++i) e.add(by_block[i]);
    e.eliminate_all();
    for (std::size_t i = first; i < last; ++i) e.graph.active[by_block[i]] = 0;
    first = last;
  }
  return std::move(e.order);
}
