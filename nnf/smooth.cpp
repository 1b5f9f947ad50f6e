#include "nnf/smooth.h"

#include <cassert>
#include <new>
#include <vector>

#include "base/utility.h"

namespace {

using set_ptr = std::unique_ptr<bit_set>;

// What the walk over the old circuit hands to the rebuild.
struct smoothing_walk {
  std::uint64_t smoothing_count = 0;
  std::uint64_t extra_edges = 0;
  smoothing_list list;
  bit_set pos;       // variables with a positive literal node
  bit_set neg;       // variables with a negative literal node
  bit_set smoothed;  // variables missing somewhere
};

unsigned set_size(const bit_set& set) { return static_cast<unsigned>(mpz_popcount(set.get())); }

// A literal's set {v} is never stored: a set of one high bit takes v bits, and smoothed circuits
// hold every literal first, so storing them would cost memory quadratic in the variable count.
// Parents add the literal's bit directly instead.
void add_child_vars(bit_set& set, const nnfn& child, const set_ptr& child_set) {
  if (literal_node(child))
    mpz_setbit(set.get(), child.size - 1);
  else
    mpz_ior(set.get(), set.get(), child_set->get());
}

// missing = set without the child's variables (which it contains).
void vars_missing_from_child(bit_set& missing, const bit_set& set, const nnfn& child, const set_ptr& child_set) {
  if (literal_node(child)) {
    mpz_set(missing.get(), set.get());
    mpz_clrbit(missing.get(), child.size - 1);
  } else {
    mpz_xor(missing.get(), set.get(), child_set->get());
  }
}

set_ptr union_of_children(const nnfn& node, const nnf& circuit, const std::vector<set_ptr>& sets) {
  auto set = std::make_unique<bit_set>();
  for (unsigned k = 0; k < node.size; ++k) {
    unsigned child = node.children[k];
    add_child_vars(*set, circuit.nodes[child], sets[child]);
  }
  return set;
}

void record_missing(unsigned child, const bit_set& missing, smoothing_walk& walk) {
  walk.smoothing_count += 1;
  walk.extra_edges += set_size(missing) + 1;
  mpz_ior(walk.smoothed.get(), walk.smoothed.get(), missing.get());
  walk.list.push_back(get_smoothing_node(child, missing));
}

// The sets of each node's variables, held only until the last parent has used them. A child
// slot that is to receive a smoothing and-node is marked with node_count, an index no node has.
// With `all`, the root is completed over every variable but those of `left_out`.
void find_missing_variables(nnf& circuit, bool all, const std::vector<unsigned>& left_out, smoothing_walk& walk) {
  std::vector<unsigned> refs = get_ref_counts(circuit);
  std::vector<set_ptr> sets(circuit.node_count);
  bit_set missing;
  const unsigned placeholder = circuit.node_count;
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    nnfn& node = circuit.nodes[i];
    switch (node.type) {
      case nnfn_type::and_node:
        sets[i] = union_of_children(node, circuit, sets);
        for (unsigned k = 0; k < node.size; ++k) release_after_last_use(node.children[k], refs, sets);
        break;
      case nnfn_type::or_node:
        sets[i] = union_of_children(node, circuit, sets);
        for (unsigned k = 0; k < node.size; ++k) {
          unsigned child = node.children[k];
          vars_missing_from_child(missing, *sets[i], circuit.nodes[child], sets[child]);
          if (mpz_sgn(missing.get()) != 0) {
            record_missing(child, missing, walk);
            node.children[k] = placeholder;
          }
          release_after_last_use(child, refs, sets);
        }
        break;
      case nnfn_type::pos_literal:
      case nnfn_type::neg_literal:
        assert(node.size >= 1 && node.size <= circuit.var_count);
        mpz_setbit(node.type == nnfn_type::pos_literal ? walk.pos.get() : walk.neg.get(), node.size - 1);
        break;
      case nnfn_type::dead:
      case nnfn_type::duplicate:
        assert(!"smoothing runs on trimmed circuits only");
        break;
    }
  }
  if (!all || circuit.node_count == 0) return;
  unsigned root = circuit.node_count - 1;
  bit_set every;
  mpz_setbit(every.get(), circuit.var_count);
  mpz_sub_ui(every.get(), every.get(), 1);
  for (unsigned v : left_out) mpz_clrbit(every.get(), v - 1);
  bit_set root_vars;
  add_child_vars(root_vars, circuit.nodes[root], sets[root]);
  set_difference(missing, every, root_vars);
  if (mpz_sgn(missing.get()) != 0) record_missing(root, missing, walk);
}

