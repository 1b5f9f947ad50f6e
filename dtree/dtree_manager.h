// The dtree the compiler walks. Built from the hdtree over the CNF manager's records, which the
// dtree's variable and clause orders laid out so that every node owns contiguous runs of
// variables (its pure variables) and clauses. Internal nodes carry their separator entries,
// context variables and decompose-except variables, and compute their cache keys.
#pragma once

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "cnf/cnf_manager.h"

struct hdtree;
struct cnf_cache_entry;

// A separator variable of an internal node T, with positions in the variable's `clauses` list:
// its occurrences below T's left child are [left_first, right_first), below the right child
// [right_first, right_last].
struct separator {
  struct var* var;
  clause** left_first;
  clause** right_first;
  clause** right_last;
};

struct dtree {
  unsigned index = 0;                 // the hdtree node's pre-order number; identity for the cache hash
  char cacheable = 0;                 // see construct_dtree_manager; rewritten by the compiler
  unsigned height = 0;                // 0 for a leaf
  std::size_t saved_stack_top = 0;    // relevant_stack depth saved by push_dtree_state
  std::unique_ptr<dtree> left;        // children; both absent for a leaf
  std::unique_ptr<dtree> right;
  dtree* parent = nullptr;            // absent for the root
  unsigned key_bytes = 0;             // internal nodes: cache-key length in bytes
  unsigned bucket = 0;                // cache bucket of the last lookup
  cnf_cache_entry* pending_entry = nullptr;  // entry prepared by the last missed lookup
  unsigned pure_var_count = 0;        // pure variables: a run of var_records from pure_vars
  var* pure_vars = nullptr;
  unsigned clause_count = 0;          // clauses below: a run of clause_records from clauses
  clause* clauses = nullptr;
  unsigned cutset_count = 0;          // internal nodes: own cutset, the last records of the pure run
  var* cutset_vars = nullptr;
  unsigned separator_count = 0;       // internal nodes: one entry per separator variable
  std::vector<separator*> separators; // reordered in place by the compiler
  std::vector<separator> separator_entries;  // the storage behind `separators`
  unsigned context_count = 0;
  std::vector<var*> context_vars;     // in the hdtree context's order
  unsigned dexcept_count = 0;
  std::vector<var*> dexcept_vars;     // decompose-except variables below, each once, null-terminated

  dtree() = default;
  dtree(const dtree&) = delete;
  dtree& operator=(const dtree&) = delete;
  ~dtree();  // releases the subtrees without recursion: a dtree can be as deep as it has clauses
};

struct dtree_manager {
  std::clock_t build_time = 0;        // processor time of construct_dtree_manager
  std::unique_ptr<dtree> root;        // absent for a CNF without clauses
  unsigned node_count = 0;            // 2C - 1
  unsigned max_cluster = 0, max_cutset = 0, max_context = 0, max_separator = 0;
  unsigned max_key_bytes = 0;         // the longest cache key of any node
  char caching = 1;                   // copy of CACHING_ON, set by the compiler
  unsigned cacheable_count = 0;       // nodes cacheable at construction
  std::vector<var*> relevant_stack;   // variables whose relevant flag a pushed key cleared [0, V)
  std::size_t stack_top = 0;          // entries in use
};

// Key-building state of push_dtree_state.
extern unsigned char* CELLS;          // the key byte being written
extern unsigned COUNT;                // the variable's slot in that byte, 0..3
extern clause* FIRST_CLAUSE;          // first and last clause record of the node whose key is built
extern clause* LAST_CLAUSE;
extern dtree_manager* MANAGER;

std::unique_ptr<dtree_manager> construct_dtree_manager(const hdtree* root, cnf_manager* cm);
void free_dtree_manager(std::unique_ptr<dtree_manager>& dm);

bool leaf_dtree(const dtree* t);
bool subsumed_dtree(const dtree* t);  // every clause of the node's run is subsumed

// Writes T's cache key (T internal) and clears the relevant flag of the key variables found
// irrelevant; pop_dtree_state restores them. Calls nest.
void push_dtree_state(dtree* t, unsigned char* key, dtree_manager* dm);
void pop_dtree_state(dtree* t, dtree_manager* dm);

void hdtree_sizes_max(const hdtree* t, unsigned long* cluster, unsigned long* cutset, unsigned long* context,
                      unsigned long* separator);

// Text helpers for the picture, each at most 1023 characters.
std::string vars2string(const var* first, unsigned n);
std::string varsp2string(var* const* a, unsigned n);
std::string separators2string(separator* const* a, unsigned n);
std::string literals2string(literal* const* a, unsigned n);
std::string clause2string(const clause* c);

// The picture is written whole or not at all; a failure ends the process with status 1 and a
// message on standard error.
void save_dtree_as_vcg(const dtree_manager* dm, const char* path);
void write_dtree_vcg(std::FILE* out, const dtree_manager* dm);
