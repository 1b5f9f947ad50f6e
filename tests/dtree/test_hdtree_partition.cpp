// The default dtree by recursive bisection: shapes of the edge cases, the partition fallbacks,
// the progress line, the choice of the best tree, early abandonment, and random formulas.
#include <functional>
#include <cstdio>

#include "dtree/elm_orders.h"
#include "dtree/hdtree_partition.h"
#include "dtree_test_support.h"

using namespace dtree_test;

namespace {

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

// The default tree of f, checked against the definitions; h must come back as it was.
std::string default_tree_shape(const cnf* f, int method = 0) {
  auto h = cnf2hgr(f);
  hgr_counts before = counts_of(h.get());
  std::unique_ptr<hdtree> t = cnf2hdtree(f, h.get(), method, nullptr);
  check_hdtree(t.get(), h.get());
  expect_restored(h.get(), before);
  std::function<std::string(const hdtree*)> shape = [&](const hdtree* n) {
    return n->left ? "(" + shape(n->left.get()) + " " + shape(n->right.get()) + ")" : std::to_string(n->clause);
  };
  return t ? shape(t.get()) : "";
}

// The marks partition_hgr gives the clauses of f after the context edges are removed.
std::vector<unsigned> partition_marks(const cnf* f, const std::vector<unsigned>& context, int ubfactor) {
  auto h = cnf2hgr(f);
  hgp_arrays arrays;
  allocate_hgp_arrays(h.get(), &arrays);
  remove_edges(edge_set(h.get(), context).get(), h.get());
  partition_hgr(ubfactor, 1, h.get(), &arrays);
  std::vector<unsigned> marks;
  for (unsigned i = 0; i < h->node_count; ++i) marks.push_back(h->nodes[i]->mark);
  restore_hgr(h.get());
  return marks;
}

// The tokens of the progress line, between the duplicate count and the summary.
std::string progress_line(const cnf* f, int method) {
  auto h = cnf2hgr(f);
  HDTREE_TYPE = method;
  std::string out = verbose_output([&] { EXPECT_NE(cnf2hdtree(f, h.get(), method, nullptr), nullptr); });
  std::size_t start = out.find("): ") + 3, sum = out.find("\nSum Cluster=");
  int sums[4];
  EXPECT_EQ(out.rfind("\nGenerating dtree...(hgr ", 0), 0u) << out;
  EXPECT_EQ(std::sscanf(out.c_str() + sum, "\nSum Cluster=%d, cutset=%d, context=%d, separator=%d", &sums[0], &sums[1],
                        &sums[2], &sums[3]),
            4)
      << out;
  EXPECT_EQ(out.substr(out.size() - 6), " done.");
  return out.substr(start, sum - start);
}

// Whether the line holds, for each factor in turn, the factor and a blank or a lone "." (a try
// abandoned), and no more.
bool tokens_of_factors(std::string line, const std::vector<int>& factors) {
  for (int factor : factors) {
    const std::string token = std::to_string(factor) + " ";
    if (line.compare(0, token.size(), token) != 0 && line.compare(0, 1, ".") != 0) return false;
    line.erase(0, line[0] == '.' ? 1 : token.size());
  }
  return line.empty();
}

std::unique_ptr<cnf> chain(unsigned clauses) {
  tarn_test::clause_list cls;
  for (unsigned i = 1; i <= clauses; ++i) cls.push_back({static_cast<int>(i), -static_cast<int>(i + 1)});
  return make_cnf(clauses + 1, cls);
}

}  // namespace

// Two clauses without a common variable have an empty root cut; clauses over one variable set
// form one duplicate group, whose subtree is a vine in clause order.
TEST(DefaultDtree, GivesTheShapesOfDisjointAndDuplicateClauses) {
  EXPECT_EQ(default_tree_shape(make_cnf(4, {{1, -2}, {3, 4}}).get()).size(), 5u);
  EXPECT_EQ(default_tree_shape(make_cnf(3, {{1, 2, 3}, {3, -2, 1}, {-1, -2, -3}}).get()), "(1 (2 3))");
}

