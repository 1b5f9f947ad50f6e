#include "dtree/hdtree.h"

#include "dtree/elm_orders.h"
#include "dtree_test_support.h"

using namespace dtree_test;

namespace {

struct loaded {
  std::unique_ptr<cnf> formula;
  std::unique_ptr<hgr> h;
};

loaded three_clauses() {
  loaded l{make_cnf(4, {{1, 2}, {2, 3}, {3, 4}}), nullptr};
  l.h = cnf2hgr(l.formula.get());
  return l;
}

std::unique_ptr<hdtree> load_text(const temp_dir& dir, const std::string& text, hgr* h) {
  return load_hdtree_from_file(dir.write("t.dtree", text).c_str(), h);
}

}  // namespace

TEST(HdtreeOrders, ListCutsetsInPostOrderThenUnusedVariablesAscending) {
  auto f = make_cnf(5, {{1, 2}, {2, 3}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = order2hdtree({1, 2, 3, 4, 5}, h.get());
  EXPECT_EQ(hdtree2edge_order(t.get(), h.get()), (std::vector<unsigned>{1, 3, 2, 4, 5}));
  EXPECT_EQ(hdtree2node_order(t.get(), h.get()), (std::vector<unsigned>{1, 2}));
}

TEST(HdtreeOrders, OfOneClauseListItsVariablesThenTheExcludedAndUnusedOnes) {
  DETERMINED_VARS = {0, 1, 0, 0};
  auto f = make_cnf(4, {{3, -2, 1}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = order2hdtree({1, 2, 3, 4}, h.get());
  set_tarn_defaults();
  EXPECT_EQ(hdtree2edge_order(t.get(), h.get()), (std::vector<unsigned>{3, 1, 2, 4}));
  EXPECT_EQ(hdtree2node_order(t.get(), h.get()), (std::vector<unsigned>{1}));
  EXPECT_EQ(hdtree2dtree_skeleton(t.get(), h.get()), (std::vector<unsigned>{1, 0, 0}));
}

TEST(HdtreeOrders, WithoutATreeListEveryVariable) {
  auto f = make_cnf(3, {});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  EXPECT_EQ(hdtree2edge_order(nullptr, h.get()), (std::vector<unsigned>{1, 2, 3}));
  EXPECT_TRUE(hdtree2node_order(nullptr, h.get()).empty());
  EXPECT_EQ(dtree_skeleton2hdtree({0}, h.get()), nullptr);
}

TEST(DtreeSkeleton, RoundTripsThroughAnHdtree) {
  loaded l = three_clauses();
  // (clause 3, (clause 1, clause 2)) in post-order.
  std::vector<unsigned> skeleton = {5, 0, 2, 0, 0, 0, 1, 1, 1, 2, 1, 0, 3};
  std::unique_ptr<hdtree> t = dtree_skeleton2hdtree(skeleton, l.h.get());
  check_hdtree(t.get(), l.h.get());
  EXPECT_EQ(hdtree2node_order(t.get(), l.h.get()), (std::vector<unsigned>{3, 1, 2}));
  EXPECT_EQ(hdtree2dtree_skeleton(t.get(), l.h.get()), skeleton);
  EXPECT_EQ(skeleton.size(), 5u * 3 - 2);
}

TEST(DtreeSkeleton, WarnsWhenTheHypergraphNodesArePermuted) {
  loaded l = three_clauses();
  l.h->nodes[0]->mark = 1;
  reduce_hgr(l.h.get());  // moves clause 1 behind the others: positions now hold 3, 2, 1
  restore_hgr(l.h.get());
  testing::internal::CaptureStdout();
  std::unique_ptr<hdtree> t = dtree_skeleton2hdtree({5, 0, 0, 0, 1, 1, 0, 1, 0, 2, 1, 2, 3}, l.h.get());
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("\nProblem with selection of hgr node: 3/1"), std::string::npos) << printed;
  EXPECT_NE(printed.find("\nProblem with selection of hgr node: 1/3"), std::string::npos) << printed;
  EXPECT_EQ(hdtree2node_order(t.get(), l.h.get()), (std::vector<unsigned>{3, 2, 1}));
}

TEST(DtreeSkeleton, RejectsRecordsThatAreNoFullBinaryTreeOverTheClauses) {
  loaded l = three_clauses();
  const std::vector<std::vector<unsigned>> bad = {
      {},                                          // no header word
      {5, 0, 0, 0, 1, 1, 0, 1, 0, 2, 1, 2},        // a word short
      {5, 0, 0, 0, 1, 1, 0, 1, 0, 2, 1, 2, 3, 0},  // a word too many
      {5, 0, 0, 0, 1, 7, 0, 1, 0, 2, 1, 2, 3},     // record type 7
      {5, 0, 0, 0, 1, 1, 0, 4, 0, 2, 1, 2, 3},     // child after its parent
      {5, 0, 0, 0, 1, 1, 0, 0, 0, 2, 1, 2, 3},     // the same child twice
      {5, 0, 0, 0, 1, 1, 0, 1, 0, 2, 1, 0, 3},     // a child with two parents
      {5, 0, 0, 0, 1, 1, 0, 1, 0, 3, 1, 2, 3},     // clause position 3 of 0..2
      {5, 0, 0, 0, 0, 1, 0, 1, 0, 2, 1, 2, 3},     // clause 0 twice
      {4, 0, 0, 0, 1, 1, 0, 1, 0, 2},              // even N
  };
  for (const std::vector<unsigned>& s : bad) EXPECT_FATAL(dtree_skeleton2hdtree(s, l.h.get()), "\nDtree file corrupt");
  EXPECT_FATAL(dtree_skeleton2hdtree({3, 0, 0, 0, 1, 1, 0, 1}, l.h.get()), "dtree does not mactch cnf!");
  EXPECT_FATAL(dtree_skeleton2hdtree({0}, l.h.get()), "\nDtree file corrupt");
}

TEST(DtreeFile, ReadsTheFormatsExampleAndSavesItBackWithTheOrdersOfItsSets) {
  temp_dir dir;
  loaded l = three_clauses();
  std::unique_ptr<hdtree> t;
  std::string printed = verbose_output([&] {
    t = load_text(dir, THREE_CLAUSE_FILE, l.h.get());
    save_hdtree_to_file(dir.file("out.dtree").c_str(), t.get(), l.h.get());
  });
  EXPECT_EQ(printed, "\nLoading dtree from file...done.\nSaving dtree...done.");
  check_hdtree(t.get(), l.h.get());
  EXPECT_EQ(hdtree2node_order(t.get(), l.h.get()), (std::vector<unsigned>{1, 2, 3}));
  EXPECT_EQ(read_file(dir.file("out.dtree")), std::string(THREE_CLAUSE_FILE) + THREE_CLAUSE_ORDERS);
}

TEST(DtreeFile, ReadsNumbersAcrossAnyWhiteSpace) {
  temp_dir dir;
  loaded l = three_clauses();
  std::unique_ptr<hdtree> t = load_text(dir, "dtree 5\r\nL 0\nL\t1\nI 0\n1\n\nL 2 I 2 3", l.h.get());
  std::string plain = dir.write("plain.dtree", THREE_CLAUSE_FILE);
  EXPECT_EQ(hdtree2dtree_skeleton(t.get(), l.h.get()), load_dtree_skeleton_from_file(plain.c_str()));
}

TEST(DtreeFile, RejectsCorruptMismatchedAndUnopenableFilesWithTheirMessages) {
  temp_dir dir;
  loaded l = three_clauses();
  const std::vector<std::string> corrupt = {
      "dtree 5\nL 0\nL 1\nI 0 1\n",                  // header says 5, three records follow
      "dtree 5\nL 0\nL 1\nI 0 1\nL 2\nI 2",          // ends inside a record
      "",                                            // empty file
      "tree 5\nL 0\nL 1\nI 0 1\nL 2\nI 2 3\n",       // no header word
      "dtree five\n",                                // header number does not parse
      "dtree -5\nL 0\n",                             // negative N
      "dtree 4\nL 0\nL 1\nI 0 1\nL 2\n",             // even N
      "dtree 4294967295\nL 0\n",                     // absurd N, short file
      "dtree 99999999999999999999\nL 0\n",           // N beyond any integer
      "dtree 5\nL 0\nL 1\nX 0 1\nL 2\nI 2 3\n",      // unknown record letter
      "dtree 5\nL 0\nL 1\nI 0 5\nL 2\nI 2 3\n",      // child names a later record
      "dtree 5\nL 0\nL 1\nI 1 1\nL 2\nI 2 3\n",      // the same child twice
      "dtree 5\nL 0\nL 1\nI 0 1\nL 2\nI 0 3\n",      // record 0 with two parents
      "dtree 5\nL 0\nL 1\nI 0 1\nL 3\nI 2 3\n",      // clause position beyond the CNF
      "dtree 5\nL 0\nL 1\nI 0 1\nL 1\nI 2 3\n",      // clause 1 twice
      "dtree 5\nL 0\nL -1\nI 0 1\nL 2\nI 2 3\n",     // negative clause position
      "dtree 5\nL 0\nL 1\nI 0 1\nI 1 2\nL 2\n",      // a child that another record took
      "dtree 5\nL 0\nL 1\nI 0 1\nL 4294967296\nI 2 3\n",  // position beyond 32 bits
  };
  for (const std::string& text : corrupt)
    EXPECT_FATAL(load_text(dir, text, l.h.get()), "\nDtree file corrupt") << text;
  EXPECT_FATAL(load_text(dir, "dtree 3\nL 0\nL 1\nI 0 1\n", l.h.get()), "^dtree does not mactch cnf!$");
  auto empty = make_cnf(2, {});
  std::unique_ptr<hgr> h = cnf2hgr(empty.get());
  EXPECT_FATAL(load_text(dir, "dtree 1\nL 0\n", h.get()), "dtree does not mactch cnf!");
  std::string missing = dir.file("missing.dtree");
  EXPECT_FATAL(load_hdtree_from_file(missing.c_str(), l.h.get()), "^Cannot open dtree file: .*missing.dtree \\(No such file or directory\\)\n$");
  std::unique_ptr<hdtree> t = load_text(dir, THREE_CLAUSE_FILE, l.h.get());
  std::string unwritable = dir.file("no/such/dir.dtree");
  EXPECT_FATAL(save_hdtree_to_file(unwritable.c_str(), t.get(), l.h.get()), "Cannot open dtree file: .*dir.dtree \\(No such file or directory\\)\n");
}

TEST(Hdtree, FreesADeepTreeWithoutRecursion) {
  // A chain of 200000 clauses under the order 1..V gives a tree as deep as it has clauses.
  const int n = 200000;
  std::vector<std::vector<int>> clauses;
  for (int v = 1; v < n; ++v) clauses.push_back({v, v + 1});
  auto f = make_cnf(n, clauses);
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = cnf2hdtree(f.get(), h.get(), 2, nullptr);
  unsigned depth = 0;
  for (const hdtree* node = t.get(); node->left; node = node->left.get()) ++depth;
  EXPECT_EQ(depth, static_cast<unsigned>(n - 2));
  std::vector<unsigned> skeleton = hdtree2dtree_skeleton(t.get(), h.get());
  EXPECT_EQ(hdtree2edge_order(t.get(), h.get()).size(), static_cast<std::size_t>(n));
  free_hdtree(t);
  EXPECT_EQ(t, nullptr);
  t = dtree_skeleton2hdtree(skeleton, h.get());
  EXPECT_EQ(hdtree2dtree_skeleton(t.get(), h.get()), skeleton);
}

namespace {

// The tree of a skeleton with every node's vars as the plain union of its children's.
std::unique_ptr<hdtree> tree_by_plain_unions(const std::vector<unsigned>& skeleton, hgr* h) {
  std::vector<std::unique_ptr<hdtree>> made;
  for (std::size_t p = 1; p < skeleton.size();) {
    auto node = std::make_unique<hdtree>();
    if (skeleton[p] == 1) {
      node->left = std::move(made[skeleton[p + 1]]);
      node->right = std::move(made[skeleton[p + 2]]);
      node->context = edges_union(node->left->context.get(), node->right->context.get());
      p += 3;
    } else {
      node->clause = skeleton[p + 1] + 1;
      node->context = node2edges(h->nodes[skeleton[p + 1]]);
      p += 2;
    }
    made.push_back(std::move(node));
  }
  unsigned counter = 0;
  initialize_hdtree(made.back().get(), nullptr, new_hgr_edges(0), &counter);
  return std::move(made.back());
}

void expect_same_sets(const hdtree* a, const hdtree* b) {
  ASSERT_EQ(a->left == nullptr, b->left == nullptr);
  EXPECT_EQ(indices(a->cutset.get()), indices(b->cutset.get())) << "node " << a->index;
  EXPECT_EQ(indices(a->context.get()), indices(b->context.get())) << "node " << a->index;
  EXPECT_EQ(indices(a->separator.get()), indices(b->separator.get())) << "node " << a->index;
  if (!a->left) return;
  expect_same_sets(a->left.get(), b->left.get());
  expect_same_sets(a->right.get(), b->right.get());
}

}  // namespace

// A built tree goes through its skeleton to the same tree, with every set in the order that
// plain unions give.
TEST(DtreeSkeleton, OfABuiltTreeConvertsBackToTheSameTree) {
  const unsigned seed = 31;
  std::mt19937 rng(seed);
  for (int round = 0; round < 200; ++round) {
    auto f = random_cnf(rng, 10, 16);
    std::unique_ptr<hgr> h = cnf2hgr(f.get());
    std::unique_ptr<hdtree> built = cnf2hdtree(f.get(), h.get(), 2 + round % 3, nullptr);
    std::vector<unsigned> skeleton = hdtree2dtree_skeleton(built.get(), h.get());
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    std::unique_ptr<hdtree> again = dtree_skeleton2hdtree(skeleton, h.get());
    EXPECT_EQ(hdtree2dtree_skeleton(again.get(), h.get()), skeleton);
    check_hdtree(again.get(), h.get());
    expect_same_sets(again.get(), tree_by_plain_unions(skeleton, h.get()).get());
  }
}
