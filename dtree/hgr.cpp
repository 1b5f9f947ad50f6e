#include "dtree/hgr.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdio>
#include <cstdlib>

#include "base/utility.h"
#include "cnf/cnf_read.h"

namespace {

// A clause holding its variable twice (x or not x, kept with -keep_trivial_cls) joins that
// edge once; excluded variables join no edge but keep theirs, empty.
bool counted_variable(unsigned var) { return !ignore_index(var) && !decompose_except_index(var); }

unsigned variable_of(int literal, unsigned clause, unsigned var_count) {
  unsigned var = static_cast<unsigned>(literal < 0 ? -static_cast<long>(literal) : literal);
  if (var == 0 || var > var_count)
    fatal("\nClause %u holds the literal %d, beyond the %u declared variables.", clause + 1, literal, var_count);
  return var;
}

// Visits the counted variables of every clause, each once per clause, in literal order.
template <typename Visit>
void for_each_clause_variable(const cnf& formula, Visit visit) {
  std::vector<unsigned> seen_in_clause(formula.var_count + 1, 0);  // clause number + 1
  for (unsigned c = 0; c < formula.clause_count(); ++c) {
    for (const int* literal = formula.clause(c); *literal; ++literal) {
      unsigned var = variable_of(*literal, c, formula.var_count);
      if (seen_in_clause[var] == c + 1 || !counted_variable(var)) continue;
      seen_in_clause[var] = c + 1;
      visit(c, var);
    }
  }
}

void push_undo(hgr* h, unsigned* address) {
  assert(h->undo_top < h->undo_values.size());
  h->undo_values[h->undo_top] = address ? *address : 0;
  h->undo_addresses[h->undo_top] = address;
  ++h->undo_top;
}

// Shrinks a count to the number of entries that stay, saving the old count when it changes.
template <typename T, typename Test>
void reduce_prefix(hgr* h, T* items, unsigned* count, Test removed) {
  unsigned kept = push_items_to_end(items, *count, removed);
  if (kept == *count) return;
  push_undo(h, count);
  *count = kept;
}

}  // namespace

std::unique_ptr<hgr> cnf2hgr(const cnf* formula) {
  const unsigned V = formula->var_count;
  const unsigned C = formula->clause_count();
  auto h = std::make_unique<hgr>();
  h->node_block.resize(C);
  h->edge_block.resize(V);
  h->nodes.resize(C);
  h->edges.resize(V);
  for (unsigned i = 0; i < C; ++i) {
    h->node_block[i].index = i + 1;
    h->nodes[i] = &h->node_block[i];
  }
  for (unsigned j = 0; j < V; ++j) {
    h->edge_block[j].index = j + 1;
    h->edges[j] = &h->edge_block[j];
  }

  // Sizes first, so that every array comes out of one block.
  std::size_t node_edge_total = 0;
  for_each_clause_variable(*formula, [&](unsigned c, unsigned var) {
    ++h->node_block[c].edge_count;
    ++h->edge_block[var - 1].node_count;
    ++node_edge_total;
  });
  h->node_edge_block.resize(node_edge_total);
  h->edge_node_block.resize(node_edge_total + V);
  std::size_t offset = 0;
  for (hgr_node& n : h->node_block) {
    n.edges = h->node_edge_block.data() + offset;
    offset += n.edge_count;
  }
  offset = 0;
  for (hgr_edge& e : h->edge_block) {
    e.nodes = h->edge_node_block.data() + offset;
    offset += e.node_count + 1;
  }

  // Fill in clause order, so that every edge lists its clauses in clause order.
  std::vector<unsigned> filled_nodes(C, 0), filled_edges(V, 0);
  for_each_clause_variable(*formula, [&](unsigned c, unsigned var) {
    hgr_node* n = &h->node_block[c];
    hgr_edge* e = &h->edge_block[var - 1];
    n->edges[filled_nodes[c]++] = e;
    e->nodes[filled_edges[var - 1]++] = n;
  });

  h->node_count = C;
  h->edge_count = V;
  std::size_t undo_capacity = 2 * (static_cast<std::size_t>(V) + C) + 3 + (node_edge_total + C) + (node_edge_total + V);
  h->undo_values.assign(undo_capacity, 0);
  h->undo_addresses.assign(undo_capacity, nullptr);
  return h;
}