// The new array has its own message for running out of memory, so the program's general
// out-of-memory handler stands aside while it is allocated. A circuit whose counts no longer
// fit in 32 bits cannot be stored either.
std::vector<nnfn> allocate_smoothed_nodes(std::uint64_t node_count, std::uint64_t edge_count) {
  if (node_count <= 0xFFFFFFFFu && edge_count <= 0xFFFFFFFFu) {
    std::new_handler program_handler = std::set_new_handler(nullptr);
    try {
      std::vector<nnfn> nodes(node_count);
      std::set_new_handler(program_handler);
      return nodes;
    } catch (const std::bad_alloc&) {
      std::set_new_handler(program_handler);
    }
  }
  fatal("\nOut of memory for storing smoothed NNF.");
}

// The old literal nodes are not copied; every node of a literal maps to its one new node.
std::uint64_t copied_old_nodes(const nnf& circuit) {
  std::uint64_t literals = 0;
  for (const nnfn& node : circuit.nodes) literals += literal_node(node);
  return circuit.node_count - literals;
}

void copy_literals(nnfn_type type, unsigned& next, std::vector<nnfn>& dest, const bit_set& vars,
                   std::vector<unsigned>& var_map) {
  for_each_member(vars, [&](unsigned bit) {
    dest[next].type = type;
    dest[next].size = bit + 1;
    var_map[bit] = next++;
  });
}

void copy_or_nodes(unsigned& next, std::vector<nnfn>& dest, const bit_set& smoothed,
                   std::vector<unsigned>& or_map, const std::vector<unsigned>& pos_map,
                   const std::vector<unsigned>& neg_map) {
  for_each_member(smoothed, [&](unsigned bit) {
    nnfn& node = dest[next];
    node.type = nnfn_type::or_node;
    node.var = bit + 1;
    node.size = 2;
    node.children.reset(new unsigned[2]{pos_map[bit], neg_map[bit]});
    or_map[bit] = next++;
  });
}

void copy_smoothing_node(nnfn& dest, smoothing_node& record, const std::vector<unsigned>& fill_map,
                         const std::vector<unsigned>& map) {
  dest.type = nnfn_type::and_node;
  dest.size = record.count;
  dest.children = std::move(record.items);
  dest.children[0] = map[dest.children[0]];
  for (unsigned k = 1; k < dest.size; ++k) dest.children[k] = fill_map[dest.children[k]];
}

void copy_next_smoothing_node(unsigned& next, std::vector<nnfn>& dest, smoothing_list& list,
                              const std::vector<unsigned>& fill_map, const std::vector<unsigned>& map) {
  copy_smoothing_node(dest[next++], list.front(), fill_map, map);
  list.pop_front();
}

// The placeholders of an or-node are filled from its last slot to its first, while its records
// were made from its first child to its last: the and-nodes of several smoothed children of one
// or-node thus stand in the reverse order of those children, each conjoining its own child.
void copy_old_nodes(nnf& circuit, unsigned& next, std::vector<nnfn>& dest, smoothing_list& list,
                    const std::vector<unsigned>& fill_map, const std::vector<unsigned>& pos_map,
                    const std::vector<unsigned>& neg_map) {
  const unsigned placeholder = circuit.node_count;
  std::vector<unsigned> map(circuit.node_count);
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    nnfn& old = circuit.nodes[i];
    if (literal_node(old)) {
      map[i] = (old.type == nnfn_type::pos_literal ? pos_map : neg_map)[old.size - 1];
      continue;
    }
    for (unsigned k = old.size; k-- > 0;) {
      if (old.children[k] != placeholder) {
        old.children[k] = map[old.children[k]];
      } else {
        old.children[k] = next;
        copy_next_smoothing_node(next, dest, list, fill_map, map);
      }
    }
    nnfn& node = dest[next];
    node.type = old.type;
    node.var = old.type == nnfn_type::or_node ? old.var : 0;
    node.size = old.size;
    node.children = std::move(old.children);
    map[i] = next++;
  }
  if (!list.empty()) copy_next_smoothing_node(next, dest, list, fill_map, map);
}

void copy_nodes_while_smoothing(nnf& circuit, unsigned& next, std::vector<nnfn>& dest,
                                smoothing_list& list, const std::vector<unsigned>& or_map,
                                const std::vector<unsigned>& pos_map, const std::vector<unsigned>& neg_map) {
  copy_old_nodes(circuit, next, dest, list, or_map, pos_map, neg_map);
}

