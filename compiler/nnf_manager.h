// The store of circuit nodes while compiling: nodes are carved out of large blocks and never
// freed one by one; and- and or-nodes are unique through one hash table, and the constructors
// apply the simplifications that keep the compiled graph small.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "cnf/cnf_manager.h"

struct nnf;

// Node type codes, shared with the finished circuit.
constexpr std::uint32_t NNF_OR = 0;
constexpr std::uint32_t NNF_AND = 2;
constexpr std::uint32_t NNF_POS_LITERAL = 4;
constexpr std::uint32_t NNF_NEG_LITERAL = 6;

// One node. The record is followed in its block by the children of an and- or or-node.
// Sizes are accounted in 32-bit words (literal 3, or-node 6, and-node 4 + children, constants 2),
// which decides block roll-over and the reported memory; the record itself is laid out for
// 64-bit pointers and takes at most twice that.
struct nnf_node {
  std::uint32_t header;  // bit 0: visit mark; bits 1-7: type code; bits 8-31: cardinality (MIN_CARD)
  std::uint32_t id;      // creation number; after saving or extraction, the output index
  union {
    nnf_node* next;      // and/or: next node of the same unique-table bucket
    std::uint32_t var;   // literal: the variable, 1-based
  };
  std::uint32_t size;    // and: number of children; or: the decided variable (0 when none)
  std::uint32_t hash;    // and/or: the unique-table hash, so that the table grows without
                         // reading any child (the word fills the record's alignment padding)

  nnf_node** children() { return reinterpret_cast<nnf_node**>(this + 1); }
  nnf_node* const* children() const { return reinterpret_cast<nnf_node* const*>(this + 1); }
  std::uint32_t type() const { return header & 0xFE; }
  std::uint32_t cardinality() const { return header >> 8; }
  unsigned child_count() const;  // and: size; or: 2; constants and literals: 0
};

// A literal node, accounted 3 words, must fit in twice that.
static_assert(sizeof(nnf_node) <= 24, "an nnf_node outgrows the block room of a literal");

extern nnf_node* ZERO_NNF_NODE;  // the false node: an or-node without children
extern nnf_node* ONE_NNF_NODE;   // the true node: an and-node without children

// Blocks come from malloc, whose failure is an answer rather than an exit: a failed block
// allocation halves the block size.
struct block_deleter {
  void operator()(char* block) const { std::free(block); }
};

struct nnf_manager {
  unsigned node_count = 0;        // nodes made so far; also the next id
  unsigned edge_count = 0;        // children of all and- and or-nodes made
  unsigned or_count = 0;          // or-type nodes made, the false node included
  unsigned and_count = 0;         // and-type nodes made, the true node included
  std::vector<nnf_node*> unique_table;  // bucket heads shared by and- and or-nodes
  unsigned unique_table_size = 0;       // buckets now: sized by the formula, grown as nodes come
  unsigned unique_table_limit = 0;      // the most buckets the table grows to
  unsigned unique_count = 0;            // and- and or-nodes in the table
  char* block_start = nullptr;    // the current block
  char* block_free = nullptr;     // first free byte of the current block
  std::uint32_t block_words = 0;        // 32-bit words of the current block
  std::uint32_t block_words_used = 0;   // 32-bit words accounted in the current block
  std::uint32_t block_capacity = 0;     // most 32-bit words per block; halved after a failed allocation
  std::uint64_t opened_words = 0;       // 32-bit words of every block opened so far
  std::vector<std::unique_ptr<char, block_deleter>> blocks;  // every block, for freeing
  std::vector<nnf_node*> pos_literals;  // positive literal node of variable i at i - 1
  std::vector<nnf_node*> neg_literals;  // negative literal node of variable i at i - 1
  nnf_node* root = nullptr;       // the compiled circuit, set by the compiler
  unsigned var_count = 0;
  std::vector<nnf_node*> scratch; // var_count + 2 entries for building terms and conjunctions
  std::uint32_t memory = 0;       // bytes of node storage handed out, in 32-bit accounting
};

// table_size is the most buckets the unique table grows to: it starts sized by the formula, so
// that a small formula does not pay for the buckets a large one needs.
std::unique_ptr<nnf_manager> construct_nnf_manager(const cnf_manager* cm, unsigned table_size);
// The same for a search that keeps no CNF manager: sized by the formula's variables and clauses.
std::unique_ptr<nnf_manager> construct_nnf_manager(unsigned var_count, unsigned clause_count, unsigned table_size);
void free_nnf_manager(std::unique_ptr<nnf_manager>& manager);

nnf_node* literal2nnf_node(const literal* lit, const nnf_manager* m);
nnf_node* neg_literal_nnf_node(const nnf_node* literal_node, const nnf_manager* m);

// Unique nodes. get_and_node may reorder the children array it is given.
nnf_node* get_and_node(unsigned n, nnf_node** children, nnf_manager* m);
nnf_node* get_or_node(unsigned var, nnf_node* a, nnf_node* b, nnf_manager* m);

// Combinators used by the compiler.
nnf_node* conjoin_nnfs(nnf_node* a, nnf_node* b, nnf_manager* m);
nnf_node* conjoin_nnfs_lits(nnf_node* a, nnf_node* b, literal** first, literal** last, nnf_manager* m);
nnf_node* disjoin_nnfs(const var* v, nnf_node* a, nnf_node* b, nnf_manager* m);
nnf_node* disjoin_nnfs_i(unsigned var, nnf_node* a, nnf_node* b, nnf_manager* m);
nnf_node* term2nnf_node(literal** first, literal** last, nnf_manager* m);
nnf_node* clause2nnf_node(const clause* c, nnf_manager* m);
nnf_node* e_clause2nnf_node(const clause* c, nnf_manager* m);

// Output of the part reachable from the root.
void count_nnf_nodes(nnf_node* node, unsigned* nodes, unsigned* edges);
// Writes the file whole or not at all, with the messages of save_nnf_to_file.
void save_nnf_manager_to_file(const char* path, nnf_manager* m);
// Returns the nodes and edges written.
std::pair<unsigned, unsigned> write_nnf_manager(std::FILE* out, nnf_manager* m);
std::unique_ptr<nnf> extract_nnf_from_manager(nnf_manager* m);