// A balance factor of 0 would make the partitioner end the process: a partition with it that
// returns has shown that the partitioner was not called.
TEST(DefaultDtree, PartitionsWithoutThePartitionerWhenNodesLostTheirEdgesAndFallsBackOnParity) {
  auto ring = make_cnf(5, {{1, 2}, {2, 3}, {3, 4}, {4, 5}, {-1, 5}});
  EXPECT_EQ(partition_marks(ring.get(), {1, 2, 3, 4, 5}, 0), (std::vector<unsigned>{0, 1, 0, 1, 0}));
  // Nodes with edges left go to side 1: clauses 3 and 5 keep variable 3.
  auto f = make_cnf(3, {{1, 2}, {1}, {2, 3}, {-2}, {3, -1}});
  auto h = cnf2hgr(f.get());
  hgp_arrays arrays;
  allocate_hgp_arrays(h.get(), &arrays);
  remove_edges(edge_set(h.get(), {1, 2}).get(), h.get());
  partition_hgr(0, 1, h.get(), &arrays);
  for (unsigned i = 0; i < h->node_count; ++i)
    EXPECT_EQ(h->nodes[i]->mark, h->nodes[i]->index == 3 || h->nodes[i]->index == 5 ? 1u : 0u);
  restore_hgr(h.get());
  // Three vertices in the same two nets: the partitioner's cut of 0 puts them all on one side.
  auto same = make_cnf(2, {{1, 2}, {1, -2}, {-1, 2}});
  EXPECT_EQ(partition_marks(same.get(), {}, 25), (std::vector<unsigned>{0, 1, 0}));
}

TEST(DefaultDtree, PrintsOneTokenPerTryAndSweepsTheFactorsOnlyForMethodOneAndAboveFive) {
  auto long_chain = chain(40);
  std::string line = progress_line(long_chain.get(), 0);
  EXPECT_EQ(line.size(), 25u) << line;
  EXPECT_EQ(line.find_first_not_of("*."), std::string::npos) << line;
  EXPECT_EQ(line[0], '*') << "the first try always completes";
  HDTREE_TRIES = 2;
  FIRST_UBF = 10;
  LAST_UBF = 12;
  line = progress_line(long_chain.get(), 1);
  EXPECT_EQ(line.compare(0, 3, "10 "), 0) << line;
  EXPECT_TRUE(tokens_of_factors(line, {10, 11, 12, 10, 11, 12})) << line;
  EXPECT_EQ(LAST_UBF, 12);
  auto short_chain = chain(12);
  HDTREE_TRIES = 3;
  EXPECT_EQ(progress_line(short_chain.get(), 0).size(), 3u);
  EXPECT_EQ(LAST_UBF, FIRST_UBF) << "method 0 runs one factor per try";
  LAST_UBF = 12;
  line = progress_line(short_chain.get(), 7);
  EXPECT_EQ(line.size(), 9u) << line;
  EXPECT_EQ(line.find_first_not_of("*."), std::string::npos) << line;
}

TEST(DefaultDtree, TheSummaryGivesTheSmallestPowerOfTwoAtLeastEachBestSum) {
  hdtree_tries run;
  initialize_best_hdtree(&run);
  run.best_cluster_size_max = 3;
  mpz_set_ui(run.best_cluster_size_sum, 18);  // 8 + 8 + 2: above 16
  run.best_cutset_size_max = 2;
  mpz_set_ui(run.best_cutset_size_sum, 4);  // exactly 2^2
  run.best_context_size_max = 0;
  mpz_set_ui(run.best_context_size_sum, 1);
  run.best_separator_size_max = 4;
  mpz_set_ui(run.best_separator_size_sum, 17);
  EXPECT_EQ(verbose_output([&] { clear_best_hdtree(&run); }), "\nSum Cluster=5, cutset=2, context=0, separator=5");
}

namespace {

// better_hdtree() for the sums of try `number` and of the best tree's try `best_number`, given as
// {cluster, context, separator, cutset}.
bool better(const std::vector<unsigned long>& current, const std::vector<unsigned long>& best, hdtree_try* t,
            unsigned number = 1, unsigned best_number = 0) {
  hdtree_tries* run = t->run;
  mpz_t* sums[2][4] = {{&t->current_cluster_size_sum, &t->current_context_size_sum, &t->current_separator_size_sum,
                        &t->current_cutset_size_sum},
                       {&run->best_cluster_size_sum, &run->best_context_size_sum, &run->best_separator_size_sum,
                        &run->best_cutset_size_sum}};
  for (int k = 0; k < 4; ++k) {
    mpz_set_ui(*sums[0][k], current[k]);
    mpz_set_ui(*sums[1][k], best[k]);
  }
  t->number = number;
  run->best_try = best_number;
  return better_hdtree(t);
}

}  // namespace

