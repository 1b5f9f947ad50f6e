// Backbone literals: the literals true in every model of a set of clauses, tested with CaDiCaL.
// Every limit counts conflicts, never time, so the same clauses give the same literals on any
// machine and under any load.
#pragma once

#include <vector>

enum class backbone_status {
  satisfiable,    // a first model was found; the literals below are backbone literals
  unsatisfiable,  // the clauses have no model
  unknown         // no first model within its budget; nothing was tested
};

// Once the tests have spent their conflicts or their number, the candidates left are not tested.
struct backbone_budget {
  int first_model_conflicts;  // the solve for a first model
  int test_conflicts;         // the test of one candidate; one that reaches it finds nothing
  long total_conflicts;       // the tests together
  unsigned tests;             // each test costs a model of the whole formula, conflicts or not
};

struct backbone_search {
  backbone_status status = backbone_status::unknown;
  std::vector<int> literals;  // backbone literals found, by increasing variable
  unsigned tests = 0;         // solves under an assumption
  long conflicts = 0;         // conflicts of every solve
};

// Candidates are the variables the clauses mention over 1..var_count, each with its value in a
// first model; a candidate is a backbone literal when the clauses and its complement have no
// model. Each model a test finds drops the candidates it falsifies. A test cut short by its limit
// counts as no backbone literal: the literals returned are sound, though maybe not all.
// An empty vector among `clauses` is skipped (a removed clause), not read as the empty clause.
backbone_search find_backbone(unsigned var_count, const std::vector<std::vector<int>>& clauses,
                              const backbone_budget& budget);
