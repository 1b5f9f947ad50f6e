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

std::vector<unsigned> one_block(unsigned vars) { return std::vector<unsigned>(vars, 0); }

heap_entry pop(std::vector<heap_entry>& heap, std::vector<unsigned>& pos) {
  heap_entry top = heap[0];
  heap[0] = heap.back();
  pos[heap[0].var] = 0;
  heap.pop_back();
  if (!heap.empty()) sift_down(heap, 0, pos);
  return top;
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

TEST(MinFill, EliminatesAnIsolatedVariableWhenItIsTheHighestOfScoreZero) {
  auto f = make_cnf(5, {{2, 3}, {3, 4}, {4, -5}, {2, 5}, {2, -4}});
  std::vector<unsigned> order = cnf2minfill_order(f.get());
  EXPECT_EQ(order, reference_minfill(*f, one_block(5)));
  EXPECT_EQ(order.back(), 1u) << "variable 1 is isolated and the lowest";
}

TEST(MinFill, MatchesTheDefinitionOnRandomFormulas) {
  const unsigned seed = 4242;
  std::mt19937 rng(seed);
  for (int round = 0; round < 300; ++round) {
    auto f = random_cnf(rng, 14, 18);
    ASSERT_EQ(cnf2minfill_order(f.get()), reference_minfill(*f, one_block(f->var_count)))
        << "seed " << seed << " round " << round;
  }
}

TEST(MinFill, KeepsEveryActiveScoreExactAndReportsEveryChange) {
  const unsigned seed = 77;
  std::mt19937 rng(seed);
  for (int round = 0; round < 100; ++round) {
    auto f = random_cnf(rng, 12, 16);
    Graph g(f.get());
    const int V = g.vertex_count();
    for (int v = 1; v <= V; ++v) {
      g.active[v] = 1;
      g.score[v] = g.minFillScore(v);
    }
    std::vector<int> alive(V);
    for (int v = 1; v <= V; ++v) alive[v - 1] = v;
    std::shuffle(alive.begin(), alive.end(), rng);
    std::vector<int> changed;
    while (!alive.empty()) {
      int v = alive.back();
      alive.pop_back();
      std::vector<long long> before = g.score;
      g.removeAndConnect(v, changed);
      EXPECT_TRUE(std::is_sorted(changed.begin(), changed.end()));
      EXPECT_EQ(std::adjacent_find(changed.begin(), changed.end()), changed.end());
      EXPECT_TRUE(g.getNeighbors(v).empty());
      for (int u : alive) {
        ASSERT_EQ(g.score[u], g.minFillScore(u)) << "seed " << seed << " round " << round << " vertex " << u;
        if (g.score[u] != before[u]) {
          EXPECT_TRUE(std::binary_search(changed.begin(), changed.end(), u)) << "vertex " << u;
        }
      }
    }
  }
}

TEST(MinFillGraph, KeepsEdgesSymmetricAndHasNoLoops) {
  auto f = make_cnf(4, {{1, -1}, {2, 3, -4}});
  Graph g(f.get());
  EXPECT_TRUE(g.getNeighbors(1).empty()) << "a literal and its complement add no loop";
  EXPECT_TRUE(g.containsEdge(2, 4));
  EXPECT_TRUE(g.containsEdge(4, 2));
  g.removeEdge(4, 2);
  EXPECT_FALSE(g.containsEdge(2, 4));
  g.addEdge(1, 3);
  EXPECT_TRUE(g.containsEdge(3, 1));
  vertex_set copy;
  g.getNeighbors(3, copy);
  EXPECT_EQ(std::vector<int>(copy.begin(), copy.end()), (std::vector<int>{1, 2, 4}));
}

TEST(MinFillHeap, PopsTheSmallestScoreAndAmongEqualScoresTheHighestVariable) {
  std::vector<heap_entry> heap;
  std::vector<unsigned> pos(9, 0);
  const std::vector<heap_entry> entries = {{1, 2}, {0, 1}, {3, 8}, {0, 4}, {1, 7}, {0, 3}, {2, 5}, {1, 6}};
  for (const heap_entry& e : entries) {
    heap.push_back(e);
    pos[e.var] = static_cast<unsigned>(heap.size() - 1);
    sift_up(heap, pos[e.var], pos);
  }
  for (unsigned i = 0; i < heap.size(); ++i) ASSERT_EQ(pos[heap[i].var], i);
  // A key change in the middle moves the entry either way.
  heap[pos[8]].score = -1;
  sift(heap, pos[8], pos);
  heap[pos[4]].score = 5;
  sift(heap, pos[4], pos);
  std::vector<int> popped;
  while (!heap.empty()) popped.push_back(pop(heap, pos).var);
  EXPECT_EQ(popped, (std::vector<int>{8, 3, 1, 7, 6, 2, 5, 4}));
  EXPECT_TRUE(pair_less_than({0, 5}, {0, 4}));
  EXPECT_FALSE(pair_less_than({0, 4}, {0, 5}));
  EXPECT_TRUE(pair_less_than({0, 1}, {1, 9}));
}

TEST(MinFillWithBlocks, PutsEveryLowerBlockFirstWhateverTheScores) {
  // Without blocks the order is 4, 3, 2, 1; here block 0 holds 1 and 3.
  auto f = make_cnf(4, {{1, 2}, {2, 3}, {3, 4}});
  std::vector<unsigned> blocks = {0, 1, 0, 1};
  std::vector<unsigned> order = cnf2minfill_order(f.get(), blocks);
  EXPECT_EQ(order, (std::vector<unsigned>{1, 3, 4, 2}));
  EXPECT_EQ(order, reference_minfill(*f, blocks));
}

TEST(MinFillWithBlocks, MatchesTheDefinitionOnRandomFormulasAndSparseBlockNumbers) {
  const unsigned seed = 99;
  std::mt19937 rng(seed);
  const unsigned numbers[] = {0, 1, 7, 4000000000u};
  for (int round = 0; round < 200; ++round) {
    auto f = random_cnf(rng, 12, 16);
    std::vector<unsigned> blocks(f->var_count);
    for (unsigned& b : blocks) b = numbers[rng() % 4];
    std::vector<unsigned> order = cnf2minfill_order(f.get(), blocks);
    ASSERT_EQ(order, reference_minfill(*f, blocks)) << "seed " << seed << " round " << round;
    for (std::size_t i = 1; i < order.size(); ++i) EXPECT_LE(blocks[order[i - 1] - 1], blocks[order[i] - 1]);
  }
}

TEST(MinFillWithBlocks, WithOneBlockIsPlainMinFill) {
  std::mt19937 rng(5);
  for (int round = 0; round < 50; ++round) {
    auto f = random_cnf(rng, 12, 16);
    EXPECT_EQ(cnf2minfill_order(f.get(), std::vector<unsigned>(f->var_count, 3)), cnf2minfill_order(f.get()));
  }
}

TEST(MinFillWithBlocks, RejectsABlockListOfAnotherLength) {
  auto f = make_cnf(3, {{1, 2}});
  EXPECT_FATAL(cnf2minfill_order(f.get(), {0, 1}), "block order holds 2 block numbers for 3 variables");
}
