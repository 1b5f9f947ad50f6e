// Variables that the others define: y is defined by a set S when any two models that agree on S
// agree on y. Quantifying defined variables away keeps the model count, since each assignment to
// the rest extends to at most one model, so a plain count can be taken as a projected one over
// fewer variables. Each test is a SAT call on two copies of the clauses (Padoa's method), made
// with CaDiCaL; every limit counts conflicts, never time, so a run is reproducible.
#pragma once

#include <vector>

struct definability_budget {
  int test_conflicts;    // the test of one variable; one that reaches it keeps the variable
  long total_conflicts;  // the tests together
  unsigned tests;
  long assumptions;      // the tests together: each assumes every untested variable equal in both copies
  long model_work;       // the tests that find a model together, each costing the clauses' literals
};

struct definability_search {
  std::vector<unsigned> defined;  // by increasing variable
  unsigned tests = 0;
  long conflicts = 0;
  long assumptions = 0;
  long model_work = 0;
};

// The variables the clauses mention over 1..var_count are tested one by one, those of most
// occurrences first: a variable is defined when it is by the variables still kept, untested ones
// included. Every variable returned is then defined by the kept ones together, as each was by a
// set that only lost defined variables afterwards. A test cut short keeps its variable, so the
// answer is sound, though maybe not all. An empty vector among `clauses` is skipped. Beyond
// INT_MAX / 3 variables nothing is tested: the two copies and the selectors take 3V of CaDiCaL's.
definability_search find_defined_variables(unsigned var_count, const std::vector<std::vector<int>>& clauses,
                                           const definability_budget& budget);
