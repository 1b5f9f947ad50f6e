// The search-time CNF: variable, literal and clause records linked to each other, laid out in the
// variable and clause orders of the dtree, with occurrence lists, watch lists, the assignment
// trail, the subsumed-clause stack, the learned clauses and the conflict report.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cnf/cnf_read.h"

struct dtree;  // the compiler's dtree node (dtree/dtree_manager.h)
struct literal;
struct clause;

struct var {
  unsigned index;           // variable number, 1..V
  literal* pos;             // positive literal
  literal* neg;             // negative literal
  unsigned occ_count;       // input clauses mentioning the variable (x or not x counts once)
  clause** clauses;         // those clauses in clause-storage order, null-terminated
  clause** clauses_cursor;  // start of `clauses`; the dtree manager checks its reordering against it
  char assigned;            // 1 while the variable has a value
  char relevant;            // 1 at construction; owned by the dtree manager
  struct dtree* dtree;      // the node that last declared this variable current (compiler)
  char exist;               // declared existentially quantified
  char force_order;         // declared in the forced order
  char decompose_except;    // declared excepted from decomposition
  char determined;          // declared determined
  unsigned mark;            // conflict analysis: 0 none, 1 at the conflict level, 2 lower; dtree scratch
};

struct literal {
  int index;                // v or -v
  struct var* var;          // its variable
  literal* complement;      // the opposite literal
  unsigned occ_count;       // input clauses containing it
  unsigned occ_count_all;   // occ_count plus learned clauses containing it
  clause** clauses;         // input clauses containing it, clause-storage order, null-terminated
  clause** clauses_cursor;  // start of `clauses` (used like the variable's)
  int weight;               // 1 positive, 0 negative (cardinality of minimisation)
  clause* watch_head;       // first clause watching this literal (most recently added)
  unsigned watch_count;     // length of that watch list
  literal** reason_clause;  // literal array of the implying clause (3+ literals, or a 1-literal learned)
  literal* reason_literal;  // the true literal that implied it through a 2-literal clause or an eclause
  unsigned true_level;      // level at which it became true; 0 when not true
  unsigned false_level;     // level at which it became false; 0 when not false
};

struct clause {
  unsigned index;           // clause number: 1..C input (file order), C+k the k-th learned clause
  unsigned size;            // number of literals
  literal** literals;       // null-terminated; positions 0 and 1 are the watched ones
  literal** watch_cursor;   // where the next replacement-watch search starts, in [watch_start, end]
  literal** watch_start;    // position 2 of `literals`
  clause* next_learned;     // learned clauses only: next in the learned list (older)
  clause* watch_next[2];    // next clause in the watch list of the literal at position 0 / 1
  clause* watch_prev[2];    // previous clause in those lists
  unsigned mark;            // 0 at construction
  char subsumed;            // 1 while satisfied by a true literal, or declared valid
  char eclause;             // 1 for an eclause: at most one of its literals may be true
};

// A stretch of clause records, from first to last; both null when empty.
struct clause_span {
  clause* first = nullptr;
  clause* last = nullptr;
};

// The result of the last conflict analysis (conflict_analysis.h).
struct conflict_report {
  clause* learned = nullptr;             // the learned clause of the last conflict
  unsigned conflict_level = 0;           // level at which its first literal is false
  unsigned assertion_level = 0;          // level at which its second literal is false; 1 if none
  literal* asserting_literal = nullptr;  // its first literal
  literal* second_literal = nullptr;     // its second literal, or null
};

// A clause made by conflict analysis together with its literal array.
struct learned_clause_storage {
  clause record;
  std::unique_ptr<literal*[]> literals;
};

struct cnf_manager {
  unsigned var_count;              // V
  unsigned clause_count;           // C (input clauses)
  var* var_records;                // the V variable records, in the variable order given
  clause* clause_records;          // the C clause records, in the clause order given
  std::vector<var*> vars;          // variable number v -> record, entry v - 1
  std::vector<clause*> clause_map; // clause number k -> record, entry k - 1 (input clauses)
  char caching;                    // copy of CACHING_ON, set by the compiler
  char track_effects = 0;          // keep effect_span up to date (set by the compiler)
  clause_span effect_span;         // while tracking: the input clauses in which propagation implied a
                                   // literal or met a conflict, since the compiler last reset it
  std::vector<int> pos_unit;       // entry v is 1 when v is a unit clause [0, V]
  std::vector<int> neg_unit;       // entry v is 1 when -v is a unit clause [0, V]
  unsigned literal_count;          // literal occurrences in the input clauses
  unsigned eclause_count;          // input clauses that are eclauses
  unsigned level;                  // current decision level; 1 holds the unit clauses

