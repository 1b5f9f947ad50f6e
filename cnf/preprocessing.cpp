#include "cnf/preprocessing.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "base/utility.h"
#include "cnf/trie.h"
#include "cnf/unit_resolution.h"

namespace {

std::size_t bucket_slot(const literal* l) { return 2 * static_cast<std::size_t>(l->var->index) + (l->index < 0); }

unsigned long long pair_key(const literal* x, const literal* y) {
  unsigned long long a = bucket_slot(x);
  unsigned long long b = bucket_slot(y);
  return a < b ? a << 32 | b : b << 32 | a;
}

void append_to_bucket(literal* x, literal* y, binary_buckets& buckets) {
  std::size_t slot = bucket_slot(x);
  unsigned node = static_cast<unsigned>(buckets.nodes.size());
  buckets.nodes.push_back({y, NO_BUCKET_NODE});
  if (buckets.tail[slot] == NO_BUCKET_NODE)
    buckets.head[slot] = node;
  else
    buckets.nodes[buckets.tail[slot]].next = node;
  buckets.tail[slot] = node;
}

// One pending call of the resolution recursion (add_binary_clause_to_buckets calling itself
// and add_unit_clause, and back). The closure can chain through as many new clauses as there
// are, so the calls live on an explicit stack, resumed where they left off.
struct resolution_frame {
  bool unit;            // a call of add_unit_clause, else of add_binary_clause_to_buckets
  literal* a;           // binary: the clause (a or b); unit: the literal asserted
  literal* b;
  int stage;            // 0 not started; binary: 1 resolving on not a, 2 on not b; unit: 1 recording
  unsigned node;        // binary: the bucket node whose resolvent was added last
  literal** bottom;     // unit: the oldest trail entry that the assertion added
  literal** cursor;     // unit: the trail entry being recorded (walks down to bottom)
  clause** occurrence;  // unit: next clause of the cursor literal's complement; null between literals
};

resolution_frame binary_call(literal* a, literal* b) { return {false, a, b, 0, NO_BUCKET_NODE, nullptr, nullptr, nullptr}; }
resolution_frame unit_call(literal* x) { return {true, x, nullptr, 0, NO_BUCKET_NODE, nullptr, nullptr, nullptr}; }

class binary_resolver {
 public:
  binary_resolver(binary_buckets& buckets, cnf_manager* m) : buckets_(buckets), m_(m) {}

  // Runs the call to completion; false as soon as any call meets a conflict.
  bool run(resolution_frame call) {
    stack_.assign(1, call);
    while (!stack_.empty()) {
      std::size_t top = stack_.size() - 1;
      if (!(stack_[top].unit ? step_unit(top) : step_binary(top))) return false;
    }
    return true;
  }

 private:
  unsigned first_node(const literal* l) const { return buckets_.head[bucket_slot(l)]; }

  // The clause (a or b), then its resolvents with (not a or c) for each c in the bucket of
  // not a, then with (not b or c). A bucket is read one node at a time, so nodes appended by
  // inner calls are still visited.
  bool step_binary(std::size_t i) {
    resolution_frame& f = stack_[i];
    if (f.stage == 0) {
      if (buckets_.steps_left == 0) {
        buckets_.exhausted = true;
        stack_.pop_back();
        return true;
      }
      --buckets_.steps_left;
      if (f.a == f.b) {
        f = unit_call(f.a);
        return true;
      }
      if (f.b == f.a->complement || literal_true(f.a) || literal_true(f.b) || !add_literal(f.a, f.b, buckets_)) {
        stack_.pop_back();
        return true;
      }
      f.stage = 1;
      f.node = first_node(f.a->complement);
    } else {
      f.node = buckets_.nodes[f.node].next;
    }
    for (;;) {
      if (f.node != NO_BUCKET_NODE) {
        resolution_frame resolvent = binary_call(f.stage == 1 ? f.b : f.a, buckets_.nodes[f.node].other);
        stack_.push_back(resolvent);
        return true;
      }
      if (f.stage == 2) {
        stack_.pop_back();
        return true;
      }
      f.stage = 2;
      f.node = first_node(f.b->complement);
    }
  }

