// The default dtree by recursive bisection: shapes of the edge cases, the partition fallbacks,
// the progress line, the choice of the best tree, early abandonment, and random formulas.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "dtree/elm_orders.h"
#include "dtree/hdtree_partition.h"
#include "dtree_test_support.h"

using namespace dtree_test;

namespace {

class DefaultDtree : public ::testing::Test {
 protected:
  void SetUp() override { set_tarn_defaults(); }
  void TearDown() override { set_tarn_defaults(); }
};

// Counts of a hypergraph as cnf2hgr made it, to see that a construction gives every one back.
struct hgr_counts {
  unsigned nodes, edges;
  std::vector<unsigned> node_edges, edge_nodes;
};

hgr_counts counts_of(const hgr* h) {
  hgr_counts c{h->node_count, h->edge_count, {}, {}};
  for (const hgr_node& n : h->node_block) c.node_edges.push_back(n.edge_count);
  for (const hgr_edge& e : h->edge_block) c.edge_nodes.push_back(e.node_count);
  return c;
}

void expect_restored(const hgr* h, const hgr_counts& before) {
  EXPECT_EQ(h->node_count, before.nodes);
  EXPECT_EQ(h->edge_count, before.edges);
  EXPECT_EQ(h->undo_top, 0u) << "an undo level left open";
  EXPECT_EQ(counts_of(h).node_edges, before.node_edges);
  EXPECT_EQ(counts_of(h).edge_nodes, before.edge_nodes);
  for (const hgr_node& n : h->node_block) EXPECT_EQ(n.next, nullptr) << "clause " << n.index;
}

std::vector<unsigned> marks_by_position(const hgr* h) {
  std::vector<unsigned> marks;
  for (unsigned i = 0; i < h->node_count; ++i) marks.push_back(h->nodes[i]->mark);
  return marks;
}

std::string captured_construction(const cnf* f, hgr* h, int method) {
  VERBOSE = true;
  testing::internal::CaptureStdout();
  std::unique_ptr<hdtree> t = cnf2hdtree(f, h, method, nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  VERBOSE = false;
  EXPECT_NE(t, nullptr);
  return out;
}

// The tokens of the progress line, between the duplicate count and the summary.
std::string progress_line(const std::string& out) {
  const std::string head = "\nGenerating dtree...(hgr ", tail = " done.";
  const std::size_t start = out.find("): "), sum = out.find("\nSum Cluster=");
  int numbers[4];
  const bool shaped = out.compare(0, head.size(), head) == 0 && start != std::string::npos &&
                      sum != std::string::npos && sum > start && out.size() >= tail.size() &&
                      out.compare(out.size() - tail.size(), tail.size(), tail) == 0 &&
                      std::sscanf(out.c_str() + sum, "\nSum Cluster=%d, cutset=%d, context=%d, separator=%d", &numbers[0],
                                  &numbers[1], &numbers[2], &numbers[3]) == 4;
  if (!shaped) {
    ADD_FAILURE() << "unexpected output: " << out;
    return "";
  }
  return out.substr(start + 3, sum - start - 3);
}

// Whether the line holds, for each factor in turn, the factor and a blank or a lone ".".
bool tokens_of_factors(std::string line, const std::vector<int>& factors) {
  for (int factor : factors) {
    const std::string token = std::to_string(factor) + " ";
    if (line.compare(0, 1, ".") == 0)
      line.erase(0, 1);
    else if (line.compare(0, token.size(), token) == 0)
      line.erase(0, token.size());
    else
      return false;
  }
  return line.empty();
}

std::unique_ptr<cnf> chain(unsigned clauses) {
  std::vector<std::vector<int>> cls;
  for (unsigned i = 1; i <= clauses; ++i) cls.push_back({static_cast<int>(i), -static_cast<int>(i + 1)});
  return make_cnf(clauses + 1, cls);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shapes
// ---------------------------------------------------------------------------------------------
TEST_F(DefaultDtree, TwoClausesWithoutACommonVariableHaveAnEmptyRootCutAndLeavesOwningTheirVariables) {
  auto f = make_cnf(4, {{1, -2}, {3, 4}});
  auto h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = cnf2hdtree(f.get(), h.get(), 0, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(indices(t->cutset.get()).empty());
  EXPECT_TRUE(indices(t->separator.get()).empty());
  EXPECT_TRUE(indices(t->context.get()).empty());
  for (const hdtree* leaf : std::vector<const hdtree*>{t->left.get(), t->right.get()}) {
    ASSERT_TRUE(leaf_hdtree(leaf));
    EXPECT_TRUE(indices(leaf->context.get()).empty());
    const std::vector<unsigned> clause_vars = leaf->clause == 1 ? std::vector<unsigned>{1, 2} : std::vector<unsigned>{3, 4};
    EXPECT_EQ(indices(leaf->cutset.get()), clause_vars);
  }
  EXPECT_NE(t->left->clause, t->right->clause);
  check_hdtree(t.get(), h.get());
}

TEST_F(DefaultDtree, ClausesOverOneVariableSetFormAVineInClauseOrderNumberedInPreOrder) {
  auto f = make_cnf(3, {{1, 2, 3}, {3, -2, 1}, {-1, -2, -3}});
  auto h = cnf2hgr(f.get());
  hgr_counts before = counts_of(h.get());
  std::unique_ptr<hdtree> t = cnf2hdtree(f.get(), h.get(), 0, nullptr);
  ASSERT_NE(t, nullptr);
  const std::vector<unsigned> all{1, 2, 3}, none{};
  // D0(leaf 1, (leaf 2, leaf 3))
  EXPECT_EQ(t->index, 0u);
  EXPECT_EQ(indices(t->cutset.get()), all);
  EXPECT_EQ(indices(t->separator.get()), all);
  EXPECT_EQ(indices(t->context.get()), none);
  const hdtree* first = t->left.get();
  const hdtree* rest = t->right.get();
  ASSERT_TRUE(first && leaf_hdtree(first));
  EXPECT_EQ(first->clause, 1u);
  EXPECT_EQ(first->index, 1u);
  ASSERT_TRUE(rest && !leaf_hdtree(rest));
  EXPECT_EQ(rest->index, 2u);
  EXPECT_EQ(indices(rest->cutset.get()), none);
  EXPECT_EQ(indices(rest->context.get()), all);
  EXPECT_EQ(indices(rest->separator.get()), all);
  ASSERT_TRUE(leaf_hdtree(rest->left.get()) && leaf_hdtree(rest->right.get()));
  EXPECT_EQ(rest->left->clause, 2u);
  EXPECT_EQ(rest->left->index, 3u);
  EXPECT_EQ(rest->right->clause, 3u);
  EXPECT_EQ(rest->right->index, 4u);
  for (const hdtree* leaf : std::vector<const hdtree*>{first, rest->left.get(), rest->right.get()}) {
    EXPECT_EQ(indices(leaf->cutset.get()), none);
    EXPECT_EQ(indices(leaf->context.get()), all);
  }
  check_hdtree(t.get(), h.get());
  expect_restored(h.get(), before);
}

// ---------------------------------------------------------------------------------------------
// Partition fallbacks. A balance factor of 0 would make the partitioner end the process: a test
// that passes one and returns has shown that the partitioner was not called.
// ---------------------------------------------------------------------------------------------
TEST_F(DefaultDtree, NodesThatLostEveryEdgeToTheContextSplitByPositionParityWithoutThePartitioner) {
  auto f = make_cnf(5, {{1, 2}, {2, 3}, {3, 4}, {4, 5}, {-1, 5}});
  auto h = cnf2hgr(f.get());
  allocate_hgp_arrays(h.get());
  auto context = edge_set(h.get(), {1, 2, 3, 4, 5});
  remove_edges(context.get(), h.get());
  partition_hgr(0, h.get());
  EXPECT_EQ(marks_by_position(h.get()), (std::vector<unsigned>{0, 1, 0, 1, 0}));
  restore_hgr(h.get());
  free_hgp_arrays();
}

TEST_F(DefaultDtree, NodesWithEdgesLeftGoToSideOneAndTheOthersToSideZeroWithoutThePartitioner) {
  auto f = make_cnf(3, {{1, 2}, {1}, {2, 3}, {-2}, {3, -1}});
  auto h = cnf2hgr(f.get());
  allocate_hgp_arrays(h.get());
  auto context = edge_set(h.get(), {1, 2});
  remove_edges(context.get(), h.get());
  partition_hgr(0, h.get());
  for (unsigned i = 0; i < h->node_count; ++i) {
    const hgr_node* n = h->nodes[i];
    EXPECT_EQ(n->mark, n->index == 3 || n->index == 5 ? 1u : 0u) << "clause " << n->index;
  }
  restore_hgr(h.get());
  free_hgp_arrays();
}

TEST_F(DefaultDtree, AOneSidedPartitionFallsBackOnPositionParity) {
  // Three vertices in the same two nets: the partitioner's cut of 0 puts them all on one side.
  auto f = make_cnf(2, {{1, 2}, {1, -2}, {-1, 2}});
  auto h = cnf2hgr(f.get());
  allocate_hgp_arrays(h.get());
  partition_hgr(25, h.get());
  const int on_side_1 = hgp_part[0] + hgp_part[1] + hgp_part[2];
  ASSERT_TRUE(on_side_1 == 0 || on_side_1 == 3) << "the partitioner split the three vertices";
  EXPECT_EQ(marks_by_position(h.get()), (std::vector<unsigned>{0, 1, 0}));
  free_hgp_arrays();
}

// ---------------------------------------------------------------------------------------------
// Progress line and summary
// ---------------------------------------------------------------------------------------------
TEST_F(DefaultDtree, TheDefaultsPrintTwentyFiveTriesTheFirstAlwaysCompleted) {
  auto f = chain(40);
  auto h = cnf2hgr(f.get());
  std::string line = progress_line(captured_construction(f.get(), h.get(), 0));
  ASSERT_EQ(line.size(), 25u) << line;
  EXPECT_EQ(line[0], '*');
  EXPECT_EQ(line.find_first_not_of("*."), std::string::npos) << line;
}

TEST_F(DefaultDtree, MethodOnePrintsEachFactorOfItsSweepOrADotPerTry) {
  auto f = chain(40);
  auto h = cnf2hgr(f.get());
  HDTREE_TYPE = 1;
  HDTREE_TRIES = 2;
  FIRST_UBF = 10;
  LAST_UBF = 12;
  std::string line = progress_line(captured_construction(f.get(), h.get(), 1));
  EXPECT_EQ(line.compare(0, 3, "10 "), 0) << line;
  EXPECT_TRUE(tokens_of_factors(line, {10, 11, 12, 10, 11, 12})) << line;
  EXPECT_EQ(LAST_UBF, 12);
}

TEST_F(DefaultDtree, OnlyMethodOneAndMethodsAboveFiveSweepTheBalanceFactors) {
  auto f = chain(12);
  auto h = cnf2hgr(f.get());
  HDTREE_TRIES = 3;
  FIRST_UBF = 10;
  LAST_UBF = 12;
  EXPECT_EQ(progress_line(captured_construction(f.get(), h.get(), 0)).size(), 3u);
  EXPECT_EQ(LAST_UBF, FIRST_UBF) << "method 0 runs one factor per try";
  HDTREE_TYPE = 7;
  LAST_UBF = 12;
  std::string line = progress_line(captured_construction(f.get(), h.get(), 7));
  EXPECT_EQ(line.size(), 9u) << line;
  EXPECT_EQ(line.find_first_not_of("*."), std::string::npos) << line;
}

TEST_F(DefaultDtree, TheSummaryGivesTheSmallestPowerOfTwoAtLeastEachBestSum) {
  initialize_best_hdtree();
  best_cluster_size_max = 3;
  mpz_set_ui(best_cluster_size_sum, 18);  // 8 + 8 + 2: above 16
  best_cutset_size_max = 2;
  mpz_set_ui(best_cutset_size_sum, 4);  // exactly 2^2
  best_context_size_max = 0;
  mpz_set_ui(best_context_size_sum, 1);
  best_separator_size_max = 4;
  mpz_set_ui(best_separator_size_sum, 17);
  VERBOSE = true;
  testing::internal::CaptureStdout();
  clear_best_hdtree();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nSum Cluster=5, cutset=2, context=0, separator=5");
}

// ---------------------------------------------------------------------------------------------
// The best tree
// ---------------------------------------------------------------------------------------------
namespace {

void set_sums(mpz_t cluster, mpz_t context, mpz_t separator, mpz_t cutset, const std::vector<unsigned long>& v) {
  mpz_set_ui(cluster, v[0]);
  mpz_set_ui(context, v[1]);
  mpz_set_ui(separator, v[2]);
  mpz_set_ui(cutset, v[3]);
}

// better_hdtree() for current and best sums given as {cluster, context, separator, cutset}.
bool better(const std::vector<unsigned long>& current, const std::vector<unsigned long>& best) {
  set_sums(current_cluster_size_sum, current_context_size_sum, current_separator_size_sum, current_cutset_size_sum,
           current);
  set_sums(best_cluster_size_sum, best_context_size_sum, best_separator_size_sum, best_cutset_size_sum, best);
  return better_hdtree();
}

}  // namespace

TEST_F(DefaultDtree, ABetterTreeHasASmallerClusterThenContextSumThenALargerSeparatorThenCutsetSum) {
  initialize_best_hdtree();
  EXPECT_TRUE(better({99, 99, 0, 0}, {1, 1, 1, 1})) << "no best tree yet";
  best_hdtree = std::make_unique<hdtree>();
  EXPECT_TRUE(better({10, 90, 0, 0}, {11, 1, 9, 9}));
  EXPECT_FALSE(better({12, 1, 9, 9}, {11, 90, 0, 0}));
  EXPECT_TRUE(better({11, 5, 0, 0}, {11, 6, 9, 9}));
  EXPECT_FALSE(better({11, 7, 9, 9}, {11, 6, 0, 0}));
  EXPECT_TRUE(better({11, 6, 8, 0}, {11, 6, 7, 9})) << "larger separator sum wins on equal cluster and context sums";
  EXPECT_FALSE(better({11, 6, 7, 9}, {11, 6, 8, 0}));
  EXPECT_TRUE(better({11, 6, 7, 5}, {11, 6, 7, 4}));
  EXPECT_FALSE(better({11, 6, 7, 4}, {11, 6, 7, 5}));
  EXPECT_FALSE(better({11, 6, 7, 4}, {11, 6, 7, 4})) << "equal on all four: the earlier tree stays";
  clear_best_hdtree();
}

TEST_F(DefaultDtree, KeepingATreeTakesItsMaximaAndSumsOnlyWhenItIsBetter) {
  initialize_best_hdtree();
  initialize_current_hdtree();
  update_current_hdtree(3, 2, 4);
  auto first = std::make_unique<hdtree>();
  const hdtree* first_address = first.get();
  keep_hdtree(std::move(first));
  EXPECT_EQ(best_hdtree.get(), first_address);
  EXPECT_EQ(best_cluster_size_max, 5u);
  EXPECT_EQ(mpz_get_ui(best_cluster_size_sum), 32u);

  initialize_current_hdtree();
  update_current_hdtree(3, 2, 4);
  keep_hdtree(std::make_unique<hdtree>());
  EXPECT_EQ(best_hdtree.get(), first_address) << "an equal tree does not replace the earlier one";

  initialize_current_hdtree();
  update_current_hdtree(1, 1, 0);
  update_current_hdtree(0, 1, 1);
  keep_hdtree(std::make_unique<hdtree>());
  EXPECT_NE(best_hdtree.get(), first_address);
  EXPECT_EQ(best_cluster_size_max, 2u);
  EXPECT_EQ(best_context_size_max, 1u);
  EXPECT_EQ(mpz_get_ui(best_cluster_size_sum), 4u + 2u);
  EXPECT_EQ(mpz_get_ui(best_separator_size_sum), 1u + 2u);
  clear_best_hdtree();
}

TEST_F(DefaultDtree, ATrySurvivesUpToTheBestClusterSumExactlyBeyondSixtyFourBits) {
  initialize_best_hdtree();
  initialize_current_hdtree();
  EXPECT_TRUE(update_current_hdtree(70, 30, 0)) << "no best tree yet";
  keep_hdtree(std::make_unique<hdtree>());
  initialize_current_hdtree();
  EXPECT_TRUE(update_current_hdtree(99, 0, 0));
  EXPECT_TRUE(update_current_hdtree(90, 9, 3)) << "2^99 + 2^99 is the best sum 2^100 exactly";
  EXPECT_FALSE(update_current_hdtree(0, 0, 0)) << "2^100 + 1 exceeds it";
  clear_best_hdtree();
}

TEST_F(DefaultDtree, AnAbandonedTryStopsAtItsFirstLosingBisectionAndRestoresTheHypergraph) {
  auto f = chain(6);
  auto h = cnf2hgr(f.get());
  hgr_counts before = counts_of(h.get());
  allocate_hgp_arrays(h.get());
  allocate_decomposition_buffers(h->edge_count);
  initialize_best_hdtree();
  best_hdtree = std::make_unique<hdtree>();
  mpz_set_ui(best_cluster_size_sum, 1);  // only a node of cluster 0 fits: any cut of the chain loses
  initialize_current_hdtree();
  hdtree_index = 0;
  bool abort = false;
  std::unique_ptr<hdtree> t = hgr2hdtree_node(&abort, new_hgr_edges(0), nullptr, h.get());
  EXPECT_TRUE(abort);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->left, nullptr);
  EXPECT_EQ(hdtree_index, 1u) << "no node below the losing bisection";
  EXPECT_EQ(t->cutset->count, 0u) << "the out-sets of a losing bisection stay empty";
  expect_restored(h.get(), before);
  clear_best_hdtree();
  free_decomposition_buffers();
  free_hgp_arrays();
}

TEST_F(DefaultDtree, ConstructionWithoutAnyTryEndsWithAMessage) {
  auto f = chain(3);
  auto h = cnf2hgr(f.get());
  HDTREE_TRIES = 0;
  EXPECT_FATAL(cnf2hdtree(f.get(), h.get(), 0, nullptr), "No dtree to build: 0 tries");
  HDTREE_TRIES = 2;
  HDTREE_TYPE = 1;
  FIRST_UBF = 12;
  LAST_UBF = 10;
  EXPECT_FATAL(cnf2hdtree(f.get(), h.get(), 1, nullptr), "balance factors 12 to 10");
}

// ---------------------------------------------------------------------------------------------
// Random formulas
// ---------------------------------------------------------------------------------------------
TEST_F(DefaultDtree, RandomFormulasGetValidTreesAndGiveTheHypergraphBack) {
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  for (unsigned round = 0; round < 150; ++round) {
    set_tarn_defaults();
    std::unique_ptr<cnf> f = random_cnf(rng, 10, 24);
    const int method = round % 3 == 0 ? 0 : round % 3 == 1 ? 1 : 6;
    HDTREE_TYPE = method;
    HDTREE_TRIES = round % 10 == 0 ? 25 : 2;
    FIRST_UBF = 10 + static_cast<int>(rng() % 20);
    LAST_UBF = FIRST_UBF + static_cast<int>(rng() % 3);
    // Excluded variables leave clauses with fewer or no edges.
    if (round % 4 == 3) {
      DECOMPOSE_EXCEPT_VARS.assign(f->var_count, 0);
      for (char& excluded : DECOMPOSE_EXCEPT_VARS) excluded = rng() % 3 == 0;
    }
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + " method " +
                 std::to_string(method));
    auto h = cnf2hgr(f.get());
    hgr_counts before = counts_of(h.get());
    std::unique_ptr<hdtree> t = cnf2hdtree(f.get(), h.get(), method, nullptr);
    check_hdtree(t.get(), h.get());
    expect_restored(h.get(), before);
    if (HasFailure()) return;
  }
}

// ---------------------------------------------------------------------------------------------
// The program
// ---------------------------------------------------------------------------------------------
TEST_F(DefaultDtree, AMethodOneBalanceFactorOutsideOneToFortyNineEndsInThePartitioner) {
  temp_dir dir;
  std::string cnf_path = dir.write("f.cnf", "p cnf 4 4\n1 -2 0\n2 3 0\n-3 4 0\n4 1 0\n");
  std::string out = dir.file("out"), err = dir.file("err");
  std::string command = std::string(TARN_BINARY) + " -in " + cnf_path + " -dt_method 1 -ubfs 0 0 > '" + out +
                        "' 2> '" + err + "'";
  int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(read_text(err).find("UBfactor should be between 1 and 49.\n"), std::string::npos) << read_text(err);
}
