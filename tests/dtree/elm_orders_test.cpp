#include "dtree/elm_orders.h"

#include "dtree/minfill.h"
#include "dtree_test_support.h"

using namespace dtree_test;

namespace {

std::unique_ptr<hdtree> leaf_of(hgr* h, unsigned clause) {
  auto t = std::make_unique<hdtree>();
  t->clause = clause;
  t->context = node2edges(h->nodes[clause - 1]);
  return t;
}

// Clause numbers of the leaves, left to right, in bracket form: "(1 (2 3))".
std::string shape(const hdtree* t) {
  if (!t->left) return std::to_string(t->clause);
  return "(" + shape(t->left.get()) + " " + shape(t->right.get()) + ")";
}

}  // namespace

TEST(DtreeFromOrder, OfTwoChainedClausesHasTheSeparatorOfTheSharedVariable) {
  auto f = make_cnf(3, {{1, 2}, {2, 3}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = cnf2hdtree(f.get(), h.get(), 2, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(shape(t.get()), "(1 2)");
  EXPECT_EQ(indices(t->separator.get()), (std::vector<unsigned>{2}));
  EXPECT_EQ(indices(t->cutset.get()), (std::vector<unsigned>{2}));
  EXPECT_EQ(t->context->count, 0u);
  EXPECT_EQ(indices(t->left->cutset.get()), (std::vector<unsigned>{1}));
  EXPECT_EQ(indices(t->right->cutset.get()), (std::vector<unsigned>{3}));
  EXPECT_EQ(indices(t->left->context.get()), (std::vector<unsigned>{2}));
  EXPECT_EQ(indices(t->right->context.get()), (std::vector<unsigned>{2}));
  EXPECT_EQ(t->left->separator->count, 0u);
  EXPECT_EQ(t->index, 0u);
  EXPECT_EQ(t->left->index, 1u);
  EXPECT_EQ(t->right->index, 2u);
  EXPECT_EQ(t->left->parent, t.get());
  EXPECT_EQ(t->right->parent, t.get());
}

TEST(DtreeFromOrder, OfOneClauseIsOneLeaf) {
  auto f = make_cnf(2, {{1, 2}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = cnf2hdtree(f.get(), h.get(), 2, nullptr);
  EXPECT_EQ(t->left, nullptr);
  EXPECT_EQ(t->clause, 1u);
  EXPECT_EQ(indices(t->cutset.get()), (std::vector<unsigned>{1, 2}));
}

TEST(DtreeFromOrder, ComposesABucketWithItsLatestArrivalsFirstAndBalanced) {
  // All three clauses start in bucket 0, each put in front: the list is 3, 2, 1.
  auto f = make_cnf(3, {{1}, {1, 2}, {1, 3}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = order2hdtree({1, 2, 3}, h.get());
  EXPECT_EQ(shape(t.get()), "(3 (2 1))");
  // Trees passed on from earlier buckets come before the leaves that start in a bucket.
  auto g = make_cnf(3, {{2, 3}, {1, 2}, {2}});
  std::unique_ptr<hgr> hg = cnf2hgr(g.get());
  std::unique_ptr<hdtree> u = order2hdtree({1, 2, 3}, hg.get());
  EXPECT_EQ(shape(u.get()), "(2 (3 1))");
}

TEST(DtreeFromOrder, ListHelpersCountCutAndCompose) {
  auto f = make_cnf(4, {{1}, {2}, {3}, {4}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  hdtree* list = nullptr;
  for (unsigned c = 4; c >= 1; --c) {
    hdtree* t = leaf_of(h.get(), c).release();
    t->next = list;
    list = t;
  }
  EXPECT_EQ(length(list), 4u);
  hdtree* rest = split_hdtree_list(list, 1);
  EXPECT_EQ(length(list), 1u);
  EXPECT_EQ(length(rest), 3u);
  std::unique_ptr<hdtree> first(list);
  std::unique_ptr<hdtree> composed(balanced_compose_hdtrees(rest, 3));
  EXPECT_EQ(shape(composed.get()), "(2 (3 4))");
  EXPECT_EQ(indices(composed->context.get()), (std::vector<unsigned>{2, 3, 4}));
  EXPECT_EQ(composed->next, nullptr);
  unsigned pos[5] = {0, 3, 2, 1, 0};  // order 4, 3, 2, 1
  EXPECT_EQ(find_hdtree_bucket(composed.get(), 0, pos, h.get()), 0u);
  EXPECT_EQ(find_hdtree_bucket(composed.get(), 1, pos, h.get()), 1u);
  EXPECT_EQ(find_hdtree_bucket(composed.get(), 2, pos, h.get()), 2u);
  EXPECT_EQ(find_hdtree_bucket(composed.get(), 3, pos, h.get()), 4u) << "none left: bucket V";
}

TEST(DtreeFromOrder, RejectsAnOrderThatIsNoPermutation) {
  auto f = make_cnf(3, {{1, 2}, {2, 3}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  EXPECT_FATAL(order2hdtree({1, 2, 2}, h.get()), "variable order lists variable 2 twice");
  EXPECT_FATAL(order2hdtree({1, 2}, h.get()), "variable order lists 2 variables, but the CNF has 3");
  EXPECT_FATAL(order2hdtree({1, 2, 3, 1}, h.get()), "lists 4 variables");
  EXPECT_FATAL(order2hdtree({0, 1, 2}, h.get()), "lists 0, which is not a variable of 1..3");
  EXPECT_FATAL(order2hdtree({1, 2, 4}, h.get()), "lists 4, which is not a variable");
  std::vector<unsigned> repeated = {3, 3, 1};
  EXPECT_FATAL(cnf2hdtree(f.get(), h.get(), 5, &repeated), "twice");
}

TEST(DtreeFromOrder, OfACnfWithoutClausesIsNoTree) {
  auto f = make_cnf(3, {});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  for (int method : {0, 1, 2, 3, 4, 6}) EXPECT_EQ(cnf2hdtree(f.get(), h.get(), method, nullptr), nullptr);
  std::vector<unsigned> order = {2, 3, 1};
  EXPECT_EQ(cnf2hdtree(f.get(), h.get(), 5, &order), nullptr);
  EXPECT_EQ(cnf2dtree_skeleton(f.get(), nullptr), (std::vector<unsigned>{0}));
  EXPECT_EQ(cnf_block_order2dtree_skeleton(f.get(), {0, 0, 0}), (std::vector<unsigned>{0}));
  auto none = make_cnf(0, {});
  std::unique_ptr<hgr> h0 = cnf2hgr(none.get());
  EXPECT_EQ(cnf2hdtree(none.get(), h0.get(), 4, nullptr), nullptr);
}

TEST(DtreeDispatch, RejectsANegativeMethodAndMethodFiveWithoutOrder) {
  auto f = make_cnf(2, {{1, 2}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  EXPECT_FATAL(cnf2hdtree(f.get(), h.get(), -1, nullptr), "Unknown dtree method -1");
  EXPECT_FATAL(cnf2hdtree(f.get(), h.get(), 5, nullptr), "Dtree method 5 needs a variable order");
}

TEST(DtreeDispatch, PrintsItsProgressWhenVerbose) {
  auto f = make_cnf(2, {{1, 2}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  VERBOSE = true;
  testing::internal::CaptureStdout();
  cnf2hdtree(f.get(), h.get(), 3, nullptr);
  std::string printed = testing::internal::GetCapturedStdout();
  VERBOSE = false;
  EXPECT_EQ(printed, "\nGenerating dtree... done.");
}

TEST(DtreeDispatch, UsesTheOrderOfEachMethod) {
  auto f = make_cnf(4, {{1, 2}, {2, 3}, {3, 4}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  EXPECT_EQ(default_order_lh(h.get()), (std::vector<unsigned>{1, 2, 3, 4}));
  EXPECT_EQ(default_order_hl(h.get()), (std::vector<unsigned>{4, 3, 2, 1}));
  auto skeleton_of = [&](int method, const std::vector<unsigned>* order) {
    std::unique_ptr<hdtree> t = cnf2hdtree(f.get(), h.get(), method, order);
    return hdtree2dtree_skeleton(t.get(), h.get());
  };
  std::vector<unsigned> lh = default_order_lh(h.get()), hl = default_order_hl(h.get());
  std::vector<unsigned> minfill = cnf2minfill_order(f.get());
  EXPECT_EQ(skeleton_of(2, nullptr), skeleton_of(5, &lh));
  EXPECT_EQ(skeleton_of(3, nullptr), skeleton_of(5, &hl));
  EXPECT_EQ(skeleton_of(4, nullptr), skeleton_of(5, &minfill));
  EXPECT_NE(skeleton_of(2, nullptr), skeleton_of(3, nullptr));
}

TEST(DtreeSkeletonEntries, BuildWithTheGivenSettingsAndRestoreTheDefaults) {
  auto f = make_cnf(4, {{1, 2}, {2, 3}, {3, 4}, {-1, 4}});
  const int settings[] = {4, 3, 20, 30, 0};
  std::vector<unsigned> skeleton = cnf2dtree_skeleton(f.get(), settings);
  EXPECT_EQ(skeleton.size(), 5u * 4 - 2);
  EXPECT_EQ(HDTREE_TYPE, 0);
  EXPECT_EQ(HDTREE_TRIES, 25);
  EXPECT_EQ(FIRST_UBF, 25);
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = order2hdtree(cnf2minfill_order(f.get()), h.get());
  EXPECT_EQ(skeleton, hdtree2dtree_skeleton(t.get(), h.get()));
  check_hdtree(dtree_skeleton2hdtree(skeleton, h.get()).get(), h.get());
}

TEST(DtreeSkeletonEntries, FollowTheBlocksOfTheBlockOrder) {
  auto f = make_cnf(4, {{1, 2}, {2, 3}, {3, 4}});
  HDTREE_TYPE = 3;
  std::vector<unsigned> skeleton = cnf_block_order2dtree_skeleton(f.get(), {0, 1, 0, 1});
  EXPECT_EQ(HDTREE_TYPE, 3) << "the block-order entry leaves the settings alone";
  set_tarn_defaults();
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = order2hdtree({1, 3, 4, 2}, h.get());
  EXPECT_EQ(skeleton, hdtree2dtree_skeleton(t.get(), h.get()));
}

// The tree of every order method meets the definitions on random formulas, with repeated
// clauses, unused variables and excluded variables.
TEST(DtreeFromOrder, MeetsTheDtreeDefinitionsOnRandomFormulas) {
  const unsigned seed = 20261206;
  std::mt19937 rng(seed);
  for (int round = 0; round < 400; ++round) {
    auto f = random_cnf(rng, 10, 14);
    if (round % 5 == 0) {
      DETERMINED_VARS.assign(f->var_count, 0);
      DETERMINED_VARS[rng() % f->var_count] = 1;
    }
    std::unique_ptr<hgr> h = cnf2hgr(f.get());
    int method = 2 + round % 3;
    std::unique_ptr<hdtree> t = cnf2hdtree(f.get(), h.get(), method, nullptr);
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + " method " +
                 std::to_string(method));
    check_hdtree(t.get(), h.get());
    set_tarn_defaults();
  }
}
