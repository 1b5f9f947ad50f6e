// The cache of the dynamic search: the circuit of each compiled component under its key (see
// components.h), kept compressed: sorted numbers as variable-length differences. Entries are
// numbered as they come, so that the ones made since a point of the search can be dropped: a
// component's circuit is right whenever the formula around it is satisfiable, and when a sibling
// turns out unsatisfiable the entries made since the branch began are dropped. Past its memory
// limit the cache drops its older half.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

struct nnf_node;

struct component_cache {
  struct entry {
    std::uint64_t hash;
    std::uint64_t number;      // entries are made in increasing number
    std::size_t key_offset;    // into keys
    std::uint32_t key_size;    // bytes
    nnf_node* circuit;
  };
  std::vector<std::uint8_t> keys;                        // the compressed keys, one after the other
  std::vector<entry> entries;                            // oldest first
  std::unordered_map<std::uint64_t, std::size_t> index;  // hash -> entry
  std::uint64_t next_number = 1;
  std::size_t memory_limit = 0;                          // bytes
  std::uint64_t hits = 0, misses = 0;
  std::vector<std::uint8_t> scratch;                     // the key being looked up, compressed
};

// Compresses a component key into c.scratch and returns its hash.
std::uint64_t prepare_key(component_cache& c, const std::uint32_t* key, std::uint32_t size);
// Null on a miss. Both take the key prepare_key left in c.scratch.
nnf_node* lookup_component(component_cache& c, std::uint64_t hash);
void insert_component(component_cache& c, std::uint64_t hash, nnf_node* circuit);
// Every entry made after the mark is dropped.
std::uint64_t cache_mark(const component_cache& c);
void forget_entries_since(std::uint64_t mark, component_cache& c);
std::size_t cache_memory(const component_cache& c);
