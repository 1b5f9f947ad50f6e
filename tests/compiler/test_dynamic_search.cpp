// The parts of the dynamic search: its assignment engine, the component split, the component
// cache and the elimination guide.
#include <gtest/gtest.h>

#include <random>

#include "compiler/component_cache.h"
#include "compiler/components.h"
#include "compiler/dynamic_engine.h"
#include "compiler/elimination_priority.h"
#include "test_support.h"

using tarn_test::make_cnf;

namespace {

bool satisfies(const std::vector<lit_t>& clause, unsigned assignment) {
  for (lit_t l : clause)
    if (((assignment >> (var_of(l) - 1)) & 1) != is_negative(l)) return true;
  return false;
}

bool satisfies(const cnf& f, unsigned assignment) {
  for (unsigned i = 0; i < f.clause_count(); ++i) {
    std::vector<lit_t> c;
    for (const int* l = f.clause(i); *l; ++l) c.push_back(lit_of_dimacs(*l));
    if (!satisfies(c, assignment)) return false;
  }
  return true;
}

std::vector<lit_t> clause_of(const dynamic_engine& e, std::uint32_t k) {
  return {e.lits.begin() + e.start[k], e.lits.begin() + e.start[k] + e.size[k]};
}

std::vector<std::uint32_t> key_vars(const component_stack& s, std::size_t i) {
  return {s.vars(i), s.vars(i) + s.records[i].var_count};
}

}  // namespace

// Random decisions on random formulas: whatever the engine implies holds in every model that
// agrees with the decisions, and every learned clause holds in every model of the formula.
TEST(DynamicEngine, ImpliedLiteralsAndLearnedClausesFollowFromTheFormula) {
  std::mt19937 random(77);
  for (int round = 0; round < 300; ++round) {
    unsigned vars = 3 + random() % 8;
    tarn_test::clause_list clauses;
    for (unsigned k = 6 + random() % 30; k > 0; --k) {
      std::vector<int> c;
      for (unsigned w = 1 + random() % 4; w > 0; --w) c.push_back(static_cast<int>(1 + random() % vars) * (random() % 2 ? 1 : -1));
      clauses.push_back(c);
    }
    std::unique_ptr<cnf> f = make_cnf(vars, clauses);
    dynamic_engine e;
    if (!build_dynamic_engine(*f, e) || !assert_units(e)) continue;
    std::vector<lit_t> decisions;
    for (unsigned v = 1; v <= vars; ++v) {
      if (is_assigned(e, v)) continue;
      lit_t d = random() % 2 ? positive_lit(v) : negative_lit(v);
      decisions.push_back(d);
      bool ok = decide(e, d);
      for (unsigned a = 0; a < (1u << vars); ++a) {
        if (!satisfies(*f, a)) continue;
        bool agrees = true;
        for (lit_t x : decisions) agrees &= satisfies(std::vector<lit_t>{x}, a);
        if (!agrees) continue;
        EXPECT_TRUE(ok) << "a conflict under decisions that a model satisfies";
        for (lit_t t : e.trail) EXPECT_TRUE(satisfies(std::vector<lit_t>{t}, a));
      }
      if (!ok) break;
    }
    for (std::uint32_t k = e.input_clause_count; k < e.start.size(); ++k)
      for (unsigned a = 0; a < (1u << vars); ++a) {
        if (!satisfies(*f, a)) continue;
        ASSERT_TRUE(satisfies(clause_of(e, k), a)) << "round " << round;
      }
  }
}

TEST(DynamicEngine, EclausesForbidTwoTrueLiteralsAndTautologiesVanish) {
  std::unique_ptr<cnf> f = make_cnf(4, {{1, -1, 4}, {1, 2, 3}}, 1);
  dynamic_engine e;
  ASSERT_TRUE(build_dynamic_engine(*f, e));
  EXPECT_EQ(e.input_clause_count, 1u);
  ASSERT_TRUE(decide(e, positive_lit(2)));
  EXPECT_TRUE(is_false(e, positive_lit(1)));
  EXPECT_TRUE(is_false(e, positive_lit(3)));
  EXPECT_FALSE(is_assigned(e, 4));
  backtrack(e);
  EXPECT_FALSE(is_assigned(e, 1));
}