TEST(DefaultDtree, ABetterTreeHasASmallerClusterThenContextSumThenALargerSeparatorThenCutsetSum) {
  hdtree_tries run;
  initialize_best_hdtree(&run);
  hdtree_try t(&run);
  EXPECT_TRUE(better({99, 99, 0, 0}, {1, 1, 1, 1}, &t)) << "no best tree yet";
  run.best_hdtree = std::make_unique<hdtree>();
  EXPECT_TRUE(better({10, 90, 0, 0}, {11, 1, 9, 9}, &t));
  EXPECT_FALSE(better({12, 1, 9, 9}, {11, 90, 0, 0}, &t));
  EXPECT_TRUE(better({11, 5, 0, 0}, {11, 6, 9, 9}, &t));
  EXPECT_FALSE(better({11, 7, 9, 9}, {11, 6, 0, 0}, &t));
  EXPECT_TRUE(better({11, 6, 8, 0}, {11, 6, 7, 9}, &t))
      << "larger separator sum wins on equal cluster and context sums";
  EXPECT_FALSE(better({11, 6, 7, 9}, {11, 6, 8, 0}, &t));
  EXPECT_TRUE(better({11, 6, 7, 5}, {11, 6, 7, 4}, &t));
  EXPECT_FALSE(better({11, 6, 7, 4}, {11, 6, 7, 5}, &t));
  EXPECT_FALSE(better({11, 6, 7, 4}, {11, 6, 7, 4}, &t, 3, 2)) << "equal on all four: the lower try stays";
  EXPECT_TRUE(better({11, 6, 7, 4}, {11, 6, 7, 4}, &t, 2, 3)) << "whichever thread ended first";
  clear_best_hdtree(&run);
}

TEST(DefaultDtree, ATrySurvivesUpToTheBestClusterSumOfTheTriesBelowItExactlyBeyondSixtyFourBits) {
  hdtree_tries run;
  initialize_best_hdtree(&run);
  hdtree_try first(&run), second(&run), third(&run);
  start_hdtree_try(2, 25, &third);
  start_hdtree_try(0, 25, &first);
  EXPECT_TRUE(update_current_hdtree(70, 30, 0, &first)) << "no try below the first";
  keep_hdtree(std::make_unique<hdtree>(), &first);
  start_hdtree_try(1, 25, &second);
  EXPECT_TRUE(update_current_hdtree(99, 0, 0, &second));
  EXPECT_TRUE(update_current_hdtree(90, 9, 3, &second)) << "2^99 + 2^99 is the first try's sum 2^100 exactly";
  EXPECT_FALSE(update_current_hdtree(0, 0, 0, &second)) << "2^100 + 1 exceeds it";
  EXPECT_FALSE(update_current_hdtree(100, 1, 0, &third)) << "a try under way is measured once a lower one completes";

  // A higher try that completes first does not abandon a lower one.
  hdtree_tries other_run;
  initialize_best_hdtree(&other_run);
  hdtree_try low(&other_run), high(&other_run);
  start_hdtree_try(0, 25, &low);
  start_hdtree_try(1, 25, &high);
  EXPECT_TRUE(update_current_hdtree(1, 0, 0, &high));
  keep_hdtree(std::make_unique<hdtree>(), &high);
  EXPECT_TRUE(update_current_hdtree(200, 0, 0, &low));
  clear_best_hdtree(&run);
  clear_best_hdtree(&other_run);
}

TEST(DefaultDtree, AnAbandonedTryStopsAtItsFirstLosingBisectionAndRestoresTheHypergraph) {
  auto f = chain(6);
  auto h = cnf2hgr(f.get());
  hgr_counts before = counts_of(h.get());
  hdtree_tries run;
  initialize_best_hdtree(&run);
  hdtree_try t(&run);
  allocate_hgp_arrays(h.get(), &t.arrays);
  allocate_decomposition_buffers(h->edge_count, &t);
  start_hdtree_try(0, 25, &t);
  t.limited = true;
  mpz_set_ui(t.limit, 1);  // only a node of cluster 0 fits: any cut of the chain loses
  bool abort = false;
  std::unique_ptr<hdtree> tree = hgr2hdtree_node(&abort, new_hgr_edges(0), nullptr, h.get(), &t);
  EXPECT_TRUE(abort);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->left, nullptr);
  EXPECT_EQ(t.hdtree_index, 1u) << "no node below the losing bisection";
  EXPECT_EQ(tree->cutset->count, 0u) << "the out-sets of a losing bisection stay empty";
  expect_restored(h.get(), before);
  clear_best_hdtree(&run);
}

TEST(DefaultDtree, ConstructionWithoutAnyTryEndsWithAMessage) {
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

TEST(DefaultDtree, RandomFormulasGetValidTreesAndGiveTheHypergraphBack) {
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
    default_tree_shape(f.get(), method);
    if (HasFailure()) return;
  }
}
