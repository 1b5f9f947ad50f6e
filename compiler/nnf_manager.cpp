#include "compiler/nnf_manager.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>

#include "base/output_file.h"
#include "base/utility.h"
#include "compiler/compile.h"
#include "compiler/table_growth.h"
#include "nnf/nnf_operations.h"

nnf_node* ZERO_NNF_NODE = nullptr;
nnf_node* ONE_NNF_NODE = nullptr;

namespace {

constexpr std::uint32_t MARK = 1;
constexpr std::uint32_t FULL_CARDINALITY = 0xFFFFFF;
constexpr std::uint64_t MIN_FIRST_BLOCK_WORDS = 1 << 14;
constexpr std::uint64_t MIN_UNIQUE_TABLE_SIZE = 1 << 10;

bool is_literal_type(std::uint32_t type) { return type == NNF_POS_LITERAL || type == NNF_NEG_LITERAL; }

bool is_constant(const nnf_node* n) { return n == ZERO_NNF_NODE || n == ONE_NNF_NODE; }

// The size a node is accounted with, in 32-bit words.
std::uint32_t accounted_words(std::uint32_t type, unsigned n) {
  if (is_literal_type(type)) return 3;
  if (n == 0) return 2;
  return type == NNF_OR ? 6 : n + 4;
}

std::size_t physical_bytes(std::uint32_t type, unsigned n) {
  unsigned children = is_literal_type(type) ? 0 : type == NNF_OR ? (n ? 2 : 0) : n;
  return sizeof(nnf_node) + children * sizeof(nnf_node*);
}

// Physical room per block: every node takes at most twice its accounted bytes, but for the
// two constants, which the slack covers.
std::size_t physical_block_bytes(std::uint32_t words) {
  return 8 * static_cast<std::size_t>(words) + 2 * sizeof(nnf_node);
}

void set_cardinality(nnf_node* n, std::uint32_t cardinality) {
  n->header = (n->header & 0xFF) | ((cardinality & FULL_CARDINALITY) << 8);
}

// What the first sizes of the unique table and the blocks go by: a larger formula makes more nodes.
// The first block holds the constants and the literals with room for the first nodes of the search.
std::uint32_t first_block_words(std::uint64_t formula_size, std::uint32_t capacity) {
  std::uint64_t words = std::max(MIN_FIRST_BLOCK_WORDS, 8 * formula_size);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(words, capacity));
}

// Until block_capacity words are open, each block is as large as all blocks before it together,
// so a small circuit touches little memory; from then on every block has the full size.
std::uint32_t next_block_words(const nnf_manager* m) {
  if (m->opened_words >= m->block_capacity) return m->block_capacity;
  return static_cast<std::uint32_t>(std::min(m->opened_words, m->block_capacity - m->opened_words));
}

// Opens a block of `words` words, or of `node_words` for a node larger than that, so that no
// node ever runs past the end of its block. A failed allocation halves the block size, down to
// 1 MB. The blocks that make up the first block_capacity words are not reported: together they
// stand for the first block of the full size.
void allocate_nnf_memory_block(std::uint32_t words, std::uint32_t node_words, nnf_manager* m) {
  for (;;) {
    if (static_cast<std::uint64_t>(m->block_capacity) * 4 < 0x100000) fatal("\nOut of memory for storing NNF.");
    std::uint32_t size = std::max(words, node_words);
    char* block = static_cast<char*>(std::malloc(physical_block_bytes(size)));
    if (!block) {
      m->block_capacity /= 2;
      words = std::min(words, m->block_capacity);
      continue;
    }
    bool reported = m->opened_words >= m->block_capacity;
    m->blocks.emplace_back(block);
    m->block_start = m->block_free = block;
    m->block_words = size;
    m->block_words_used = 0;
    m->opened_words += size;
    if (VERBOSE && reported) std::printf(" [%u MBs] ", static_cast<unsigned>((m->block_capacity * 4ull) >> 20));
    return;
  }
}

