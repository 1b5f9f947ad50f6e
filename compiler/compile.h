// The dtree-guided compiler: decide a node's open separator variables one at a time (or-nodes),
// and once none is open compile its two children independently and conjoin them (and-nodes).
// Unit resolution sets literals along the way; conflicts learn clauses and backjump; the
// component cache reuses the circuits of recurring sub-problems.
#pragma once

#include <ctime>

#include "cnf/cnf_manager.h"

struct dtree;
struct dtree_manager;
struct separator;
struct nnf_node;
struct nnf_manager;
struct cnf_cache_manager;

// The compiler's process-wide state: one compilation at a time.
extern dtree* CURRENT_DTREE;       // the node whose variables are declared current
extern var* FIRST_PURE_VAR;        // the pure variables of CURRENT_DTREE, first and last record;
extern var* LAST_PURE_VAR;         // both null when it has none
extern double completed_fraction;  // percentage of the root's search space covered
extern std::clock_t elapsed_time;  // time of the last progress check
extern unsigned last_progress_reported;
extern const std::clock_t progress_inc;  // processor time between two progress checks

// The root of the compiled circuit, also stored as the NNF manager's root; the false node when
// the CNF is unsatisfiable. Leaves the CNF manager as it found it, but for learned clauses.
nnf_node* comp_dtree(dtree_manager* dm, cnf_manager* cm, nnf_manager* nm, cnf_cache_manager* cache);
nnf_node* comp_dtree_aux(dtree* t, dtree_manager* dm, cnf_manager* cm, nnf_manager* nm, cnf_cache_manager* cache);
nnf_node* comp_decompose(unsigned count, separator** seps, literal** lits_start, dtree* t, dtree_manager* dm,
                         cnf_manager* cm, nnf_manager* nm, cnf_cache_manager* cache, unsigned depth);

void declare_current_dtree(dtree* t);
void initialize_progress();
// The progress line of a long compilation (wall time, part done, circuit nodes, cache entries,
// memory), printed once PROGRESS_SECONDS have passed since the last one.
void print_progress_line(unsigned nodes, unsigned cache_entries);
bool pure_var_of_current_dtree(const var* v);