TEST(Components, AssignmentsSplitTheFormulaAndFreeVariablesJoinNone) {
  // 1 joins {2, 3} and {4, 5}; 6 is only in a clause that 1 satisfies.
  std::unique_ptr<cnf> f = make_cnf(6, {{1, 2, 3}, {-1, 2, 3}, {1, 4, 5}, {-1, -4, 5}, {4, -5}, {1, 6}});
  dynamic_engine e;
  ASSERT_TRUE(build_dynamic_engine(*f, e));
  component_finder finder;
  prepare_component_finder(e, std::vector<std::uint8_t>(7, 0), finder);
  component_stack stack;
  push_whole_formula(e, stack);
  split_components(e, 0, finder, stack);
  ASSERT_EQ(stack.records.size(), 2u);
  EXPECT_EQ(key_vars(stack, 1), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(stack.records[1].clause_count, 4u);

  ASSERT_TRUE(decide(e, positive_lit(1)));
  split_components(e, 1, finder, stack);
  ASSERT_EQ(stack.records.size(), 4u);
  EXPECT_EQ(key_vars(stack, 2), (std::vector<std::uint32_t>{2, 3}));
  EXPECT_EQ(key_vars(stack, 3), (std::vector<std::uint32_t>{4, 5}));
  EXPECT_EQ(stack.records[3].clause_count, 1u);  // (-1 -4 5) is open, (1 4 5) satisfied
  EXPECT_EQ(*stack.clauses(3), 3u);
  stack.pop_to(2);
  EXPECT_EQ(stack.store.size(), stack.records[0].key_size() + stack.records[1].key_size());
}

namespace {

// The canonical key of the one component left after the decisions.
std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>> key_after(const cnf& f,
                                                                            const std::vector<lit_t>& decisions) {
  dynamic_engine e;
  EXPECT_TRUE(build_dynamic_engine(f, e));
  for (lit_t d : decisions) EXPECT_TRUE(decide(e, d));
  component_finder finder;
  prepare_component_finder(e, std::vector<std::uint8_t>(f.var_count + 1, 0), finder);
  component_stack stack;
  push_whole_formula(e, stack);
  split_components(e, 0, finder, stack);
  EXPECT_EQ(stack.records.size(), 2u);
  canonical_key key;
  make_canonical_key(e, finder, stack, 1, key);
  return {key.named, key.listed};
}

}  // namespace

// x1 and x2 play the same part in (-1 -3 4 5) and (-2 -3 4 5): whichever is true, the other
// variables see the clause (-3 4 5), and the component gets one key.
TEST(Components, CanonicalKeysIgnoreWhichLiteralFalsifiedAClause) {
  std::unique_ptr<cnf> f = make_cnf(6, {{-1, -3, 4, 5}, {-2, -3, 4, 5}, {1, 2, 6}, {-6, 3, 4, 5}});
  auto first = key_after(*f, {positive_lit(1), negative_lit(2)});
  EXPECT_EQ(std::vector<std::uint32_t>(first.first.begin(), first.first.begin() + 5),
            (std::vector<std::uint32_t>{4, 3, 4, 5, 6}));
  EXPECT_EQ(first.first.size(), 7u);  // (-3 4 5) and (-6 3 4 5) by name
  EXPECT_TRUE(first.second.empty());
  EXPECT_EQ(key_after(*f, {positive_lit(2), negative_lit(1)}), first);
  EXPECT_EQ(key_after(*f, {positive_lit(1), positive_lit(2)}), first);
  // Both false: x6 follows, the component is {3, 4, 5} with (3 4 5) only.
  EXPECT_NE(key_after(*f, {negative_lit(1), negative_lit(2)}).first, first.first);

  // Clauses that lose two literals are written out.
  std::unique_ptr<cnf> g = make_cnf(6, {{-1, -2, 3, 4}, {-5, -6, 3, 4}});
  auto listed = key_after(*g, {positive_lit(1), positive_lit(2), negative_lit(5)});
  EXPECT_EQ(listed.first, (std::vector<std::uint32_t>{2, 3, 4}));
  EXPECT_EQ(listed.second, (std::vector<std::uint32_t>{2, positive_lit(3), positive_lit(4)}));
  EXPECT_EQ(key_after(*g, {positive_lit(5), positive_lit(6), negative_lit(1)}), listed);
}

TEST(DynamicCache, FindsKeysForgetsRecentEntriesAndKeepsTheNewerHalfWhenFull) {
  component_cache cache;
  cache.memory_limit = 1 << 20;
  nnf_node* circuits[3] = {reinterpret_cast<nnf_node*>(8), reinterpret_cast<nnf_node*>(16),
                           reinterpret_cast<nnf_node*>(24)};
  std::uint32_t a[] = {2, 1, 300, 7}, b[] = {2, 1, 301, 7}, c[] = {3, 1, 2, 3};
  auto lookup = [&cache](const std::uint32_t* key) {
    prepared_key k = prepare_key(cache, key, 4);
    nnf_node* found = lookup_component(cache, k);
    release_key(cache, k);
    return found;
  };
  auto insert = [&cache](const std::uint32_t* key, nnf_node* circuit) {
    prepared_key k = prepare_key(cache, key, 4);
    insert_component(cache, k, circuit);
    release_key(cache, k);
  };
  insert(a, circuits[0]);
  std::uint64_t mark = cache_mark(cache);
  insert(b, circuits[1]);
  EXPECT_EQ(lookup(a), circuits[0]);
  EXPECT_EQ(lookup(b), circuits[1]);
  forget_entries_since(mark, cache);
  EXPECT_EQ(lookup(b), nullptr);
  EXPECT_EQ(lookup(c), nullptr);

  cache.memory_limit = 0;  // every insertion now finds the cache full
  insert(c, circuits[2]);
  EXPECT_EQ(cache.entries.size(), 1u);
  EXPECT_EQ(lookup(c), circuits[2]);
  EXPECT_EQ(lookup(a), nullptr);

  // Clauses written out are part of the key, apart from the clause numbers.
  cache.memory_limit = 1 << 20;
  insert(a, circuits[0]);
  std::uint32_t whole[] = {2, 1, 300, 7};
  std::vector<std::uint32_t> listed = {1, 7};
  prepared_key with_listed = prepare_key(cache, whole, 3, listed);
  EXPECT_EQ(lookup_component(cache, with_listed), nullptr);
  insert_component(cache, with_listed, circuits[1]);
  release_key(cache, with_listed);
  EXPECT_EQ(lookup(a), circuits[0]);
  prepared_key again = prepare_key(cache, whole, 3, listed);
  EXPECT_EQ(lookup_component(cache, again), circuits[1]);
  release_key(cache, again);
  EXPECT_TRUE(cache.open_keys.empty());
}

// Leaves go before the centres they hang on: deciding a centre first splits its leaves off.
TEST(EliminationPriority, LeavesComeBeforeTheirCentresAndAnEmptyBudgetLeavesEveryoneFirst) {
  std::unique_ptr<cnf> f = make_cnf(9, {{1, 2}, {1, 3}, {1, 4, 5}, {4, 6}, {1, 7, 8}, {8, 9}});
  dynamic_engine e;
  ASSERT_TRUE(build_dynamic_engine(*f, e));
  std::vector<std::uint8_t> none_forgotten(10, 0);
  elimination_guide guide = elimination_priority(e, none_forgotten, 1000000);
  const std::vector<double>& p = guide.priority;
  EXPECT_TRUE(guide.complete);
  EXPECT_EQ(guide.connected, 9u);
  EXPECT_EQ(guide.width, 2u);
  EXPECT_LT(p[2], p[1]);
  EXPECT_LT(p[3], p[1]);
  EXPECT_LT(p[6], p[4]);
  EXPECT_LT(p[9], p[8]);
  elimination_guide none = elimination_priority(e, none_forgotten, 0);
  EXPECT_FALSE(none.complete);
  EXPECT_EQ(none.priority[3], 1.0);
  std::vector<std::uint8_t> centre_forgotten(10, 0);
  centre_forgotten[1] = 1;
  elimination_guide projected = elimination_priority(e, centre_forgotten, 1000000);
  for (int v = 2; v <= 9; ++v) EXPECT_LT(projected.priority[1], projected.priority[v]) << v;
}
