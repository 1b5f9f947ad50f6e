#include "cnf/cnf_manager.h"

#include <algorithm>
#include <cstdio>

#include "base/utility.h"
#include "cnf/unit_resolution.h"

namespace {

// The orders come from the dtree; one that is not a permutation would leave records unset.
void check_permutation(const unsigned* order, unsigned n, const char* what) {
  std::vector<char> seen(n + 1, 0);
  for (unsigned i = 0; i < n; ++i) {
    unsigned k = order[i];
    if (k == 0 || k > n || seen[k]) fatal("\nThe %s order is not a permutation of 1..%u.", what, n);
    seen[k] = 1;
  }
}

void layout_variables(const unsigned* var_order, cnf_manager* m) {
  unsigned V = m->var_count;
  m->var_block.assign(V, var{});
  m->literal_block.assign(2 * static_cast<std::size_t>(V), literal{});
  m->vars.assign(V, nullptr);
  m->var_records = m->var_block.data();
  for (unsigned i = 0; i < V; ++i) {
    var* x = &m->var_block[i];
    literal* pos = &m->literal_block[2 * static_cast<std::size_t>(i)];
    literal* neg = pos + 1;
    x->index = var_order[i];
    x->pos = pos;
    x->neg = neg;
    x->relevant = 1;
    pos->index = static_cast<int>(x->index);
    neg->index = -static_cast<int>(x->index);
    pos->var = neg->var = x;
    pos->complement = neg;
    neg->complement = pos;
    pos->weight = 1;
    m->vars[x->index - 1] = x;
  }
}

bool complementary_pair(const int* literals, unsigned size) { return size == 2 && literals[0] == -literals[1]; }

// Sets the record of clause number k (file order) from the cnf and counts its occurrences.
void initialize_clause(clause* c, unsigned k, const cnf& formula, literal** storage, bool eclause, cnf_manager* m) {
  const int* source = formula.clause(k - 1);
  unsigned size = formula.clause_size(k - 1);
  c->index = k;
  c->size = size;
  c->mark = 0;
  c->subsumed = 0;
  c->eclause = eclause;
  c->literals = storage;
  bool once = complementary_pair(source, size);
  for (unsigned j = 0; j < size; ++j) {
    literal* l = index2literalp(source[j], m);
    storage[j] = l;
    ++l->occ_count;
    ++l->occ_count_all;
    if (!(once && j == 1)) ++l->var->occ_count;
  }
  storage[size] = nullptr;
  m->literal_count += size;
}

void layout_clauses(const unsigned* clause_order, const cnf& formula, cnf_manager* m) {
  unsigned C = m->clause_count;
  m->clause_block.assign(static_cast<std::size_t>(C) + 2, clause{});
  m->clause_records = m->clause_block.data() + 1;
  m->clause_map.assign(C, nullptr);
  for (unsigned i = 0; i < C; ++i) m->clause_map[clause_order[i] - 1] = &m->clause_records[i];

  std::size_t pool_size = 0;
  for (unsigned k = 0; k < C; ++k) pool_size += formula.clause_size(k) + 1;
  m->literal_pool.assign(pool_size, nullptr);
  unsigned eclauses = std::min(formula.eclause_count, C);
  literal** storage = m->literal_pool.data();
  for (unsigned k = 1; k <= C; ++k) {
    bool eclause = k - 1 >= C - eclauses;
    initialize_clause(m->clause_map[k - 1], k, formula, storage, eclause, m);
    storage += formula.clause_size(k - 1) + 1;
    m->eclause_count += eclause;
  }
}

// One pool holds every occurrence list; `clauses_cursor` serves as the fill position and is
// set back to the list start at the end.
void build_occurrence_lists(cnf_manager* m) {
  std::size_t pool_size = 0;
  for (unsigned i = 0; i < m->var_count; ++i) {
    const var& x = m->var_records[i];
    pool_size += x.occ_count + x.pos->occ_count + x.neg->occ_count + 3;
  }
  m->occurrence_pool.assign(pool_size, nullptr);
  clause** free_entry = m->occurrence_pool.data();
  auto reserve_list = [&free_entry](clause**& list, clause**& cursor, unsigned count) {
    list = cursor = free_entry;
    free_entry += count + 1;
  };
  for (unsigned i = 0; i < m->var_count; ++i) {
    var* x = &m->var_records[i];
    reserve_list(x->clauses, x->clauses_cursor, x->occ_count);
    reserve_list(x->pos->clauses, x->pos->clauses_cursor, x->pos->occ_count);
    reserve_list(x->neg->clauses, x->neg->clauses_cursor, x->neg->occ_count);
  }
  for (unsigned i = 0; i < m->clause_count; ++i) {
    clause* c = &m->clause_records[i];
    bool once = trivial_binary_clause(c);
    for (unsigned j = 0; j < c->size; ++j) {
      literal* l = c->literals[j];
      if (!(once && j == 1)) *l->var->clauses_cursor++ = c;
      *l->clauses_cursor++ = c;
    }
  }
  for (unsigned i = 0; i < m->var_count; ++i) {
    var* x = &m->var_records[i];
    x->clauses_cursor = x->clauses;
    x->pos->clauses_cursor = x->pos->clauses;
    x->neg->clauses_cursor = x->neg->clauses;
  }
}

void record_unit_clauses(cnf_manager* m) {
  for (unsigned i = 0; i < m->clause_count; ++i) {
    const clause* c = &m->clause_records[i];
    if (c->size != 1) continue;
    const literal* l = c->literals[0];
    (l->index > 0 ? m->pos_unit : m->neg_unit)[l->var->index] = 1;
  }
}

// Watch lists receive clauses at the front, so each runs in reverse clause-storage order.
void initialize_watched_literals(cnf_manager* m) {
  for (unsigned i = 0; i < m->clause_count; ++i) {
    clause* c = &m->clause_records[i];
    if (c->size > 1 && !trivial_binary_clause(c)) declare_watched_literals(c, 0);
  }
}

void allocate_search_state(cnf_manager* m) {
  std::size_t V = m->var_count;
  m->trail.assign(2 * V, nullptr);
  m->trail_top = m->trail.data();
  m->level_trail_start.assign(V + 2, nullptr);
  m->level_trail_start[1] = m->trail.data();
  // Positions 0 and 1 are written even for a one-literal clause, so one variable needs two.
  m->learned_buffer.assign(V + 2, nullptr);
  m->learned_top = m->learned_buffer.data();
  m->subsumed_stack.assign(m->clause_count, nullptr);
  m->subsumed_top = m->subsumed_stack.data();
  m->level_subsumed_start.assign(V + 2, nullptr);
  m->level_subsumed_start[1] = m->subsumed_stack.data();
}

}  // namespace

