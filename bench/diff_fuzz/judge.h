// One tarn run on a test case, judged against the oracle's expectation.
#pragma once

#include <string>

#include "diff_fuzz/case.h"

namespace diff_fuzz {

struct disagreement {
  std::string kind;    // what went wrong, in a few fixed words; empty when the run agrees
  std::string detail;  // the values behind it
  bool found() const { return !kind.empty(); }
};

// Writes the case's files into `workdir`, runs `tarn` there (at most `seconds`) and compares.
disagreement check_case(const test_case& t, const std::string& tarn, const std::string& workdir, int seconds);

// Writes the formula and the list files the case's arguments name.
void write_case_files(const test_case& t, const std::string& workdir);

}  // namespace diff_fuzz
