#include "compiler/cache.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdio>
#include <cstring>

#include "base/utility.h"
#include "compiler/table_growth.h"
#include "dtree/dtree_manager.h"

namespace {

constexpr unsigned ENTRY_CHARGE = 24;
constexpr unsigned MIN_BUCKETS = 1 << 10;

void link_into_chain(cnf_cache_entry* e, cnf_cache_manager* cache) {
  cnf_cache_entry*& head = cache->buckets[e->hash % cache->size];
  e->next = head;
  e->prev_link = &head;
  if (head) head->prev_link = &e->next;
  head = e;
}

void unlink_from_chain(cnf_cache_entry* e) {
  *e->prev_link = e->next;
  if (e->next) e->next->prev_link = e->prev_link;
}

void unlink_from_ages(cnf_cache_entry* e, cnf_cache_manager* cache) {
  (e->age_prev ? e->age_prev->age_next : cache->oldest) = e->age_next;
  (e->age_next ? e->age_next->age_prev : cache->newest) = e->age_prev;
}

// Removes a listed entry and gives back its charge.
void drop_entry(cnf_cache_entry* e, cnf_cache_manager* cache) {
  unsigned key_length = e->dtree->key_bytes;
  unlink_from_chain(e);
  unlink_from_ages(e, cache);
  cache->memory -= key_length + ENTRY_CHARGE;
  cache->key_sum -= key_length;
  cache->stored_key_sum -= key_length;
  ++cache->drops;
  --cache->count;
  free_cnf_cache_entry(e);
}

// Relinks the entries oldest first, so that every chain lists its entries newest first, just as
// if the cache had had this many buckets from the start.
void grow_buckets(cnf_cache_manager* cache) {
  cache->size = grown_bucket_count(cache->size, cache->size_limit);
  cache->buckets.assign(cache->size, nullptr);
  for (cnf_cache_entry* e = cache->oldest; e; e = e->age_next) link_into_chain(e, cache);
}

}  // namespace

cnf_cache_manager::~cnf_cache_manager() {
  while (oldest) {
    cnf_cache_entry* e = oldest;
    oldest = e->age_next;
    free_cnf_cache_entry(e);
  }
}

std::unique_ptr<cnf_cache_manager> construct_cnf_cache_manager(unsigned long size, const cnf_manager* cm,
                                                               const dtree_manager* dm) {
  assert(size > 0);
  auto cache = std::make_unique<cnf_cache_manager>();
  cache->size_limit = static_cast<unsigned>(std::min<unsigned long>(size, UINT_MAX));
  cache->size = prime_bucket_count(std::max(MIN_BUCKETS, dm->node_count), cache->size_limit);
  cache->buckets.assign(cache->size, nullptr);
  // Two bits per variable hold every key on the command-line route; a dtree whose keys list a
  // variable twice (decompose-except variables on the library route) needs its longest key.
  cache->key.assign(std::max(bits2bytes(2 * cm->var_count), dm->max_key_bytes) + 1, 0);
  return cache;
}

void free_cnf_cache_manager(std::unique_ptr<cnf_cache_manager>& cache) { cache.reset(); }

unsigned java_hash_code(const unsigned char* bytes, unsigned n) {
  unsigned h = 0;
  for (unsigned i = 0; i < n; ++i) h = h * 31 + bytes[i];
  return h;
}

bool match_keys(const unsigned char* a, const unsigned char* b, unsigned n) { return std::memcmp(a, b, n) == 0; }

void copy_key(const unsigned char* from, unsigned char* to, unsigned n) { std::memcpy(to, from, n); }

nnf_node* lookup_cnf_cache(dtree* t, cnf_cache_manager* cache) {
  unsigned n = t->key_bytes;
  unsigned h = java_hash_code(cache->key.data(), n) + t->index;
  for (cnf_cache_entry* e = cache->buckets[h % cache->size]; e; e = e->next) {
    if (e->dtree == t && match_keys(e->key.get(), cache->key.data(), n)) {
      ++cache->hits;
      return e->node;
    }
  }
  ++cache->misses;
  auto* e = new cnf_cache_entry;
  e->key.reset(new unsigned char[n]);
  copy_key(cache->key.data(), e->key.get(), n);
  e->dtree = t;
  e->hash = h;
  t->pending_entry = e;
  return nullptr;
}

void insert_cnf_cache(nnf_node* node, dtree* t, cnf_cache_manager* cache) {
  unsigned key_length = t->key_bytes;
  cache->memory += key_length + ENTRY_CHARGE;
  bool over_limit = cache->memory > MAX_NNF_CACHE_MEMORY;
  if (VERBOSE && !cache->filled_reported && over_limit) {
    std::printf(" >>Cache filled<< ");
    cache->filled_reported = 1;
  }
  // The new entry is charged but not yet listed, so eviction never takes it.
  if (over_limit) forget_cache_entries(cache);
  cnf_cache_entry* e = t->pending_entry;
  t->pending_entry = nullptr;
  cache->key_sum += key_length;
  cache->stored_key_sum += key_length;
  ++cache->count;
  e->node = node;
  if (table_outgrown(cache->count, cache->size, cache->size_limit)) grow_buckets(cache);
  link_into_chain(e, cache);
  e->stamp = ++cache->stamps;
  e->age_prev = cache->newest;
  (cache->newest ? cache->newest->age_next : cache->oldest) = e;
  cache->newest = e;
}

void free_cnf_cache_entry(cnf_cache_entry* entry) { delete entry; }

void forget_cache_entries(cnf_cache_manager* cache) {
  while (cache->memory > MAX_NNF_CACHE_MEMORY && cache->oldest) drop_entry(cache->oldest, cache);
}

unsigned long long newest_cache_stamp(const cnf_cache_manager* cache) {
  return cache->newest ? cache->newest->stamp : 0;
}

void forget_cache_these_entries(unsigned long long mark, cnf_cache_manager* cache) {
  if (!cache->oldest) return;
  unsigned long long keep_through = mark ? mark : cache->oldest->stamp;
  while (cache->newest && cache->newest->stamp > keep_through) drop_entry(cache->newest, cache);
}
