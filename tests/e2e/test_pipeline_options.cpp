// The options a pipeline relies on: where the circuit goes (-out), limits (-timeout, -mem_limit)
// and the statistics file (-stats).
#include "test_support.h"

using tarn_test::chain_cnf;
using tarn_test::file_exists;
using tarn_test::folder_entries;
using tarn_test::read_file;
using tarn_test::run_result;
using tarn_test::run_tarn;
using tarn_test::temp_dir;

namespace {

const char* const SMALL = "p cnf 3 2\n1 2 0\n-2 3 0\n";

}  // namespace

TEST(OutOption, NamesTheCircuitFile) {
  temp_dir dir;
  dir.write("f.cnf", SMALL);
  ASSERT_EQ(run_tarn({"-in", "f.cnf", "-silent", "-seed", "1"}, dir.path()).status, 0);
  std::string usual = read_file(dir.file("f.cnf.nnf"));
  std::remove(dir.file("f.cnf.nnf").c_str());
  run_result r = run_tarn({"-in", "f.cnf", "-silent", "-seed", "1", "-out", "g.nnf", "-count"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_file(dir.file("g.nnf")), usual);
  EXPECT_FALSE(file_exists(dir.file("f.cnf.nnf")));
}

TEST(OutOption, DashWritesTheCircuitAloneOnStandardOutput) {
  temp_dir dir;
  dir.write("f.cnf", SMALL);
  ASSERT_EQ(run_tarn({"-in", "f.cnf", "-seed", "1", "-smooth"}, dir.path()).status, 0);
  std::string usual = read_file(dir.file("f.cnf.nnf"));
  std::remove(dir.file("f.cnf.nnf").c_str());
  run_result r = run_tarn({"-in", "f.cnf", "-seed", "1", "-smooth", "-count", "-out", "-"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, usual);
  EXPECT_NE(r.err.find("c s exact arb int 4\n"), std::string::npos) << r.err;
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"f.cnf"});
}

TEST(OutOption, AnUnwritableLocationEndsTheRunBeforeCompiling) {
  temp_dir dir;
  dir.write("f.cnf", SMALL);
  run_result r = run_tarn({"-in", "f.cnf", "-out", "no/such/folder.nnf"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Cannot open file: no/such/folder.nnf (No such file or directory)\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Compiling"), std::string::npos) << r.out;
  r = run_tarn({"-in", "f.cnf", "-out", "x.nnf", "-in_memory"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("-out names the circuit file"), std::string::npos) << r.out;
}

TEST(RunLimits, ATimeLimitStopsTheRunWithItsStatusAndNoFile) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(20000));
  run_result r = run_tarn({"-in", "f.cnf", "-timeout", "1", "-count"}, dir.path());
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("\nTime limit of 1 s reached: the run stops.\n"), std::string::npos) << r.out;
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"f.cnf"});
}

TEST(RunLimits, AMemoryLimitStopsTheRunWithItsStatusAndNoFile) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(20000));
  run_result r = run_tarn({"-in", "f.cnf", "-mem_limit", "8", "-dt_method", "2", "-silent"}, dir.path());
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("\nMemory limit of 8 MB reached: the run stops.\n"), std::string::npos) << r.out;
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"f.cnf"});
}

TEST(StatsOption, WritesOneJsonObjectWithTheRunsFigures) {
  temp_dir dir;
  dir.write("f.cnf", SMALL);
  run_result r = run_tarn({"-in", "f.cnf", "-silent", "-seed", "7", "-count", "-stats", "s.json"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  std::string json = read_file(dir.file("s.json"));
  ASSERT_FALSE(json.empty());
  EXPECT_EQ(json.front(), '{');
  EXPECT_EQ(json.substr(json.size() - 2), "}\n");
  for (const char* expected :
       {"\"input\": {\"file\": \"f.cnf\", \"variables\": 3, \"clauses\": 2, \"eclauses\": 0}", "\"seed\": 7",
        "\"circuit\": {\"nodes\": 7, \"edges\": 6}", "\"answer\": {\"type\": \"mc\", \"satisfiable\": true, \"count\": \"4\"}",
        "\"memory_peak_megabytes\": ", "\"learned_clauses\": 0", "\"compile\": "})
    EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
  std::remove(dir.file("f.cnf.nnf").c_str());
  r = run_tarn({"-in", "f.cnf", "-silent", "-stats", "none/s.json"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("Compiling"), std::string::npos) << r.out;
  EXPECT_FALSE(file_exists(dir.file("f.cnf.nnf")));
}

TEST(ProgressOption, PrintsProgressLinesWhileCompilingUnlessSilent) {
  temp_dir dir;
  dir.write("f.cnf", chain_cnf(3000));
  run_result r = run_tarn({"-in", "f.cnf", "-dt_method", "2", "-progress", "0"}, dir.path());
  ASSERT_EQ(r.status, 0);
  std::size_t line = r.out.find("\nProgress: ");
  ASSERT_NE(line, std::string::npos) << r.out;
  std::string text = r.out.substr(line + 1, r.out.find('\n', line + 1) - line - 1);
  double seconds, done;
  unsigned nodes, entries, megabytes;
  EXPECT_EQ(std::sscanf(text.c_str(), "Progress: %lf s wall, %lf%% done, %u nodes, %u cache entries, %u MB", &seconds,
                        &done, &nodes, &entries, &megabytes),
            5)
      << text;
  r = run_tarn({"-in", "f.cnf", "-dt_method", "2", "-progress", "0", "-silent"}, dir.path());
  EXPECT_EQ(r.out.find("Progress"), std::string::npos);
}
