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
