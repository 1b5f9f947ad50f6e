// Exact weighted model counts of a finished circuit, and its satisfiability under assumptions.
// Both work on decomposable circuits; the count also needs determinism but no smoothness.
#pragma once

#include <gmpxx.h>

#include <vector>

#include "nnf/nnf_operations.h"

// Literal weights of variables 1..V: entry v - 1 of each vector. Entries past a vector's end
// leave the literal at weight 1 and the variable counted.
struct weight_table {
  std::vector<mpq_class> positive, negative;
  std::vector<char> counted;  // 1 for the variables the models range over; 0 for variables that
                              // are existentially quantified away (they contribute no factor)
};

weight_table unit_weights(unsigned var_count);  // all weights 1, all variables counted

// The sum over the models (assignments of the counted variables) of the circuit of the product
// of their literal weights. A counted variable missing below a branch contributes
// w(x) + w(-x); an uncounted variable contributes nothing when missing, and where the circuit
// mentions it (a smoothing gadget x or -x) its literals weigh 1/2 each, so that the gadget
// counts 1.
mpq_class weighted_count_nnf(const nnf& circuit, const weight_table& weights);

// Whether some assignment satisfies the circuit with every literal of `assumed` (non-zero
// literals) true; contradictory assumptions are never satisfied.
bool nnf_satisfiable(const nnf& circuit, const std::vector<int>& assumed);