nnf_node* allocate_nnf_node(std::uint32_t type, unsigned n, nnf_manager* m) {
  if (type != NNF_OR && type != NNF_AND && !is_literal_type(type)) fatal("\nUnknown node type in allocate_nnf_node");
  std::uint32_t words = accounted_words(type, n);
  if (static_cast<std::uint64_t>(m->block_words_used) + words >= m->block_words)
    allocate_nnf_memory_block(next_block_words(m), words, m);
  nnf_node* node = reinterpret_cast<nnf_node*>(m->block_free);
  m->block_free += physical_bytes(type, n);
  m->block_words_used += words;
  node->header = type;
  node->id = m->node_count++;
  node->next = nullptr;
  node->size = 0;
  node->hash = 0;
  if (type == NNF_OR) ++m->or_count;
  if (type == NNF_AND) ++m->and_count;
  m->edge_count += n;
  m->memory += words * 4;
  return node;
}

nnf_node* new_zero_node(nnf_manager* m) {
  nnf_node* n = allocate_nnf_node(NNF_OR, 0, m);
  if (MIN_CARD) set_cardinality(n, FULL_CARDINALITY);
  return n;
}

nnf_node* new_one_node(nnf_manager* m) { return allocate_nnf_node(NNF_AND, 0, m); }

nnf_node* new_literal_node(std::uint32_t type, unsigned var, int weight, nnf_manager* m) {
  nnf_node* n = allocate_nnf_node(type, 0, m);
  n->var = var;
  if (MIN_CARD) set_cardinality(n, static_cast<std::uint32_t>(weight));
  return n;
}

nnf_node* new_and_node(unsigned count, nnf_node* const* children, nnf_manager* m) {
  nnf_node* n = allocate_nnf_node(NNF_AND, count, m);
  n->size = count;
  std::uint32_t cardinality = 0;
  for (unsigned i = 0; i < count; ++i) {
    n->children()[i] = children[i];
    cardinality += children[i]->cardinality();
  }
  if (MIN_CARD) set_cardinality(n, cardinality);
  return n;
}

nnf_node* new_or_node(unsigned var, nnf_node* a, nnf_node* b, nnf_manager* m) {
  nnf_node* n = allocate_nnf_node(NNF_OR, 2, m);
  n->size = var;
  n->children()[0] = a;
  n->children()[1] = b;
  if (MIN_CARD) set_cardinality(n, std::min(a->cardinality(), b->cardinality()));
  return n;
}

bool by_id(const nnf_node* a, const nnf_node* b) { return a->id < b->id; }

bool same_children(const nnf_node* n, unsigned count, nnf_node* const* children) {
  return std::equal(children, children + count, n->children());
}

std::uint32_t and_node_hash(unsigned n, nnf_node* const* children) {
  std::uint32_t h = 2;
  for (unsigned i = 0; i < n; ++i) h = h * 31 + children[i]->id;
  return h;
}

std::uint32_t or_node_hash(const nnf_node* first, const nnf_node* second) { return first->id * 31 + second->id; }

nnf_node*& bucket_of(std::uint32_t hash, nnf_manager* m) { return m->unique_table[hash % m->unique_table_size]; }

// INVARIANT: no two nodes of the table are equal, so a lookup finds the same node whatever the
// order of a chain, and rehashing may reorder chains freely.
void grow_unique_table(nnf_manager* m) {
  unsigned size = grown_bucket_count(m->unique_table_size, m->unique_table_limit);
  std::vector<nnf_node*> grown(size, nullptr);
  for (nnf_node* chain : m->unique_table) {
    while (chain) {
      nnf_node* n = chain;
      chain = n->next;
      nnf_node*& head = grown[n->hash % size];
      n->next = head;
      head = n;
    }
  }
  m->unique_table.swap(grown);
  m->unique_table_size = size;
}

