#include "cnf/conflict_analysis.h"
#include "cnf/unit_resolution.h"
#include "engine_fixtures.h"

using namespace engine_test;

// Implications through two-literal clauses and eclauses have a reason literal, through longer
// clauses a reason clause; watch lists are visited from the most recently added clause, implied
// literals in the order they were pushed, and an eclause falsifies its other literals before any
// watched clause.
TEST(CnfUnitResolution, PropagatesInItsFixedOrderWithReasonsAndLevels) {
  struct order_case {
    clause_list clauses;
    unsigned eclauses;
    std::string trail;
  };
  const order_case cases[] = {
      {{{-1, 2, 3}, {-3}, {-1, 4}}, 0, "-3@1 1@2 4@2<1 2@2<#1"},
      {{{-1, 2}, {-1, 3}}, 0, "1@2 3@2<1 2@2<1"},
      {{{-1, 2}, {-1, 3}, {-3, 4}, {-2, 5}}, 0, "1@2 3@2<1 2@2<1 4@2<3 5@2<2"},
      {{{-1, 4}, {1, 2, 3}}, 1, "1@2 -2@2<1 -3@2<1 4@2<1"},
  };
  for (const order_case& c : cases) {
    auto f = make_cnf(5, c.clauses, c.eclauses);
    auto m = manager_for(*f);
    ASSERT_TRUE(assert_unit_clauses(m.get()));
    ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
    EXPECT_EQ(trail_text(m.get()), c.trail);
    EXPECT_EQ(lit(m, -1)->false_level, 2u);
    EXPECT_EQ(fixpoint_errors(m.get(), false), "");
    EXPECT_EQ(m->decision_count, 1u);
    EXPECT_EQ(m->max_level, 1u);
  }
}

TEST(CnfUnitResolution, ReportsTwoTrueEclauseLiteralsAsAConflictOfTheirComplements) {
  auto f = make_cnf(4, {{-1, 2}, {-1, 3}, {2, 3, 4}}, 1);
  auto m = manager_for(*f);
  EXPECT_FALSE(decide_literal(lit(m, 1), m.get()));
  EXPECT_EQ(trail_indices(m.get()), (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(implict_binary_clause_literals[0], lit(m, -2));
  EXPECT_EQ(implict_binary_clause_literals[1], lit(m, -3));
  EXPECT_EQ(implict_binary_clause_literals[2], nullptr);
  EXPECT_EQ(indices(m->report.learned->literals), (std::vector<int>{-1}));
  EXPECT_EQ(m->report.assertion_level, 1u);
  DD_BACKTRACK = false;
  auto g = make_cnf(2, {{-1, 2}, {-1, -2}});
  auto n = manager_for(*g);
  EXPECT_FALSE(decide_literal(lit(n, 1), n.get()));
  EXPECT_EQ(n->report.learned, nullptr) << "nothing to report without backtracking analysis";
}

// The compiler learns which clauses a search acted through: those that implied a literal or met
// a conflict widen the span; a clause that only moved a watch, or was satisfied, does not.
TEST(CnfUnitResolution, TrackedEffectsSpanTheClausesThatImpliedOrConflicted) {
  auto f = make_cnf(7, {{-1, 3, 5}, {-1, 2}, {-2, 4}, {-1, 4, 6}, {-7, 5}, {5, 6, 7}}, 1);
  for (char tracking : {0, 1}) {
    auto m = manager_for(*f);
    m->track_effects = tracking;
    auto span_is = [&](unsigned first, unsigned last) {
      return m->effect_span.first == (tracking ? index2clausep(first, m.get()) : nullptr) &&
             m->effect_span.last == (tracking ? index2clausep(last, m.get()) : nullptr);
    };
    ASSERT_TRUE(decide_literal(lit(m, 1), m.get()));
    EXPECT_TRUE(span_is(2, 3));
    EXPECT_FALSE(decide_literal(lit(m, 7), m.get()));
    EXPECT_TRUE(span_is(2, 6)) << "the eclause implied -5 and -6 before clause 5 conflicted";
  }
}

TEST(CnfUnitResolution, ResumesTheReplacementSearchWhereTheLastOneStoppedAndTakesTrueLiterals) {
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
  EXPECT_EQ(trail_text(m.get()), "-1@2 -2@3 -3@4 -4@5 5@5<#1");
  EXPECT_EQ(watch_invariant_errors(m.get()), "");

  auto g = make_cnf(3, {{1, 2, 3}});
  auto n = manager_for(*g);
  ASSERT_TRUE(decide_literal(lit(n, 3), n.get()));
  ASSERT_TRUE(decide_literal(lit(n, -1), n.get()));
  EXPECT_EQ(indices(index2clausep(1, n.get())->literals), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(trail_text(n.get()), "3@2 -1@3");
}

TEST(CnfUnitResolution, AssertsUnitClausesInVariableOrderPositiveFirstAndStopsAtAClash) {
  auto f = make_cnf(3, {{-3}, {2}, {1, 2}});
  auto m = manager_for(*f, {3, 2, 1});
  ASSERT_TRUE(assert_unit_clauses(m.get()));
  EXPECT_EQ(trail_text(m.get()), "2@1 -3@1");
  EXPECT_TRUE(assert_unit_clause(lit(m, 2), m.get()));
  EXPECT_FALSE(assert_unit_clause(lit(m, 3), m.get()));

  auto g = make_cnf(3, {{3}, {-3}, {1, 2}});
  auto n = manager_for(*g);
  EXPECT_FALSE(assert_unit_clauses(n.get()));
  EXPECT_EQ(trail_text(n.get()), "3@1");
  undo_assert_unit_clauses(n.get());
  EXPECT_EQ(trail_text(n.get()), "");
  EXPECT_FALSE(index2clausep(1, n.get())->subsumed);
}

TEST(CnfUnitResolution, FlagsEachClauseOfATrueLiteralOnceOnTheSubsumedStack) {
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
