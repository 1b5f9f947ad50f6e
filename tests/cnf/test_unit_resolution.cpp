#include <gtest/gtest.h>

#include "cnf/conflict_analysis.h"
#include "cnf/unit-resolution.h"
#include "driver/utility.h"
#include "engine_fixtures.h"

using namespace engine_test;

namespace {

class CnfUnitResolution : public ::testing::Test {
 protected:
  void SetUp() override { set_tarn_defaults(); }
  void TearDown() override { set_tarn_defaults(); }
};

}  // namespace

TEST_F(CnfUnitResolution, ImpliesThroughATwoLiteralClauseWithAReasonLiteral) {
  auto f = make_cnf(2, {{-1, 2}});
  auto m = manager_for(*f);
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(m->level, 2u);
  EXPECT_EQ(lit(m, 2)->true_level, 2u);
  EXPECT_EQ(lit(m, -2)->false_level, 2u);
  EXPECT_EQ(lit(m, 2)->reason_literal, lit(m, 1));
  EXPECT_EQ(lit(m, 2)->reason_clause, nullptr);
  EXPECT_TRUE(index2clausep(1, m.get())->subsumed);
  EXPECT_EQ(m->decision_count, 1u);
  EXPECT_EQ(m->implication_count, 1u);
  EXPECT_EQ(m->max_level, 1u);
}

TEST_F(CnfUnitResolution, ImpliesThroughALongerClauseWithAReasonClause) {
  auto f = make_cnf(3, {{-1, 2, 3}, {-3}});
  auto m = manager_for(*f);
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  EXPECT_EQ(lit(m, -3)->true_level, 1u);
  EXPECT_EQ(lit(m, -3)->reason_clause, nullptr);
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(lit(m, 2)->true_level, 2u);
  EXPECT_EQ(lit(m, 2)->reason_clause, index2clausep(1, m.get())->literals);
  EXPECT_EQ(lit(m, 2)->reason_literal, nullptr);
  EXPECT_EQ(fixpoint_errors(m.get(), false), "");
}

TEST_F(CnfUnitResolution, VisitsWatchListsFromTheMostRecentlyAddedClause) {
  auto f = make_cnf(3, {{-1, 2}, {-1, 3}});
  auto m = manager_for(*f);
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(trail_indices(m.get()), (std::vector<int>{1, 3, 2}));
}

TEST_F(CnfUnitResolution, ProcessesImpliedLiteralsInTheOrderTheyWerePushed) {
  auto f = make_cnf(5, {{-1, 2}, {-1, 3}, {-3, 4}, {-2, 5}});
  auto m = manager_for(*f);
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(trail_indices(m.get()), (std::vector<int>{1, 3, 2, 4, 5}));
}

TEST_F(CnfUnitResolution, FalsifiesTheOtherEclauseLiteralsBeforeVisitingWatchedClauses) {
  auto f = make_cnf(4, {{-1, 4}, {1, 2, 3}}, 1);
  auto m = manager_for(*f);
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(trail_indices(m.get()), (std::vector<int>{1, -2, -3, 4}));
  EXPECT_EQ(lit(m, -2)->reason_literal, lit(m, 1));
  EXPECT_EQ(lit(m, -3)->reason_literal, lit(m, 1));
  EXPECT_EQ(lit(m, -2)->true_level, 2u);
  EXPECT_EQ(fixpoint_errors(m.get(), false), "");
}

