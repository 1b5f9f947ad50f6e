#include "nnf/nnf_operations.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

std::unique_ptr<nnf> new_nnf_structure(unsigned node_count, unsigned edge_count, unsigned var_count) {
  auto circuit = std::make_unique<nnf>();
  circuit->node_count = node_count;
  circuit->edge_count = edge_count;
  circuit->var_count = var_count;
  circuit->nodes.resize(node_count);
  return circuit;
}

void free_nnf(std::unique_ptr<nnf>& circuit) { circuit.reset(); }

// ---------------------------------------------------------------------------------------------
// Reference counts and node death
// ---------------------------------------------------------------------------------------------

std::vector<unsigned> get_ref_counts(const nnf& circuit) {
  std::vector<unsigned> refs(circuit.node_count, 0);
  for (const nnfn& node : circuit.nodes) {
    if (!internal_node(node)) continue;
    for (unsigned k = 0; k < node.size; ++k) ++refs[node.children[k]];
  }
  if (circuit.node_count > 0) ++refs[circuit.node_count - 1];
  return refs;
}

void ref(unsigned i, std::vector<unsigned>& refs) { ++refs[i]; }

namespace {

// Releases the node's edges; children left without a parent are pushed on `dying`.
void let_go_of_children(nnfn& node, std::vector<unsigned>& refs, std::vector<unsigned>& dying) {
  for (unsigned k = 0; k < node.size; ++k) {
    unsigned child = node.children[k];
    assert(refs[child] > 0);
    if (--refs[child] == 0) dying.push_back(child);
  }
  node.size = 0;
  node.children.reset();
}

void kill_one(nnfn& node, std::vector<unsigned>& refs, std::vector<unsigned>& dying) {
  if (leaf_node(node))
    node.size = 0;
  else
    let_go_of_children(node, refs, dying);
  node.type = nnfn_type::dead;
}

// The cascade runs over an explicit stack: its depth is the circuit's depth, which can be far
// beyond what the call stack holds.
void bury(std::vector<unsigned>& dying, nnf& circuit, std::vector<unsigned>& refs) {
  while (!dying.empty()) {
    unsigned i = dying.back();
    dying.pop_back();
    kill_one(circuit.nodes[i], refs, dying);
  }
}

}  // namespace

void deref(unsigned i, nnf& circuit, std::vector<unsigned>& refs) {
  assert(refs[i] > 0);
  if (--refs[i] == 0) declare_node_dead(circuit.nodes[i], circuit, refs);
}

void declare_node_dead(nnfn& node, nnf& circuit, std::vector<unsigned>& refs) {
  std::vector<unsigned> dying;
  kill_one(node, refs, dying);
  bury(dying, circuit, refs);
}

void remove_edges(nnfn& node, nnf& circuit, std::vector<unsigned>& refs) {
  if (node.size == 0) return;
  std::vector<unsigned> dying;
  let_go_of_children(node, refs, dying);
  bury(dying, circuit, refs);
}

void make_node_true(nnfn& node, nnf& circuit, std::vector<unsigned>& refs) {
  if (literal_node(node))
    node.size = 0;
  else
    remove_edges(node, circuit, refs);
  node.type = nnfn_type::and_node;
}

void declare_node_duplicate(unsigned i, unsigned j, nnf& circuit, std::vector<unsigned>& refs) {
  // The counts move first, so that j survives even when it was reachable only through i.
  refs[j] += refs[i];
  refs[i] = 0;
  nnfn& node = circuit.nodes[i];
  remove_edges(node, circuit, refs);
  node.type = nnfn_type::duplicate;
  node.size = j;
}

int unsigned_cmp(const void* a, const void* b) {
  unsigned x = *static_cast<const unsigned*>(a);
  unsigned y = *static_cast<const unsigned*>(b);
  return (x > y) - (x < y);
}

void sort_unsigned(unsigned* list, unsigned n) {
  if (n > 1) std::qsort(list, n, sizeof(unsigned), unsigned_cmp);
}

// ---------------------------------------------------------------------------------------------
// Unique table
// ---------------------------------------------------------------------------------------------

