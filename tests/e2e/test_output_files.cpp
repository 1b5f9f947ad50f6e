// Every file the tarn program writes appears whole or not at all: a write that fails ends the run
// with status 1 and the reason, and neither a failed nor a killed run leaves a partial file.
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

using tarn_test::chain_cnf;
using tarn_test::file_exists;
using tarn_test::folder_entries;
using tarn_test::read_file;
using tarn_test::run_result;
using tarn_test::run_tarn;
using tarn_test::shell_quote;
using tarn_test::temp_dir;

namespace {

// Runs a shell command line in `dir` with the tarn program as "$TARN"; standard output only.
run_result run_shell(const temp_dir& dir, const std::string& line) {
  return tarn_test::run_command("cd " + shell_quote(dir.path()) + " && TARN=" + shell_quote(TARN_BINARY) +
                                " sh -c " + shell_quote(line) + " 2>/dev/null");
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST(FailedWrites, AFileSizeLimitEndsTheRunWithTheReasonAndNoFile) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(200));
  run_result r = run_shell(dir, "ulimit -f 4; exec \"$TARN\" -in f.cnf -dt_method 2 -silent");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(ends_with(r.out, "\nCannot write file: f.cnf.nnf (" + std::string(std::strerror(EFBIG)) + ")\n"))
      << r.out;
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"f.cnf"});
}

TEST(FailedWrites, AFullDeviceEndsTheRunWithTheReason) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(200));
  ASSERT_EQ(symlink("/dev/full", dir.file("f.cnf.nnf").c_str()), 0);
  run_result r = run_tarn({"-in", "f.cnf", "-dt_method", "2", "-silent", "-count"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ends_with(r.out, "\nCannot write file: f.cnf.nnf (" + std::string(std::strerror(ENOSPC)) + ")\n"))
      << r.out;
}

TEST(FailedWrites, AFolderInTheWayIsReportedAndKept) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(20));
  ASSERT_EQ(mkdir(dir.file("f.cnf.nnf").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("f.cnf.dtree").c_str(), 0755), 0);
  run_result r = run_tarn({"-in", "f.cnf", "-silent"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Cannot open file: f.cnf.nnf (" + std::string(std::strerror(EISDIR)) + ")"), std::string::npos)
      << r.out;
  r = run_tarn({"-in", "f.cnf", "-silent", "-dt_out", "-in_memory"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Cannot open dtree file: f.cnf.dtree"), std::string::npos) << r.out;
  EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"f.cnf", "f.cnf.dtree", "f.cnf.nnf"}));
}

// Permissions bind only ordinary users: as root the run drops to the user nobody.
TEST(FailedWrites, AReadOnlyFolderEndsTheRunWithTheReasonAndNoFile) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(20));
  ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
  ASSERT_EQ(chmod(dir.file("f.cnf").c_str(), 0444), 0);
  std::string as_user = geteuid() == 0 ? "exec setpriv --reuid=65534 --regid=65534 --clear-groups " : "exec ";
  run_result r = run_shell(dir, as_user + "\"$TARN\" -in f.cnf -silent");
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(ends_with(r.out, "Cannot open file: f.cnf.nnf (" + std::string(std::strerror(EACCES)) + ")\n"))
      << r.out;
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"f.cnf"});
}

// A failed run leaves the circuit file of an earlier run as it was, instead of a stale mixture.
TEST(FailedWrites, AFailedRunKeepsTheEarlierCircuitFile) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(20));
  dir.write("f.cnf.nnf", "earlier\n");
  dir.write("f.w", "c p weight 99 0.5 0\n");
  run_result r = run_tarn({"-in", "f.cnf", "-silent", "-count", "-weights", "f.w"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(dir.file("f.cnf.nnf")), "earlier\n");
}

// Terminated mid-run, a run leaves nothing behind, its temporary files included.
TEST(InterruptedRuns, ATerminatedRunLeavesNoFileAtAll) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(3000));
  for (int delay_ms = 20; delay_ms <= 200; delay_ms += 20) {
    run_shell(dir, "exec timeout -s TERM " + std::to_string(delay_ms / 1000.0) +
                       " \"$TARN\" -in f.cnf -dt_method 2 -silent -smooth -count");
    std::vector<std::string> left = folder_entries(dir.path());
    if (left.size() == 2) {
      EXPECT_EQ(left[1], "f.cnf.nnf") << delay_ms << " ms";
      std::remove(dir.file("f.cnf.nnf").c_str());
    } else {
      EXPECT_EQ(left, std::vector<std::string>{"f.cnf"}) << delay_ms << " ms";
    }
  }
}

// Killed at any moment, a run leaves either no circuit file or the whole of it.
TEST(InterruptedRuns, AKilledRunLeavesNoPartialCircuitFile) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(3000));
  const std::string options = " -in f.cnf -dt_method 2 -silent -smooth -count";
  ASSERT_EQ(run_shell(dir, "exec \"$TARN\"" + options).status, 0);
  std::string whole = read_file(dir.file("f.cnf.nnf"));
  ASSERT_GT(whole.size(), 100000u);
  for (int delay_ms = 20; delay_ms <= 400; delay_ms += 20) {
    std::remove(dir.file("f.cnf.nnf").c_str());
    run_shell(dir, "exec timeout -s KILL " + std::to_string(delay_ms / 1000.0) + " \"$TARN\"" + options);
    if (file_exists(dir.file("f.cnf.nnf"))) {
      EXPECT_EQ(read_file(dir.file("f.cnf.nnf")), whole) << delay_ms << " ms";
    }
  }
}
