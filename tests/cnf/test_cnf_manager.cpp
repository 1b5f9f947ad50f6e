#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cnf/cnf_manager.h"
#include "driver/utility.h"
#include "engine_fixtures.h"

using namespace engine_test;

TEST(CnfManager, LaysOutVariableRecordsInTheGivenOrder) {
  auto f = make_cnf(3, {{1, 2}, {-2, 3}});
  auto m = manager_for(*f, {3, 1, 2});
  EXPECT_EQ(m->var_records[0].index, 3u);
  EXPECT_EQ(m->var_records[1].index, 1u);
  EXPECT_EQ(m->var_records[2].index, 2u);
  EXPECT_EQ(index2varp(1, m.get()), &m->var_records[1]);
  EXPECT_EQ(lit(m, 3), m->var_records[0].pos);
  EXPECT_EQ(lit(m, -3), m->var_records[0].neg);
  EXPECT_EQ(lit(m, -3)->complement, lit(m, 3));
  EXPECT_EQ(lit(m, 3)->var, &m->var_records[0]);
  EXPECT_EQ(lit(m, 3)->weight, 1);
  EXPECT_EQ(lit(m, -3)->weight, 0);
  EXPECT_EQ(m->var_records[0].relevant, 1);
  EXPECT_EQ(m->level, 1u);
}

TEST(CnfManager, LaysOutClauseRecordsInTheGivenOrderAfterASpareRecord) {
  auto f = make_cnf(3, {{1, 2}, {-2, 3}, {-1, -3}});
  auto m = manager_for(*f, {}, {3, 1, 2});
  EXPECT_EQ(m->clause_records[-1].index, 0u);
  EXPECT_EQ(m->clause_records[0].index, 3u);
  EXPECT_EQ(m->clause_records[1].index, 1u);
  EXPECT_EQ(m->clause_records[2].index, 2u);
  EXPECT_EQ(index2clausep(3, m.get()), &m->clause_records[0]);
  EXPECT_EQ(indices(index2clausep(2, m.get())->literals), (std::vector<int>{-2, 3}));
  EXPECT_EQ(m->clause_block.size(), 5u);
  EXPECT_EQ(m->literal_count, 6u);
}

TEST(CnfManager, KeepsOccurrenceListsInClauseStorageOrderWithCursorsAtTheirStart) {
  auto f = make_cnf(3, {{1, 2}, {1, -3}, {-1, 3}, {1, 3}});
  auto m = manager_for(*f, {}, {4, 2, 1, 3});
  var* x1 = index2varp(1, m.get());
  std::vector<unsigned> order;
  for (clause** c = x1->clauses; *c; ++c) order.push_back((*c)->index);
  EXPECT_EQ(order, (std::vector<unsigned>{4, 2, 1, 3}));
  order.clear();
  for (clause** c = x1->pos->clauses; *c; ++c) order.push_back((*c)->index);
  EXPECT_EQ(order, (std::vector<unsigned>{4, 2, 1}));
  EXPECT_EQ(x1->clauses_cursor, x1->clauses);
  EXPECT_EQ(x1->pos->clauses_cursor, x1->pos->clauses);
  EXPECT_EQ(x1->occ_count, 4u);
  EXPECT_EQ(x1->pos->occ_count, 3u);
  EXPECT_EQ(x1->pos->occ_count_all, 3u);
  EXPECT_EQ(x1->neg->occ_count, 1u);
}

TEST(CnfManager, WatchListsRunInReverseClauseStorageOrder) {
  auto f = make_cnf(3, {{1, 2}, {1, -3}, {1, 3, 2}});
  auto m = manager_for(*f, {}, {2, 3, 1});
  EXPECT_EQ(watch_list(lit(m, 1)), (std::vector<unsigned>{1, 3, 2}));
  EXPECT_EQ(lit(m, 1)->watch_count, 3u);
  EXPECT_EQ(watch_list(lit(m, 3)), (std::vector<unsigned>{3}));
  EXPECT_EQ(watch_list(lit(m, 2)), (std::vector<unsigned>{1}));
  clause* c = index2clausep(3, m.get());
  EXPECT_EQ(c->watch_start, c->literals + 2);
  EXPECT_EQ(c->watch_cursor, c->literals + 2);
  EXPECT_EQ(watch_invariant_errors(m.get()), "");
}