namespace {
// The same position in another vector of the same length.
template <typename T>
T* moved_to(T* p, const std::vector<T>& from, std::vector<T>& to) {
  return p ? to.data() + (p - from.data()) : nullptr;
}

bool within(const void* p, const void* first, std::size_t bytes) {
  const auto address = reinterpret_cast<std::uintptr_t>(p), start = reinterpret_cast<std::uintptr_t>(first);
  return address >= start && address < start + bytes;
}

// An undo address names a count of the hypergraph, of a node or of an edge.
unsigned* moved_count(unsigned* count, const hgr& from, hgr& to) {
  if (!count) return nullptr;
  if (count == &from.node_count) return &to.node_count;
  if (count == &from.edge_count) return &to.edge_count;
  const std::size_t node_bytes = from.node_block.size() * sizeof(hgr_node);
  if (within(count, from.node_block.data(), node_bytes)) {
    const std::size_t i = (reinterpret_cast<const char*>(count) - reinterpret_cast<const char*>(from.node_block.data())) /
                          sizeof(hgr_node);
    return &to.node_block[i].edge_count;
  }
  const std::size_t i = (reinterpret_cast<const char*>(count) - reinterpret_cast<const char*>(from.edge_block.data())) /
                        sizeof(hgr_edge);
  return &to.edge_block[i].node_count;
}
}  // namespace

std::unique_ptr<hgr> copy_hgr(const hgr* h) {
  auto c = std::make_unique<hgr>(*h);
  for (hgr_node*& n : c->nodes) n = moved_to(n, h->node_block, c->node_block);
  for (hgr_edge*& e : c->edges) e = moved_to(e, h->edge_block, c->edge_block);
  for (hgr_edge*& e : c->node_edge_block) e = moved_to(e, h->edge_block, c->edge_block);
  for (hgr_node*& n : c->edge_node_block) n = moved_to(n, h->node_block, c->node_block);
  for (hgr_node& n : c->node_block) {
    n.edges = moved_to(n.edges, h->node_edge_block, c->node_edge_block);
    n.next = moved_to(n.next, h->node_block, c->node_block);
  }
  for (hgr_edge& e : c->edge_block) e.nodes = moved_to(e.nodes, h->edge_node_block, c->edge_node_block);
  for (unsigned*& count : c->undo_addresses) count = moved_count(count, *h, *c);
  return c;
}

hgr_orders save_hgr_orders(const hgr* h) {
  return hgr_orders{h->nodes, h->edges, h->node_edge_block, h->edge_node_block};
}

void restore_hgr_orders(const hgr_orders& orders, hgr* h) {
  h->nodes = orders.nodes;
  h->edges = orders.edges;
  h->node_edge_block = orders.node_edge_block;
  h->edge_node_block = orders.edge_node_block;
}

void free_hgr(std::unique_ptr<hgr>& h) {
  assert(!h || h->undo_top == 0);  // every reduction has been restored
  h.reset();
}

// ---------------------------------------------------------------------------------------------
// Edge sets. A set operation stamps the members of one operand on the edge records, so that
// membership is one comparison and every operation is linear, whatever the sets' sizes.
// ---------------------------------------------------------------------------------------------
namespace {

// Shared by every thread, so that no two set operations anywhere use the same stamp.
std::atomic<std::uint64_t> last_stamp{0};

std::uint64_t stamp_members(const hgr_edges* s) {
  const std::uint64_t stamp = ++last_stamp;
  for (unsigned i = 0; i < s->count; ++i) s->edges[i]->stamp = stamp;
  return stamp;
}

// The entries of `first` that pass keep_first, followed by those of `second` that pass
// keep_second, each in its set's order.
template <typename KeepFirst, typename KeepSecond>
std::unique_ptr<hgr_edges> select_entries(const hgr_edges* first, KeepFirst keep_first, const hgr_edges* second,
                                          KeepSecond keep_second) {
  unsigned n = 0;
  for (unsigned i = 0; i < first->count; ++i) n += keep_first(first->edges[i]);
  if (second)
    for (unsigned i = 0; i < second->count; ++i) n += keep_second(second->edges[i]);
  std::unique_ptr<hgr_edges> result = new_hgr_edges(n);
  unsigned k = 0;
  for (unsigned i = 0; i < first->count; ++i)
    if (keep_first(first->edges[i])) result->edges[k++] = first->edges[i];
  if (second)
    for (unsigned i = 0; i < second->count; ++i)
      if (keep_second(second->edges[i])) result->edges[k++] = second->edges[i];
  return result;
}

auto every_entry = [](const hgr_edge*) { return true; };

}  // namespace

