// The program's command line, run end to end: help and version, usage failures, the strict
// reading of numeric options, refused combinations of options, and the status, channel and last
// line of every run.
#include <algorithm>
#include <set>
#include <sstream>

#include "driver/command_line.h"
#include "driver/version.h"
#include "e2e/brute_force.h"
#include "test_support.h"

using tarn_test::file_exists;
using tarn_test::run_result;
using tarn_test::run_tarn;
using tarn_test::temp_dir;

namespace {

const std::string BANNER = std::string("\ntarn compiler version ") + TARN_VERSION + "\n";
const std::string HINT = "\nIncorrect usage, check manual!\n";

std::string joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += "'" + a + "' ";
  return text;
}

bool ends_one_line(const std::string& out) {
  return !out.empty() && out.back() == '\n' && (out.size() < 2 || out[out.size() - 2] != '\n');
}

// The options named in an options column such as "-help, -h, --help" or "`-in`".
std::set<std::string> options_in(const std::string& column) {
  std::set<std::string> names;
  std::istringstream words(column);
  for (std::string word; words >> word;) {
    word.erase(std::remove_if(word.begin(), word.end(), [](char c) { return c == '`' || c == ','; }), word.end());
    if (word.size() > 1 && word[0] == '-') names.insert(word);
  }
  return names;
}

// The first column of the usage text's option lines ("  -ubfs FIRST LAST   ...").
std::set<std::string> usage_options() {
  std::set<std::string> names;
  std::istringstream lines(USAGE_TEXT);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  -", 0) == 0) names.merge(options_in(line.substr(0, line.find("  ", 2))));
  return names;
}

// The first column of the README's options table ("| `-in` | file | ... |").
std::set<std::string> readme_options() {
  std::set<std::string> names;
  std::istringstream lines(tarn_test::read_file(TARN_README));
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("| `-", 0) == 0) names.merge(options_in(line.substr(1, line.find('|', 1) - 1)));
  return names;
}

struct usage_case {
  std::vector<std::string> args;
  int status;
  std::string output;
};

void expect_runs(const std::vector<usage_case>& cases, const temp_dir& dir) {
  for (const usage_case& c : cases) {
    SCOPED_TRACE(joined(c.args));
    run_result r = run_tarn(c.args, dir.path());
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.output);
    EXPECT_EQ(r.err, "") << "every message goes to standard output";
  }
}

}  // namespace

TEST(CommandLine, HelpAndVersionPrintOnStandardOutputAndSucceed) {
  temp_dir dir;
  const std::string version = std::string("tarn ") + TARN_VERSION + "\n";
  expect_runs({{{"-help"}, 0, USAGE_TEXT},
               {{"-h"}, 0, USAGE_TEXT},
               {{"--help"}, 0, USAGE_TEXT},
               {{"-in", "f.cnf", "-count", "--help"}, 0, USAGE_TEXT},
               {{"-version"}, 0, version},
               {{"--version"}, 0, version}},
              dir);
}

// An option missing from the help or the README, or listed there after it is gone, fails here.
TEST(CommandLine, HelpAndReadmeListEveryOptionOfTheTable) {
  std::set<std::string> table;
  for (const char* name : option_names()) table.insert(name);
  EXPECT_EQ(usage_options(), table);
  EXPECT_EQ(readme_options(), table);
}

// Usage failures end before the banner with status 1; without arguments the banner comes first.
TEST(CommandLine, UsageFailuresNameTheirCauseAndEndWithStatusOne) {
  temp_dir dir;
  dir.write("f.cnf", "p cnf 3 2\n1 -2 0\n2 3 0\n");
  dir.write("bad.cnf", "p cnf 2 1\n1 3 0\n");
  expect_runs(
      {
          {{}, 1, BANNER + "\nMust specify a CNF filename using the -in directive.\n"},
          {{"-foo"}, 1, "\nIllegal option -foo" + HINT},
          {{"-in", "f.cnf", "-bogus", "x"}, 1, "\nIllegal option -bogus" + HINT},
          {{"-in", "f.cnf", "extra"}, 1, "\nUnexpected argument \"extra\"." + HINT},
          {{"stray"}, 1, "\nUnexpected argument \"stray\"." + HINT},
          {{"-in", "f.cnf", ""}, 1, "\nUnexpected argument \"\"." + HINT},
          {{"-in"}, 1, "\nOption -in needs 1 argument." + HINT},
          {{"-in", "f.cnf", "-ubfs", "10"}, 1, "\nOption -ubfs needs 2 arguments." + HINT},
          {{"-in", "f.cnf", "-dt_method", "5"}, 1,
           "\nDtree method 5 needs a block order: give it with -block_order_in." + HINT},
          {{"-in", "f.cnf", "-silent", "-dt_method", "4"}, 0, BANNER},
          {{"-in", "bad.cnf"}, 1,
           BANNER + "\nLiteral 3 references undeclared variable.\nMax variable index declared is 2.\n"},
      },
      dir);
}