TEST_F(CnfUnitResolution, ReportsTwoTrueEclauseLiteralsAsAConflictOfTheirComplements) {
  auto f = make_cnf(4, {{-1, 2}, {-1, 3}, {2, 3, 4}}, 1);
  auto m = manager_for(*f);
  EXPECT_FALSE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(trail_indices(m.get()), (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(implict_binary_clause_literals[0], lit(m, -2));
  EXPECT_EQ(implict_binary_clause_literals[1], lit(m, -3));
  EXPECT_EQ(implict_binary_clause_literals[2], nullptr);
  EXPECT_EQ(indices(m->report.learned->literals), (std::vector<int>{-1}));
  EXPECT_EQ(m->report.assertion_level, 1u);
}

TEST_F(CnfUnitResolution, ReportsNothingWithoutBacktrackingAnalysis) {
  DD_BACKTRACK = false;
  auto f = make_cnf(2, {{-1, 2}, {-1, -2}});
  auto m = manager_for(*f);
  EXPECT_FALSE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(m->report.learned, nullptr);
  undo_decide_literal(m.get());
  EXPECT_EQ(trail_indices(m.get()), std::vector<int>{});
}

TEST_F(CnfUnitResolution, ResumesTheReplacementSearchWhereTheLastOneStopped) {
  auto f = make_cnf(5, {{1, 2, 3, 4, 5}});
  auto m = manager_for(*f);
  clause* c = index2clausep(1, m.get());
  ASSERT_TRUE(decide_literal(lit(m, -1), m.get()));
  EXPECT_EQ(indices(c->literals), (std::vector<int>{3, 2, 1, 4, 5}));
  ASSERT_TRUE(decide_literal(lit(m, -2), m.get()));
  EXPECT_EQ(indices(c->literals), (std::vector<int>{3, 4, 1, 2, 5}));
  ASSERT_TRUE(decide_literal(lit(m, -3), m.get()));
  EXPECT_EQ(indices(c->literals), (std::vector<int>{5, 4, 1, 2, 3}));
  EXPECT_EQ(c->watch_cursor, c->literals + 5);
  ASSERT_TRUE(decide_literal(lit(m, -4), m.get()));
  EXPECT_EQ(lit(m, 5)->true_level, 5u);
  EXPECT_EQ(lit(m, 5)->reason_clause, c->literals);
  EXPECT_EQ(c->watch_cursor, c->literals + 5);
  EXPECT_EQ(watch_invariant_errors(m.get()), "");
}

TEST_F(CnfUnitResolution, AcceptsATrueLiteralAsReplacementWatch) {
  auto f = make_cnf(3, {{1, 2, 3}});
  auto m = manager_for(*f);
  clause* c = index2clausep(1, m.get());
  ASSERT_TRUE(decide_literal(lit(m, 3), m.get()));
  ASSERT_TRUE(decide_literal(lit(m, -1), m.get()));
  EXPECT_EQ(indices(c->literals), (std::vector<int>{3, 2, 1}));
  EXPECT_FALSE(lit(m, 2)->var->assigned);
}

TEST_F(CnfUnitResolution, StopsAssertingUnitClausesAtTheNegativeUnitOfAVariableWithBoth) {
  auto f = make_cnf(3, {{3}, {-3}, {1, 2}});
  auto m = manager_for(*f);
  EXPECT_FALSE(assert_unit_clauses(m.get()));
  EXPECT_EQ(trail_indices(m.get()), (std::vector<int>{3}));
  undo_assert_unit_clauses(m.get());
  EXPECT_EQ(trail_indices(m.get()), std::vector<int>{});
  EXPECT_FALSE(index2clausep(1, m.get())->subsumed);
}

TEST_F(CnfUnitResolution, AssertsUnitClausesInVariableOrderPositiveFirst) {
  auto f = make_cnf(3, {{-3}, {2}, {1, 2}});
  auto m = manager_for(*f, {3, 2, 1});
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  EXPECT_EQ(trail_indices(m.get()), (std::vector<int>{2, -3}));
  EXPECT_TRUE(assert_unit_clause(lit(m, 2), m.get()));
  EXPECT_FALSE(assert_unit_clause(lit(m, 3), m.get()));
}

TEST_F(CnfUnitResolution, UndoAfterAConflictRestoresTheStateBeforeTheDecision) {
  auto f = make_cnf(5, {{-1, 2}, {-2, 3, 4}, {-1, -4}, {-3, 5}, {-3, -5}, {3, 5, 1}});
  auto m = manager_for(*f);
  ASSERT_TRUE(decide_literal(lit(m, -4), m.get()));
  assignment_snapshot before(m.get());
  EXPECT_FALSE(decide_literal(lit(m, 1), m.get()));
  EXPECT_GT(m->trail_top - m->trail.data(), 2);
  undo_decide_literal(m.get());
  EXPECT_TRUE(assignment_snapshot(m.get()) == before);
  EXPECT_EQ(watch_invariant_errors(m.get()), "");
  EXPECT_EQ(fixpoint_errors(m.get(), false), "");
}

TEST_F(CnfUnitResolution, DeclaresComplementaryPairClausesValidOutsideTheStack) {
  auto f = make_cnf(2, {{1, -1}, {1, 2}});
  auto m = manager_for(*f);
  declare_valid_binary_clauses(m.get());
  EXPECT_TRUE(index2clausep(1, m.get())->subsumed);
  EXPECT_FALSE(index2clausep(2, m.get())->subsumed);
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  undo_decide_literal(m.get());
  EXPECT_TRUE(index2clausep(1, m.get())->subsumed);
  EXPECT_EQ(m->subsumed_top, m->subsumed_stack.data());
  undeclare_valid_binary_clauses(m.get());
  EXPECT_FALSE(index2clausep(1, m.get())->subsumed);
}

TEST_F(CnfUnitResolution, FlagsEachClauseOfATrueLiteralOnceOnTheSubsumedStack) {
  auto f = make_cnf(3, {{1, 2}, {1, 3}, {-2, -3}});
  auto m = manager_for(*f);
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  ASSERT_TRUE(decide_literal(lit(m, 2), m.get()));
  EXPECT_EQ(m->subsumed_top - m->subsumed_stack.data(), 3);
  EXPECT_EQ(m->level_subsumed_start[3] - m->subsumed_stack.data(), 2);
  undo_decide_literal(m.get());
  EXPECT_FALSE(index2clausep(3, m.get())->subsumed);
  EXPECT_TRUE(index2clausep(2, m.get())->subsumed);
}

#ifndef NDEBUG
TEST_F(CnfUnitResolution, RefusesToDecideAnAssignedLiteral) {
  auto f = make_cnf(2, {{-1, 2}});
  auto m = manager_for(*f);
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  EXPECT_DEATH(decide_literal(lit(m, 2), m.get()), "assigned");
}
#endif
