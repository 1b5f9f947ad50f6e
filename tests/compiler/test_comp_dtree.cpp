#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "compiler/compile.h"
#include "compiler_fixture.h"
#include "nnf/count.h"
#include "nnf/nnf_operations.h"

using compiler_test::compiler_setup;
using compiler_test::set_up;
using tarn_test::make_cnf;
using tarn_test::random_clauses;

namespace {

std::unique_ptr<cnf> random_formula(std::mt19937& random) {
  unsigned vars = 3 + random() % 8;
  auto clauses = random_clauses(random, vars, 1 + random() % 24);
  return make_cnf(vars, clauses, random() % 3 == 0 ? 1 : 0);
}

void expect_manager_at_rest(const cnf_manager* cm, const dtree_manager* dm) {
  EXPECT_EQ(cm->trail_top, cm->trail.data());
  EXPECT_EQ(cm->level, 1u);
  for (unsigned i = 0; i < cm->var_count; ++i) {
    const var& v = cm->var_records[i];
    EXPECT_FALSE(v.assigned);
    EXPECT_TRUE(v.relevant);
    EXPECT_FALSE(v.pos->true_level || v.pos->false_level);
  }
  for (unsigned i = 0; i < cm->clause_count; ++i) EXPECT_FALSE(cm->clause_records[i].subsumed);
  EXPECT_EQ(dm->stack_top, 0u);
}

// A random 3-CNF whose compilation makes over ten thousand nodes and thousands of cache entries,
// many times the first sizes of the unique table and of the cache's buckets.
std::unique_ptr<cnf> large_circuit_formula() {
  const unsigned vars = 36;
  std::mt19937 random(5);
  tarn_test::clause_list clauses(80);
  for (std::vector<int>& clause : clauses) {
    while (clause.size() < 3) {
      int v = static_cast<int>(1 + random() % vars);
      if (std::none_of(clause.begin(), clause.end(), [v](int l) { return std::abs(l) == v; }))
        clause.push_back(random() % 2 ? v : -v);
    }
  }
  return make_cnf(vars, clauses);
}

enum class table_plan { grown, presized, never_grown };

struct compiled_circuit {
  std::string file;           // the circuit file's text
  std::string search;         // nodes made, cache hits, misses, entries and drops
  unsigned table_growth = 0;  // final over first bucket count of the unique table
  unsigned cache_growth = 0;  // the same for the cache
};

// Both tables are still empty when the stages are built, so resizing them here stands for
// tables that were built with these sizes.
void apply(table_plan plan, nnf_manager* nm, cnf_cache_manager* cache) {
  if (plan == table_plan::presized) {
    nm->unique_table_size = nm->unique_table_limit;
    nm->unique_table.assign(nm->unique_table_size, nullptr);
    cache->size = cache->size_limit;
    cache->buckets.assign(cache->size, nullptr);
  } else if (plan == table_plan::never_grown) {
    nm->unique_table_limit = nm->unique_table_size;
    cache->size_limit = cache->size;
  }
}

compiled_circuit compile_large_circuit(table_plan plan) {
  compiler_setup s = set_up(large_circuit_formula());
  unsigned first_table = s.nm->unique_table_size;
  unsigned first_cache = s.cache->size;
  apply(plan, s.nm.get(), s.cache.get());
  comp_dtree(s.dm.get(), s.cm.get(), s.nm.get(), s.cache.get());
  compiled_circuit result;
  result.table_growth = s.nm->unique_table_size / first_table;
  result.cache_growth = s.cache->size / first_cache;
  for (unsigned n : {s.nm->node_count, s.cache->hits, s.cache->misses, s.cache->count, s.cache->drops})
    result.search += std::to_string(n) + " ";
  tarn_test::temp_dir dir;
  save_nnf_manager_to_file(dir.file("circuit.nnf").c_str(), s.nm.get());
  result.file = tarn_test::read_file(dir.file("circuit.nnf"));
  return result;
}

}  // namespace

// Node ids, pair orders and cache hits must not depend on the bucket counts, nor on when the
// tables were rehashed; a cache limit that evicts shows eviction across rehashing too. A lost
// cache entry would not change the circuit, only the search, so the search is compared too.
TEST(DtreeCompilation, TablesThatGrowGiveTheCircuitOfTablesPresizedLargeOrNeverGrown) {
  for (std::uint32_t cache_limit : {MAX_NNF_CACHE_MEMORY, std::uint32_t{1} << 16}) {
    MAX_NNF_CACHE_MEMORY = cache_limit;
    SCOPED_TRACE("cache limit " + std::to_string(cache_limit));
    compiled_circuit grown = compile_large_circuit(table_plan::grown);
    EXPECT_GE(grown.table_growth, 16u);
    EXPECT_GE(grown.cache_growth, 4u);
    for (table_plan plan : {table_plan::presized, table_plan::never_grown}) {
      compiled_circuit other = compile_large_circuit(plan);
      EXPECT_EQ(other.file, grown.file);
      EXPECT_EQ(other.search, grown.search);
    }
  }
}

// Every combination of backjumping and caching compiles the right count and gives the CNF
// manager back as it was, learned clauses aside.
TEST(DtreeCompilation, LeavesTheCnfManagerAsItFoundItAndCountsRight) {
  std::mt19937 random(4242);
  for (unsigned round = 0; round < 120; ++round) {
    DD_BACKTRACK = round % 2 == 0;
    CACHING_ON = round % 4 < 2;
    std::unique_ptr<cnf> f = random_formula(random);
    unsigned long long expected = tarn_test::brute_force_count(*f);
    unsigned vars = f->var_count;
    compiler_setup s = set_up(std::move(f), 2 + static_cast<int>(round % 3));
    SCOPED_TRACE("round " + std::to_string(round));
    comp_dtree(s.dm.get(), s.cm.get(), s.nm.get(), s.cache.get());
    expect_manager_at_rest(s.cm.get(), s.dm.get());
    EXPECT_TRUE(DD_BACKTRACK || s.cm->learned_count == 0);
    EXPECT_TRUE(CACHING_ON || s.cache->count == 0);
    std::unique_ptr<nnf> circuit = extract_nnf_from_manager(s.nm.get());
    EXPECT_EQ(count_nnf_models(vars, *circuit), std::to_string(expected));
    if (HasFailure()) break;
  }
}

TEST(DtreeCompilation, ContradictoryUnitClausesGiveTheFalseRootWithoutCompiling) {
  compiler_setup s = set_up(make_cnf(3, {{2}, {-2}, {1, 3}}));
  EXPECT_EQ(comp_dtree(s.dm.get(), s.cm.get(), s.nm.get(), s.cache.get()), ZERO_NNF_NODE);
  EXPECT_EQ(s.cm->decision_count, 0u);
  expect_manager_at_rest(s.cm.get(), s.dm.get());
}

TEST(DtreeCompilation, AFormulaWithoutClausesIsTrueAndAOneClauseFormulaIsItsClause) {
  compiler_setup none = set_up(make_cnf(4, {}));
  EXPECT_EQ(comp_dtree(none.dm.get(), none.cm.get(), none.nm.get(), none.cache.get()), ONE_NNF_NODE);
  compiler_setup s = set_up(make_cnf(3, {{1, -3}}));
  nnf_node* root = comp_dtree(s.dm.get(), s.cm.get(), s.nm.get(), s.cache.get());
  EXPECT_EQ(root, clause2nnf_node(index2clausep(1, s.cm.get()), s.nm.get()));
}
