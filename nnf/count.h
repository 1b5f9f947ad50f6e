// Exact model counts of a circuit, as decimal text of any length.
#pragma once

#include <gmp.h>

#include <string>

#include "nnf/nnf_operations.h"

// The models over variables 1..var_count of a deterministic, decomposable circuit. Variables
// that a branch or the whole circuit does not mention need no smoothing: each node's value is
// the probability that a uniformly random assignment satisfies it, scaled by 2^var_count.
std::string count_nnf_models(unsigned var_count, const nnf& circuit);

// The models of a smooth circuit that mentions every variable at its root (after smoothing
// over all variables or minimisation); anything else is undercounted.
std::string count_smooth_nnf_models(const nnf& circuit);

std::string mpz2str(mpz_srcptr value);
