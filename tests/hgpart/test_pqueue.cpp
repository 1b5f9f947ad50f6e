#include "hgpart/pqueue.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

namespace {

pqueue make_queue(int maxnodes, int maxgain) {
  pqueue queue;
  init_pqueue(maxnodes, maxgain, queue);
  return queue;
}

std::vector<int> drain(pqueue& queue) {
  std::vector<int> order;
  for (int v; (v = pqueue_get_max(queue)) != -1;) order.push_back(v);
  return order;
}

// The heap, chosen only when the largest gain exceeds three times the vertex count, lets a new
// key rise only above strictly smaller keys.
TEST(GainQueue, HeapLetsANewKeyRiseOnlyAboveStrictlySmallerKeys) {
  EXPECT_EQ(make_queue(10, 30).kind, pqueue_kind::buckets);
  pqueue queue = make_queue(10, 31);
  ASSERT_EQ(queue.kind, pqueue_kind::heap);
  pqueue_insert(0, 7, queue);
  pqueue_insert(1, 7, queue); // an equal key stays below
  EXPECT_EQ(pqueue_see_max(queue), 0);
  pqueue_insert(2, 8, queue); // a larger key rises to the top
  EXPECT_EQ(pqueue_see_max(queue), 2);
  pqueue_update(1, 8, queue); // equal to the top: stays below it
  EXPECT_EQ(pqueue_see_max(queue), 2);
  EXPECT_EQ(drain(queue), (std::vector<int>{2, 1, 0}));
}

// A model of the queue: every queued vertex with its gain and when it was last queued.
struct model_entry {
  int gain;
  long stamp;
};

// The model's answer to "best vertex" for the bucket form (exact) or its gain (heap form).
int model_best(const std::map<int, model_entry>& model, int limit, const std::vector<int>& weight) {
  int best = -1;
  for (const auto& [v, entry] : model) {
    if (weight[v] > limit) continue;
    const model_entry* b = best == -1 ? nullptr : &model.at(best);
    if (!b || entry.gain > b->gain || (entry.gain == b->gain && entry.stamp > b->stamp)) best = v;
  }
  return best;
}

void run_against_model(int maxnodes, int maxgain, unsigned seed) {
  SCOPED_TRACE(::testing::Message() << "seed " << seed << ", maxgain " << maxgain);
  std::mt19937 rng(seed);
  pqueue queue = make_queue(maxnodes, maxgain);
  const bool exact = queue.kind == pqueue_kind::buckets;
  std::vector<int> weight(maxnodes);
  for (int& w : weight) w = 1 + static_cast<int>(rng() % 10);
  std::map<int, model_entry> model;
  long clock = 0;
  const auto random_gain = [&] { return static_cast<int>(rng() % (2 * maxgain + 1)) - maxgain; };
  const auto expect_same_best = [&](int got, int limit) {
    const int want = model_best(model, limit, weight);
    ASSERT_EQ(got == -1, want == -1);
    if (got == -1) return;
    ASSERT_TRUE(model.count(got));
    EXPECT_LE(weight[got], limit);
    if (exact)
      EXPECT_EQ(got, want);
    else
      EXPECT_EQ(model[got].gain, model[want].gain);
  };
  for (int step = 0; step < 4000; ++step) {
    const int v = static_cast<int>(rng() % maxnodes);
    switch (rng() % 6) {
      case 0:
      case 1:
        if (!model.count(v)) {
          const int gain = random_gain();
          pqueue_insert(v, gain, queue);
          model[v] = model_entry{gain, ++clock};
        }
        break;
      case 2:
        if (model.count(v)) {
          const int gain = random_gain();
          pqueue_update(v, gain, queue);
          if (gain != model[v].gain) model[v] = model_entry{gain, ++clock};
        }
        break;
      case 3:
        if (model.count(v)) {
          pqueue_delete(v, queue);
          model.erase(v);
        }
        break;
      case 4: {
        const int got = pqueue_see_max(queue);
        expect_same_best(got, 1 << 30);
        if (got != -1 && rng() % 2) {
          EXPECT_EQ(pqueue_get_max(queue), got);
          model.erase(got);
        }
        break;
      }
      default: {
        const int limit = static_cast<int>(rng() % 11);
        expect_same_best(pqueue_see_max_lighter(limit, weight.data(), queue), limit);
        break;
      }
    }
    ASSERT_EQ(queue.nnodes, static_cast<int>(model.size()));
    for (int u = 0; u < maxnodes; ++u) ASSERT_EQ(pqueue_contains(u, queue), model.count(u) == 1);
    if (step % 1000 == 999) {
      pqueue_reset(queue);
      model.clear();
      ASSERT_EQ(pqueue_see_max(queue), -1);
    }
  }
}

// Buckets must yield the most recently queued vertex of the best gain (a changed gain counts as
// queued anew); the heap any vertex of the best gain.
TEST(GainQueue, BucketsAndHeapAgreeWithANaiveModelUnderInsertUpdateDeleteAndReset) {
  for (unsigned seed = 1; seed <= 5; ++seed) {
    run_against_model(40, 12, seed);
    run_against_model(40, 500, seed);
  }
}

}  // namespace
