#include <random>
#include <set>

#include "cnf/cnf_read.h"
#include "test_support.h"

using tarn_test::capture_exit;
using tarn_test::exit_outcome;
using tarn_test::temp_dir;

namespace {

std::vector<std::vector<int>> clauses_of(const cnf& f) {
  std::vector<std::vector<int>> result;
  for (unsigned i = 0; i < f.clause_count(); ++i) result.emplace_back(f.clause(i), f.clause(i) + f.clause_size(i));
  return result;
}

// Loads text as a CNF file; the reader's fatal exits come back as an outcome.
struct load_result {
  std::unique_ptr<cnf> formula;
  exit_outcome outcome;
};

load_result load_text(const std::string& text, bool skip_trivial = true, bool verbose = false) {
  temp_dir dir;
  std::string path = dir.write("f.cnf", text);
  load_result result;
  VERBOSE = verbose;
  result.outcome = capture_exit([&] { result.formula = get_cnf_from_file(path.c_str(), skip_trivial); });
  VERBOSE = false;
  return result;
}

std::unique_ptr<cnf> load_ok(const std::string& text, bool skip_trivial = true) {
  load_result r = load_text(text, skip_trivial);
  EXPECT_FALSE(r.outcome.exited) << r.outcome.output;
  return std::move(r.formula);
}

using clause_list = std::vector<std::vector<int>>;

}  // namespace

TEST(CnfReader, ReadsClausesInFileOrderAcrossCommentsBlankLinesTabsAndLineBreaks) {
  auto f = load_ok("c comment\n\np cnf 4 3\r\n1\t-2 0\r\n%\n0\n3\n -4\n 2 0\n-1 0\n");
  EXPECT_EQ(f->var_count, 4u);
  EXPECT_EQ(f->eclause_count, 0u);
  EXPECT_EQ(clauses_of(*f), (clause_list{{1, -2}, {3, -4, 2}, {-1}}));
}

TEST(CnfReader, AcceptsAFileWithoutClauses) {
  auto f = load_ok("p cnf 5 0\n");
  EXPECT_EQ(f->var_count, 5u);
  EXPECT_EQ(f->clause_count(), 0u);
}

TEST(CnfReader, DropsTautologiesButKeepsTwoLiteralOnesWhenAsked) {
  std::string text = "p cnf 3 4\n1 -1 0\n1 2 -2 0\n2 3 0\n-3 0\n";
  load_result dropped = load_text(text, true, true);
  ASSERT_FALSE(dropped.outcome.exited);
  EXPECT_EQ(clauses_of(*dropped.formula), (clause_list{{2, 3}, {-3}}));
  EXPECT_NE(dropped.outcome.output.find("\nSkipped 2 trivial clauses.\n"), std::string::npos);

  auto kept = load_ok(text, false);
  EXPECT_EQ(clauses_of(*kept), (clause_list{{1, -1}, {2, 3}, {-3}}));
}

TEST(CnfReader, RemovesRepeatedLiteralsByMovingTheLastLiteralIntoTheGap) {
  load_result r = load_text("p cnf 4 3\n1 2 1 0\n2 2 0\n1 2 1 3 4 0\n", true, true);
  ASSERT_FALSE(r.outcome.exited);
  EXPECT_EQ(clauses_of(*r.formula), (clause_list{{1, 2}, {2}, {1, 2, 4, 3}}));
  EXPECT_NE(r.outcome.output.find("\nSkipped 3 duplicate literals.\n"), std::string::npos);
  EXPECT_NE(r.outcome.output.find("\n1 unit clauses, 1 binary clauses, max clause size: 5"), std::string::npos);
}

TEST(CnfReader, PrintsTheLoadStatisticsWithTheDeclaredClauseCount) {
  load_result r = load_text("p cnf 3 3\n1 -1 0\n1 2 0\n3 0\n", true, true);
  ASSERT_FALSE(r.outcome.exited);
  EXPECT_EQ(r.outcome.output,
            "\nLoaded cnf: 3 vars 3 clauses (0 eclauses)\n1 unit clauses, 1 binary clauses, max clause size: 2"
            "\nSkipped 1 trivial clauses.\n");
}

TEST(CnfReader, TreatsALineHoldingOnlyZeroAsAComment) {
  auto f = load_ok("p cnf 2 1\n0\n1 2 0\n");
  EXPECT_EQ(clauses_of(*f), (clause_list{{1, 2}}));
}

TEST(CnfReader, ReadsOnlyTheFirstClauseOfALine) {
  auto f = load_ok("p cnf 3 2\n1 2 0 -3 0\n2 3 0\n");
  EXPECT_EQ(clauses_of(*f), (clause_list{{1, 2}, {2, 3}}));
}

TEST(CnfReader, AcceptsTenThousandLiteralsAndRejectsOneMore) {
  auto clause_of_size = [](int n) {
    std::string s;
    for (int i = 1; i <= n; ++i) s += std::to_string(i) + " ";
    return s + "0\n";
  };
  auto f = load_ok("p cnf 10001 1\n" + clause_of_size(10000));
  EXPECT_EQ(f->clause_size(0), 10000u);

  load_result r = load_text("p cnf 10001 1\n" + clause_of_size(10001));
  EXPECT_TRUE(r.outcome.exited);
  EXPECT_EQ(r.outcome.status, 1);
  EXPECT_EQ(r.outcome.output, "Clause at Line 2 exceeds maximum size of 10000!\n");
}