std::unique_ptr<hgr_edges> new_hgr_edges(unsigned n) {
  auto s = std::make_unique<hgr_edges>();
  s->count = n;
  s->edges = std::make_unique<hgr_edge*[]>(n);
  return s;
}

void free_edges(std::unique_ptr<hgr_edges>& s) { s.reset(); }

bool in_edges(const hgr_edge* e, const hgr_edges* s) {
  for (unsigned i = 0; i < s->count; ++i)
    if (s->edges[i] == e) return true;
  return false;
}

bool edges_subset(const hgr_edges* a, const hgr_edges* b) {
  std::uint64_t in_b = stamp_members(b);
  for (unsigned i = 0; i < a->count; ++i)
    if (a->edges[i]->stamp != in_b) return false;
  return true;
}

std::unique_ptr<hgr_edges> edges_copy(const hgr_edges* a) {
  return select_entries(a, every_entry, nullptr, every_entry);
}

std::unique_ptr<hgr_edges> edges_plus(const hgr_edges* a, const hgr_edges* b) {
  return select_entries(a, every_entry, b, every_entry);
}

std::unique_ptr<hgr_edges> edges_union(const hgr_edges* a, const hgr_edges* b) {
  std::uint64_t in_a = stamp_members(a);
  return select_entries(a, every_entry, b, [in_a](const hgr_edge* e) { return e->stamp != in_a; });
}

std::unique_ptr<hgr_edges> edges_intersection(const hgr_edges* a, const hgr_edges* b) {
  std::uint64_t in_b = stamp_members(b);
  return select_entries(a, [in_b](const hgr_edge* e) { return e->stamp == in_b; }, nullptr, every_entry);
}

std::unique_ptr<hgr_edges> edges_minus(const hgr_edges* a, const hgr_edges* b) {
  std::uint64_t in_b = stamp_members(b);
  return select_entries(a, [in_b](const hgr_edge* e) { return e->stamp != in_b; }, nullptr, every_entry);
}

std::unique_ptr<hgr_edges> edges_comp(const hgr_edges* a, const hgr_edges* b) {
  assert(edges_subset(a, b));
  std::uint64_t in_a = stamp_members(a);
  return select_entries(b, [in_a](const hgr_edge* e) { return e->stamp != in_a; }, nullptr, every_entry);
}

std::unique_ptr<hgr_edges> node2edges(const hgr_node* n) {
  std::unique_ptr<hgr_edges> s = new_hgr_edges(n->edge_count);
  std::copy(n->edges, n->edges + n->edge_count, s->edges.get());
  return s;
}

