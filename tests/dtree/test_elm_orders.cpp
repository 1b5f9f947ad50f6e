#include "dtree/elm_orders.h"

#include "dtree/minfill.h"
#include "dtree_test_support.h"

using namespace dtree_test;

namespace {

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
  EXPECT_EQ(t->right->index, 2u);
  EXPECT_EQ(t->left->parent, t.get());
  check_hdtree(t.get(), h.get());
}

// Each clause starts in the bucket of its first variable in the order, in front of the bucket's
// list; trees passed on from earlier buckets come first; a bucket composes its list balanced.
TEST(DtreeFromOrder, ComposesEachBucketInItsListOrderAndBalanced) {
  struct bucket_case {
    std::unique_ptr<cnf> formula;
    std::vector<unsigned> order;
    std::string shape;
  };
  const bucket_case cases[] = {
      {make_cnf(3, {{1}, {1, 2}, {1, 3}}), {1, 2, 3}, "(3 (2 1))"},
      {make_cnf(3, {{2, 3}, {1, 2}, {2}}), {1, 2, 3}, "(2 (3 1))"},
      {make_cnf(4, {{1, 2}, {2, 3}, {3, 4}}), {4, 3, 2, 1}, "((3 2) 1)"},
      {make_cnf(4, {{1}, {2}, {3}, {4}, {1, 2, 3, 4}}), {4, 3, 2, 1}, "((((5 4) 3) 2) 1)"},
  };
  for (const bucket_case& c : cases) {
    std::unique_ptr<hgr> h = cnf2hgr(c.formula.get());
    EXPECT_EQ(shape(order2hdtree(c.order, h.get()).get()), c.shape);
  }
}

TEST(DtreeFromOrder, RejectsAnOrderThatIsNoPermutationAndAnUnknownMethod) {
  auto f = make_cnf(3, {{1, 2}, {2, 3}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  EXPECT_FATAL(order2hdtree({1, 2, 2}, h.get()), "variable order lists variable 2 twice");
  EXPECT_FATAL(order2hdtree({1, 2}, h.get()), "variable order lists 2 variables, but the CNF has 3");
  EXPECT_FATAL(order2hdtree({1, 2, 3, 1}, h.get()), "lists 4 variables");
  EXPECT_FATAL(order2hdtree({0, 1, 2}, h.get()), "lists 0, which is not a variable of 1..3");
  EXPECT_FATAL(order2hdtree({1, 2, 4}, h.get()), "lists 4, which is not a variable");
  std::vector<unsigned> repeated = {3, 3, 1};
  EXPECT_FATAL(cnf2hdtree(f.get(), h.get(), 5, &repeated), "twice");
  EXPECT_FATAL(cnf2hdtree(f.get(), h.get(), -1, nullptr), "Unknown dtree method -1");
  EXPECT_FATAL(cnf2hdtree(f.get(), h.get(), 5, nullptr), "Dtree method 5 needs a variable order");
}

TEST(DtreeFromOrder, OfACnfWithoutClausesIsNoTree) {
  for (unsigned vars : {0u, 3u}) {
    auto f = make_cnf(vars, {});
    std::unique_ptr<hgr> h = cnf2hgr(f.get());
    for (int method : {0, 1, 2, 3, 4, 6}) EXPECT_EQ(cnf2hdtree(f.get(), h.get(), method, nullptr), nullptr);
    std::vector<unsigned> order(vars, 0);
    for (unsigned v = 0; v < vars; ++v) order[v] = vars - v;
    EXPECT_EQ(cnf2hdtree(f.get(), h.get(), 5, &order), nullptr);
    EXPECT_EQ(cnf2dtree_skeleton(f.get(), nullptr), (std::vector<unsigned>{0}));
    EXPECT_EQ(cnf_block_order2dtree_skeleton(f.get(), std::vector<unsigned>(vars, 0)), (std::vector<unsigned>{0}));
  }
}

TEST(DtreeDispatch, UsesTheOrderOfEachMethodAndPrintsItsProgressWhenVerbose) {
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
  EXPECT_EQ(verbose_output([&] { cnf2hdtree(f.get(), h.get(), 3, nullptr); }), "\nGenerating dtree... done.");
}

TEST(DtreeSkeletonEntries, BuildWithTheGivenSettingsOrBlocksAndRestoreTheDefaults) {
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

  auto chain = make_cnf(4, {{1, 2}, {2, 3}, {3, 4}});
  HDTREE_TYPE = 3;
  skeleton = cnf_block_order2dtree_skeleton(chain.get(), {0, 1, 0, 1});
  EXPECT_EQ(HDTREE_TYPE, 3) << "the block-order entry leaves the settings alone";
  std::unique_ptr<hgr> hc = cnf2hgr(chain.get());
  EXPECT_EQ(skeleton, hdtree2dtree_skeleton(order2hdtree({1, 3, 4, 2}, hc.get()).get(), hc.get()));
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