// Puts a new node at the head of its chain, growing the table first when it is due.
nnf_node* enter_unique_node(nnf_node* n, std::uint32_t hash, nnf_manager* m) {
  if (table_outgrown(++m->unique_count, m->unique_table_size, m->unique_table_limit)) grow_unique_table(m);
  nnf_node*& head = bucket_of(hash, m);
  n->hash = hash;
  n->next = head;
  head = n;
  return n;
}

// x entails y within a disjunction when x is an and-node with child y, or y an or-node with child x.
bool entails(const nnf_node* x, const nnf_node* y) {
  if (!is_constant(x) && x->type() == NNF_AND) {
    for (unsigned i = 0; i < x->size; ++i)
      if (x->children()[i] == y) return true;
  }
  if (!is_constant(y) && y->type() == NNF_OR) return y->children()[0] == x || y->children()[1] == x;
  return false;
}

bool complementary_literals(const nnf_node* a, const nnf_node* b) {
  return is_literal_type(a->type()) && is_literal_type(b->type()) && a->type() != b->type() && a->var == b->var;
}

// The current dtree node owns a variable's literals in its terms when the variable is one of
// its pure variables or was declared current by it (context and decompose-except variables).
bool belongs_to_current_dtree(const var* v) {
  if (v->exist) return false;
  if (v->determined) return true;
  if (!v->relevant) return false;
  if (v >= FIRST_PURE_VAR && v <= LAST_PURE_VAR) return true;
  return v->dtree == CURRENT_DTREE;
}

// The conjunction of the nodes gathered in scratch[0..count).
nnf_node* conjoin_scratch(unsigned count, nnf_manager* m) {
  if (count == 0) return ONE_NNF_NODE;
  if (count == 1) return m->scratch[0];
  return get_and_node(count, m->scratch.data(), m);
}

}  // namespace

unsigned nnf_node::child_count() const {
  if (this == ZERO_NNF_NODE || this == ONE_NNF_NODE || is_literal_type(type())) return 0;
  return type() == NNF_OR ? 2 : size;
}

std::unique_ptr<nnf_manager> construct_nnf_manager(const cnf_manager* cm, unsigned table_size) {
  return construct_nnf_manager(cm->var_count, cm->clause_count, table_size);
}

// A positive literal counts 1 towards the cardinality of a model, a negative one 0.
std::unique_ptr<nnf_manager> construct_nnf_manager(unsigned var_count, unsigned clause_count, unsigned table_size) {
  assert(table_size > 0);
  auto m = std::make_unique<nnf_manager>();
  std::uint64_t formula_size = std::uint64_t{var_count} + clause_count;
  m->var_count = var_count;
  m->unique_table_limit = table_size;
  m->unique_table_size = prime_bucket_count(std::max(MIN_UNIQUE_TABLE_SIZE, 2 * formula_size), table_size);
  m->unique_table.assign(m->unique_table_size, nullptr);
  m->scratch.assign(var_count + 2, nullptr);
  m->block_capacity = MAX_NNF_MEMORY_BLOCK / 4;
  allocate_nnf_memory_block(first_block_words(formula_size, m->block_capacity), 0, m.get());
  m->node_count = m->edge_count = m->or_count = m->and_count = m->memory = 0;
  ZERO_NNF_NODE = new_zero_node(m.get());
  ONE_NNF_NODE = new_one_node(m.get());
  m->pos_literals.resize(var_count);
  m->neg_literals.resize(var_count);
  for (unsigned i = 1; i <= var_count; ++i) {
    m->pos_literals[i - 1] = new_literal_node(NNF_POS_LITERAL, i, 1, m.get());
    m->neg_literals[i - 1] = new_literal_node(NNF_NEG_LITERAL, i, 0, m.get());
  }
  return m;
}

void free_nnf_manager(std::unique_ptr<nnf_manager>& manager) { manager.reset(); }