// The dynamic search keeps no dtree, and preprocessing serves a compilation only.
TEST(CommandLine, RefusesOptionsTheDynamicSearchAndPreprocessingCannotHonour) {
  temp_dir dir;
  dir.write("f.cnf", "p cnf 3 2\n1 -2 0\n2 3 0\n");
  dir.write("vars", "1 2\n");
  const std::string no_variable_lists =
      "\n-dynamic cannot be combined with -force, -determined or -decompose_except: it finds components as it "
      "searches and has no dtree to keep those variables out of.\n";
  const std::string no_dtree = "\n-dynamic builds no dtree: -dt_in, -dt_out and -block_order_in do not apply to it.\n";
  const std::string nothing_to_compile =
      "\n-preprocess simplifies the CNF to compile: the simplify modes and -nnf compile none.\n";
  expect_runs(
      {
          {{"-in", "f.cnf", "-dynamic", "-force", "vars"}, 1, no_variable_lists},
          {{"-in", "f.cnf", "-determined", "vars", "-dynamic"}, 1, no_variable_lists},
          {{"-in", "f.cnf", "-dynamic", "-decompose_except", "vars"}, 1, no_variable_lists},
          {{"-in", "f.cnf", "-dynamic", "-dt_out"}, 1, no_dtree},
          {{"-in", "f.cnf", "-dynamic", "-dt_in", "f.dtree"}, 1, no_dtree},
          {{"-in", "f.cnf", "-dynamic", "-block_order_in", "vars"}, 1, no_dtree},
          {{"-in", "f.cnf", "-preprocess", "-simplify"}, 1, nothing_to_compile},
          {{"-in", "f.cnf", "-dynamic", "-preprocess", "-silent", "-dt_method", "4"}, 0, BANNER},
      },
      dir);
  run_result r = run_tarn({"-in", "f.cnf", "-visualize", "-silent", "-dt_method", "4"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(file_exists(dir.file("cnf.vcg"))) << "drawn in the current directory";
}

// Each numeric option takes decimal digits with at most a minus sign, within its range: the
// bounds pass (the run then stops at the option after them), the rest is refused by name.
TEST(CommandLine, NumericOptionsTakeOnlyWholeNumbersInTheirRange) {
  struct numeric_option {
    std::string name;
    long long min, max;
    bool pair;  // two values
  };
  const numeric_option options[] = {
      {"-dt_method", 0, 5, false},      {"-dt_count", 1, 2147483647, false},  {"-seed", 0, 4294967295, false},
      {"-threads", 1, 1024, false},     {"-cache_size", 0, 4095, false},     {"-nnf_block_size", 0, 4095, false},
      {"-ubfs", 1, 49, true},
  };
  const char* const not_numbers[] = {"5abc", "abc", "", " 5", "5 ", "+5", "2.5", "1e3", "0x10", "-", "--5", "5-"};
  const char* const overflows[] = {"9223372036854775808", "-9223372036854775809", "99999999999999999999999"};
  temp_dir dir;
  std::vector<usage_case> cases;
  for (const numeric_option& o : options) {
    auto args = [&](const std::string& value, bool second) {
      std::vector<std::string> a{"-in", "f.cnf", o.name};
      const std::string fine = std::to_string(o.min);
      if (o.pair && second) a.push_back(fine);
      a.push_back(value);
      if (o.pair && !second) a.push_back(fine);
      return a;
    };
    auto refused = [&](const std::string& value, const char* problem) {
      for (bool second : {false, true}) {
        if (second && !o.pair) continue;
        const std::string message = "\nValue \"" + value + "\" of " + o.name + " is " + problem + ".";
        cases.push_back({args(value, second), 1, message + HINT});
      }
    };
    for (const char* text : not_numbers) refused(text, "not a whole number");
    for (const char* text : overflows) refused(text, "out of range");
    refused(std::to_string(o.min - 1), "out of range");
    refused(std::to_string(o.max + 1), "out of range");
    for (long long bound : {o.min, o.max}) {
      std::vector<std::string> a = args(std::to_string(bound), true);
      a.push_back("-end");
      cases.push_back({a, 1, "\nIllegal option -end" + HINT});
    }
  }
  expect_runs(cases, dir);
}

// Without their negative literals and-nodes give the circuit models the CNF lacks: a count or a
// minimisation would be the circuit's, not the formula's, and is refused before compiling.
TEST(CommandLine, RefusesToCountOrMinimizeWithoutAndNodeNegativeLiterals) {
  temp_dir dir;
  dir.write("f.cnf", "p cnf 3 2\n1 -2 0\n2 3 0\n");
  const std::string combined_with = " cannot be combined with -suppress_ane: and-nodes without their negative literals "
                                    "give the circuit models that the formula does not have, so its ";
  expect_runs({{{"-in", "f.cnf", "-suppress_ane", "-count"}, 1,
                "\n-count" + combined_with + "count would not be the formula's.\n"},
               {{"-minimize", "-in", "f.cnf", "-suppress_ane"}, 1,
                "\n-minimize" + combined_with + "minimum-cardinality models would not be the formula's.\n"}},
              dir);
  EXPECT_FALSE(file_exists(dir.file("f.cnf.nnf")));
}

// With -suppress_ane the circuit may have models the CNF lacks; the check says so, truly.
TEST(CommandLine, EntailmentCheckOfACircuitWithoutAndNodeNegativeLiteralsIsTruthful) {
  const std::string text = "p cnf 3 2\n1 -2 0\n-1 -3 0\n";
  temp_dir dir;
  dir.write("f.cnf", text);
  const brute_force::table models = brute_force::models(brute_force::parse_cnf(text));
  for (bool suppress : {false, true}) {
    SCOPED_TRACE(suppress ? "-suppress_ane" : "");
    std::vector<std::string> args{"-in", "f.cnf", "-silent", "-dt_method", "4", "-check_entailment"};
    if (suppress) args.push_back("-suppress_ane");
    run_result r = run_tarn(args, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    brute_force::verdict v = brute_force::judge(brute_force::parse_nnf(tarn_test::read_file(dir.file("f.cnf.nnf"))));
    ASSERT_EQ(v.problem, "");
    const bool entails = !v.function.intersects(~models);
    EXPECT_EQ(entails, !suppress) << "the suppressed circuit of this formula gains models";
    EXPECT_NE(r.out.find(entails ? "Checking entailment...OK  / " : "Checking entailment...Failed!!!  / "),
              std::string::npos)
        << r.out;
  }
}

// Progress lines begin with a line break and leave their line open; whatever printed last, the
// run ends its line, once.
TEST(CommandLine, EveryRunEndsItsLastLine) {
  temp_dir dir;
  dir.write("f.cnf", "p cnf 3 2\n1 -2 0\n2 3 0\n");
  dir.write("none.cnf", "p cnf 2 0\n");
  const std::vector<std::pair<std::vector<std::string>, int>> runs = {
      {{"-in", "f.cnf", "-silent", "-check_entailment"}, 0},
      {{"-in", "f.cnf", "-silent", "-count", "-check_entailment"}, 0},
      {{"-in", "f.cnf", "-count", "-reduce"}, 0},
      {{"-in", "f.cnf", "-simplify"}, 0},
      {{"-in", "f.cnf", "-silent", "-simplify_s"}, 0},
      {{"-in", "none.cnf", "-silent", "-dt_out"}, 0},
      {{"-nnf", "f.cnf.nnf", "-count", "-silent"}, 0},
      {{"-in", "f.cnf", "-exist", "missing.txt"}, 1},
      {{"-in", "f.cnf", "-nnf_block_size", "0"}, 1},
      {{"-in", "missing.cnf"}, 1},
      {{"-nnf", "missing.nnf", "-count"}, 1},
  };
  for (const auto& [args, status] : runs) {
    SCOPED_TRACE(joined(args));
    run_result r = run_tarn(args, dir.path());
    EXPECT_EQ(r.status, status);
    EXPECT_TRUE(ends_one_line(r.out)) << r.out;
  }
}
