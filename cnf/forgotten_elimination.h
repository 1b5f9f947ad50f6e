// Elimination of forgotten variables by resolution, for formulas compiled with a projection: a
// forgotten variable x goes when the non-tautological resolvents on x of its clauses are no more
// than those clauses, which they replace. The result has the same models over the shown
// variables once the forgotten ones are quantified away, so every projected count, weighted or
// not, stays exact; an eliminated variable occurs in it no more. The work is budgeted in literal
// visits, never in time, so a run is reproducible.
#pragma once

#include <memory>
#include <vector>

#include "cnf/cnf_read.h"

struct forgotten_elimination_summary {
  unsigned eliminated = 0;  // forgotten variables that occur no more
  unsigned clauses = 0;     // clauses of the result
};

// FORMULA is as the preprocessing leaves it: no eclause, no clause repeating a variable.
// FORGOTTEN lists variables of 1..var_count. The result keeps var_count, file_name and
// directives, and the order of the clauses that stay; resolvents, their literals by increasing
// variable, come last. An empty resolvent gives x1 and not x1. A variable with a resolvent longer
// than MAX_RESOLVENT_SIZE stays: a long clause joins many variables, which splits no component.
std::unique_ptr<cnf> eliminate_forgotten_variables(const cnf& formula, const std::vector<unsigned>& forgotten,
                                                   std::size_t max_resolvent_size,
                                                   forgotten_elimination_summary* summary);
