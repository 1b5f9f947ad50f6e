// The finished circuit: a flat array of nodes in which every child stands before its parent and
// the root is last, so that every pass is one sweep in index order. Besides the record, this unit
// holds the node operations that change a circuit in place (reference counts with the death
// cascade, duplicates, the unique table, compaction) and the reduction pass built on them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Codes 0 to 6 are shared with the compiler's node store; dead and duplicate nodes exist only
// while a reduction runs.
enum class nnfn_type : std::uint8_t {
  or_node = 0,
  and_node = 2,
  pos_literal = 4,
  neg_literal = 6,
  dead = 8,       // unreferenced, edges removed
  duplicate = 10, // replaced by the node at index `size`
};

struct nnfn {
  nnfn_type type = nnfn_type::or_node;   // a zeroed node reads as the false node
  unsigned var = 0;                      // or-node: decided variable 1..V, 0 for none; else unused
  unsigned size = 0;                     // and/or: child count; literal: variable 1..V;
                                         // duplicate: index of its stand-in; dead: 0
  std::unique_ptr<unsigned[]> children;  // and/or: at least `size` child indices, each below this
                                         // node's; null for literals and childless nodes
};

struct nnf {
  unsigned node_count = 0;  // entries of `nodes`; the root is node_count - 1
  unsigned edge_count = 0;  // sum of `size` over the and- and or-nodes
  unsigned var_count = 0;   // variables are 1..var_count
  std::vector<nnfn> nodes;  // children before parents
};

// node_count zeroed (false) nodes, to be filled in by a builder.
std::unique_ptr<nnf> new_nnf_structure(unsigned node_count, unsigned edge_count, unsigned var_count);
void free_nnf(std::unique_ptr<nnf>& circuit);

// ---------------------------------------------------------------------------------------------
// Node classes
// ---------------------------------------------------------------------------------------------
inline bool literal_node(const nnfn& n) {
  return n.type == nnfn_type::pos_literal || n.type == nnfn_type::neg_literal;
}
inline bool true_node(const nnfn& n) { return n.type == nnfn_type::and_node && n.size == 0; }
inline bool false_node(const nnfn& n) { return n.type == nnfn_type::or_node && n.size == 0; }
inline bool leaf_node(const nnfn& n) { return literal_node(n) || true_node(n) || false_node(n); }
inline bool internal_node(const nnfn& n) {
  return (n.type == nnfn_type::or_node || n.type == nnfn_type::and_node) && n.size > 0;
}
inline bool living_node(const nnfn& n) {
  return n.type != nnfn_type::dead && n.type != nnfn_type::duplicate;
}

// ---------------------------------------------------------------------------------------------
// Reference counts, node death and duplicates. refs holds one counter per node: the number of
// edges from living parents, plus one for the root so that it never dies.
// ---------------------------------------------------------------------------------------------
std::vector<unsigned> get_ref_counts(const nnf& circuit);
void ref(unsigned i, std::vector<unsigned>& refs);
// At zero the node dies, and with it every descendant that no living node still holds.
void deref(unsigned i, nnf& circuit, std::vector<unsigned>& refs);
void remove_edges(nnfn& node, nnf& circuit, std::vector<unsigned>& refs);
void make_node_true(nnfn& node, nnf& circuit, std::vector<unsigned>& refs);
void declare_node_dead(nnfn& node, nnf& circuit, std::vector<unsigned>& refs);
// Node i is replaced by node j (j < i); i's parents switch to j when their turn comes.
void declare_node_duplicate(unsigned i, unsigned j, nnf& circuit, std::vector<unsigned>& refs);

// Per-node values of a sweep (variable sets, counts) live until the last parent has used them.
template <typename Value>
void release_after_last_use(unsigned child, std::vector<unsigned>& refs,
                            std::vector<std::unique_ptr<Value>>& values) {
  if (--refs[child] == 0) values[child].reset();
}

// The product of an and-node's children [first, last) into `product`, as a balanced tree of
// products: one factor after another, a wide node would cost the square of its result's length.
// Arithmetic gives copy(to, from) and multiply(to, by), and one(to) for a node without children.
template <typename Number, typename Arithmetic>
void multiply_range(const nnfn& node, unsigned first, unsigned last, std::vector<std::unique_ptr<Number>>& values,
                    Arithmetic& arithmetic, Number& product) {
  if (last - first == 1) {
    arithmetic.copy(product, *values[node.children[first]]);
    return;
  }
  unsigned middle = first + (last - first) / 2;
  multiply_range(node, first, middle, values, arithmetic, product);
  if (last - middle == 1) {  // a lone factor needs no copy
    arithmetic.multiply(product, *values[node.children[middle]]);
    return;
  }
  Number right;
  multiply_range(node, middle, last, values, arithmetic, right);
  arithmetic.multiply(product, right);
}

