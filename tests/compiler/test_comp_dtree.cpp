#include <random>

#include "compiler/compile.h"
#include "compiler_fixture.h"
#include "nnf/count.h"
#include "nnf/nnf-operations.h"

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

}  // namespace

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
