// Smaller variants of a failing case: an option back at its default, a clause, literal, weight
// line, shown variable, list entry or assumed literal dropped, an unused last variable removed.
#pragma once

#include <vector>

#include "diff_fuzz/case.h"

namespace diff_fuzz {

std::vector<test_case> smaller_cases(const test_case& t);

}  // namespace diff_fuzz