nnf_node* literal2nnf_node(const literal* lit, const nnf_manager* m) {
  return lit->index > 0 ? m->pos_literals[lit->index - 1] : m->neg_literals[-lit->index - 1];
}

nnf_node* neg_literal_nnf_node(const nnf_node* literal_node, const nnf_manager* m) {
  return literal_node->type() == NNF_POS_LITERAL ? m->neg_literals[literal_node->var - 1]
                                                 : m->pos_literals[literal_node->var - 1];
}

nnf_node* get_and_node(unsigned n, nnf_node** children, nnf_manager* m) {
  if (SUPPRESS_AND_NL_EDGES) {
    n = push_items_to_end(children, n, [](const nnf_node* c) { return c->type() == NNF_NEG_LITERAL && !is_constant(c); });
    if (n == 0) return ONE_NNF_NODE;
  }
  std::sort(children, children + n, by_id);
  std::uint32_t h = and_node_hash(n, children);
  for (nnf_node* candidate = bucket_of(h, m); candidate; candidate = candidate->next)
    if (candidate->hash == h && candidate->type() == NNF_AND && candidate->size == n &&
        same_children(candidate, n, children))
      return candidate;
  return enter_unique_node(new_and_node(n, children, m), h, m);
}

// The pair is ordered by creation number: a fixed total order that, unlike memory addresses,
// makes the circuit file the same from run to run.
nnf_node* get_or_node(unsigned var, nnf_node* a, nnf_node* b, nnf_manager* m) {
  if (MIN_CARD) {
    if (a->cardinality() < b->cardinality()) return a;
    if (b->cardinality() < a->cardinality()) return b;
  }
  if (b->id < a->id) std::swap(a, b);
  std::uint32_t h = or_node_hash(a, b);
  for (nnf_node* candidate = bucket_of(h, m); candidate; candidate = candidate->next)
    if (candidate->hash == h && candidate->type() == NNF_OR && candidate->children()[0] == a &&
        candidate->children()[1] == b)
      return candidate;
  return enter_unique_node(new_or_node(var, a, b, m), h, m);
}

nnf_node* disjoin_nnfs(const var* v, nnf_node* a, nnf_node* b, nnf_manager* m) {
  return disjoin_nnfs_i(v->exist ? 0 : v->index, a, b, m);
}

nnf_node* disjoin_nnfs_i(unsigned var, nnf_node* a, nnf_node* b, nnf_manager* m) {
  if (a == ONE_NNF_NODE || b == ONE_NNF_NODE) return ONE_NNF_NODE;
  if (a == ZERO_NNF_NODE) return b;
  if (b == ZERO_NNF_NODE) return a;
  if (complementary_literals(a, b)) return ONE_NNF_NODE;
  if (var == 0) {
    if (a == b) return a;
    if (entails(a, b)) return b;
    if (entails(b, a)) return a;
  }
  return get_or_node(var, a, b, m);
}

nnf_node* conjoin_nnfs(nnf_node* a, nnf_node* b, nnf_manager* m) {
  if (a == ZERO_NNF_NODE || b == ZERO_NNF_NODE) return ZERO_NNF_NODE;
  if (a == ONE_NNF_NODE) return b;
  if (b == ONE_NNF_NODE) return a;
  m->scratch[0] = a;
  m->scratch[1] = b;
  return get_and_node(2, m->scratch.data(), m);
}

nnf_node* term2nnf_node(literal** first, literal** last, nnf_manager* m) {
  unsigned count = 0;
  for (literal** l = first; l <= last; ++l)
    if (belongs_to_current_dtree((*l)->var)) m->scratch[count++] = literal2nnf_node(*l, m);
  return conjoin_scratch(count, m);
}

