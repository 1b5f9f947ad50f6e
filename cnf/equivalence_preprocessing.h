// Preprocessing that keeps the models over every variable, so that the circuit compiled from its
// result is the input's circuit and every count, weighted or projected, stays exact: no variable
// is eliminated or renumbered. Eclauses are expanded into their clause and its pairwise
// exclusions; then unit propagation, backbone literals, equivalent literals, subsumption and
// vivification take turns while they make progress. Every step has a budget counted in work,
// never in time, so a run is reproducible.
#pragma once

#include <memory>

#include "cnf/cnf_read.h"

struct preprocess_summary {
  unsigned backbone_literals = 0;  // literals true in every model, kept as unit clauses
  unsigned equivalences = 0;       // variables x rewritten as an equivalent literal
  unsigned subsumed_clauses = 0;   // clauses removed as subsumed, duplicate, tautological, satisfied or implied
  unsigned vivified_literals = 0;  // literals removed from clauses by vivification and strengthening
  bool unsatisfiable = false;
  double seconds = 0;
};

// A CNF with the same models over every variable 1..V as `formula` (same var_count, file_name,
// directives), smaller where it can be, without eclauses. Its clauses, in this order: a unit
// clause per fixed variable, the two clauses (not x or r), (x or not r) per variable x rewritten
// as its class's representative literal r, then the other clauses, sorted by variable, in the
// order of the clauses they came from. An unsatisfiable formula gives x1 and not x1.
// `summary` may be null. Equivalent literals are left as they are when SUBSTITUTE_EQUIVALENCES is
// false.
std::unique_ptr<cnf> preprocess_cnf(const cnf& formula, preprocess_summary* summary,
                                    bool substitute_equivalences = true);