std::unique_ptr<cnf_manager> construct_cnf_manager(const unsigned* var_order, const unsigned* clause_order,
                                                   const cnf& formula) {
  auto m = std::make_unique<cnf_manager>();
  m->var_count = formula.var_count;
  m->clause_count = formula.clause_count();
  m->caching = 0;
  m->pos_unit.assign(static_cast<std::size_t>(m->var_count) + 1, 0);
  m->neg_unit.assign(static_cast<std::size_t>(m->var_count) + 1, 0);
  m->literal_count = 0;
  m->eclause_count = 0;
  m->level = 1;
  m->decision_count = m->assertion_count = m->implication_count = m->max_level = 0;
  m->learned_clauses = nullptr;
  m->learned_count = m->learned_literal_count = 0;
  check_permutation(var_order, m->var_count, "variable");
  check_permutation(clause_order, m->clause_count, "clause");

  layout_variables(var_order, m.get());
  layout_clauses(clause_order, formula, m.get());
  build_occurrence_lists(m.get());
  record_unit_clauses(m.get());
  initialize_watched_literals(m.get());
  allocate_search_state(m.get());
  return m;
}

void free_cnf_manager(std::unique_ptr<cnf_manager>& manager) { manager.reset(); }

bool trivial_binary_clause(const clause* c) { return c->size == 2 && c->literals[0] == c->literals[1]->complement; }

void declare_watched_literals(clause* c, char) {
  add_watched_clause(c, c->literals[0]);
  add_watched_clause(c, c->literals[1]);
  c->watch_start = c->literals + 2;
  c->watch_cursor = c->watch_start;
}

std::vector<int> clause2indices(const clause* c) {
  std::vector<int> indices;
  indices.reserve(c->size + 1);
  for (literal** l = c->literals; *l; ++l)
    if (!literal_false(*l)) indices.push_back((*l)->index);
  std::sort(indices.begin(), indices.end());
  indices.push_back(0);
  return indices;
}

// ---------------------------------------------------------------------------------------------
// Declarations
// ---------------------------------------------------------------------------------------------