TEST(CnfManager, RecordsUnitClausesInTheUnitTablesAndWatchesThemNowhere) {
  auto f = make_cnf(3, {{2}, {-3}, {1, 3}});
  auto m = manager_for(*f);
  EXPECT_EQ(m->pos_unit, (std::vector<int>{0, 0, 1, 0}));
  EXPECT_EQ(m->neg_unit, (std::vector<int>{0, 0, 0, 1}));
  EXPECT_EQ(lit(m, 2)->watch_count, 0u);
  EXPECT_EQ(lit(m, -3)->watch_count, 0u);
  EXPECT_EQ(watch_list(lit(m, 3)), (std::vector<unsigned>{3}));
}

TEST(CnfManager, CountsAComplementaryPairClauseOnceAndWatchesItNowhere) {
  auto f = make_cnf(4, {{4, -4}, {4, 1}});
  auto m = manager_for(*f);
  var* x = index2varp(4, m.get());
  EXPECT_EQ(x->occ_count, 2u);
  EXPECT_EQ(x->clauses[0]->index, 1u);
  EXPECT_EQ(x->clauses[1]->index, 2u);
  EXPECT_EQ(x->clauses[2], nullptr);
  EXPECT_EQ(x->pos->clauses[0]->index, 1u);
  EXPECT_EQ(x->neg->clauses[0]->index, 1u);
  EXPECT_EQ(x->neg->clauses[1], nullptr);
  EXPECT_TRUE(trivial_binary_clause(index2clausep(1, m.get())));
  EXPECT_FALSE(trivial_binary_clause(index2clausep(2, m.get())));
  EXPECT_EQ(watch_list(x->pos), (std::vector<unsigned>{2}));
  EXPECT_EQ(x->neg->watch_count, 0u);
}

TEST(CnfManager, MarksTheLastClausesAsEclauses) {
  auto f = make_cnf(3, {{1, 2}, {1, 2, 3}, {-1, 3}}, 2);
  auto m = manager_for(*f, {}, {3, 2, 1});
  EXPECT_EQ(index2clausep(1, m.get())->eclause, 0);
  EXPECT_EQ(index2clausep(2, m.get())->eclause, 1);
  EXPECT_EQ(index2clausep(3, m.get())->eclause, 1);
  EXPECT_EQ(m->eclause_count, 2u);
}

TEST(CnfManager, HandlesAFormulaWithoutVariablesOrClauses) {
  auto f = make_cnf(0, {});
  auto m = manager_for(*f);
  EXPECT_TRUE(assert_unit_clauses(m.get()));
  undo_assert_unit_clauses(m.get());
  free_cnf_manager(m);
  EXPECT_EQ(m, nullptr);
}

TEST(CnfManagerDeathTest, RejectsAnOrderThatIsNotAPermutation) {
  auto f = make_cnf(3, {{1, 2}});
  std::vector<unsigned> vars{1, 1, 2}, clauses{1};
  EXPECT_EXIT(with_stdout_on_stderr([&] { construct_cnf_manager(vars.data(), clauses.data(), *f); }),
              ::testing::ExitedWithCode(1), "variable order is not a permutation of 1..3");
}

TEST(CnfManager, ClauseToIndicesDropsFalseLiteralsAndSorts) {
  auto f = make_cnf(4, {{3, -1, 4, -2}, {1}});
  auto m = manager_for(*f);
  EXPECT_EQ(clause2indices(index2clausep(1, m.get())), (std::vector<int>{-2, -1, 3, 4, 0}));
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  EXPECT_EQ(clause2indices(index2clausep(1, m.get())), (std::vector<int>{-2, 3, 4, 0}));
}

// ---------------------------------------------------------------------------------------------
// Declarations
// ---------------------------------------------------------------------------------------------

