#include "cnf/conflict_analysis.h"
#include "cnf/unit_resolution.h"
#include "engine_fixtures.h"

using namespace engine_test;

// a = 1, b = 2, c = 3, d = 4: (not a or b), (not b or c or d), (not d or c or not b), (not c).
TEST(CnfConflictAnalysis, LearnsTheFirstImplicationPointClauseOfTheWorkedExample) {
  auto f = make_cnf(4, {{-1, 2}, {-2, 3, 4}, {-4, 3, -2}, {-3}});
  auto m = manager_for(*f);
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  EXPECT_FALSE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(lit(m, 2)->reason_literal, lit(m, 1));

  const conflict_report& r = m->report;
  EXPECT_EQ(indices(r.learned->literals), (std::vector<int>{-1, 3}));
  EXPECT_EQ(r.learned->size, 2u);
  EXPECT_EQ(r.asserting_literal, lit(m, -1));
  EXPECT_EQ(r.second_literal, lit(m, 3));
  EXPECT_EQ(r.conflict_level, 2u);
  EXPECT_EQ(r.assertion_level, 1u);

  undo_decide_literal(m.get());
  ASSERT_TRUE(at_assertion_level(m.get()));
  EXPECT_TRUE(assert_cd_literal(m.get()));
  EXPECT_EQ(trail_text(m.get()), "-3@1 -1@1<-3");
  EXPECT_EQ(m->learned_clauses, r.learned);
  EXPECT_EQ(r.learned->index, 5u);
  EXPECT_EQ(m->learned_count, 1u);
  EXPECT_EQ(m->learned_literal_count, 2u);
  EXPECT_EQ(m->assertion_count, 1u);
  EXPECT_EQ(lit(m, -1)->occ_count_all, lit(m, -1)->occ_count + 1);
  EXPECT_EQ(watch_list(lit(m, -1)).front(), 5u);
  EXPECT_EQ(watch_list(lit(m, 3)).front(), 5u);
  EXPECT_EQ(watch_invariant_errors(m.get()), "");
  EXPECT_EQ(fixpoint_errors(m.get(), false), "");
}

// A learned clause of one literal is asserted at level 1 with itself as the reason.
TEST(CnfConflictAnalysis, LearnsAOneLiteralClauseAssertedAtLevelOne) {
  auto f = make_cnf(2, {{-1, 2}, {-1, -2}});
  auto m = manager_for(*f);
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  EXPECT_FALSE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(indices(m->report.learned->literals), (std::vector<int>{-1}));
  EXPECT_EQ(m->report.second_literal, nullptr);
  EXPECT_EQ(m->report.assertion_level, 1u);
  EXPECT_FALSE(at_assertion_level(m.get()));
  undo_decide_literal(m.get());
  ASSERT_TRUE(at_assertion_level(m.get()));
  EXPECT_TRUE(assert_cd_literal(m.get()));
  EXPECT_EQ(trail_text(m.get()), "-1@1<#3");
  EXPECT_EQ(watch_list(lit(m, -1)), (std::vector<unsigned>{2, 1}));
  EXPECT_EQ(m->implication_count, 2u);
}

// Decisions 1, 2, 3 at levels 2, 3, 4; the conflict resolves -4 away and meets the lower
// literals -1 (level 2) and then -2 (level 3), which takes position 1. With one decision, the
// only conflict-level literal is the implication point at once.
TEST(CnfConflictAnalysis, PutsTheHighestLowerLevelLiteralSecondAndKeepsTheOthersInOrder) {
  auto f = make_cnf(4, {{-3, -1, 4}, {-3, -2, -4}});
  auto m = manager_for(*f);
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
  ASSERT_TRUE(decide_literal(lit(m, 2), m.get()));
  EXPECT_FALSE(decide_literal(lit(m, 3), m.get()));
  EXPECT_EQ(indices(m->report.learned->literals), (std::vector<int>{-3, -2, -1}));
  EXPECT_EQ(m->report.conflict_level, 4u);
  EXPECT_EQ(m->report.assertion_level, 3u);
  undo_decide_literal(m.get());
  ASSERT_TRUE(at_assertion_level(m.get()));
  EXPECT_TRUE(assert_cd_literal(m.get()));
  EXPECT_EQ(trail_text(m.get()), "1@2 2@3 -3@3<#3");
  EXPECT_EQ(watch_list(lit(m, -2)).front(), 3u);
  EXPECT_EQ(fixpoint_errors(m.get(), false), "");

  auto g = make_cnf(3, {{-1, -2, -3}, {-2, 3}});
  auto n = manager_for(*g);
  ASSERT_TRUE(decide_literal(lit(n, 1), n.get()));
  EXPECT_FALSE(decide_literal(lit(n, 2), n.get()));
  EXPECT_EQ(indices(n->report.learned->literals), (std::vector<int>{-2, -1}));
  EXPECT_EQ(n->report.assertion_level, 2u);
}

// The manager owns every clause conflict analysis makes: a report clause that is replaced
// before it is added, and one left pending when the manager is freed, are both released
// (the leak checker of the sanitizer build watches this).
TEST(CnfConflictAnalysis, ReleasesReportClausesThatAreNeverAdded) {
  auto f = make_cnf(3, {{-1, 2}, {-1, -2}, {-3, 2}, {-3, -2}});
  auto m = manager_for(*f);
  EXPECT_FALSE(decide_literal(lit(m, 1), m.get()));
  clause* first = m->report.learned;
  undo_decide_literal(m.get());
  EXPECT_FALSE(decide_literal(lit(m, 3), m.get()));
  EXPECT_NE(m->report.learned, first);
  EXPECT_EQ(indices(m->report.learned->literals), (std::vector<int>{-3}));
  undo_decide_literal(m.get());
  EXPECT_EQ(m->learned_count, 0u);
  EXPECT_EQ(m->learned_clauses, nullptr);
  free_cnf_manager(m);
}

TEST(CnfConflictAnalysis, ReportsANewConflictWhenTheAssertedLiteralFailsAtLevelOne) {
  auto f = make_cnf(3, {{-1, 2}, {-1, -2}, {1, 3}, {1, -3}});
  auto m = manager_for(*f);
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  EXPECT_FALSE(decide_literal(lit(m, 1), m.get()));
  undo_decide_literal(m.get());
  clause* added = m->report.learned;
  EXPECT_FALSE(assert_cd_literal(m.get()));
  EXPECT_EQ(m->learned_clauses, added);
  EXPECT_NE(m->report.learned, added);
  EXPECT_EQ(m->report.conflict_level, 1u);
  EXPECT_EQ(m->report.assertion_level, 1u);
  undo_assert_unit_clauses(m.get());
  EXPECT_EQ(trail_text(m.get()), "");
}
