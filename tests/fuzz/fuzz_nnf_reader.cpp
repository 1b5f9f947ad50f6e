// Feeds arbitrary bytes to the circuit reader. A file that loads must survive every pass, and
// the passes that keep the Boolean function (reduction, smoothing) must keep it: for circuits of
// few variables the truth table is compared through the entailment check's evaluator. Every
// circuit that leaves a pass must also load again after being saved.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/utility.h"
#include "nnf/count.h"
#include "nnf/decomposable.h"
#include "nnf/entail.h"
#include "nnf/save_load.h"
#include "nnf/smooth.h"

namespace {

struct fatal_exit {
  int status;
};

[[noreturn]] void throw_fatal_exit(int status) { throw fatal_exit{status}; }

constexpr unsigned MAX_TABLE_VARS = 8;
// Bit sets, literal maps and the 2^V factor grow with the variable count, which a header may
// declare in the billions; the passes that need them run on moderately many variables only.
constexpr unsigned MAX_PASS_VARS = 4096;

std::string scratch_path(const char* what) {
  return "/tmp/fuzz_nnf_reader_" + std::to_string(getpid()) + "_" + what + ".nnf";
}

void write_bytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

// The root's value under every assignment of variables 1..var_count.
std::vector<bool> truth_table(const nnf& circuit) {
  std::vector<bool> table;
  auto e = construct_evaluation(circuit);
  for (unsigned a = 0; a < (1u << circuit.var_count); ++a) {
    mpz_set_ui(e->pos.get(), a);
    mpz_set_ui(e->neg.get(), ~a & ((1u << circuit.var_count) - 1));
    table.push_back(evaluate_nnf(circuit, *e));
  }
  return table;
}

// A pass result that no longer loads, or a changed function, is a bug: abort for the fuzzer.
void expect_loads_again(const nnf& circuit) {
  std::string path = scratch_path("again");
  save_nnf_to_file(path.c_str(), circuit);
  try {
    load_nnf_from_file(path.c_str());
  } catch (const fatal_exit&) {
    std::abort();
  }
}

void expect_same_function(const std::vector<bool>& before, const nnf& circuit) {
  if (circuit.var_count <= MAX_TABLE_VARS && truth_table(circuit) != before) std::abort();
}

void exercise(const std::string& path) {
  std::unique_ptr<nnf> circuit = load_nnf_from_file(path.c_str());
  if (circuit->var_count > MAX_PASS_VARS) {
    exist_quantify_nnf({}, *circuit);
    expect_loads_again(*circuit);
    return;
  }
  std::vector<bool> function;
  if (circuit->var_count <= MAX_TABLE_VARS) function = truth_table(*circuit);
  count_nnf_models(circuit->var_count, *circuit);
  nnf_decomposable(*circuit);

  exist_quantify_nnf({}, *circuit);
  expect_same_function(function, *circuit);
  expect_loads_again(*circuit);

  smooth_nnf(*circuit, true);
  expect_same_function(function, *circuit);
  expect_loads_again(*circuit);
  count_smooth_nnf_models(*circuit);

  std::unique_ptr<nnf> fresh = load_nnf_from_file(path.c_str());
  smooth_nnf(*fresh, false);
  expect_same_function(function, *fresh);
  expect_loads_again(*fresh);

  fresh = load_nnf_from_file(path.c_str());
  smooth_min_nnf(*fresh);
  expect_loads_again(*fresh);
  count_smooth_nnf_models(*fresh);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool initialised = [] {
    set_exit_hook(throw_fatal_exit);
    VERBOSE = false;
    // The reader's messages and the decomposability verdicts would flood the fuzzer's output.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return true;
  }();
  (void)initialised;
  std::string path = scratch_path("input");
  write_bytes(path, data, size);
  try {
    exercise(path);
  } catch (const fatal_exit&) {
  }
  return 0;
}
