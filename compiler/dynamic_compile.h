// The dynamic-decomposition compiler: after each decision and unit resolution it splits the open
// clauses into connected components over the unassigned variables and compiles each on its own
// (an and-node over them), caching components by their keys. Decisions follow a dynamic score:
// the variable's open clauses in the component plus its conflict activity. Conflicts learn
// clauses that serve unit resolution only, and the search backtracks chronologically.
//
// Forgotten variables are decided only in components without shown variables, which are then
// compiled to true or false: the circuit is the formula with those variables forgotten, and stays
// deterministic over the shown ones. Forgotten variables that the shown ones define are the
// exception: each assignment to the shown variables leaves one value to such a variable, so the
// branches of a decision on it share no shown model, and it is decided as any other.
#pragma once

#include <cstdint>
#include <vector>

struct cnf;
struct nnf_node;
struct nnf_manager;

struct dynamic_statistics {
  std::size_t elimination_width = 0;  // width of the guiding elimination order, 0 when unknown
  bool guided = false;                // the order led the decisions
  std::uint64_t decisions = 0, conflicts = 0, learned_clauses = 0;
  std::uint64_t cache_hits = 0, cache_misses = 0, cache_entries = 0, cache_bytes = 0;
};

// Compiles the formula into the manager (also its root). forgotten[v] is 1 for a forgotten
// variable v (entry 0 unused); forgotten_defined says the shown variables define them all.
// CACHING_ON, DD_BACKTRACK (learning), MAX_NNF_CACHE_MEMORY and
// the progress settings apply.
nnf_node* compile_dynamically(const cnf& formula, const std::vector<std::uint8_t>& forgotten, bool forgotten_defined,
                              nnf_manager* nm, dynamic_statistics* statistics);