  // Asserts the literal, then walks what that set, newest first: each becomes a unit clause, and
  // each input clause of its complement that is now down to two literals joins the buckets.
  bool step_unit(std::size_t i) {
    resolution_frame& f = stack_[i];
    if (f.stage == 0) {
      literal** before = m_->trail_top;
      if (!assert_unit_clause(f.a, m_)) return false;
      f.stage = 1;
      f.bottom = before;
      f.cursor = m_->trail_top;
      f.occurrence = nullptr;
    }
    for (;;) {
      if (!f.occurrence) {
        if (f.cursor == f.bottom) {
          stack_.pop_back();
          return true;
        }
        literal* t = *--f.cursor;
        record_unit_clause(t, m_);
        f.occurrence = t->complement->clauses;
      }
      while (*f.occurrence) {
        const clause* c = *f.occurrence++;
        literal *a = nullptr, *b = nullptr;
        if (is_binary_clause(c, a, b)) {
          stack_.push_back(binary_call(a, b));
          return true;
        }
      }
      f.occurrence = nullptr;
    }
  }

  binary_buckets& buckets_;
  cnf_manager* m_;
  std::vector<resolution_frame> stack_;
};

// Far more than the closures of real formulas take (tens of steps per literal), small enough
// to end in seconds where the closure would not.
std::size_t step_budget(const cnf_manager* m) { return 20000000 + 40 * static_cast<std::size_t>(m->literal_count); }

bool resolve_two_literal_clauses(cnf_manager* m) {
  binary_buckets buckets(m->var_count, step_budget(m));
  for (unsigned k = 1; k <= m->clause_count; ++k) {
    const clause* c = index2clausep(k, m);
    literal *a = nullptr, *b = nullptr;
    if (is_binary_clause(c, a, b) && !add_binary_clause_to_buckets(a, b, buckets, m)) return false;
    if (c->eclause && !add_e_clause_b_clauses(c, buckets, m)) return false;
  }
  if (buckets.exhausted && VERBOSE)
    std::printf("(binary resolution stopped at %zu two-literal clauses)...", buckets.known.size());
  return true;
}

}  // namespace

binary_buckets::binary_buckets(unsigned var_count, std::size_t step_budget)
    : head(2 * (static_cast<std::size_t>(var_count) + 1), NO_BUCKET_NODE),
      tail(2 * (static_cast<std::size_t>(var_count) + 1), NO_BUCKET_NODE),
      steps_left(step_budget) {}

unsigned count_unit_clauses(const cnf_manager* m) {
  unsigned count = 0;
  for (unsigned v = 1; v <= m->var_count; ++v) count += (m->pos_unit[v] != 0) + (m->neg_unit[v] != 0);
  return count;
}

void record_unit_clause(const literal* t, cnf_manager* m) {
  (t->index > 0 ? m->pos_unit : m->neg_unit)[t->var->index] = 1;
}

bool is_binary_clause(const clause* c, literal*& a, literal*& b) {
  if (c->subsumed) return false;
  unsigned open = 0;
  for (literal** l = c->literals; *l; ++l) {
    if (literal_false(*l)) continue;
    if (++open > 2) return false;
    (open == 1 ? a : b) = *l;
  }
  return open == 2;
}

bool add_literal(literal* x, literal* y, binary_buckets& buckets) {
  if (!buckets.known.insert(pair_key(x, y)).second) return false;
  append_to_bucket(x, y, buckets);
  append_to_bucket(y, x, buckets);
  return true;
}

bool add_binary_clause_to_buckets(literal* a, literal* b, binary_buckets& buckets, cnf_manager* m) {
  return binary_resolver(buckets, m).run(binary_call(a, b));
}

bool add_unit_clause(literal* x, binary_buckets& buckets, cnf_manager* m) {
  return binary_resolver(buckets, m).run(unit_call(x));
}

bool add_e_clause_b_clauses(const clause* c, binary_buckets& buckets, cnf_manager* m) {
  if (c->subsumed) return true;
  for (literal** p = c->literals; *p; ++p)
    for (literal** q = p + 1; *q; ++q)
      if (!literal_false(*p) && !literal_false(*q) &&
          !add_binary_clause_to_buckets((*p)->complement, (*q)->complement, buckets, m))
        return false;
  return true;
}

// Units derived here stay in pos_unit / neg_unit, so assert_unit_clauses sets them again with
// everything they imply.
bool binary_resolution(cnf_manager* m) {
  unsigned initial = count_unit_clauses(m);
  bool satisfiable = assert_unit_clauses(m) && resolve_two_literal_clauses(m);
  undo_assert_unit_clauses(m);
  if (satisfiable && VERBOSE) std::printf("%u literals implied...", count_unit_clauses(m) - initial);
  return satisfiable;
}