template <typename Number, typename Arithmetic>
void multiply_children(const nnfn& node, std::vector<std::unique_ptr<Number>>& values, Arithmetic& arithmetic,
                       Number& product) {
  if (node.size == 0)
    arithmetic.one(product);
  else
    multiply_range(node, 0, node.size, values, arithmetic, product);
}

int unsigned_cmp(const void* a, const void* b);
void sort_unsigned(unsigned* list, unsigned n);

// ---------------------------------------------------------------------------------------------
// Unique table: structurally equal internal nodes (same type, same sorted children).
// ---------------------------------------------------------------------------------------------
constexpr unsigned REDUCTION_TABLE_SIZE = 2015179;  // a prime; the most buckets reduction uses
constexpr unsigned UN_END = 0xFFFFFFFFu;            // end of a chain

// The bucket count for about `wanted` entries: the smallest prime at least `wanted`, but no
// more than `limit`. Primes keep the simple multiplicative hashes of node ids well spread.
unsigned prime_bucket_count(std::uint64_t wanted, unsigned limit);

struct un_entry {
  unsigned node;  // index of a node entered in the table
  unsigned next;  // index in `entries` of the next entry of the chain, or UN_END
};

struct un_table {
  unsigned size = 0;              // number of buckets
  std::vector<unsigned> buckets;  // chain heads: indices in `entries`, or UN_END
  std::vector<un_entry> entries;  // every entry made, the newest of a chain at its head
};

std::unique_ptr<un_table> construct_un_table(unsigned size);
void free_un_table(std::unique_ptr<un_table>& table);
bool same_node(const nnfn& a, const nnfn& b);  // type, size and children; `var` is not compared
// Sorts the node's children in place, then finds an equal node: true with its index in
// result, or false with the node's bucket in result.
bool lookup_node(unsigned& result, nnfn& node, const nnf& circuit, const un_table& table);
void insert_node(unsigned i, unsigned bucket, un_table& table);

// Drops dead and duplicate nodes, keeping the order of the others; map (node_count entries) is
// overwritten with the old-to-new index map.
void trim_nnf(nnf& circuit, std::vector<unsigned>& map);

// ---------------------------------------------------------------------------------------------
// Reduction: merges equal nodes, absorbs constants, bypasses single-child nodes, splices
// single-parent children of the same type, removes vacuous decisions and subsumed disjuncts,
// and forgets the listed variables by making their literals true. The function is kept
// (up to the forgotten variables) and the circuit is left trimmed.
// ---------------------------------------------------------------------------------------------
void exist_quantify_nnf(const std::vector<unsigned>& vars, nnf& circuit);

void reduce_and_node(unsigned i, nnfn& node, nnf& circuit, std::vector<unsigned>& refs,
                     un_table& table);
void reduce_or_node(unsigned i, nnfn& node, nnf& circuit, std::vector<unsigned>& refs,
                    un_table& table);

void replace_duplicate_children(nnfn& node, const nnf& circuit);
unsigned remove_edges_to_true_children(nnfn& node, nnf& circuit, std::vector<unsigned>& refs);
void fold_in_grandchildren(nnfn& node, nnf& circuit, std::vector<unsigned>& refs);
// (x and s) or (not x and s): true with s's index in result.
bool vacuous_decision_node(unsigned& result, const nnfn& node, const nnf& circuit);
bool has_true_child(const nnfn& node, const nnf& circuit);
bool has_conflicting_literals(const nnfn& node, const nnf& circuit);  // exactly x, not x
bool complimentary_nnf_nodes(const nnfn& m, const nnfn& n);
void remove_subsumed_children(nnfn& node, nnf& circuit, std::vector<unsigned>& refs);
// q entails p, so q is redundant in a disjunction with p.
bool node_subsumes_node(unsigned p, const nnfn& node_p, unsigned q, const nnfn& node_q);
bool child_of(unsigned c, const nnfn& n);
