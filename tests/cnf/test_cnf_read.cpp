#include <random>

#include "cnf/cnf_read.h"
#include "test_support.h"

using tarn_test::capture_exit;
using tarn_test::clause_list;
using tarn_test::clauses_of;
using tarn_test::exit_outcome;
using tarn_test::temp_dir;

namespace {

// Loads text as a CNF file; the reader's fatal exits come back as an outcome.
struct load_result {
  std::unique_ptr<cnf> formula;
  exit_outcome outcome;
};

load_result load_text(const std::string& text, bool skip_trivial = true) {
  temp_dir dir;
  std::string path = dir.write("f.cnf", text);
  load_result result;
  VERBOSE = true;
  result.outcome = capture_exit([&] { result.formula = get_cnf_from_file(path.c_str(), skip_trivial); });
  VERBOSE = false;
  return result;
}

std::string clause_of_size(int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += std::to_string(i) + " ";
  return s + "0\n";
}

}  // namespace

TEST(CnfReader, ReadsTheClausesKeptWithTheirEclauseCountAndStatistics) {
  struct read_case {
    std::string text;
    bool skip_trivial;
    clause_list clauses;
    unsigned eclauses;
    std::string printed;  // part of the verbose output, or ""
  };
  const read_case cases[] = {
      {"c comment\n\np cnf 4 3\r\n1\t-2 0\r\n%\n0\n3\n -4\n 2 0\n-1 0\n", true, {{1, -2}, {3, -4, 2}, {-1}}, 0,
       "\nLoaded cnf: 4 vars 3 clauses (0 eclauses)\n1 unit clauses, 1 binary clauses, max clause size: 3"},
      {"p cnf 5 0\n", true, {}, 0, ""},
      {"p cnf 2 1\n0\n1 2 0\n", true, {{1, 2}}, 0, ""},                   // a line of only 0 is a comment
      {"p cnf 3 2\n1 2 0 -3 0\n2 3 0\n", true, {{1, 2}, {2, 3}}, 0, ""},  // only a line's first clause
      {"p cnf 3 4\n1 -1 0\n1 2 -2 0\n2 3 0\n-3 0\n", true, {{2, 3}, {-3}}, 0, "\nSkipped 2 trivial clauses.\n"},
      {"p cnf 3 4\n1 -1 0\n1 2 -2 0\n2 3 0\n-3 0\n", false, {{1, -1}, {2, 3}, {-3}}, 0, ""},
      {"p cnf 4 3\n1 2 1 0\n2 2 0\n1 2 1 3 4 0\n", true, {{1, 2}, {2}, {1, 2, 4, 3}}, 0,
       "\n1 unit clauses, 1 binary clauses, max clause size: 5\nSkipped 3 duplicate literals.\n"},
      {"p cnf 3 3\n1 -1 0\n1 2 0\n3 0\n", true, {{1, 2}, {3}}, 0,
       "\nLoaded cnf: 3 vars 3 clauses (0 eclauses)\n1 unit clauses, 1 binary clauses, max clause size: 2"
       "\nSkipped 1 trivial clauses.\n"},
      {"p cnf 5 4\neclauses 2\n1 2 0\n2 3 0\n3 4 5 0\n1 5 0\n", true, {{1, 2}, {2, 3}, {3, 4, 5}, {1, 5}}, 2, ""},
      {"p cnf 5 4\neclauses 2\n1 2 0\n2 3 0\n3 4 5 0\n4 -4 0\n", true, {{1, 2}, {2, 3}, {3, 4, 5}}, 1, ""},
      // Eclauses count by their place in the file: a dropped clause turns no clause into one.
      {"p cnf 5 4\neclauses 2\n1 -1 0\n2 3 0\n4 -4 0\n3 5 0\n", true, {{2, 3}, {3, 5}}, 1, ""},
  };
  for (const read_case& c : cases) {
    SCOPED_TRACE(c.text);
    load_result r = load_text(c.text, c.skip_trivial);
    ASSERT_FALSE(r.outcome.exited) << r.outcome.output;
    EXPECT_EQ(clauses_of(*r.formula), c.clauses);
    EXPECT_EQ(r.formula->eclause_count, c.eclauses);
    EXPECT_NE(r.outcome.output.find(c.printed), std::string::npos) << r.outcome.output;
  }
  EXPECT_EQ(load_text("p cnf 10001 1\n" + clause_of_size(10000)).formula->clause_size(0), 10000u);
  std::string longest_comment = "c" + std::string(99998, 'x') + "\n";  // 100000 characters
  EXPECT_FALSE(load_text("p cnf 1 0\n" + longest_comment).outcome.exited);
}

