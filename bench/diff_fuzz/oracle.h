// What a tarn run on a test case must do, worked out by brute force over every assignment of
// the formula's variables (at most 14), without any tarn code: whether it must fail and how,
// else the function its circuit must have, the properties the circuit must keep and the answer
// a count must give.
#pragma once

#include <gmpxx.h>

#include <string>

#include "diff_fuzz/case.h"
#include "e2e/brute_force.h"

namespace diff_fuzz {

enum class determinism { none, decisions, all };  // which or-nodes must have disjoint children

struct expectation {
  bool fails = false;
  std::string message;  // a piece of the error message when the run must fail

  unsigned vars = 0;
  // The circuit's function lies between these two; they differ only with -suppress_ane, whose
  // circuit gains models, each above (more variables true than) a model it was compiled from.
  brute_force::table lower{0}, upper{0};
  bool decomposable = true;  // required; -determined and -decompose_except waive it
  determinism disjoint = determinism::all;
  bool smooth = false;            // every or-node's children mention the same variables
  std::size_t complete_over = 0;  // the variables the root must mention (bit v - 1)
  std::size_t unmentioned = 0;    // the variables no literal or decision may name (bit v - 1)
  bool nnf_file = true;           // a circuit file is left behind

  bool count = false;  // answer lines expected
  mpq_class value;
  bool satisfiable = false;
  std::string type;  // "mc", "wmc", "pmc" or "pwmc"
  bool weighted = false;

  bool check_entailment = false;
  brute_force::table clauses{0};  // every clause as a plain disjunction, for entailment
};

expectation expect(const test_case& t);

}  // namespace diff_fuzz
