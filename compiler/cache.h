// The component cache: the circuit compiled for a dtree node under a given state of the node's
// variables (its key), reused when the same sub-problem recurs. Entries are charged key length
// + 24 bytes; past MAX_NNF_CACHE_MEMORY the oldest are evicted first.
#pragma once

#include <memory>
#include <vector>

#include "cnf/cnf_manager.h"

struct dtree;
struct dtree_manager;
struct nnf_node;

struct cnf_cache_entry {
  std::unique_ptr<unsigned char[]> key;  // copy of the key, the dtree node's key_bytes long
  struct dtree* dtree = nullptr;         // the node the entry belongs to
  nnf_node* node = nullptr;              // the compiled circuit
  cnf_cache_entry* next = nullptr;       // next entry of the same bucket
  cnf_cache_entry** prev_link = nullptr; // the link pointing at this entry (bucket head or previous next)
  cnf_cache_entry* age_next = nullptr;   // the next younger entry; null for the newest
  cnf_cache_entry* age_prev = nullptr;   // the next older entry; null for the oldest
  unsigned long long stamp = 0;          // insertion number, increasing with age list order
  unsigned hash = 0;                     // of the key and the dtree node; picks the bucket when the
                                         // entry is linked, as the buckets may grow after its lookup
};

struct cnf_cache_manager {
  unsigned size = 0;                     // buckets now: sized by the dtree, grown as entries come
  unsigned size_limit = 0;               // the most buckets the cache grows to
  std::vector<cnf_cache_entry*> buckets; // collision chain heads
  std::vector<unsigned char> key;        // the key buffer the dtree manager fills before a lookup
  cnf_cache_entry* oldest = nullptr;     // the ends of the age list (insertion order)
  cnf_cache_entry* newest = nullptr;
  char filled_reported = 0;              // " >>Cache filled<< " printed
  unsigned memory = 0;                   // bytes charged: key length + 24 per entry
  unsigned count = 0;                    // entries
  unsigned key_sum = 0, stored_key_sum = 0;  // running sums of the entries' key lengths
  unsigned hits = 0, misses = 0, drops = 0;
  unsigned long long stamps = 0;         // insertions so far

  cnf_cache_manager() = default;
  cnf_cache_manager(const cnf_cache_manager&) = delete;
  cnf_cache_manager& operator=(const cnf_cache_manager&) = delete;
  ~cnf_cache_manager();
};

// The key buffer holds the longest key of any node of the dtree. `size` is the most buckets the
// cache grows to: it starts with about one bucket per dtree node, so that a small formula does
// not pay for the buckets a large one needs.
std::unique_ptr<cnf_cache_manager> construct_cnf_cache_manager(unsigned long size, const cnf_manager* cm,
                                                               const dtree_manager* dm);
void free_cnf_cache_manager(std::unique_ptr<cnf_cache_manager>& cache);

nnf_node* lookup_cnf_cache(dtree* t, cnf_cache_manager* cache);
void insert_cnf_cache(nnf_node* node, dtree* t, cnf_cache_manager* cache);
void free_cnf_cache_entry(cnf_cache_entry* entry);
void forget_cache_entries(cnf_cache_manager* cache);

// A mark of the cache's present contents: the stamp of the newest entry, 0 when empty. Marks are
// numbers rather than entries, so that a mark stays meaningful when eviction removes its entry.
unsigned long long newest_cache_stamp(const cnf_cache_manager* cache);
// Discards every entry inserted after the mark was taken. A mark taken on an empty cache keeps
// the oldest entry; a mark whose entry was evicted since discards every entry.
void forget_cache_these_entries(unsigned long long mark, cnf_cache_manager* cache);

unsigned java_hash_code(const unsigned char* bytes, unsigned n);
bool match_keys(const unsigned char* a, const unsigned char* b, unsigned n);
void copy_key(const unsigned char* from, unsigned char* to, unsigned n);