  std::vector<literal**> level_trail_start;  // entry d: trail top when level d opened [0, V + 1]
  std::vector<literal*> trail;               // true literals in the order set (2V entries)
  literal** trail_top;                       // one past the newest true literal
  std::vector<clause**> level_subsumed_start; // entry d: subsumed top when level d opened [0, V + 1]
  std::vector<clause*> subsumed_stack;       // clauses flagged subsumed, in order (C entries)
  clause** subsumed_top;                     // one past the newest flagged clause
  std::vector<literal*> learned_buffer;      // where conflict analysis assembles a clause
  literal** learned_top;                     // fill position in learned_buffer

  conflict_report report;                    // the result of the last conflict analysis
  unsigned decision_count;
  unsigned assertion_count;
  unsigned implication_count;
  unsigned max_level;
  clause* learned_clauses;                   // learned list, newest first (via next_learned)
  unsigned learned_count;
  unsigned learned_literal_count;

  // Storage behind the pointers above; records never move while the manager lives.
  std::vector<var> var_block;                // the records behind var_records
  std::vector<literal> literal_block;        // 2V literal records, pos and neg of a variable adjacent
  std::vector<clause> clause_block;          // C + 2 records: a spare of index 0, the C records, a spare
  std::vector<literal*> literal_pool;        // the null-terminated literal arrays of the input clauses
  std::vector<clause*> occurrence_pool;      // every occurrence list, null-terminated
  std::unique_ptr<learned_clause_storage> unadded_learned;  // the report's clause until add_clause
  std::vector<std::unique_ptr<learned_clause_storage>> learned_storage;  // the added learned clauses

  cnf_manager() = default;
  cnf_manager(const cnf_manager&) = delete;
  cnf_manager& operator=(const cnf_manager&) = delete;
};

// var_order is a permutation of 1..V and clause_order of 1..C (clause numbers in file order);
// record i of var_records / clause_records is the variable / clause at position i. The cnf is
// only read. Ends the process when an order is not a permutation.
std::unique_ptr<cnf_manager> construct_cnf_manager(const unsigned* var_order, const unsigned* clause_order,
                                                   const cnf& formula);
void free_cnf_manager(std::unique_ptr<cnf_manager>& manager);

inline var* index2varp(unsigned i, const cnf_manager* m) { return m->vars[i - 1]; }
inline literal* index2literalp(int i, const cnf_manager* m) {
  return i > 0 ? m->vars[i - 1]->pos : m->vars[-i - 1]->neg;
}
inline clause* index2clausep(unsigned long i, const cnf_manager* m) { return m->clause_map[i - 1]; }

// A two-literal clause of one variable: always satisfied, so it is watched by nothing.
bool trivial_binary_clause(const clause* c);

// Puts the clause into the watch lists of its literals at positions 0 and 1 and starts the
// replacement search at position 2. The flag is unused.
void declare_watched_literals(clause* c, char flag);

// The clause's non-false literal indices, sorted increasingly, with a final 0.
std::vector<int> clause2indices(const clause* c);

// Variable declarations. Each index must be in 1..V, else the process ends with exit status 1.
// The _array variants take a 0-terminated list and the _file variants a variable-list file;
// both do nothing for null and print the count when VERBOSE.
void declare_force_order_vars(unsigned count, const unsigned* indices, cnf_manager* m);
void declare_exist_quantify_vars(unsigned count, const unsigned* indices, cnf_manager* m);
void declare_determined_vars(unsigned count, const unsigned* indices, cnf_manager* m);
void declare_decompose_except_vars(unsigned count, const unsigned* indices, cnf_manager* m);
void declare_force_order_vars_array(const unsigned* list, cnf_manager* m);
void declare_exist_quantify_vars_array(const unsigned* list, cnf_manager* m);
void declare_determined_vars_array(const unsigned* list, cnf_manager* m);
void declare_decompose_except_vars_array(const unsigned* list, cnf_manager* m);
void declare_force_order_vars_file(const char* path, cnf_manager* m);
void declare_exist_quantify_vars_file(const char* path, cnf_manager* m);
void declare_determined_vars_file(const char* path, cnf_manager* m);
void declare_decompose_except_vars_file(const char* path, cnf_manager* m);
// The exist file's variables as flags [0, V], read, checked and announced as
// declare_exist_quantify_vars_file does, for a search that keeps no CNF manager. Null: none.
std::vector<std::uint8_t> read_exist_flags(const char* path, unsigned var_count);
