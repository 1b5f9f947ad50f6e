// Conflict analysis: the first unique implication point of the conflict level gives a learned
// clause and its assertion level (the conflict report); once the search has backjumped to that
// level, the clause joins the manager and its asserting literal is set.
//
// Learned clause layout: position 0 the asserting literal (complement of the implication point),
// position 1 a literal of the highest level among the others (the assertion level), then the
// other lower-level literals in the order they were met. Learned clauses are numbered C + 1,
// C + 2, ... in the order they are added, are in no occurrence list, and live until the manager
// is freed. The manager owns every clause conflict analysis makes: a report clause that is never
// added is released by the next analysis or with the manager.
#pragma once

#include "cnf/cnf_manager.h"

// Called by unit resolution with the falsified literals (null-terminated) and the conflict level.
void analyze_conflict(literal** falsified, unsigned level, cnf_manager* m);
// Builds the learned clause and fills m->report.
void construct_conflict_report(unsigned level, literal** falsified, cnf_manager* m);
// Derives the learned clause into learned_buffer; returns its size.
unsigned uip_conflict_clause(unsigned level, literal** falsified, cnf_manager* m);
// Marks the variables behind a set of false literals (skipping `skip`): those of the conflict
// level are counted as open, the others are placed in learned_buffer once each.
void mark_vars_at_level(literal** literals, cnf_manager* m, unsigned& at_level, unsigned level,
                        unsigned& assertion_level, unsigned& size, unsigned& open, literal* skip);
// Clears `mark` of the variable of every literal on the trail.
void clear_implied_literal_marks(cnf_manager* m);

bool at_assertion_level(const cnf_manager* m);
// Adds the report's clause and sets its asserting literal at the current level with unit
// resolution; false on a new conflict.
bool assert_cd_literal(cnf_manager* m);
void add_conflict_driven_clause(cnf_manager* m);
// Adds a learned clause made by conflict analysis (the clause of the last report).
void add_clause(clause* c, cnf_manager* m);
