// Out of memory at every allocation of a run: the tarn program is run with the allocation-failure
// injector preloaded (fail_allocation.cpp), once for each allocation N of the run, with the N-th
// failing, and every outcome is checked.

#include "test_support.h"

using tarn_test::file_exists;
using tarn_test::read_file;
using tarn_test::shell_quote;
using tarn_test::temp_dir;

namespace {

struct outcome {
  bool exited = false;  // false: ended by a signal
  int status = -1;
  std::string out, err, nnf;  // nnf: the circuit file, empty when there is none
  bool nnf_written = false;
};

// `failing`: the allocation that fails, "N" or "N+" (that one and all later ones), or "" for none.
outcome run_with_injector(const temp_dir& dir, const std::vector<std::string>& args, const std::string& failing) {
  std::remove(dir.file("f.cnf.nnf").c_str());
  std::string command = "cd " + shell_quote(dir.path()) +
                        " && LD_PRELOAD=" + shell_quote(TARN_FAIL_ALLOCATION_LIBRARY) +
                        " TARN_COUNT_ALLOCATIONS=count.txt";
  if (!failing.empty()) command += " TARN_FAIL_ALLOCATION=" + failing;
  command += " " + shell_quote(TARN_BINARY);
  for (const std::string& a : args) command += " " + shell_quote(a);
  command += " 2>stderr.txt";
  tarn_test::run_result run = tarn_test::run_command(command);
  outcome o;
  o.out = run.out;
  // The shell reports a child ended by a signal as status 128 + the signal.
  o.exited = run.status >= 0 && run.status < 128;
  o.status = run.status;
  o.err = read_file(dir.file("stderr.txt"));
  o.nnf_written = file_exists(dir.file("f.cnf.nnf"));
  if (o.nnf_written) o.nnf = read_file(dir.file("f.cnf.nnf"));
  return o;
}

unsigned allocations_of_last_run(const temp_dir& dir) { return std::stoul(read_file(dir.file("count.txt"))); }

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// tarn's message, or the circuit store's and the smoothing's own, on standard output; the
// partitioner's names the array on standard error.
bool reports_out_of_memory(const outcome& o) {
  return ends_with(o.out, "\nOut of memory.\n") || ends_with(o.out, " (Cannot allocate memory)\n") ||
         ends_with(o.out, "\nOut of memory for storing NNF.\n") ||
         ends_with(o.out, "\nOut of memory for storing smoothed NNF.\n") ||
         o.err.rfind("Memory allocation failed for HGP: ", 0) == 0;
}

struct scenario {
  std::string cnf;
  std::vector<std::string> options;
};

// Small formulas through every step: the default dtree's bisections, min-fill, projected and
// weighted counts, reduction, smoothing, minimisation, the checks, a circuit kept in memory.
const std::vector<scenario>& scenarios() {
  static const std::string weighted = "p cnf 6 5\n1 2 0\n-2 3 0\n3 4 -5 0\n2 4 0\n5 6 -1 0\nc p weight 1 1/3 0\n";
  static const std::vector<scenario> all = {
      {weighted, {"-dt_count", "1", "-count"}},
      {weighted + "c p show 1 2 3 5 0\n", {"-dt_method", "4", "-count", "-minimize"}},
      {weighted, {"-dt_method", "4", "-count", "-reduce", "-smooth_all"}},
      {weighted, {"-dt_method", "4", "-in_memory", "-count", "-check_entailment"}},
  };
  return all;
}

// Calls check(N, outcome, undisturbed outcome) for every allocation N of each scenario's run.
template <typename Check>
void for_every_failing_allocation(bool for_good, Check check) {
  temp_dir dir;
  for (const scenario& s : scenarios()) {
    dir.write("f.cnf", s.cnf);
    std::vector<std::string> args{"-in", "f.cnf", "-silent", "-threads", "1", "-seed", "1"};
    args.insert(args.end(), s.options.begin(), s.options.end());
    outcome undisturbed = run_with_injector(dir, args, "");
    ASSERT_EQ(undisturbed.status, 0) << undisturbed.out;
    unsigned allocations = allocations_of_last_run(dir);
    ASSERT_GT(allocations, 100u);
    for (unsigned n = 1; n <= allocations && !testing::Test::HasFailure(); ++n) {
      SCOPED_TRACE(s.options[1] + " " + s.options.back() + ": allocation " + std::to_string(n) + (for_good ? "+" : ""));
      check(run_with_injector(dir, args, std::to_string(n) + (for_good ? "+" : "")), undisturbed);
    }
  }
}

// Either the failure was absorbed (the circuit store halves its block, a thread that cannot be
// made runs its work on the caller's) and the run is the undisturbed one, or it ends with status
// 1 and never with a signal: GMP's allocations used to abort.
void expect_absorbed_or_ended(const outcome& o, const outcome& undisturbed) {
  ASSERT_TRUE(o.exited) << o.out << o.err;
  if (o.status == 0) {
    EXPECT_EQ(o.out, undisturbed.out);
    EXPECT_EQ(o.nnf, undisturbed.nnf);
  } else {
    EXPECT_EQ(o.status, 1) << o.out << o.err;
  }
}

}  // namespace

TEST(AllocationFailures, EachFailedAllocationIsAbsorbedOrEndsTheRunWithStatusOne) {
  for_every_failing_allocation(false, expect_absorbed_or_ended);
}

TEST(AllocationFailures, MemoryThatRunsOutForGoodEndsTheRunWithStatusOne) {
  for_every_failing_allocation(true, expect_absorbed_or_ended);
}

// A run that fails names the lack of memory, and leaves no circuit file: the circuit is written
// whole, and only once the run is done with it.
TEST(AllocationFailures, AFailedRunNamesTheLackOfMemoryAndLeavesNoCircuitFile) {
  for_every_failing_allocation(false, [](const outcome& o, const outcome& undisturbed) {
    expect_absorbed_or_ended(o, undisturbed);
    if (o.status != 1) return;
    EXPECT_TRUE(reports_out_of_memory(o)) << o.out << o.err;
    EXPECT_FALSE(o.nnf_written) << o.nnf;
  });
}
