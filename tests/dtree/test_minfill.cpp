#include "dtree/minfill.h"

#include "dtree_test_support.h"

using namespace dtree_test;

namespace {

// Min-fill by the definition: recompute every score at every step.
std::vector<unsigned> reference_minfill(const cnf& f, const std::vector<unsigned>& blocks) {
  const unsigned V = f.var_count;
  std::vector<std::set<unsigned>> adj(V + 1);
  for (unsigned c = 0; c < f.clause_count(); ++c)
    for (const int* p = f.clause(c); *p; ++p)
      for (const int* q = p + 1; *q; ++q) {
        unsigned a = static_cast<unsigned>(std::abs(*p)), b = static_cast<unsigned>(std::abs(*q));
        if (a == b) continue;
        adj[a].insert(b);
        adj[b].insert(a);
      }
  auto fill = [&](unsigned v) {
    long long missing = 0;
    for (auto i = adj[v].begin(); i != adj[v].end(); ++i)
      for (auto j = std::next(i); j != adj[v].end(); ++j) missing += !adj[*i].count(*j);
    return missing;
  };
  std::vector<unsigned> order;
  std::set<unsigned> block_numbers(blocks.begin(), blocks.end());
  for (unsigned b : block_numbers) {
    std::set<unsigned> group;
    for (unsigned v = 1; v <= V; ++v)
      if (blocks[v - 1] == b) group.insert(v);
    while (!group.empty()) {
      unsigned best = 0;
      long long best_fill = -1;
      for (unsigned v : group) {
        long long s = fill(v);
        if (best_fill < 0 || s < best_fill || (s == best_fill && v > best)) best = v, best_fill = s;
      }
      order.push_back(best);
      group.erase(best);
      std::set<unsigned> nbrs = adj[best];
      for (unsigned u : nbrs) adj[u].erase(best);
      adj[best].clear();
      for (unsigned u : nbrs)
        for (unsigned w : nbrs)
          if (u != w) adj[u].insert(w);
    }
  }
  return order;
}

}  // namespace

TEST(MinFill, OrdersTheWorkedExampleFourThreeTwoOne) {
  auto f = make_cnf(4, {{1, 2}, {2, 3}, {3, 4}});
  Graph g(f.get());
  EXPECT_EQ(g.minFillScore(1), 0);
  EXPECT_EQ(g.minFillScore(2), 1);
  EXPECT_EQ(g.minFillScore(3), 1);
  EXPECT_EQ(g.minFillScore(4), 0);
  EXPECT_EQ(cnf2minfill_order(f.get()), (std::vector<unsigned>{4, 3, 2, 1}));
}

// Random formulas with unused variables and repeated clauses, in one block or in blocks of
// sparse numbers; the order with one block is the plain min-fill order.
TEST(MinFill, MatchesTheDefinitionOnRandomFormulasWithAndWithoutBlocks) {
  const unsigned seed = 4242;
  std::mt19937 rng(seed);
  const unsigned numbers[] = {0, 1, 7, 4000000000u};
  for (int round = 0; round < 450; ++round) {
    auto f = random_cnf(rng, 14, 18);
    std::vector<unsigned> blocks(f->var_count, round % 3 ? 0 : 7);
    if (round % 3 == 1)
      for (unsigned& b : blocks) b = numbers[rng() % 4];
    std::vector<unsigned> order = cnf2minfill_order(f.get(), blocks);
    ASSERT_EQ(order, reference_minfill(*f, blocks)) << "seed " << seed << " round " << round;
    if (round % 3 != 1) {
      ASSERT_EQ(order, cnf2minfill_order(f.get())) << "seed " << seed << " round " << round;
    }
  }
}

TEST(MinFillWithBlocks, PutsEveryLowerBlockFirstWhateverTheScoresAndNeedsOneBlockPerVariable) {
  // Without blocks the order is 4, 3, 2, 1; here block 0 holds 1 and 3.
  auto f = make_cnf(4, {{1, 2}, {2, 3}, {3, 4}});
  std::vector<unsigned> blocks = {0, 1, 0, 1};
  std::vector<unsigned> order = cnf2minfill_order(f.get(), blocks);
  EXPECT_EQ(order, (std::vector<unsigned>{1, 3, 4, 2}));
  EXPECT_EQ(order, reference_minfill(*f, blocks));
  EXPECT_FATAL(cnf2minfill_order(f.get(), {0, 1}), "block order holds 2 block numbers for 4 variables");
}