// ---------------------------------------------------------------------------------------------
// Simplification
// ---------------------------------------------------------------------------------------------

namespace {

std::unique_ptr<cnf_manager> manager_in_file_order(const cnf& formula) {
  std::vector<unsigned> var_order(formula.var_count);
  std::vector<unsigned> clause_order(formula.clause_count());
  std::iota(var_order.begin(), var_order.end(), 1u);
  std::iota(clause_order.begin(), clause_order.end(), 1u);
  return construct_cnf_manager(var_order.data(), clause_order.data(), formula);
}

// Every unit clause and everything unit resolution derives from them is on the trail at level 1.
bool derive_unit_literals(cnf_manager* m) { return binary_resolution(m) && assert_unit_clauses(m); }

std::unique_ptr<cnf> new_cnf(unsigned var_count) {
  auto result = std::make_unique<cnf>();
  result->var_count = var_count;
  return result;
}

// An unsatisfiable formula simplifies to x1 and not x1: the empty clause would be written as a
// line holding only 0, which the reader takes for a comment. Without variables there is only
// the empty clause.
std::unique_ptr<cnf> contradiction_cnf(unsigned var_count) {
  std::unique_ptr<cnf> result = new_cnf(var_count);
  if (var_count == 0) {
    result->clauses.push_back({0});
  } else {
    result->clauses.push_back({1, 0});
    result->clauses.push_back({-1, 0});
  }
  return result;
}

void append_trail_units(const cnf_manager* m, cnf& result) {
  for (literal** t = m->trail_top; t != m->trail.data();) {
    --t;
    result.clauses.push_back({(*t)->index, 0});
  }
}

std::vector<int> non_false_literals_in_clause_order(const clause* c) {
  std::vector<int> literals;
  for (literal** l = c->literals; *l; ++l)
    if (!literal_false(*l)) literals.push_back((*l)->index);
  literals.push_back(0);
  return literals;
}

// Literals -V..V as indices 0..2V.
std::size_t literal_group(int literal, unsigned var_count) {
  return static_cast<std::size_t>(literal + static_cast<int>(var_count));
}

// Stored sets grouped by their first element, one trie per group. A stored subset of s starts
// with some element of s, so a query visits only the groups of s's own elements instead of
// walking a root level as wide as the number of distinct first literals.
class clause_tries {
 public:
  explicit clause_tries(unsigned var_count) : var_count_(var_count), roots_(2 * std::size_t{var_count} + 1, nullptr) {}
  clause_tries(const clause_tries&) = delete;
  clause_tries& operator=(const clause_tries&) = delete;
  ~clause_tries() {
    for (trie_edge* t : roots_) trie_free(t);
  }

  bool holds_subset_of(const int* set) const {
    for (const int* first = set; *first; ++first)
      if (trie_get_subset(first, roots_[group(*first)])) return true;
    return false;
  }

  // The set must hold no stored set, and no stored set may hold it.
  void insert(const int* set, void* data) {
    trie_edge*& t = roots_[group(*set)];
    t = trie_insert(set, data, t);
  }

  // Groups go by increasing first element, so this is the lexicographic order of the sets.
  std::vector<void*> enumerate() const {
    std::vector<void*> data;
    for (const trie_edge* t : roots_) {
      std::vector<void*> group_data = trie_enumerate(t);
      data.insert(data.end(), group_data.begin(), group_data.end());
    }
    return data;
  }

  unsigned count() const {
    unsigned n = 0;
    for (const trie_edge* t : roots_) n += trie_count(t);
    return n;
  }

 private:
  std::size_t group(int literal) const { return literal_group(literal, var_count_); }

  unsigned var_count_;
  std::vector<trie_edge*> roots_;  // entry l + V: the trie of the sets whose first element is l
};

// Sets by increasing size, equal sizes in their given order. Visited in this order, no set
// can be a strict subset of one visited before it, so keeping the sets that contain no kept
// set keeps exactly the minimal sets, each once, and nothing kept is ever removed again.
std::vector<std::size_t> by_increasing_size(const std::vector<std::vector<int>>& sets) {
  std::vector<std::size_t> order(sets.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&sets](std::size_t a, std::size_t b) { return sets[a].size() < sets[b].size(); });
  return order;
}

