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
  // The compressed keys of the components being searched, innermost last: a key is compressed
  // once, looked up, and stored after its search.
  std::vector<std::uint8_t> open_keys;
};

struct prepared_key {
  std::uint64_t hash;
  std::size_t offset;  // into open_keys; the key runs to its end while it is the innermost
};

// Compresses a component key, [variable count, variables..., clauses...] both lists sorted, and
// the clauses its canonical form writes out (see components.h) onto open_keys.
prepared_key prepare_key(component_cache& c, const std::uint32_t* key, std::uint32_t size,
                         const std::vector<std::uint32_t>& listed = {});
// Null on a miss. Both take the innermost prepared key.
nnf_node* lookup_component(component_cache& c, const prepared_key& key);
void insert_component(component_cache& c, const prepared_key& key, nnf_node* circuit);
// Takes the innermost prepared key off open_keys.
void release_key(component_cache& c, const prepared_key& key);
// Every entry made after the mark is dropped.
std::uint64_t cache_mark(const component_cache& c);
void forget_entries_since(std::uint64_t mark, component_cache& c);
std::size_t cache_memory(const component_cache& c);
