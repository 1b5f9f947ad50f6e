#include "cnf/cnf_manager.h"
#include "engine_fixtures.h"

using namespace engine_test;

// Occurrence lists follow the clause storage order, watch lists run the other way; unit clauses
// go to the unit tables and, like a complementary pair (counted once), are watched nowhere.
TEST(CnfManager, ListsOccurrencesAndWatchesInStorageOrder) {
  auto f = make_cnf(4, {{1, 2}, {1, -3}, {-1, 3}, {1, 3, 2}, {4}, {-4, 4}});
  auto m = manager_for(*f, {}, {4, 2, 1, 3, 5, 6});
  var* x1 = index2varp(1, m.get());
  auto listed = [](clause** c) {
    std::vector<unsigned> order;
    for (; *c; ++c) order.push_back((*c)->index);
    return order;
  };
  EXPECT_EQ(listed(x1->clauses), (std::vector<unsigned>{4, 2, 1, 3}));
  EXPECT_EQ(listed(x1->pos->clauses), (std::vector<unsigned>{4, 2, 1}));
  EXPECT_EQ(x1->clauses_cursor, x1->clauses);
  EXPECT_EQ(x1->pos->clauses_cursor, x1->pos->clauses);
  EXPECT_EQ(x1->pos->occ_count_all, 3u);
  EXPECT_EQ(x1->neg->occ_count, 1u);
  EXPECT_EQ(watch_list(lit(m, 1)), (std::vector<unsigned>{1, 2, 4}));
  EXPECT_EQ(watch_list(lit(m, 3)), (std::vector<unsigned>{3, 4}));
  clause* c = index2clausep(4, m.get());
  EXPECT_EQ(c->watch_cursor, c->literals + 2);
  EXPECT_EQ(m->pos_unit, (std::vector<int>{0, 0, 0, 0, 1}));
  var* x4 = index2varp(4, m.get());
  EXPECT_EQ(listed(x4->clauses), (std::vector<unsigned>{5, 6}));
  EXPECT_TRUE(trivial_binary_clause(index2clausep(6, m.get())));
  EXPECT_EQ(x4->pos->watch_count + x4->neg->watch_count, 0u);
  EXPECT_EQ(watch_invariant_errors(m.get()), "");
}

TEST(CnfManager, HandlesAnEmptyFormulaAndListsClausesWithoutFalseLiterals) {
  auto empty = make_cnf(0, {});
  auto e = manager_for(*empty);
  EXPECT_TRUE(assert_unit_clauses(e.get()));
  undo_assert_unit_clauses(e.get());
  free_cnf_manager(e);
  EXPECT_EQ(e, nullptr);

  auto f = make_cnf(4, {{3, -1, 4, -2}, {1}});
  auto m = manager_for(*f);
  EXPECT_EQ(clause2indices(index2clausep(1, m.get())), (std::vector<int>{-2, -1, 3, 4, 0}));
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  EXPECT_EQ(clause2indices(index2clausep(1, m.get())), (std::vector<int>{-2, 3, 4, 0}));
}

TEST(CnfManagerDeathTest, RejectsAnOrderThatIsNotAPermutation) {
  auto f = make_cnf(3, {{1, 2}});
  std::vector<unsigned> vars{1, 1, 2}, clauses{1};
  EXPECT_FATAL(construct_cnf_manager(vars.data(), clauses.data(), *f), "variable order is not a permutation of 1..3");
}

TEST(CnfManagerDeclarations, SetTheFlagsOfTheListedVariablesAndPrintTheirCounts) {
  auto f = make_cnf(5, {{1, 2, 3, 4, 5}});
  auto m = manager_for(*f);
  tarn_test::temp_dir dir;
  std::string exist = dir.write("exist", "2 3 4\n");
  const unsigned force[] = {1, 2, 0}, determined[] = {1, 0}, except[] = {5, 0};
  std::string printed = tarn_test::verbose_output([&] {
    declare_force_order_vars_array(force, m.get());
    declare_exist_quantify_vars_file(exist.c_str(), m.get());
    declare_determined_vars_array(determined, m.get());
    declare_decompose_except_vars_array(except, m.get());
    declare_force_order_vars_array(nullptr, m.get());  // no list: nothing happens
    declare_determined_vars_file(nullptr, m.get());
  });
  EXPECT_EQ(printed,
            "\nForced-order vars: 2\nExistentially-quantified vars: 2\nDetermined vars: 1\nDecompose except on vars: 1");
  for (unsigned v = 1; v <= 5; ++v) {
    const var* x = index2varp(v, m.get());
    EXPECT_EQ(x->force_order, v <= 2) << v;
    EXPECT_EQ(x->exist, v == 3 || v == 4) << v;
    EXPECT_EQ(x->determined, v == 1) << v;
    EXPECT_EQ(x->decompose_except, v == 5) << v;
  }
}

TEST(CnfManagerDeclarationsDeathTest, RejectOutOfBoundClashingAndMissingListsWithTheirMessages) {
  auto f = make_cnf(5, {{1, 2, 3}});
  auto m = manager_for(*f);
  tarn_test::temp_dir dir;
  std::string zero = dir.write("zero", "1 0\n"), beyond = dir.write("beyond", "2 1 6\n");
  EXPECT_FATAL(declare_force_order_vars_file(zero.c_str(), m.get()),
               "\nVariable index 0 is out of bound: appears in -force file");
  EXPECT_FATAL(declare_exist_quantify_vars_file(beyond.c_str(), m.get()),
               "\nVariable index 6 is out of bound \\(declared as exist\\)");
  EXPECT_FATAL(declare_determined_vars_file(beyond.c_str(), m.get()),
               "\nVariable index 6 is out of bound \\(declared as determined\\)");
  EXPECT_FATAL(declare_decompose_except_vars_file(zero.c_str(), m.get()),
               "\nVariable index 0 is out of bound \\(declared as decompose_except\\)");
  EXPECT_FATAL(declare_force_order_vars_file("/nonexistent/force.txt", m.get()),
               "Cannot open file: /nonexistent/force.txt");
  const unsigned five[] = {5, 0};
  declare_exist_quantify_vars_array(five, m.get());
  EXPECT_FATAL(declare_decompose_except_vars_array(five, m.get()),
               "\nVariable index 5 is declared both as decompose_except and exist");
  auto other = manager_for(*f);
  declare_decompose_except_vars_array(five, other.get());
  EXPECT_FATAL(declare_exist_quantify_vars_array(five, other.get()),
               "\nVariable index 5 is declared both as decompose_except and exist");
  // Determined variables are left out of the dtree like decompose-except ones: forgetting one
  // would forget it in each component apart.
  EXPECT_FATAL(declare_determined_vars_array(five, m.get()), "\nVariable index 5 is declared both as determined and exist");
  auto determined_first = manager_for(*f);
  declare_determined_vars_array(five, determined_first.get());
  EXPECT_FATAL(declare_exist_quantify_vars_array(five, determined_first.get()),
               "\nVariable index 5 is declared both as determined and exist");
}
