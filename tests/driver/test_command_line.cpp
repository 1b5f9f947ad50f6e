#include "test_support.h"

using tarn_test::run_result;
using tarn_test::run_tarn;

// Usage failures end before the banner with status 1; without arguments the banner comes first.
TEST(CommandLine, PrintsTheTextsAndStatusesOfEachUsage) {
  const std::string banner = "\ntarn compiler version 2.20\n", help = "\nIncorrect usage, check manual!";
  struct usage_case {
    std::vector<std::string> args;
    int status;
    std::string output;
  };
  const usage_case cases[] = {
      {{}, 1, banner + "\nMust specify a CNF filename using the -in directive."},
      {{"-help"}, 0, help},
      {{"-foo"}, 1, "\nIllegal option -foo" + help},
      {{"-in", "f.cnf", "-bogus", "x"}, 1, "\nIllegal option -bogus" + help},
      {{"-in", "f.cnf", "extra"}, 1, help},
      {{"stray"}, 1, help},
      {{"-in"}, 1, help},
      {{"-in", "f.cnf", "-ubfs", "10"}, 1, help},
      {{"-in", "f.cnf", "-dt_method", "x"}, 1, help},
      {{"-in", "f.cnf", "-cache_size", "abc"}, 1, help},
      {{"-in", "f.cnf", "-cache_size", "4096"}, 1, "\nValue \"4096\" of -cache_size is out of range." + help},
      {{"-in", "f.cnf", "-nnf_block_size", "-1"}, 1, "\nValue \"-1\" of -nnf_block_size is out of range." + help},
      {{"-in", "f.cnf", "-dt_count", "0"}, 1, "\nValue \"0\" of -dt_count is out of range." + help},
      {{"-in", "f.cnf", "-dt_method", "-2"}, 1, "\nValue \"-2\" of -dt_method is out of range." + help},
      {{"-in", "f.cnf", "-dt_method", "5"}, 1,
       "\nDtree method 5 needs a block order: give it with -block_order_in." + help},
      {{"-in", "f.cnf", "-silent", "-dt_method", "4"}, 0, banner},
      {{"-in", "bad.cnf"}, 1, banner + "\nLiteral 3 references undeclared variable.\nMax variable index declared is 2."},
  };
  tarn_test::temp_dir dir;
  dir.write("f.cnf", "p cnf 3 2\n1 -2 0\n2 3 0\n");
  dir.write("bad.cnf", "p cnf 2 1\n1 3 0\n");
  for (const usage_case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    run_result r = run_tarn(c.args, dir.path());
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.output);
  }
  run_result r = run_tarn({"-in", "f.cnf", "-visualize", "-silent", "-dt_method", "4"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(tarn_test::file_exists(dir.file("cnf.vcg"))) << "drawn in the current directory";
}
