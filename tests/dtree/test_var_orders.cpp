#include <gtest/gtest.h>

#include "dtree/var_orders.h"

namespace {

// One separator variable with five occurrences: two below the left child, three below the
// right one.
struct separator_scene {
  clause clauses[5] = {};
  clause* list[6] = {&clauses[0], &clauses[1], &clauses[2], &clauses[3], &clauses[4], nullptr};
  literal pos = {}, neg = {};
  var x = {};
  separator entry = {};

  separator_scene() {
    x.pos = &pos;
    x.neg = &neg;
    pos.var = neg.var = &x;
    entry = {&x, &list[0], &list[2], &list[4]};
  }
  void satisfy(unsigned first, unsigned last) {
    for (unsigned i = first; i <= last; ++i) clauses[i].subsumed = 1;
  }
};

}  // namespace

TEST(SeparatorElimination, AnAssignedOrExceptedVariableNeedsNoSplit) {
  separator_scene s;
  EXPECT_FALSE(eliminated_separator(&s.entry));
  s.x.assigned = 1;
  EXPECT_TRUE(eliminated_separator(&s.entry));
  s.x.assigned = 0;
  s.x.decompose_except = 1;
  EXPECT_TRUE(eliminated_separator(&s.entry));
}

TEST(SeparatorElimination, OneSatisfiedSideEndsTheSplitUnlessTheVariableIsForced) {
  separator_scene s;
  s.satisfy(0, 1);
  EXPECT_TRUE(eliminated_separator(&s.entry));
  s.x.force_order = 1;
  EXPECT_FALSE(eliminated_separator(&s.entry));
  s.satisfy(2, 4);
  EXPECT_TRUE(eliminated_separator(&s.entry));

  separator_scene right;
  right.satisfy(2, 4);
  EXPECT_TRUE(eliminated_separator(&right.entry));
}

TEST(SeparatorSelection, TakesTheMostUnsatisfiedOccurrencesThenTheMostLiteralOccurrences) {
  separator_scene a, b;
  a.satisfy(0, 1);  // 3 unsatisfied occurrences
  separator* seps[] = {&a.entry, &b.entry};
  EXPECT_EQ(select_separator(seps, 2, nullptr), &b.entry);

  separator_scene c, d;
  c.pos.occ_count_all = 7;
  d.neg.occ_count_all = 7;
  separator* tied[] = {&c.entry, &d.entry};
  EXPECT_EQ(select_separator(tied, 2, nullptr), &c.entry);
  d.neg.occ_count_all = 9;  // learned clauses count only in the tie
  EXPECT_EQ(select_separator(tied, 2, nullptr), &d.entry);
  c.satisfy(0, 0);
  d.satisfy(0, 1);
  EXPECT_EQ(select_separator(tied, 2, nullptr), &c.entry);
  EXPECT_EQ(separator_score_occ(&c.entry), 4u);
}
