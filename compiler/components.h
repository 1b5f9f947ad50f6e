// The components of the dynamic search: after a decision and unit resolution, the unassigned
// variables of a component fall into groups that no open input clause connects, and each group
// is compiled on its own. A component is stored as its key, [variable count, variables...,
// clauses...], variables and input clauses of three or more literals both sorted: with the
// variables unassigned, those clauses open and every two-literal input clause over two of the
// variables open, the key fixes the component's formula.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

struct dynamic_engine;

struct component_record {
  std::size_t offset = 0;        // where its key starts in the stack's store
  std::uint32_t var_count = 0;
  std::uint32_t clause_count = 0;
  std::uint32_t shown_count = 0;  // variables not forgotten
  std::uint32_t key_size() const { return 1 + var_count + clause_count; }
};

// Components live on a stack: a branch pushes the components it splits into and pops them once
// compiled. Records refer to the store by offset, as pushes may move it.
struct component_stack {
  std::vector<std::uint32_t> store;
  std::vector<component_record> records;
  const std::uint32_t* key(std::size_t i) const { return store.data() + records[i].offset; }
  const std::uint32_t* vars(std::size_t i) const { return key(i) + 1; }
  const std::uint32_t* clauses(std::size_t i) const { return vars(i) + records[i].var_count; }
  void pop_to(std::size_t count);
};

constexpr std::uint32_t NO_NAME = UINT32_MAX;

// A component's formula written for the cache. Every literal set that is an input clause of three
// or more literals, or such a clause without one of its literals, has a name; a clause of the
// component enters the key by the name of its open literals when it has lost at most one, and as
// those literals otherwise. Components whose clauses differ only in false literals, as when a node
// is reached through either of two literals that play the same part, then share one entry.
struct canonical_key {
  std::vector<std::uint32_t> named;   // [variable count, variables..., names sorted, each once]
  std::vector<std::uint32_t> listed;  // per clause written out: its size, then its open literals
  std::vector<std::uint32_t> late_names, literals;             // scratch
  std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;  // scratch: (start, size) in literals
};

// Scratch of the search for components, sized by the formula.
struct component_finder {
  std::vector<std::uint32_t> var_stamp;     // per variable: the split that reached it
  std::vector<std::uint32_t> var_group;     // per variable: its group in that split
  std::vector<std::uint32_t> clause_stamp;  // per input clause: the split that looked at it
  std::vector<std::uint32_t> clause_group;  // per input clause: its group then, NO_GROUP when satisfied
  std::vector<std::uint32_t> open_clauses;  // per variable: its open clauses when last reached
  std::vector<std::uint8_t> forgotten;      // per variable: 1 when forgotten
  std::vector<std::uint32_t> queue;         // variables reached and not yet looked at
  std::vector<std::uint32_t> group_vars, group_clauses, group_record;  // per group of the split
  std::vector<std::size_t> var_cursor, clause_cursor;  // per component of the split: next free entry
  std::uint32_t stamp = 0;
  // The names of canonical keys. sorted_lits holds each input clause's literals sorted, at the
  // clause's start in the engine's literals; dropped_name[p] names that clause without the literal
  // at p (NO_NAME for long clauses, which are not named without a literal).
  std::vector<std::uint32_t> sorted_lits, clause_name, dropped_name;
  std::vector<std::uint32_t> open_name;  // per input clause: the name of its open literals when last split
};

void prepare_component_finder(const dynamic_engine& e, const std::vector<std::uint8_t>& forgotten,
                              component_finder& f);

// Pushes the record of every variable and every input clause of three or more literals: the
// formula as one component, the parent of the first split.
void push_whole_formula(const dynamic_engine& e, component_stack& stack);

// Pushes the components into which the unassigned variables of the parent record fall, fewest
// variables first. A variable with no open clause is in none: it is free.
void split_components(const dynamic_engine& e, std::size_t parent, component_finder& f, component_stack& stack);

// The canonical key of a component, under the assignment it was split off in, before any split of
// its own.
void make_canonical_key(const dynamic_engine& e, const component_finder& f, const component_stack& stack,
                        std::size_t component, canonical_key& key);