void copy_nodes_while_smoothing_min(nnf& circuit, unsigned& next, std::vector<nnfn>& dest,
                                    smoothing_list& list, const std::vector<unsigned>& pos_map,
                                    const std::vector<unsigned>& neg_map) {
  copy_old_nodes(circuit, next, dest, list, neg_map, pos_map, neg_map);
}

void install_nodes(nnf& circuit, std::vector<nnfn> nodes, std::uint64_t edge_count) {
  circuit.nodes = std::move(nodes);
  circuit.node_count = static_cast<unsigned>(circuit.nodes.size());
  circuit.edge_count = static_cast<unsigned>(edge_count);
}

}  // namespace

smoothing_node get_smoothing_node(unsigned child, const bit_set& missing) {
  smoothing_node record;
  record.count = set_size(missing) + 1;
  record.items.reset(new unsigned[record.count]);
  record.items[0] = child;
  unsigned j = 1;
  for_each_member(missing, [&](unsigned bit) { record.items[record.count - j++] = bit; });
  return record;
}

void smooth_nnf_aux(nnf& circuit, std::uint64_t smoothing_count, std::uint64_t extra_edges,
                    smoothing_list& list, const bit_set& pos, const bit_set& neg,
                    const bit_set& smoothed) {
  bit_set new_pos;  // missing variables without a positive literal node
  bit_set new_neg;  // missing variables without a negative literal node
  set_difference(new_pos, smoothed, pos);
  set_difference(new_neg, smoothed, neg);
  std::uint64_t tautologies = set_size(smoothed);
  std::uint64_t node_count = smoothing_count + copied_old_nodes(circuit) + set_size(pos) +
                             set_size(new_pos) + set_size(neg) + set_size(new_neg) + tautologies;
  std::uint64_t edge_count = circuit.edge_count + extra_edges + 2 * tautologies;
  std::vector<nnfn> nodes = allocate_smoothed_nodes(node_count, edge_count);

  std::vector<unsigned> pos_map(circuit.var_count), neg_map(circuit.var_count), or_map(circuit.var_count);
  unsigned next = 0;
  copy_literals(nnfn_type::pos_literal, next, nodes, pos, pos_map);
  copy_literals(nnfn_type::pos_literal, next, nodes, new_pos, pos_map);
  copy_literals(nnfn_type::neg_literal, next, nodes, neg, neg_map);
  copy_literals(nnfn_type::neg_literal, next, nodes, new_neg, neg_map);
  copy_or_nodes(next, nodes, smoothed, or_map, pos_map, neg_map);
  copy_nodes_while_smoothing(circuit, next, nodes, list, or_map, pos_map, neg_map);
  assert(next == node_count);
  install_nodes(circuit, std::move(nodes), edge_count);
}

void smooth_min_nnf_aux(nnf& circuit, std::uint64_t smoothing_count, std::uint64_t extra_edges,
                        smoothing_list& list, const bit_set& pos, const bit_set& neg,
                        const bit_set& smoothed) {
  bit_set new_neg;  // missing variables without a negative literal node
  set_difference(new_neg, smoothed, neg);
  std::uint64_t node_count =
      smoothing_count + copied_old_nodes(circuit) + set_size(pos) + set_size(neg) + set_size(new_neg);
  std::uint64_t edge_count = circuit.edge_count + extra_edges;
  std::vector<nnfn> nodes = allocate_smoothed_nodes(node_count, edge_count);

  std::vector<unsigned> pos_map(circuit.var_count), neg_map(circuit.var_count);
  unsigned next = 0;
  copy_literals(nnfn_type::pos_literal, next, nodes, pos, pos_map);
  copy_literals(nnfn_type::neg_literal, next, nodes, neg, neg_map);
  copy_literals(nnfn_type::neg_literal, next, nodes, new_neg, neg_map);
  copy_nodes_while_smoothing_min(circuit, next, nodes, list, pos_map, neg_map);
  assert(next == node_count);
  install_nodes(circuit, std::move(nodes), edge_count);
}

void smooth_nnf(nnf& circuit, bool all) {
  smoothing_walk walk;
  find_missing_variables(circuit, all, {}, walk);
  smooth_nnf_aux(circuit, walk.smoothing_count, walk.extra_edges, walk.list, walk.pos, walk.neg,
                 walk.smoothed);
}

void smooth_min_nnf(nnf& circuit, const std::vector<unsigned>& forgotten) {
  smoothing_walk walk;
  find_missing_variables(circuit, true, forgotten, walk);
  smooth_min_nnf_aux(circuit, walk.smoothing_count, walk.extra_edges, walk.list, walk.pos, walk.neg,
                     walk.smoothed);
}