namespace {

bool is_prime(std::uint64_t n) {
  if (n < 2) return false;
  for (std::uint64_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

}  // namespace

unsigned prime_bucket_count(std::uint64_t wanted, unsigned limit) {
  std::uint64_t n = wanted;
  while (n < limit && !is_prime(n)) ++n;
  return static_cast<unsigned>(std::min<std::uint64_t>(n, limit));
}

std::unique_ptr<un_table> construct_un_table(unsigned size) {
  auto table = std::make_unique<un_table>();
  table->size = size;
  table->buckets.assign(size, UN_END);
  return table;
}

void free_un_table(std::unique_ptr<un_table>& table) { table.reset(); }

bool same_node(const nnfn& a, const nnfn& b) {
  if (a.type != b.type || a.size != b.size) return false;
  return a.size == 0 || std::memcmp(a.children.get(), b.children.get(), a.size * sizeof(unsigned)) == 0;
}

bool lookup_node(unsigned& result, nnfn& node, const nnf& circuit, const un_table& table) {
  sort_unsigned(node.children.get(), node.size);
  unsigned h = 0;
  for (unsigned k = node.size; k-- > 0;) h = h * 31 + node.children[k];
  unsigned bucket = (static_cast<unsigned>(node.type) + h) % table.size;
  for (unsigned e = table.buckets[bucket]; e != UN_END; e = table.entries[e].next) {
    unsigned candidate = table.entries[e].node;
    if (same_node(node, circuit.nodes[candidate])) {
      result = candidate;
      return true;
    }
  }
  result = bucket;
  return false;
}

void insert_node(unsigned i, unsigned bucket, un_table& table) {
  table.entries.push_back({i, table.buckets[bucket]});
  table.buckets[bucket] = static_cast<unsigned>(table.entries.size() - 1);
}

void trim_nnf(nnf& circuit, std::vector<unsigned>& map) {
  unsigned w = 0;
  unsigned edges = 0;
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    if (!living_node(circuit.nodes[i])) continue;
    if (w != i) circuit.nodes[w] = std::move(circuit.nodes[i]);
    nnfn& node = circuit.nodes[w];
    map[i] = w++;
    if (!internal_node(node)) continue;
    edges += node.size;
    for (unsigned k = 0; k < node.size; ++k) node.children[k] = map[node.children[k]];
  }
  circuit.nodes.resize(w);
  circuit.nodes.shrink_to_fit();
  circuit.node_count = w;
  circuit.edge_count = edges;
}

// ---------------------------------------------------------------------------------------------
// Reduction rules
// ---------------------------------------------------------------------------------------------

namespace {

// Removes slot k by moving the last child into it; the array keeps its allocation until the
// node loses its edges, which saves a reallocation per removal.
void drop_child_slot(nnfn& node, unsigned k) {
  node.children[k] = node.children[node.size - 1];
  if (--node.size == 0) node.children.reset();
}

void enter_or_merge(unsigned i, nnfn& node, nnf& circuit, std::vector<unsigned>& refs,
                    un_table& table) {
  if (!internal_node(node)) return;
  unsigned found;
  if (lookup_node(found, node, circuit, table))
    declare_node_duplicate(i, found, circuit, refs);
  else
    insert_node(i, found, table);
}

// Slot p takes the first grandchild and the others are appended, so the array grows once.
void splice_child(nnfn& node, unsigned p, const nnfn& child, std::vector<unsigned>& refs) {
  unsigned k = child.size;
  std::unique_ptr<unsigned[]> grown(new unsigned[node.size + k - 1]);
  std::memcpy(grown.get(), node.children.get(), node.size * sizeof(unsigned));
  grown[p] = child.children[0];
  std::memcpy(grown.get() + node.size, child.children.get() + 1, (k - 1) * sizeof(unsigned));
  node.children = std::move(grown);
  node.size += k - 1;
  for (unsigned g = 0; g < k; ++g) ref(child.children[g], refs);
}

}  // namespace

void replace_duplicate_children(nnfn& node, const nnf& circuit) {
  for (unsigned k = 0; k < node.size; ++k) {
    const nnfn& child = circuit.nodes[node.children[k]];
    if (child.type == nnfn_type::duplicate) node.children[k] = child.size;
  }
}

unsigned remove_edges_to_true_children(nnfn& node, nnf& circuit, std::vector<unsigned>& refs) {
  unsigned removed = 0;
  unsigned p = 0;
  while (p < node.size) {
    unsigned child = node.children[p];
    if (!true_node(circuit.nodes[child])) {
      ++p;
      continue;
    }
    deref(child, circuit, refs);
    drop_child_slot(node, p);
    ++removed;
  }
  return removed;
}

void fold_in_grandchildren(nnfn& node, nnf& circuit, std::vector<unsigned>& refs) {
  unsigned p = 0;
  while (p < node.size) {
    unsigned c = node.children[p];
    const nnfn& child = circuit.nodes[c];
    if (internal_node(child) && child.size == 1) {
      unsigned g = child.children[0];
      node.children[p] = g;
      ref(g, refs);
      deref(c, circuit, refs);
    } else if (refs[c] == 1 && child.type == node.type && internal_node(child)) {
      splice_child(node, p, child, refs);
      deref(c, circuit, refs);
    } else {
      ++p;
    }
  }
}

bool complimentary_nnf_nodes(const nnfn& m, const nnfn& n) {
  return ((m.type == nnfn_type::pos_literal && n.type == nnfn_type::neg_literal) ||
          (m.type == nnfn_type::neg_literal && n.type == nnfn_type::pos_literal)) &&
         m.size == n.size;
}

bool vacuous_decision_node(unsigned& result, const nnfn& node, const nnf& circuit) {
  if (node.size != 2) return false;
  const nnfn& a = circuit.nodes[node.children[0]];
  const nnfn& b = circuit.nodes[node.children[1]];
  if (a.type != nnfn_type::and_node || a.size != 2) return false;
  if (b.type != nnfn_type::and_node || b.size != 2) return false;
  // The pairs (shared slot of a, shared slot of b) in the order they are tried.
  static constexpr unsigned pairs[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
  for (const auto& pair : pairs) {
    unsigned shared = a.children[pair[0]];
    if (shared != b.children[pair[1]]) continue;
    const nnfn& rest_a = circuit.nodes[a.children[1 - pair[0]]];
    const nnfn& rest_b = circuit.nodes[b.children[1 - pair[1]]];
    if (!complimentary_nnf_nodes(rest_a, rest_b)) return false;
    result = shared;
    return true;
  }
  return false;
}

bool has_true_child(const nnfn& node, const nnf& circuit) {
  for (unsigned k = 0; k < node.size; ++k)
    if (true_node(circuit.nodes[node.children[k]])) return true;
  return false;
}

bool has_conflicting_literals(const nnfn& node, const nnf& circuit) {
  return node.size == 2 &&
         complimentary_nnf_nodes(circuit.nodes[node.children[0]], circuit.nodes[node.children[1]]);
}

bool child_of(unsigned c, const nnfn& n) {
  if (!internal_node(n)) return false;
  for (unsigned k = 0; k < n.size; ++k)
    if (n.children[k] == c) return true;
  return false;
}

bool node_subsumes_node(unsigned p, const nnfn& node_p, unsigned q, const nnfn& node_q) {
  if (p == q) return true;
  if (node_q.type == nnfn_type::and_node && child_of(p, node_q)) return true;
  return node_p.type == nnfn_type::or_node && child_of(q, node_p);
}

void remove_subsumed_children(nnfn& node, nnf& circuit, std::vector<unsigned>& refs) {
  for (unsigned a = 0; a < node.size; ++a) {
    unsigned b = a + 1;
    while (b < node.size) {
      unsigned p = node.children[a];
      unsigned q = node.children[b];
      if (node_subsumes_node(p, circuit.nodes[p], q, circuit.nodes[q])) {
        deref(q, circuit, refs);
        drop_child_slot(node, b);
      } else if (node_subsumes_node(q, circuit.nodes[q], p, circuit.nodes[p])) {
        deref(p, circuit, refs);
        drop_child_slot(node, a);
        b = a + 1;
      } else {
        ++b;
      }
    }
  }
}

void reduce_and_node(unsigned i, nnfn& node, nnf& circuit, std::vector<unsigned>& refs,
                     un_table& table) {
  replace_duplicate_children(node, circuit);
  remove_edges_to_true_children(node, circuit, refs);
  fold_in_grandchildren(node, circuit, refs);
  enter_or_merge(i, node, circuit, refs, table);
}

void reduce_or_node(unsigned i, nnfn& node, nnf& circuit, std::vector<unsigned>& refs,
                    un_table& table) {
  replace_duplicate_children(node, circuit);
  unsigned shared;
  if (vacuous_decision_node(shared, node, circuit)) {
    declare_node_duplicate(i, shared, circuit, refs);
    return;
  }
  fold_in_grandchildren(node, circuit, refs);
  if (has_true_child(node, circuit) || has_conflicting_literals(node, circuit)) {
    make_node_true(node, circuit, refs);
    return;
  }
  remove_subsumed_children(node, circuit, refs);
  enter_or_merge(i, node, circuit, refs, table);
}

void exist_quantify_nnf(const std::vector<unsigned>& vars, nnf& circuit) {
  // Sized by the listed variables, not by var_count: the driver's list is empty.
  std::vector<char> forgotten;
  for (unsigned v : vars) {
    if (v == 0 || v > circuit.var_count) continue;
    if (v >= forgotten.size()) forgotten.resize(v + 1, 0);
    forgotten[v] = 1;
  }

  std::vector<unsigned> refs = get_ref_counts(circuit);
  // At most one entry per node, so a bucket per node keeps the chains short with no need to grow.
  std::unique_ptr<un_table> table = construct_un_table(prime_bucket_count(circuit.node_count, REDUCTION_TABLE_SIZE));
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    nnfn& node = circuit.nodes[i];
    switch (node.type) {
      case nnfn_type::or_node:
        reduce_or_node(i, node, circuit, refs, *table);
        break;
      case nnfn_type::and_node:
        reduce_and_node(i, node, circuit, refs, *table);
        break;
      case nnfn_type::pos_literal:
      case nnfn_type::neg_literal:
        if (node.size < forgotten.size() && forgotten[node.size]) make_node_true(node, circuit, refs);
        break;
      case nnfn_type::dead:
      case nnfn_type::duplicate:
        break;
    }
  }
  trim_nnf(circuit, refs);
  free_un_table(table);
}