nnf_node* conjoin_nnfs_lits(nnf_node* a, nnf_node* b, literal** first, literal** last, nnf_manager* m) {
  if (a == ZERO_NNF_NODE || b == ZERO_NNF_NODE) return ZERO_NNF_NODE;
  nnf_node* term = term2nnf_node(first, last, m);
  unsigned count = 0;
  for (nnf_node* part : {a, b, term})
    if (part != ONE_NNF_NODE) m->scratch[count++] = part;
  return conjoin_scratch(count, m);
}

// l1 or (not l1 and (l2 or (not l2 and ...))): deterministic, each or-node deciding the
// variable of its left literal. Built from the last literal backwards.
static nnf_node* disjoin_literals(nnf_node* const* lits, unsigned k, nnf_manager* m) {
  nnf_node* result = lits[k - 1];
  for (unsigned i = k - 1; i-- > 0;)
    result = disjoin_nnfs_i(lits[i]->var, lits[i], conjoin_nnfs(neg_literal_nnf_node(lits[i], m), result, m), m);
  return result;
}

nnf_node* clause2nnf_node(const clause* c, nnf_manager* m) {
  if (c->eclause) return e_clause2nnf_node(c, m);
  std::vector<nnf_node*> lits;
  for (literal** l = c->literals; *l; ++l) {
    if ((*l)->false_level) continue;
    if ((*l)->var->exist) return ONE_NNF_NODE;
    lits.push_back(literal2nnf_node(*l, m));
  }
  if (lits.empty()) return ZERO_NNF_NODE;
  std::sort(lits.begin(), lits.end(), by_id);
  return disjoin_literals(lits.data(), static_cast<unsigned>(lits.size()), m);
}

// The complement of a collected eclause member; the true node stands for a literal of an
// existentially quantified variable and is its own complement.
static nnf_node* complement_of_member(nnf_node* x, const nnf_manager* m) {
  return x == ONE_NNF_NODE ? ONE_NNF_NODE : neg_literal_nnf_node(x, m);
}

// Exactly one of the non-false literals: (x1 and none of the rest) or (not x1 and exactly one of
// the rest), built from the back. With no non-false literal the clause is false.
nnf_node* e_clause2nnf_node(const clause* c, nnf_manager* m) {
  std::vector<nnf_node*> xs;
  for (literal** l = c->literals; *l; ++l) {
    if ((*l)->false_level) continue;
    xs.push_back((*l)->var->exist ? ONE_NNF_NODE : literal2nnf_node(*l, m));
  }
  if (xs.empty()) return ZERO_NNF_NODE;
  std::sort(xs.begin(), xs.end(), by_id);
  unsigned k = static_cast<unsigned>(xs.size());
  // none_after[i]: the conjunction of the complements of xs[i + 1 .. k - 1].
  std::vector<nnf_node*> none_after(k, ONE_NNF_NODE);
  for (unsigned i = k - 1; i-- > 0;) none_after[i] = conjoin_nnfs(complement_of_member(xs[i + 1], m), none_after[i + 1], m);
  nnf_node* result = xs[k - 1];
  for (unsigned i = k - 1; i-- > 0;) {
    unsigned label = xs[i] == ONE_NNF_NODE ? 0 : xs[i]->var;
    result = disjoin_nnfs_i(label, conjoin_nnfs(xs[i], none_after[i], m),
                            conjoin_nnfs(complement_of_member(xs[i], m), result, m), m);
  }
  return result;
}

namespace {

// Visits the nodes reachable from `root` children first, each once, calling `visit` on every
// node at the moment its children are done. Iterative, so deep circuits cannot overflow the
// stack. A node is visited when its mark equals `unvisited`; the walk flips the mark.
template <typename Visit>
void post_order(nnf_node* root, std::uint32_t unvisited, Visit visit) {
  struct frame {
    nnf_node* node;
    unsigned next_child;
  };
  std::vector<frame> stack;
  auto enter = [&](nnf_node* n) {
    if ((n->header & MARK) != unvisited) return;
    n->header ^= MARK;
    stack.push_back({n, 0});
  };
  enter(root);
  while (!stack.empty()) {
    frame& top = stack.back();
    if (top.next_child < top.node->child_count()) {
      enter(top.node->children()[top.next_child++]);
      continue;
    }
    nnf_node* done = top.node;
    stack.pop_back();
    visit(done);
  }
}

}  // namespace

