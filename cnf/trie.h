// A trie of integer sets (clauses as sorted literal indices) for subsumption tests: find a
// stored subset of a set, remove every stored superset. A set is a 0-terminated array of
// non-zero ints in increasing order; a stored set is the labels from the root to a leaf edge.
// The users keep the trie an antichain (no stored set contains another), so a leaf edge never
// has children. An empty trie is null. Every walk is iterative: depth is bounded only by the
// length of the sets.
#pragma once

#include <vector>

struct trie_edge {
  char leaf;          // 1 when this edge ends a stored set
  int label;          // the set element on this edge
  trie_edge* next;    // next sibling; siblings are in increasing label order
  union {
    trie_edge* child; // inner edge: first edge of the sub-trie
    void* data;       // leaf edge: the data stored with the set
  };
};

// The trie with `set` added, its leaf carrying `data`. The set is not empty, and the trie holds
// no subset and no superset of it.
trie_edge* trie_insert(const int* set, void* data, trie_edge* t);
// A chain of edges for the set, the last a leaf carrying data (null for the empty set).
trie_edge* indices2trie(const int* set, void* data);
// The data of a stored subset of `set`, or null.
void* trie_get_subset(const int* set, const trie_edge* t);
// The trie without every stored superset of `set` (equal sets included); the data of the
// removed sets is appended to `removed`.
trie_edge* trie_remove_supersets(const int* set, trie_edge* t, std::vector<void*>& removed);
unsigned trie_count(const trie_edge* t);
// The data of the stored sets in lexicographic order of the sets.
std::vector<void*> trie_enumerate(const trie_edge* t);
// Frees the edges (not the data); returns the bytes freed, 16 per edge.
unsigned long trie_free(trie_edge* t);