TEST(CnfReader, RejectsALineLongerThanOneHundredThousandCharacters) {
  std::string longest_comment = "c" + std::string(99998, 'x') + "\n";  // 100000 characters
  EXPECT_FALSE(load_text("p cnf 1 0\n" + longest_comment).outcome.exited);
  load_result r = load_text("p cnf 1 0\nx" + longest_comment);
  EXPECT_EQ(r.outcome.status, 1);
  EXPECT_EQ(r.outcome.output, "Line 2 exceeds max length of 100000!\n");
}

TEST(CnfReader, MarksTheLastClausesAsEclauses) {
  auto f = load_ok("p cnf 5 4\neclauses 2\n1 2 0\n2 3 0\n3 4 5 0\n1 5 0\n");
  EXPECT_EQ(f->clause_count(), 4u);
  EXPECT_EQ(f->eclause_count, 2u);
}

TEST(CnfReader, DroppingATwoLiteralTautologicalEclauseLeavesTheOtherEclauses) {
  auto f = load_ok("p cnf 5 4\neclauses 2\n1 2 0\n2 3 0\n3 4 5 0\n4 -4 0\n");
  EXPECT_EQ(clauses_of(*f), (clause_list{{1, 2}, {2, 3}, {3, 4, 5}}));
  EXPECT_EQ(f->eclause_count, 1u);
}

// A dropped ordinary clause must not turn an ordinary clause into an eclause.
TEST(CnfReader, CountsEclausesByTheirPositionInTheFileNotByTheClausesKept) {
  auto f = load_ok("p cnf 5 4\neclauses 2\n1 -1 0\n2 3 0\n4 -4 0\n3 5 0\n");
  EXPECT_EQ(clauses_of(*f), (clause_list{{2, 3}, {3, 5}}));
  EXPECT_EQ(f->eclause_count, 1u);
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
    auto f = load_ok(text + "0\n", skip_trivial);
    SCOPED_TRACE("round " + std::to_string(round) + ": " + text);
    if (trivial) {
      EXPECT_EQ(f->clause_count(), 0u);
    } else {
      ASSERT_EQ(f->clause_count(), 1u);
      EXPECT_EQ(clauses_of(*f)[0], std::vector<int>(c.begin(), c.begin() + size));
    }
  }
}

struct bad_file_case {
  const char* file;
  const char* message;
};

// Each malformed file with the exact output the reader ends with (exit status 1).
TEST(CnfReader, RejectsEveryMalformedFileWithItsMessage) {
  const bad_file_case cases[] = {
      {"bad_problem_line.cnf", "Unknown Line 1: p cnf x 3\n"},
      {"bad_eclauses_line.cnf", "Unknown Line 2: eclauses two\n"},
      {"weight_line.cnf", "Unknown Line 3: w 1 0.5\n"},
      {"more_clauses.cnf", "\nMore clauses in cnf file than has been declared."},
      {"clause_before_problem_line.cnf", "\nMore clauses in cnf file than has been declared."},
      {"undeclared_variable.cnf", "\nLiteral -4 references undeclared variable.\nMax variable index declared is 3."},
      {"fewer_clauses.cnf", "\nFewer clauses in cnf file than declared."},
      {"two_clauses_on_one_line.cnf", ""},
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
  };
  for (const bad_file_case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = std::string(TARN_TEST_DATA) + "/cnf_bad/" + c.file;
    exit_outcome outcome = capture_exit([&] { get_cnf_from_file(path.c_str(), true); });
    if (*c.message == '\0') {
      // A file that still loads: the second clause of the line is simply not read.
      EXPECT_FALSE(outcome.exited) << outcome.output;
      continue;
    }
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, c.message);
  }
}

TEST(CnfReader, ReportsAFileThatCannotBeOpened) {
  exit_outcome outcome = capture_exit([] { get_cnf_from_file("/nonexistent/f.cnf", true); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "\nCannot open file: /nonexistent/f.cnf");
}

TEST(CnfWriter, WritesTheHeaderTheEclauseLineAndOneClausePerLine) {
  auto f = load_ok("p cnf 3 2\neclauses 1\n1 -2 0\n2 3 0\n");
  temp_dir dir;
  std::string out = dir.file("out.cnf");
  save_cnf_to_file(out.c_str(), *f);
  EXPECT_EQ(tarn_test::read_file(out), "p cnf 3 2\neclauses 1\n1 -2 0\n2 3 0\n");
}

TEST(CnfWriter, ReportsAFileThatCannotBeCreated) {
  cnf empty;
  exit_outcome outcome = capture_exit([&] { save_cnf_to_file("/nonexistent/dir/out.cnf", empty); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "\nCannot open file: /nonexistent/dir/out.cnf");
}

TEST(CnfPicture, DrawsOneEdgePerVariablePairLabelledWithTheFirstClauseHoldingIt) {
  auto f = load_ok("p cnf 3 3\n1 -2 0\n-1 2 3 0\n3 -3 0\n", false);
  temp_dir dir;
  std::string out = dir.file("cnf.vcg");
  save_cnf_as_vcg(out.c_str(), *f);
  std::string text = tarn_test::read_file(out);
  EXPECT_EQ(text.rfind("graph: { title: \"dtree\"\nscaling: 0.50", 0), 0u);
  EXPECT_NE(text.find("\nnode: { title: \"3\" label: \"v3\" shape: ellipse }"), std::string::npos);
  std::string edges = text.substr(text.find("\nedge:"));
  EXPECT_EQ(edges,
            "\nedge: { sourcename: \"1\" targetname: \"2\" label: \"1\" }"
            "\nedge: { sourcename: \"1\" targetname: \"3\" label: \"2\" }"
            "\nedge: { sourcename: \"2\" targetname: \"3\" label: \"2\" }"
            "\nedge: { sourcename: \"3\" targetname: \"3\" label: \"3\" }"
            "\n\n}");
}
