// The assignment engine of the CNF manager: decisions and decision levels, unit resolution over
// two watched literals per clause and over eclauses, the unit clauses at level 1, and the
// subsumed flags of the input clauses kept in step with the assignment.
//
// A literal is true when its true_level is non-zero and false when its false_level is. Results
// are true for success and false for a conflict; with DD_BACKTRACK a conflict leaves a conflict
// report (conflict_analysis.h). With track_effects, each clause that implies a literal or meets
// a conflict widens the manager's effect_span. Propagation allocates nothing.
#pragma once

#include "cnf/cnf_manager.h"

// The two literals (and the terminating null) handed to conflict analysis when an eclause is
// violated; reused on every such conflict.
extern literal* implict_binary_clause_literals[3];

inline bool literal_true(const literal* l) { return l->true_level != 0; }
inline bool literal_false(const literal* l) { return l->false_level != 0; }

// L is unassigned, its true_level holds the level to use and its reasons are set by the caller.
// Makes L true and propagates to a fixpoint or the first conflict; on a conflict the literals
// set so far stay on the trail until the caller undoes the level.
bool set_literal(literal* l, cnf_manager* m);

// Opens the next level with the unassigned literal L as its decision and propagates.
bool decide_literal(literal* l, cnf_manager* m);
// Erases the current level and returns to the one below.
void undo_decide_literal(cnf_manager* m);
// Undoes every assignment and subsumed flag of level d and above; `level` is unchanged.
void erase_level(unsigned d, cnf_manager* m);

// At level 1: false if L is false, true if it is already true, else sets and propagates L.
bool assert_unit_clause(literal* l, cnf_manager* m);
// The unit clauses of pos_unit / neg_unit, v = 1..V, positive before negative; false at the
// first conflict.
bool assert_unit_clauses(cnf_manager* m);
void undo_assert_unit_clauses(cnf_manager* m);

// Flags and stacks every input clause containing L that is not flagged yet.
void update_subsumption(literal* l, cnf_manager* m);

// Flags (clears) every two-literal clause of one variable as subsumed, outside the stack.
void declare_valid_binary_clauses(cnf_manager* m);
void undeclare_valid_binary_clauses(cnf_manager* m);

// The watch lists. A clause is linked into a literal's list through the link pair of the
// position (0 or 1) the literal holds in it.
void add_watched_clause(clause* c, literal* l);
void remove_watched_clause(clause* c, literal* l);
// `from` is position 0 or 1 of c, `to` another position: c leaves the watch list of the literal
// at `from`, the two entries swap, and c joins the watch list of the literal now at `from`.
void move_watched_literal(literal** from, literal** to, clause* c);
