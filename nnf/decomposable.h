// The decomposability check: the children of every and-node mention disjoint sets of variables.
#pragma once

#include "nnf/nnf_operations.h"

// On failure prints "shared vars: " and "%d " for every variable that two children of some
// and-node both mention, in increasing order.
bool nnf_decomposable(const nnf& circuit);
