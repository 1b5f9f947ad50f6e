#include "compiler/elimination_priority.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>

#include "compiler/dynamic_engine.h"

namespace {

using adjacency = std::vector<std::vector<std::uint32_t>>;

// Clauses longer than this join their variables in a path rather than a clique, so that the
// graph stays linear in the formula.
constexpr std::uint32_t LONGEST_CLIQUE = 32;
constexpr std::size_t SHOWN_OFFSET = std::size_t{1} << 40;

void join(adjacency& graph, std::uint32_t a, std::uint32_t b) {
  graph[a].push_back(b);
  graph[b].push_back(a);
}

adjacency primal_graph(const dynamic_engine& e) {
  adjacency graph(e.var_count + 1);
  for (std::uint32_t v = 1; v <= e.var_count; ++v) graph[v] = e.neighbours[v];
  for (std::uint32_t k = 0; k < e.input_clause_count; ++k) {
    const lit_t* c = e.lits.data() + e.start[k];
    std::uint32_t n = e.size[k];
    for (std::uint32_t i = 0; i < n; ++i)
      for (std::uint32_t j = i + 1; j < (n <= LONGEST_CLIQUE ? n : std::min(i + 2, n)); ++j)
        join(graph, var_of(c[i]), var_of(c[j]));
  }
  return graph;
}

// Keeps the neighbours still in the graph, once each; `mark` is all zero before and after.
void compact(std::vector<std::uint32_t>& list, std::uint32_t self, const std::vector<std::uint8_t>& eliminated,
             std::vector<std::uint8_t>& mark) {
  std::size_t keep = 0;
  for (std::uint32_t u : list)
    if (u != self && !eliminated[u] && !mark[u]) {
      mark[u] = 1;
      list[keep++] = u;
    }
  list.resize(keep);
  for (std::uint32_t u : list) mark[u] = 0;
}

// Joins every two neighbours of V; returns the visits made.
std::uint64_t make_clique(const std::vector<std::uint32_t>& around, adjacency& graph,
                          const std::vector<std::uint8_t>& eliminated, std::vector<std::uint8_t>& mark) {
  std::uint64_t visits = 0;
  for (std::uint32_t u : around) {
    std::vector<std::uint32_t>& list = graph[u];
    list.insert(list.end(), around.begin(), around.end());
    compact(list, u, eliminated, mark);
    visits += list.size();
  }
  return visits;
}

}  // namespace

elimination_guide elimination_priority(const dynamic_engine& e, const std::vector<std::uint8_t>& forgotten,
                                       std::uint64_t work) {
  std::uint32_t n = e.var_count;
  elimination_guide guide;
  guide.priority.assign(n + 1, 1.0);
  adjacency graph = primal_graph(e);
  std::vector<std::uint8_t> eliminated(n + 1, 0), mark(n + 1, 0);
  // Forgotten variables go first: the shown ones, decided first, get the order among themselves
  // that eliminating the forgotten ones leaves.
  auto key = [&](std::uint32_t v) { return graph[v].size() + (forgotten[v] ? 0 : SHOWN_OFFSET); };
  using entry = std::pair<std::size_t, std::uint32_t>;  // forgotten-first degree, variable
  std::priority_queue<entry, std::vector<entry>, std::greater<entry>> queue;
  for (std::uint32_t v = 1; v <= n; ++v) {
    compact(graph[v], v, eliminated, mark);
    guide.connected += !graph[v].empty();
    queue.push({key(v), v});
  }
  std::uint32_t position = 0;
  std::uint64_t spent = 0;
  while (!queue.empty()) {
    if (spent >= work) {
      guide.complete = false;
      break;
    }
    auto [degree, v] = queue.top();
    queue.pop();
    if (eliminated[v] || degree != key(v)) continue;  // stale
    eliminated[v] = 1;
    guide.priority[v] = static_cast<double>(++position) / n;
    std::vector<std::uint32_t> around;
    around.swap(graph[v]);
    compact(around, v, eliminated, mark);
    spent += make_clique(around, graph, eliminated, mark) + around.size();
    guide.width = std::max(guide.width, around.size());
    for (std::uint32_t u : around) queue.push({key(u), u});
  }
  return guide;
}