// The reader's linear duplicate and tautology handling against the plain pairwise scan.
TEST(CnfReader, DuplicateAndTautologyHandlingMatchesThePairwiseScan) {
  std::mt19937 random(12345);
  for (int round = 0; round < 2000; ++round) {
    int n = 1 + static_cast<int>(random() % 8);
    std::vector<int> written;
    for (int i = 0; i < n; ++i) {
      int v = 1 + static_cast<int>(random() % 4);
      written.push_back(random() % 2 ? v : -v);
    }
    bool skip_trivial = random() % 2;
    // The pairwise scan: positions j = 0..n, each compared with every earlier position.
    std::vector<int> c = written;
    c.push_back(0);
    int size = n;
    bool trivial = false;
    for (int j = 0; j <= size; ++j) {
      for (int i = 0; i < j; ++i) {
        if (c[i] == c[j]) {
          c[j] = c[size - 1];
          c[size - 1] = 0;
          --size;
          --j;
          break;
        }
        if ((skip_trivial || n != 2) && c[i] == -c[j]) trivial = true;
      }
    }
    std::string text = "p cnf 4 1\n";
    for (int l : written) text += std::to_string(l) + " ";
    load_result r = load_text(text + "0\n", skip_trivial);
    SCOPED_TRACE("round " + std::to_string(round) + ": " + text);
    ASSERT_FALSE(r.outcome.exited);
    if (trivial) {
      EXPECT_EQ(r.formula->clause_count(), 0u);
    } else {
      ASSERT_EQ(r.formula->clause_count(), 1u);
      EXPECT_EQ(clauses_of(*r.formula)[0], std::vector<int>(c.begin(), c.begin() + size));
    }
  }
}

// Each malformed file with the exact output the reader ends with, always with exit status 1.
TEST(CnfReader, RejectsEveryMalformedFileWithItsMessage) {
  const std::pair<std::string, std::string> files[] = {
      {"bad_problem_line.cnf", "Unknown Line 1: p cnf x 3\n"},
      {"bad_eclauses_line.cnf", "Unknown Line 2: eclauses two\n"},
      {"unknown_word_line.cnf", "Unknown Line 3: weight 1 0.5\n"},
      {"more_clauses.cnf", "\nMore clauses in cnf file than has been declared."},
      {"clause_before_problem_line.cnf", "\nNo \"p cnf\" line in PATH before the clause at line 1."},
      {"undeclared_variable.cnf", "\nLiteral -4 references undeclared variable.\nMax variable index declared is 3."},
      {"fewer_clauses.cnf", "\nFewer clauses in cnf file than declared."},
      {"second_problem_line.cnf", "\nSecond \"p cnf\" line at line 3."},
      {"eclauses_before_problem_line.cnf", "\nThe \"eclauses\" line 1 comes before the \"p cnf\" line."},
      {"negative_variable_count.cnf",
       "\nThe \"p cnf\" line 1 declares -3 variables and 1 clauses; both must be 0 to 2147483647."},
      {"absurd_clause_count.cnf",
       "\nThe \"p cnf\" line 1 declares 3 variables and 99999999999 clauses; both must be 0 to 2147483647."},
      {"more_eclauses_than_clauses.cnf", "\nThe \"eclauses\" line 2 declares 3 eclauses of 2 clauses."},
      {"clause_cut_off.cnf", "\nClause at line 3 is cut off by the end of the file (no terminating 0)."},
      {"not_a_literal.cnf", "\nClause at line 3 holds \"x\", which is not a literal."},
      {"literal_beyond_int.cnf", "\nLiteral 99999999999 references undeclared variable.\nMax variable index declared is 3."},
      {"tautological_eclause.cnf", "\nEclause at line 3 holds a literal and its complement besides other literals."},
      {"empty_clause.cnf", "\nClause at line 3 is empty: \"-0\" ends it before any literal."},
      {"/nonexistent/f.cnf", "\nCannot open file: /nonexistent/f.cnf (No such file or directory)"},
  };
  for (const auto& [file, message] : files) {
    SCOPED_TRACE(file);
    std::string path = file[0] == '/' ? file : std::string(TARN_TEST_DATA) + "/cnf_bad/" + file;
    exit_outcome outcome = capture_exit([&] { get_cnf_from_file(path.c_str(), true); });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1);
    std::string expected = message;
    if (std::size_t at = expected.find("PATH"); at != std::string::npos) expected.replace(at, 4, path);
    EXPECT_EQ(outcome.output, expected);
  }
  const std::pair<std::string, std::string> texts[] = {
      {"p cnf 10001 1\n" + clause_of_size(10001), "Clause at Line 2 exceeds maximum size of 10000!\n"},
      {"p cnf 1 0\nxc" + std::string(99998, 'x') + "\n", "Line 2 exceeds max length of 100000!\n"},
  };
  for (const auto& [text, message] : texts) {
    load_result r = load_text(text);
    EXPECT_EQ(r.outcome.status, 1);
    EXPECT_EQ(r.outcome.output, message);
  }
  // A second clause on a line is not read, so this file still loads.
  std::string two = std::string(TARN_TEST_DATA) + "/cnf_bad/two_clauses_on_one_line.cnf";
  EXPECT_FALSE(capture_exit([&] { get_cnf_from_file(two.c_str(), true); }).exited);
}