void count_nnf_nodes(nnf_node* node, unsigned* nodes, unsigned* edges) {
  post_order(node, 0, [&](nnf_node* n) {
    ++*nodes;
    *edges += n->child_count();
  });
}

void save_nnf_manager_to_file(const char* path, nnf_manager* m) {
  save_whole_file(path, [&](std::FILE* file) { write_nnf_manager(file, m); }, DATA_FILE_FAILURE);
}

std::pair<unsigned, unsigned> write_nnf_manager(std::FILE* file, nnf_manager* m) {
  unsigned nodes = 0, edges = 0;
  count_nnf_nodes(m->root, &nodes, &edges);
  if (VERBOSE) {
    std::printf("\n%0.1f%% of nodes, and %0.1f%% of edges are dead.",
                m->node_count ? 100.0 * (m->node_count - nodes) / m->node_count : 0.0,
                m->edge_count ? 100.0 * (m->edge_count - edges) / m->edge_count : 0.0);
    std::printf("\nSaving %u nodes and %u edges...", nodes, edges);
  }
  std::fprintf(file, "nnf %u %u %u\n", nodes, edges, m->var_count);
  unsigned next_index = 0;
  post_order(m->root, MARK, [&](nnf_node* n) {
    if (n == ZERO_NNF_NODE) {
      std::fputs("O 0 0\n", file);
    } else if (n == ONE_NNF_NODE) {
      std::fputs("A 0\n", file);
    } else if (n->type() == NNF_POS_LITERAL) {
      std::fprintf(file, "L %u\n", n->var);
    } else if (n->type() == NNF_NEG_LITERAL) {
      std::fprintf(file, "L -%u\n", n->var);
    } else if (n->type() == NNF_AND) {
      std::fprintf(file, "A %u", n->size);
      for (unsigned i = 0; i < n->size; ++i) std::fprintf(file, " %u", n->children()[i]->id);
      std::fputc('\n', file);
    } else {
      std::fprintf(file, "O %u 2 %u %u\n", n->size, n->children()[0]->id, n->children()[1]->id);
    }
    n->id = next_index++;
  });
  if (VERBOSE) std::printf("done.");
  return {nodes, edges};
}

// The same post-order as the writer, each node taking the next index.
std::unique_ptr<nnf> extract_nnf_from_manager(nnf_manager* m) {
  unsigned nodes = 0, edges = 0;
  count_nnf_nodes(m->root, &nodes, &edges);
  std::unique_ptr<nnf> circuit = new_nnf_structure(nodes, edges, m->var_count);
  unsigned next_index = 0;
  post_order(m->root, MARK, [&](nnf_node* n) {
    nnfn& out = circuit->nodes[next_index];
    if (n == ZERO_NNF_NODE || n == ONE_NNF_NODE) {
      out.type = n == ZERO_NNF_NODE ? nnfn_type::or_node : nnfn_type::and_node;
    } else if (is_literal_type(n->type())) {
      out.type = n->type() == NNF_POS_LITERAL ? nnfn_type::pos_literal : nnfn_type::neg_literal;
      out.size = n->var;
    } else {
      unsigned count = n->child_count();
      out.type = n->type() == NNF_AND ? nnfn_type::and_node : nnfn_type::or_node;
      if (n->type() == NNF_OR) out.var = n->size;
      out.size = count;
      out.children.reset(new unsigned[count]);
      for (unsigned i = 0; i < count; ++i) out.children[i] = n->children()[i]->id;
    }
    n->id = next_index++;
  });
  return circuit;
}
