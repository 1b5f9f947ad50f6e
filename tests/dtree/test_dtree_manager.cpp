#include <random>
#include <set>

#include "cnf/unit_resolution.h"
#include "compiler/compiler_fixture.h"

using compiler_test::compiler_setup;
using compiler_test::set_up;
using tarn_test::make_cnf;
using tarn_test::random_clauses;

namespace {

std::set<unsigned> indices_of(const std::vector<var*>& vars, unsigned count) {
  std::set<unsigned> result;
  for (unsigned i = 0; i < count; ++i) result.insert(vars[i]->index);
  return result;
}

// The decompose-except variables of a node's clauses, from its clause run.
std::set<unsigned> dexcept_below(const dtree* t) {
  std::set<unsigned> result;
  for (unsigned i = 0; i < t->clause_count; ++i)
    for (literal** l = t->clauses[i].literals; *l; ++l)
      if ((*l)->var->decompose_except) result.insert((*l)->var->index);
  return result;
}

void check_node(const dtree* t) {
  std::set<unsigned> listed = indices_of(t->dexcept_vars, t->dexcept_count);
  EXPECT_EQ(listed.size(), t->dexcept_count) << "a variable listed twice at node " << t->index;
  EXPECT_EQ(listed, dexcept_below(t)) << "node " << t->index;
  EXPECT_EQ(t->dexcept_vars[t->dexcept_count], nullptr);
  if (!t->left) return;
  // The left child's variables that the right child lacks come first, then the right's list.
  unsigned left_only = 0;
  for (unsigned i = 0; i < t->left->dexcept_count; ++i) {
    var* v = t->left->dexcept_vars[i];
    if (!indices_of(t->right->dexcept_vars, t->right->dexcept_count).count(v->index)) ++left_only;
  }
  for (unsigned i = 0; i < t->right->dexcept_count; ++i)
    EXPECT_EQ(t->dexcept_vars[left_only + i], t->right->dexcept_vars[i]);
  EXPECT_EQ(t->key_bytes, bits2bytes(2 * (t->pure_var_count + t->context_count + t->dexcept_count)));
  check_node(t->left.get());
  check_node(t->right.get());
}

}  // namespace

TEST(DtreeManager, AOneClauseFormulaHasALeafRootOwningTheClauseVariables) {
  compiler_setup s = set_up(make_cnf(4, {{3, -1}}));
  const dtree* root = s.dm->root.get();
  ASSERT_TRUE(leaf_dtree(root));
  EXPECT_EQ(root->pure_var_count, 2u);
  EXPECT_EQ(root->clause_count, 1u);
  EXPECT_EQ(root->key_bytes, 0u);
  EXPECT_EQ(root->separator_count, 0u);
  std::set<unsigned> pure{root->pure_vars[0].index, root->pure_vars[1].index};
  EXPECT_EQ(pure, (std::set<unsigned>{1, 3}));
}

TEST(DtreeManager, ReportsTheTreeSizesWithTheHeight) {
  std::string out = tarn_test::verbose_output([] { set_up(make_cnf(6, {{1, 2}, {3, 4}, {5, 6}})); });
  EXPECT_NE(out.find("\nMax Cluster=2, Cutset=0, Context=0, Separator=0, Height=2"), std::string::npos) << out;
}

TEST(DtreeManager, SeparatorPositionsSplitTheOccurrencesBetweenTheChildren) {
  compiler_setup s = set_up(make_cnf(3, {{1, 2}, {2, 3}}));
  const dtree* root = s.dm->root.get();
  ASSERT_EQ(root->separator_count, 1u);
  const separator* sep = root->separators[0];
  EXPECT_EQ(sep->var->index, 2u);
  EXPECT_EQ(*sep->left_first, root->left->clauses);
  EXPECT_EQ(*sep->right_first, root->right->clauses);
  // One occurrence below the right child: the two right positions coincide.
  EXPECT_EQ(sep->right_first, sep->right_last);
}

TEST(DtreeManager, ListsEachDecomposeExceptVariableOnceLeftOnlyOnesFirst) {
  std::mt19937 random(99);
  for (int round = 0; round < 60; ++round) {
    unsigned vars = 4 + random() % 6;
    auto clauses = random_clauses(random, vars, 2 + random() % 10);
    std::vector<unsigned> excepted;
    for (unsigned v = 1; v <= vars; ++v)
      if (random() % 3 == 0) excepted.push_back(v);
    excepted.push_back(0);
    compiler_setup s = set_up(make_cnf(vars, clauses), 2 + round % 3,
                              [&](cnf_manager* cm) { declare_decompose_except_vars_array(excepted.data(), cm); });
    SCOPED_TRACE("round " + std::to_string(round));
    check_node(s.dm->root.get());
    if (HasFailure()) break;
  }
}

TEST(DtreeManager, KeysCodeTwoBitsPerVariableAndInheritIrrelevance) {
  compiler_setup s = set_up(make_cnf(4, {{1, 2}, {2, 3}, {3, 4}}));
  dtree* root = s.dm->root.get();
  ASSERT_EQ(root->pure_var_count, 4u);
  ASSERT_EQ(root->key_bytes, 1u);
  unsigned char key[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  push_dtree_state(root, key, s.dm.get());
  EXPECT_EQ(key[0], 0xFF);  // every variable unassigned and relevant
  pop_dtree_state(root, s.dm.get());

  // With 1 true, (1 or 2) is satisfied: 1 is irrelevant, 2 is still free through (2 or 3).
  ASSERT_TRUE(decide_literal(s.lit(1), s.cm.get()));
  unsigned char expected = 0;
  for (unsigned i = 0; i < 4; ++i)
    if (root->pure_vars[i].index != 1) expected |= 0x3 << (2 * i);
  push_dtree_state(root, key, s.dm.get());
  EXPECT_EQ(key[0], expected);
  EXPECT_FALSE(index2varp(1, s.cm.get())->relevant);
  EXPECT_EQ(s.dm->stack_top, 1u);
  pop_dtree_state(root, s.dm.get());
  EXPECT_TRUE(index2varp(1, s.cm.get())->relevant);
  EXPECT_EQ(s.dm->stack_top, 0u);
  undo_decide_literal(s.cm.get());
}

TEST(DtreeManager, CodesAFalseVariableWithAnOpenClauseAsFalseAndSubsumesSatisfiedNodes) {
  compiler_setup s = set_up(make_cnf(3, {{1, 2, 3}, {-1, 2}}));
  dtree* root = s.dm->root.get();
  ASSERT_TRUE(decide_literal(s.lit(-1), s.cm.get()));
  unsigned char key[2] = {0, 0};
  push_dtree_state(root, key, s.dm.get());
  for (unsigned i = 0; i < root->pure_var_count; ++i) {
    unsigned code = (key[i / 4] >> (2 * (i % 4))) & 3;
    EXPECT_EQ(code, root->pure_vars[i].index == 1 ? 1u : 3u) << "variable " << root->pure_vars[i].index;
  }
  pop_dtree_state(root, s.dm.get());
  undo_decide_literal(s.cm.get());

  compiler_setup t = set_up(make_cnf(3, {{1, 2}, {1, 3}}));
  EXPECT_FALSE(subsumed_dtree(t.dm->root.get()));
  ASSERT_TRUE(decide_literal(t.lit(1), t.cm.get()));
  EXPECT_TRUE(subsumed_dtree(t.dm->root.get())) << "every clause below is satisfied";
  undo_decide_literal(t.cm.get());
}
