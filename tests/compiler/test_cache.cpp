#include "compiler/cache.h"
#include "compiler/nnf_manager.h"
#include "dtree/dtree_manager.h"
#include "test_support.h"

namespace {

class ComponentCache : public ::testing::Test {
 protected:
  void SetUp() override {
    cm.var_count = 8;
    cache = construct_cnf_cache_manager(101, &cm, &dm);
    first.index = 1;
    second.index = 2;
    first.key_bytes = second.key_bytes = 2;
  }
  void set_key(unsigned char a, unsigned char b) {
    cache->key[0] = a;
    cache->key[1] = b;
  }
  // Looks the key up for t and, on a miss, stores node under it.
  nnf_node* store(dtree& t, unsigned char a, unsigned char b, nnf_node* node) {
    set_key(a, b);
    nnf_node* hit = lookup_cnf_cache(&t, cache.get());
    if (!hit) insert_cnf_cache(node, &t, cache.get());
    return hit;
  }
  nnf_node* find(dtree& t, unsigned char a, unsigned char b) {
    set_key(a, b);
    nnf_node* hit = lookup_cnf_cache(&t, cache.get());
    if (!hit) {
      free_cnf_cache_entry(t.pending_entry);
      t.pending_entry = nullptr;
    }
    return hit;
  }

  cnf_manager cm;
  dtree_manager dm;
  std::unique_ptr<cnf_cache_manager> cache;
  dtree first, second;
  nnf_node nodes[6];  // distinct circuits; the cache never looks inside them
};

}  // namespace

TEST_F(ComponentCache, FindsAStoredKeyOnlyForItsOwnDtreeNode) {
  EXPECT_EQ(store(first, 0xAB, 0xCD, &nodes[0]), nullptr);
  EXPECT_EQ(find(second, 0xAB, 0xCD), nullptr);
  EXPECT_EQ(find(first, 0xAB, 0xCE), nullptr);
  EXPECT_EQ(find(first, 0xAB, 0xCD), &nodes[0]);
  EXPECT_EQ(cache->hits, 1u);
  EXPECT_EQ(cache->misses, 3u);
  EXPECT_EQ(cache->memory, 2u + 24u);
}

TEST_F(ComponentCache, EvictsTheOldestEntriesFirstAtTheLimitKeepingAtLeastTheNewest) {
  MAX_NNF_CACHE_MEMORY = 3 * (2 + 24);
  for (unsigned char k = 0; k < 4; ++k) store(first, k, 0, &nodes[k]);
  EXPECT_EQ(cache->count, 3u);
  EXPECT_EQ(cache->drops, 1u);
  EXPECT_EQ(find(first, 0, 0), nullptr);
  EXPECT_EQ(find(first, 3, 0), &nodes[3]);
  // A hit does not make an entry younger.
  store(first, 4, 0, &nodes[4]);
  EXPECT_EQ(find(first, 1, 0), nullptr);
  // A limit below one entry keeps only the entry just inserted.
  MAX_NNF_CACHE_MEMORY = 0;
  store(first, 5, 0, &nodes[5]);
  EXPECT_EQ(cache->count, 1u);
  EXPECT_EQ(cache->memory, 26u);
  EXPECT_EQ(find(first, 5, 0), &nodes[5]);
}

TEST_F(ComponentCache, ForgetsExactlyTheEntriesInsertedSinceAMark) {
  store(first, 1, 0, &nodes[1]);
  store(second, 2, 0, &nodes[2]);
  unsigned long long mark = newest_cache_stamp(cache.get());
  store(first, 3, 0, &nodes[3]);
  store(second, 4, 0, &nodes[4]);
  forget_cache_these_entries(newest_cache_stamp(cache.get()), cache.get());
  EXPECT_EQ(cache->count, 4u);
  forget_cache_these_entries(mark, cache.get());
  EXPECT_EQ(cache->count, 2u);
  EXPECT_EQ(cache->memory, 2 * 26u);
  EXPECT_EQ(find(first, 3, 0), nullptr);
  EXPECT_EQ(find(second, 2, 0), &nodes[2]);
  // Entries inserted after a forget are kept in age order with the rest.
  store(first, 5, 0, &nodes[5]);
  EXPECT_EQ(find(first, 5, 0), &nodes[5]);
}

TEST_F(ComponentCache, AMarkTakenOnAnEmptyCacheKeepsTheOldestEntry) {
  EXPECT_EQ(newest_cache_stamp(cache.get()), 0u);
  store(first, 1, 0, &nodes[1]);
  store(first, 2, 0, &nodes[2]);
  forget_cache_these_entries(0, cache.get());
  EXPECT_EQ(cache->count, 1u);
  EXPECT_EQ(find(first, 1, 0), &nodes[1]);
}

