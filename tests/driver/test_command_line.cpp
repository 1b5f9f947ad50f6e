#include "test_support.h"

using tarn_test::run_result;
using tarn_test::run_tarn;
using tarn_test::temp_dir;

namespace {
const std::string BANNER = "\ntarn compiler version 2.20\n";
const std::string HELP = "\nIncorrect usage, check manual!";
const std::string SMALL_CNF = "p cnf 3 2\n1 -2 0\n2 3 0\n";
}  // namespace

TEST(CommandLine, WithoutArgumentsPrintsTheBannerThenAsksForTheInputFile) {
  temp_dir dir;
  run_result r = run_tarn({}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, BANNER + "\nMust specify a CNF filename using the -in directive.");
}

TEST(CommandLine, HelpPrintsOnlyTheHelpMessageAndSucceeds) {
  temp_dir dir;
  run_result r = run_tarn({"-help"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, HELP);
}

TEST(CommandLine, UsageFailuresEndBeforeTheBannerWithStatusOne) {
  temp_dir dir;
  dir.write("f.cnf", SMALL_CNF);
  struct usage_case {
    std::vector<std::string> args;
    std::string output;
  };
  const usage_case cases[] = {
      {{"-foo"}, "\nIllegal option -foo" + HELP},
      {{"-in", "f.cnf", "-bogus", "x"}, "\nIllegal option -bogus" + HELP},
      {{"-in", "f.cnf", "extra"}, HELP},
      {{"stray"}, HELP},
      {{"-in"}, HELP},
      {{"-in", "f.cnf", "-ubfs", "10"}, HELP},
      {{"-in", "f.cnf", "-dt_method", "x"}, HELP},
      {{"-in", "f.cnf", "-cache_size", "abc"}, HELP},
      {{"-in", "f.cnf", "-cache_size", "4096"}, "\nValue \"4096\" of -cache_size is out of range." + HELP},
      {{"-in", "f.cnf", "-nnf_block_size", "-1"}, "\nValue \"-1\" of -nnf_block_size is out of range." + HELP},
      {{"-in", "f.cnf", "-dt_count", "0"}, "\nValue \"0\" of -dt_count is out of range." + HELP},
      {{"-in", "f.cnf", "-dt_method", "-2"}, "\nValue \"-2\" of -dt_method is out of range." + HELP},
      {{"-in", "f.cnf", "-dt_method", "5"}, "\nDtree method 5 needs a block order: give it with -block_order_in." + HELP},
  };
  for (const usage_case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    run_result r = run_tarn(c.args, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.output);
  }
}

TEST(CommandLine, SilentKeepsOnlyTheBanner) {
  temp_dir dir;
  dir.write("f.cnf", SMALL_CNF);
  run_result r = run_tarn({"-in", "f.cnf", "-silent", "-dt_method", "4"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, BANNER);
}

TEST(CommandLine, AReaderFailurePrintsItsMessageAfterTheBanner) {
  temp_dir dir;
  dir.write("bad.cnf", "p cnf 2 1\n1 3 0\n");
  run_result r = run_tarn({"-in", "bad.cnf"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, BANNER + "\nLiteral 3 references undeclared variable.\nMax variable index declared is 2.");
}

TEST(CommandLine, VisualizeDrawsTheCnfInTheCurrentDirectory) {
  temp_dir dir;
  dir.write("f.cnf", SMALL_CNF);
  run_result r = run_tarn({"-in", "f.cnf", "-visualize", "-silent", "-dt_method", "4"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(tarn_test::file_exists(dir.file("cnf.vcg")));
}