// Inserts the minimal sets that `excluded` lets through; the sets must not move afterwards.
template <typename Excluded>
void insert_minimal_sets(std::vector<std::vector<int>>& sets, clause_tries& kept, Excluded excluded) {
  for (std::size_t i : by_increasing_size(sets)) {
    const int* s = sets[i].data();
    if (excluded(s) || kept.holds_subset_of(s)) continue;
    kept.insert(s, &sets[i]);
  }
}

// What the open eclauses imply as clauses: each eclause (its open literals) and, for each pair
// of its literals, that not both are true. The pairs are not stored (an eclause of k literals
// has k(k-1)/2 of them): a set holds one when two of its literals have their complements in a
// common eclause.
class eclause_implications {
 public:
  explicit eclause_implications(const cnf_manager* m)
      : var_count_(m->var_count), containing_(2 * std::size_t{m->var_count} + 1), eclause_tries_(m->var_count) {
    for (unsigned i = 0; i < m->clause_count; ++i) {
      const clause* c = &m->clause_records[i];
      if (c->subsumed || !c->eclause) continue;
      std::vector<int> s = clause2indices(c);
      for (const int* l = s.data(); *l; ++l) containing_[literal_group(*l, var_count_)].push_back(count());
      eclauses_.push_back(std::move(s));
    }
    seen_.assign(eclauses_.size(), 0);
    insert_minimal_sets(eclauses_, eclause_tries_, [](const int*) { return false; });
  }

  unsigned count() const { return static_cast<unsigned>(eclauses_.size()); }

  bool imply(const int* set) {
    if (eclause_tries_.holds_subset_of(set)) return true;
    ++stamp_;
    for (const int* l = set; *l; ++l)
      for (unsigned e : containing_[literal_group(-*l, var_count_)]) {
        if (seen_[e] == stamp_) return true;
        seen_[e] = stamp_;
      }
    return false;
  }

 private:
  unsigned var_count_;
  std::vector<std::vector<int>> eclauses_;        // the open literals of each eclause, sorted
  std::vector<std::vector<unsigned>> containing_;  // per literal: the eclauses holding it
  std::vector<unsigned> seen_;                     // per eclause: the stamp of the last set that met it
  unsigned stamp_ = 0;
  clause_tries eclause_tries_;
};

}  // namespace

std::unique_ptr<cnf> simplify_cnf(const cnf& formula) {
  std::unique_ptr<cnf_manager> m = manager_in_file_order(formula);
  if (!derive_unit_literals(m.get())) return contradiction_cnf(formula.var_count);
  std::unique_ptr<cnf> result = new_cnf(formula.var_count);
  append_trail_units(m.get(), *result);
  for (unsigned i = 0; i < m->clause_count; ++i) {
    const clause* c = &m->clause_records[i];
    if (c->subsumed) continue;
    result->clauses.push_back(clause2indices(c));
    result->eclause_count += c->eclause;
  }
  undo_assert_unit_clauses(m.get());
  return result;
}

// A clause is kept when no other clause is contained in it (of equal clauses, one) and no
// eclause implies it; the kept clauses are written in lexicographic order of their sorted
// literal indices, the eclauses after them in file order.
std::unique_ptr<cnf> simplify_cnf_s(const cnf& formula) {
  std::unique_ptr<cnf_manager> m = manager_in_file_order(formula);
  if (!derive_unit_literals(m.get())) return contradiction_cnf(formula.var_count);

  eclause_implications implied(m.get());

  std::vector<std::vector<int>> sets;
  for (unsigned i = 0; i < m->clause_count; ++i) {
    const clause* c = &m->clause_records[i];
    if (!c->subsumed && !c->eclause) sets.push_back(clause2indices(c));
  }
  clause_tries kept_tries(formula.var_count);
  insert_minimal_sets(sets, kept_tries, [&implied](const int* s) { return implied.imply(s); });
  std::vector<void*> kept = kept_tries.enumerate();
  if (kept.size() != kept_tries.count()) std::printf("\nsanity check failed!");

  std::unique_ptr<cnf> result = new_cnf(formula.var_count);
  append_trail_units(m.get(), *result);
  for (void* set : kept) result->clauses.push_back(std::move(*static_cast<std::vector<int>*>(set)));
  for (unsigned i = 0; i < m->clause_count; ++i) {
    const clause* c = &m->clause_records[i];
    if (c->eclause && !c->subsumed) result->clauses.push_back(non_false_literals_in_clause_order(c));
  }
  result->eclause_count = implied.count();
  undo_assert_unit_clauses(m.get());
  return result;
}