namespace {

std::string write_list_file(const std::string& name, const std::string& text) {
  std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

}  // namespace

TEST(CnfManagerDeclarations, SetTheFlagsOfTheListedVariables) {
  auto f = make_cnf(5, {{1, 2, 3, 4, 5}});
  auto m = manager_for(*f);
  const unsigned force[] = {1, 2, 0};
  const unsigned exist[] = {3, 0};
  const unsigned determined[] = {4, 0};
  const unsigned except[] = {5, 0};
  declare_force_order_vars_array(force, m.get());
  declare_exist_quantify_vars_array(exist, m.get());
  declare_determined_vars_array(determined, m.get());
  declare_decompose_except_vars_array(except, m.get());
  EXPECT_EQ(index2varp(1, m.get())->force_order, 1);
  EXPECT_EQ(index2varp(2, m.get())->force_order, 1);
  EXPECT_EQ(index2varp(3, m.get())->force_order, 0);
  EXPECT_EQ(index2varp(3, m.get())->exist, 1);
  EXPECT_EQ(index2varp(4, m.get())->determined, 1);
  EXPECT_EQ(index2varp(5, m.get())->decompose_except, 1);
  EXPECT_EQ(index2varp(5, m.get())->exist, 0);
}

TEST(CnfManagerDeclarations, DoNothingForANullListOrFile) {
  auto f = make_cnf(2, {{1, 2}});
  auto m = manager_for(*f);
  bool verbose = VERBOSE;
  VERBOSE = true;
  ::testing::internal::CaptureStdout();
  declare_force_order_vars_array(nullptr, m.get());
  declare_exist_quantify_vars_file(nullptr, m.get());
  declare_determined_vars_file(nullptr, m.get());
  declare_decompose_except_vars_array(nullptr, m.get());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  VERBOSE = verbose;
  EXPECT_EQ(index2varp(1, m.get())->force_order, 0);
}

TEST(CnfManagerDeclarations, PrintTheCountWhenVerbose) {
  auto f = make_cnf(3, {{1, 2, 3}});
  auto m = manager_for(*f);
  std::string path = write_list_file("exist_vars.txt", "2 1 3\n");
  const unsigned force[] = {2, 0};
  bool verbose = VERBOSE;
  VERBOSE = true;
  ::testing::internal::CaptureStdout();
  declare_force_order_vars_array(force, m.get());
  declare_exist_quantify_vars_file(path.c_str(), m.get());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\nForced-order vars: 1\nExistentially-quantified vars: 2");
  VERBOSE = verbose;
  EXPECT_EQ(index2varp(1, m.get())->exist, 1);
  EXPECT_EQ(index2varp(3, m.get())->exist, 1);
}

TEST(CnfManagerDeclarationsDeathTest, RejectOutOfBoundIndicesWithTheirOwnMessages) {
  auto f = make_cnf(3, {{1, 2, 3}});
  auto m = manager_for(*f);
  std::string zero = write_list_file("force_zero.txt", "1 0\n");
  std::string beyond = write_list_file("beyond.txt", "2 1 4\n");
  EXPECT_EXIT(with_stdout_on_stderr([&] { declare_force_order_vars_file(zero.c_str(), m.get()); }),
              ::testing::ExitedWithCode(1), "\nVariable index 0 is out of bound: appears in -force file");
  EXPECT_EXIT(with_stdout_on_stderr([&] { declare_exist_quantify_vars_file(beyond.c_str(), m.get()); }),
              ::testing::ExitedWithCode(1), "\nVariable index 4 is out of bound \\(declared as exist\\)");
  EXPECT_EXIT(with_stdout_on_stderr([&] { declare_determined_vars_file(beyond.c_str(), m.get()); }),
              ::testing::ExitedWithCode(1), "\nVariable index 4 is out of bound \\(declared as determined\\)");
  EXPECT_EXIT(with_stdout_on_stderr([&] { declare_decompose_except_vars_file(zero.c_str(), m.get()); }),
              ::testing::ExitedWithCode(1), "\nVariable index 0 is out of bound \\(declared as decompose_except\\)");
}

TEST(CnfManagerDeclarationsDeathTest, RejectAVariableDeclaredBothExistAndDecomposeExcept) {
  auto f = make_cnf(5, {{1, 5}});
  auto m = manager_for(*f);
  const unsigned five[] = {5, 0};
  declare_exist_quantify_vars_array(five, m.get());
  EXPECT_EXIT(with_stdout_on_stderr([&] { declare_decompose_except_vars_array(five, m.get()); }),
              ::testing::ExitedWithCode(1), "\nVariable index 5 is declared both as decompose_except and exist");
  auto other = manager_for(*f);
  declare_decompose_except_vars_array(five, other.get());
  EXPECT_EXIT(with_stdout_on_stderr([&] { declare_exist_quantify_vars_array(five, other.get()); }),
              ::testing::ExitedWithCode(1), "\nVariable index 5 is declared both as decompose_except and exist");
}

TEST(CnfManagerDeclarationsDeathTest, ReportAMissingListFile) {
  auto f = make_cnf(2, {{1, 2}});
  auto m = manager_for(*f);
  EXPECT_EXIT(with_stdout_on_stderr([&] { declare_force_order_vars_file("/nonexistent/force.txt", m.get()); }),
              ::testing::ExitedWithCode(1), "Cannot open file: /nonexistent/force.txt");
}
