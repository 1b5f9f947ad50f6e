// The assignment engine of the dynamic search: the formula held as two-literal clauses (implication
// lists) and longer clauses (two watched literals), the trail with its decision levels, unit
// resolution, and conflict analysis that learns first-UIP clauses.
//
// Literals are numbered 2v (v true) and 2v + 1 (v false) for variables v = 1..V. Learned clauses
// take part in unit resolution only: the components of the search are found over the input clauses,
// so a learned clause never joins two of them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

struct cnf;

using lit_t = std::uint32_t;

inline lit_t positive_lit(std::uint32_t v) { return 2 * v; }
inline lit_t negative_lit(std::uint32_t v) { return 2 * v + 1; }
inline lit_t lit_of_dimacs(int l) { return l > 0 ? positive_lit(l) : negative_lit(-l); }
inline std::uint32_t var_of(lit_t l) { return l >> 1; }
inline lit_t complement_of(lit_t l) { return l ^ 1; }
inline bool is_negative(lit_t l) { return l & 1; }

// A clause of three or more literals watches its literals at positions 0 and 1; `blocker` is a
// literal of the clause whose truth spares a visit.
struct clause_watch {
  std::uint32_t clause;
  lit_t blocker;
};

// Why a literal is true: a decision or a unit (none), a two-literal clause (the other literal, now
// false), or a longer clause (its number, the literal at position 0).
struct reason_t {
  enum class kind : std::uint8_t { none, binary, clause };
  kind type = kind::none;
  std::uint32_t data = 0;
};

struct dynamic_engine {
  std::uint32_t var_count = 0;
  // Clauses of three or more literals, input first, then learned: literals of clause k are
  // lits[start[k], start[k] + size[k]).
  std::vector<lit_t> lits;
  std::vector<std::uint32_t> start, size;
  std::uint32_t input_clause_count = 0;
  std::vector<std::vector<std::uint32_t>> occurrences;  // per variable: its input clauses of 3+ literals
  std::vector<std::vector<std::uint32_t>> neighbours;   // per variable: the other variables of its input
                                                        // two-literal clauses
  std::vector<std::vector<lit_t>> implied_by_false;     // per literal l: the m of every clause (l or m)
  std::vector<std::vector<clause_watch>> watches;       // per literal: the clauses watching it
  std::vector<lit_t> units;                             // unit clauses of the input
  std::vector<lit_t> learned_units;                     // learned clauses of one literal

  std::vector<std::int8_t> value;    // per literal: 1 true, -1 false, 0 unassigned
  std::vector<std::uint32_t> level;  // per variable, while assigned
  std::vector<reason_t> reason;      // per variable, while assigned
  std::vector<lit_t> trail;
  std::size_t propagated = 0;                // trail entries whose consequences are drawn
  std::vector<std::size_t> level_start;      // trail size when each level opened; level 0 at 0
  std::vector<std::uint8_t> saved_phase;     // per variable: 1 when it was last set true

  bool learning = true;
  std::vector<double> activity;  // per variable: bumped for every learned clause it takes part in
  double activity_increment = 1;
  std::vector<lit_t> conflict;   // the false literals of the clause found false
  std::vector<lit_t> learned;    // the clause of the last analysis, asserting literal first
  // Learned clauses that are unit once their conflict level is undone; no watch visits them until
  // the search goes down again, which asserts them.
  std::vector<std::uint32_t> pending;                     // clauses of three or more literals
  std::vector<std::pair<lit_t, lit_t>> pending_binaries;  // two-literal clauses
  std::vector<std::uint8_t> seen;      // analysis scratch, per variable

  std::uint64_t decisions = 0, conflicts = 0, learned_count = 0;
};

// Clauses as read: an eclause becomes its clause and the two-literal clauses forbidding any two of
// its literals together; tautologies and repeated literals go. False when a clause is empty.
bool build_dynamic_engine(const cnf& formula, dynamic_engine& e);

inline bool is_true(const dynamic_engine& e, lit_t l) { return e.value[l] > 0; }
inline bool is_false(const dynamic_engine& e, lit_t l) { return e.value[l] < 0; }
inline bool is_assigned(const dynamic_engine& e, std::uint32_t v) { return e.value[positive_lit(v)] != 0; }
inline std::uint32_t current_level(const dynamic_engine& e) {
  return static_cast<std::uint32_t>(e.level_start.size() - 1);
}

// Sets the input units at level 0 and propagates; false on a conflict.
bool assert_units(dynamic_engine& e);
// Opens a level with the unassigned L as its decision, propagates it, the learned units and the
// pending learned clauses; false on a conflict, after learning from it when learning is on.
bool decide(dynamic_engine& e, lit_t l);
// Undoes the current level.
void backtrack(dynamic_engine& e);