// When eviction has taken the mark's own entry, every entry left is younger than the mark.
TEST_F(ComponentCache, AMarkWhoseEntryWasEvictedDiscardsEveryEntry) {
  MAX_NNF_CACHE_MEMORY = 2 * 26;
  store(first, 1, 0, &nodes[1]);
  unsigned long long mark = newest_cache_stamp(cache.get());
  store(first, 2, 0, &nodes[2]);
  store(first, 3, 0, &nodes[3]);
  ASSERT_EQ(find(first, 1, 0), nullptr);
  forget_cache_these_entries(mark, cache.get());
  EXPECT_EQ(cache->count, 0u);
  EXPECT_EQ(cache->memory, 0u);
}

namespace {

// A cache whose buckets start at their smallest and may grow far beyond: thousands of entries
// make it rehash several times.
class GrowingComponentCache : public ::testing::Test {
 protected:
  void SetUp() override {
    cm.var_count = 8;
    cache = construct_cnf_cache_manager(2015179, &cm, &dm);
    first_size = cache->size;
    nodes.resize(8000);
    for (dtree* t : {&first, &second}) t->key_bytes = 2;
    first.index = 1;
    second.index = 2;
  }
  // Entry k belongs to one of two dtree nodes, under a key of its own.
  dtree& owner(unsigned k) { return k % 2 ? second : first; }
  void set_key(unsigned k) {
    cache->key[0] = static_cast<unsigned char>(k & 0xFF);
    cache->key[1] = static_cast<unsigned char>(k >> 8);
  }
  void store(unsigned from, unsigned to) {
    for (unsigned k = from; k < to; ++k) {
      set_key(k);
      ASSERT_EQ(lookup_cnf_cache(&owner(k), cache.get()), nullptr);
      insert_cnf_cache(&nodes[k], &owner(k), cache.get());
    }
  }
  nnf_node* find(unsigned k) {
    set_key(k);
    nnf_node* hit = lookup_cnf_cache(&owner(k), cache.get());
    if (!hit) {
      free_cnf_cache_entry(owner(k).pending_entry);
      owner(k).pending_entry = nullptr;
    }
    return hit;
  }
  // Entries [from, to) are found with their own nodes; every other key below 8000 misses.
  void expect_exactly(unsigned from, unsigned to) {
    for (unsigned k = 0; k < nodes.size(); ++k) {
      nnf_node* expected = k >= from && k < to ? &nodes[k] : nullptr;
      ASSERT_EQ(find(k), expected) << "key " << k;
    }
    EXPECT_EQ(cache->count, to - from);
    EXPECT_EQ(cache->memory, (to - from) * 26u);
  }

  cnf_manager cm;
  dtree_manager dm;
  std::unique_ptr<cnf_cache_manager> cache;
  unsigned first_size = 0;
  dtree first, second;
  std::vector<nnf_node> nodes;
};

}  // namespace

TEST_F(GrowingComponentCache, FindsEveryEntryAfterItsBucketsGrewSeveralTimes) {
  store(0, 6000);
  EXPECT_GE(cache->size, 4 * first_size);
  expect_exactly(0, 6000);
}

TEST_F(GrowingComponentCache, ForgetsTheEntriesSinceAMarkTakenBeforeTheBucketsGrew) {
  store(0, 500);
  unsigned long long mark = newest_cache_stamp(cache.get());
  unsigned size_at_mark = cache->size;
  store(500, 6000);
  ASSERT_GT(cache->size, size_at_mark);
  forget_cache_these_entries(mark, cache.get());
  expect_exactly(0, 500);
  // The chains stay linked after the discarded entries left them.
  store(500, 1000);
  expect_exactly(0, 1000);
}

// Eviction before a growth unlinks entries from the small buckets, eviction after it from the
// rehashed ones.
TEST_F(GrowingComponentCache, EvictsTheOldestEntriesBeforeAndAfterTheBucketsGrow) {
  MAX_NNF_CACHE_MEMORY = 400 * 26;
  store(0, 2000);
  ASSERT_EQ(cache->size, first_size);
  expect_exactly(1600, 2000);
  MAX_NNF_CACHE_MEMORY = 4000 * 26;
  store(2000, 8000);
  EXPECT_GT(cache->size, first_size);
  expect_exactly(4000, 8000);
}