// A line "0" is no clause, so the writer has no line for an empty clause: the reader accepts
// none, since a formula it accepts must read back from what the writer writes. Found by fuzzing
// (tests/data/cnf_bad/empty_clause.cnf is the fuzzer's input).
TEST(CnfReader, RejectsAnEmptyClauseButNotAClauseEndedByMinusZero) {
  load_result empty = load_text("p cnf 1 1\n  -000 1 0\n");
  EXPECT_EQ(empty.outcome.status, 1);
  EXPECT_EQ(empty.outcome.output, "\nClause at line 2 is empty: \"-000\" ends it before any literal.");
  load_result ended = load_text("p cnf 2 1\n2 -1 -0\n");
  ASSERT_FALSE(ended.outcome.exited) << ended.outcome.output;
  EXPECT_EQ(clauses_of(*ended.formula), (clause_list{{2, -1}}));
}

// Without a "p cnf" line nothing says how many variables and clauses to expect: an empty input
// is no empty formula.
TEST(CnfReader, RejectsAnInputWithoutAProblemLineNamingIt) {
  const std::pair<std::string, std::string> texts[] = {
      {"", "\nNo \"p cnf\" line in in.cnf: it is empty."},
      {" \n\t\r\n\n", "\nNo \"p cnf\" line in in.cnf: it is empty."},
      {"c only a comment\n\nc p weight 1 0.5 0\n", "\nNo \"p cnf\" line in in.cnf."},
      {"%\n0\n", "\nNo \"p cnf\" line in in.cnf."},
      {"c header\n\n1 -2 0\n", "\nNo \"p cnf\" line in in.cnf before the clause at line 3."},
      {"-1 0\np cnf 1 1\n", "\nNo \"p cnf\" line in in.cnf before the clause at line 1."},
  };
  for (const auto& [text, message] : texts) {
    SCOPED_TRACE(tarn_test::shell_quote(text));
    exit_outcome outcome = capture_exit([&] { get_cnf_from_text(text, "in.cnf", true); });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, message);
  }
}

// Binary input must not reach the terminal: its bytes are quoted, and long lines are cut.
TEST(CnfReader, MessagesQuoteControlAndBinaryBytesAndCutLongLines) {
  const std::pair<std::string, std::string> texts[] = {
      {"p cnf 1 0\n\x01\x1b[2J\xff\r\n", "Unknown Line 2: \\x01\\x1B[2J\\xFF\n"},
      {std::string("\x00\x8b\x08 p cnf", 9), "Unknown Line 1: \\x00\\x8B\\x08 p cnf\n"},
      {"p cnf 1 0\nq" + std::string(200, 'x'), "Unknown Line 2: q" + std::string(76, 'x') + "...\n"},
      {"p cnf 2 1\n1 \x07\x7f 0\n", "\nClause at line 2 holds \"\\x07\\x7F\", which is not a literal."},
  };
  for (const auto& [text, message] : texts) {
    SCOPED_TRACE(tarn_test::shell_quote(text));
    exit_outcome outcome = capture_exit([&] { get_cnf_from_text(text, "in.cnf", true); });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, message);
  }
}

TEST(CnfWriter, WritesTheHeaderTheEclauseLineAndOneClausePerLineOrReportsTheFile) {
  const std::string text = "p cnf 3 2\neclauses 1\n1 -2 0\n2 3 0\n";
  temp_dir dir;
  save_cnf_to_file(dir.file("out.cnf").c_str(), *load_text(text).formula);
  EXPECT_EQ(tarn_test::read_file(dir.file("out.cnf")), text);
  cnf empty;
  exit_outcome outcome = capture_exit([&] { save_cnf_to_file("/nonexistent/dir/out.cnf", empty); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "\nCannot open file: /nonexistent/dir/out.cnf (No such file or directory)");
}

TEST(CnfPicture, DrawsOneEdgePerVariablePairLabelledWithTheFirstClauseHoldingIt) {
  temp_dir dir;
  save_cnf_as_vcg(dir.file("cnf.vcg").c_str(), *load_text("p cnf 3 3\n1 -2 0\n-1 2 3 0\n3 -3 0\n", false).formula);
  std::string text = tarn_test::read_file(dir.file("cnf.vcg"));
  EXPECT_EQ(text.rfind("graph: { title: \"dtree\"\nscaling: 0.50", 0), 0u);
  EXPECT_NE(text.find("\nnode: { title: \"3\" label: \"v3\" shape: ellipse }"), std::string::npos);
  EXPECT_EQ(text.substr(text.find("\nedge:")),
            "\nedge: { sourcename: \"1\" targetname: \"2\" label: \"1\" }"
            "\nedge: { sourcename: \"1\" targetname: \"3\" label: \"2\" }"
            "\nedge: { sourcename: \"2\" targetname: \"3\" label: \"2\" }"
            "\nedge: { sourcename: \"3\" targetname: \"3\" label: \"3\" }"
            "\n\n}");
}