void edges_remove_edge(hgr_edges* s, unsigned var_index) {
  for (unsigned i = 0; i < s->count; ++i) {
    if (s->edges[i]->index == var_index) {
      s->edges[i] = s->edges[s->count - 1];
      --s->count;
      return;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Reduction and restoring
// ---------------------------------------------------------------------------------------------
bool marked_node(const hgr_node* n) { return n->mark == 1; }
bool marked_edge(const hgr_edge* e) { return e->mark == 1; }
bool empty_node(const hgr_node* n) { return n->edge_count == 0; }

int hgr_edge_cmp(const void* a, const void* b) {
  unsigned x = (*static_cast<hgr_edge* const*>(a))->index;
  unsigned y = (*static_cast<hgr_edge* const*>(b))->index;
  return (x > y) - (x < y);
}

// A node whose variables are all excluded may have no edge array at all.
void sort_hgr_edges(hgr_node* n) {
  if (n->edge_count > 1) std::qsort(n->edges, n->edge_count, sizeof(hgr_edge*), hgr_edge_cmp);
}

// Removed items move behind the active prefixes; the incidence lists of the items that stay
// shrink only when the other side lost something.
void reduce_hgr(hgr* h) {
  push_undo(h, nullptr);
  unsigned nodes_before = h->node_count;
  unsigned edges_before = h->edge_count;
  reduce_prefix(h, h->nodes.data(), &h->node_count, marked_node);
  reduce_prefix(h, h->edges.data(), &h->edge_count, marked_edge);
  if (h->edge_count != edges_before)
    for (unsigned i = 0; i < h->node_count; ++i)
      reduce_prefix(h, h->nodes[i]->edges, &h->nodes[i]->edge_count, marked_edge);
  if (h->node_count != nodes_before)
    for (unsigned i = 0; i < h->edge_count; ++i)
      reduce_prefix(h, h->edges[i]->nodes, &h->edges[i]->node_count, marked_node);
}

void restore_hgr(hgr* h) {
  unsigned nodes_before = h->node_count;
  unsigned edges_before = h->edge_count;
  for (;;) {
    assert(h->undo_top > 0);
    --h->undo_top;
    unsigned* address = h->undo_addresses[h->undo_top];
    if (!address) break;
    *address = h->undo_values[h->undo_top];
  }
  for (unsigned i = nodes_before; i < h->node_count; ++i) h->nodes[i]->mark = 0;
  for (unsigned i = edges_before; i < h->edge_count; ++i) h->edges[i]->mark = 0;
}

void mark_hgr_nodes(hgr* h, unsigned value) {
  for (unsigned i = 0; i < h->node_count; ++i) h->nodes[i]->mark = value;
}

void remove_edges(const hgr_edges* s, hgr* h) {
  for (unsigned i = 0; i < s->count; ++i) s->edges[i]->mark = 1;
  reduce_hgr(h);
}

unsigned remove_empty_edges(hgr* h) {
  unsigned removed = 0;
  for (unsigned i = 0; i < h->edge_count; ++i) {
    if (h->edges[i]->node_count == 0) {
      h->edges[i]->mark = 1;
      ++removed;
    }
  }
  reduce_hgr(h);
  return removed;
}

// An edge goes with the marked nodes when none of its active nodes stays.
void remove_marked_nodes_and_their_edges(hgr* h) {
  for (unsigned i = 0; i < h->edge_count; ++i) {
    hgr_edge* e = h->edges[i];
    bool some_node_stays = false;
    for (unsigned j = 0; j < e->node_count && !some_node_stays; ++j) some_node_stays = e->nodes[j]->mark == 0;
    if (!some_node_stays) e->mark = 1;
  }
  reduce_hgr(h);
}

namespace {

bool same_edges(const hgr_node* a, const hgr_node* b) {
  return a->edge_count == b->edge_count && std::equal(a->edges, a->edges + a->edge_count, b->edges);
}

bool fewer_or_smaller_edges(const hgr_node* a, const hgr_node* b) {
  if (a->edge_count != b->edge_count) return a->edge_count < b->edge_count;
  for (unsigned i = 0; i < a->edge_count; ++i)
    if (a->edges[i]->index != b->edges[i]->index) return a->edges[i]->index < b->edges[i]->index;
  return false;
}

// Links each group of nodes with the same (sorted) edges through `next`, from its first node
// in array order to its last; every other node's `next` is none. A stable sort by edge list
// keeps each group in array order, and costs O(C log C) however the clauses share variables.
void chain_duplicate_groups(hgr* h) {
  std::vector<hgr_node*> by_edges(h->nodes.begin(), h->nodes.begin() + h->node_count);
  std::stable_sort(by_edges.begin(), by_edges.end(), fewer_or_smaller_edges);
  for (std::size_t i = 0; i < by_edges.size(); ++i) {
    bool continues = i + 1 < by_edges.size() && same_edges(by_edges[i], by_edges[i + 1]);
    by_edges[i]->next = continues ? by_edges[i + 1] : nullptr;
  }
}

}  // namespace

void remove_duplicate_nodes(hgr* h) {
  unsigned before = h->node_count;
  for (unsigned i = 0; i < h->node_count; ++i) sort_hgr_edges(h->nodes[i]);
  chain_duplicate_groups(h);
  for (unsigned i = 0; i < h->node_count; ++i)
    for (hgr_node* m = h->nodes[i]->next; m && m->mark != 1; m = m->next) m->mark = 1;
  reduce_hgr(h);
  if (VERBOSE) std::printf("(hgr %u->%u): ", before, h->node_count);
}

void return_duplicate_nodes(hgr* h) {
  restore_hgr(h);
  for (hgr_node* n : h->nodes) n->next = nullptr;
}