namespace {

constexpr const char* EXIST_OUT_OF_BOUND = "\nVariable index %d is out of bound (declared as exist)";

void check_declared_index(unsigned index, const char* out_of_bound, unsigned var_count) {
  if (index == 0 || index > var_count) fatal(out_of_bound, static_cast<int>(index));
}

var* declared_var(unsigned index, const char* out_of_bound, const cnf_manager* m) {
  check_declared_index(index, out_of_bound, m->var_count);
  return index2varp(index, m);
}

// A forgotten variable's literals are dropped from the terms. A decompose-except or determined
// variable is left out of the dtree, so clauses that share it fall into separate components;
// only its literals, kept in every term, tie them together again. Forgetting it would make
// each component forget it on its own: the existential quantifier would move into the
// conjunction and add models.
[[noreturn]] void declared_both(unsigned index, const char* kind) {
  fatal("\nVariable index %d is declared both as %s and exist", static_cast<int>(index), kind);
}

[[noreturn]] void declared_both(unsigned index, const var* x) {
  declared_both(index, x->decompose_except ? "decompose_except" : "determined");
}

using declaration = void (*)(unsigned, const unsigned*, cnf_manager*);

void declare_from_array(const unsigned* list, const char* message, declaration declare, cnf_manager* m) {
  if (!list) return;
  std::vector<unsigned> indices = read_unsigned_array(list);
  if (VERBOSE) std::printf(message, static_cast<unsigned>(indices.size()));
  declare(static_cast<unsigned>(indices.size()), indices.data(), m);
}

void declare_from_file(const char* path, const char* message, declaration declare, cnf_manager* m) {
  if (!path) return;
  std::vector<unsigned> indices = read_unsigned(path);
  if (VERBOSE) std::printf(message, static_cast<unsigned>(indices.size()));
  declare(static_cast<unsigned>(indices.size()), indices.data(), m);
}

constexpr const char* FORCE_MESSAGE = "\nForced-order vars: %u";
constexpr const char* EXIST_MESSAGE = "\nExistentially-quantified vars: %u";
constexpr const char* DETERMINED_MESSAGE = "\nDetermined vars: %u";
constexpr const char* DECOMPOSE_EXCEPT_MESSAGE = "\nDecompose except on vars: %u";

}  // namespace

void declare_force_order_vars(unsigned count, const unsigned* indices, cnf_manager* m) {
  for (unsigned i = 0; i < count; ++i)
    declared_var(indices[i], "\nVariable index %d is out of bound: appears in -force file", m)->force_order = 1;
}

void declare_exist_quantify_vars(unsigned count, const unsigned* indices, cnf_manager* m) {
  for (unsigned i = 0; i < count; ++i) {
    var* x = declared_var(indices[i], EXIST_OUT_OF_BOUND, m);
    if (x->decompose_except || x->determined) declared_both(indices[i], x);
    x->exist = 1;
  }
}

void declare_determined_vars(unsigned count, const unsigned* indices, cnf_manager* m) {
  for (unsigned i = 0; i < count; ++i) {
    var* x = declared_var(indices[i], "\nVariable index %d is out of bound (declared as determined)", m);
    if (x->exist) declared_both(indices[i], "determined");
    x->determined = 1;
  }
}

void declare_decompose_except_vars(unsigned count, const unsigned* indices, cnf_manager* m) {
  for (unsigned i = 0; i < count; ++i) {
    var* x = declared_var(indices[i], "\nVariable index %d is out of bound (declared as decompose_except)", m);
    if (x->exist) declared_both(indices[i], "decompose_except");
    x->decompose_except = 1;
  }
}

void declare_force_order_vars_array(const unsigned* list, cnf_manager* m) {
  declare_from_array(list, FORCE_MESSAGE, declare_force_order_vars, m);
}
void declare_exist_quantify_vars_array(const unsigned* list, cnf_manager* m) {
  declare_from_array(list, EXIST_MESSAGE, declare_exist_quantify_vars, m);
}
void declare_determined_vars_array(const unsigned* list, cnf_manager* m) {
  declare_from_array(list, DETERMINED_MESSAGE, declare_determined_vars, m);
}
void declare_decompose_except_vars_array(const unsigned* list, cnf_manager* m) {
  declare_from_array(list, DECOMPOSE_EXCEPT_MESSAGE, declare_decompose_except_vars, m);
}
void declare_force_order_vars_file(const char* path, cnf_manager* m) {
  declare_from_file(path, FORCE_MESSAGE, declare_force_order_vars, m);
}
void declare_exist_quantify_vars_file(const char* path, cnf_manager* m) {
  declare_from_file(path, EXIST_MESSAGE, declare_exist_quantify_vars, m);
}

std::vector<std::uint8_t> read_exist_flags(const char* path, unsigned var_count) {
  std::vector<std::uint8_t> flags(std::size_t{var_count} + 1, 0);
  if (!path) return flags;
  std::vector<unsigned> indices = read_unsigned(path);
  if (VERBOSE) std::printf(EXIST_MESSAGE, static_cast<unsigned>(indices.size()));
  for (unsigned index : indices) {
    check_declared_index(index, EXIST_OUT_OF_BOUND, var_count);
    flags[index] = 1;
  }
  return flags;
}

void declare_determined_vars_file(const char* path, cnf_manager* m) {
  declare_from_file(path, DETERMINED_MESSAGE, declare_determined_vars, m);
}
void declare_decompose_except_vars_file(const char* path, cnf_manager* m) {
  declare_from_file(path, DECOMPOSE_EXCEPT_MESSAGE, declare_decompose_except_vars, m);
}
