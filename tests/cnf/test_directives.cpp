#include "cnf/cnf_read.h"
#include "cnf/directives.h"
#include "test_support.h"

using tarn_test::capture_exit;
using tarn_test::exit_outcome;
using tarn_test::temp_dir;

namespace {

// The directives of the lines, numbered from 1.
count_directives read_lines(const std::vector<std::string>& lines) {
  count_directives d;
  for (std::size_t i = 0; i < lines.size(); ++i) read_directive_line(lines[i], i + 1, d);
  return d;
}

// What reading the lines and checking them against `var_count` variables ends with.
exit_outcome outcome_of(const std::vector<std::string>& lines, unsigned var_count = 10) {
  return capture_exit([&] { check_directives(read_lines(lines), var_count, "f.cnf"); });
}

// Lines that must end the process, each group with exactly its message and status 1.
using fatal_case = std::pair<std::vector<std::string>, std::string>;
void expect_fatal(const std::vector<fatal_case>& cases) {
  for (const auto& [lines, message] : cases) {
    SCOPED_TRACE(lines.back());
    exit_outcome outcome = outcome_of(lines);
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, message);
  }
}

using weight_list = std::vector<std::pair<int, mpq_class>>;

weight_list weights_of(const count_directives& d) {
  weight_list weights;
  for (const literal_weight& w : d.weights) weights.emplace_back(w.literal, w.weight);
  return weights;
}

weight_list completed_weights_of(const std::vector<std::string>& lines) {
  count_directives d = read_lines(lines);
  complete_legacy_weights(d);
  return weights_of(d);
}

mpq_class q(const char* text) { return mpq_class(text, 10); }

mpz_class power_of_ten(unsigned long exponent) {
  mpz_class power;
  mpz_ui_pow_ui(power.get_mpz_t(), 10, exponent);
  return power;
}

exit_outcome load_cnf(const std::string& text, std::unique_ptr<cnf>& formula) {
  temp_dir dir;
  std::string path = dir.write("f.cnf", text);
  return capture_exit([&] { formula = get_cnf_from_file(path.c_str(), true); });
}

const std::string WEIGHT_FORM = "\nExpected: c p weight LITERAL WEIGHT 0";
const std::string W_FORM = "\nExpected: w LITERAL WEIGHT [0]";
const std::string SHOW_FORM = "\nExpected: c p show VARIABLE ... 0";

}  // namespace

TEST(ExactNumbers, DecimalsAndFractionsParseToTheirExactValue) {
  const std::pair<const char*, const char*> cases[] = {
      {"0.3", "3/10"}, {"3e-5", "3/100000"}, {"-1.5", "-3/2"}, {"+2", "2"},       {".5", "1/2"},
      {"5.", "5"},     {"1E+3", "1000"},     {"1/4", "1/4"},   {"-3/8", "-3/8"},  {"6/4", "3/2"},
      {"-0.0", "0"},   {"007", "7"},         {"010/4", "5/2"}, {"2.5e-1", "1/4"},
  };
  for (const auto& [text, expected] : cases) {
    mpq_class value;
    ASSERT_TRUE(parse_exact_number(text, value)) << text;
    EXPECT_EQ(value, q(expected)) << text;
  }
  mpq_class value;
  ASSERT_TRUE(parse_exact_number("0." + std::string(99, '0') + "1", value));
  EXPECT_EQ(value * power_of_ten(100), 1);
  ASSERT_TRUE(parse_exact_number("-1e-10000", value));  // the largest exponent taken
  EXPECT_EQ(value * power_of_ten(10000), -1);
  for (const char* text :
       {"",      "+",    "-",  ".",     "e5",    "1e",   "1e+", "inf", "nan", "0x10",    "1/0",
        "1.5/2", "1/-2", "/2", "1/4/5", "1e3/2", "0.3x", " 1",  "1,5", "--1", "1e10001", "1e99999999999999999999"})
    EXPECT_FALSE(parse_exact_number(text, value)) << text;
}

TEST(DirectiveLines, EveryFormIsReadWithItsLineAndNamedVariables) {
  const std::vector<std::string> lines = {
      "c t pwmc",
      "c p weight 3 0.3 0",
      "c p weight -3 7/10 0\r",
      "w\t2  1e-1",
      "w -2 0.9 0",
      "c p show 5 1 0",
      "c ind 4 1 0",
      "vp 2 0",
      "  c p show 0",
  };
  count_directives d;
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_TRUE(read_directive_line(lines[i], i + 1, d)) << lines[i];
  EXPECT_TRUE(d.type_given);
  EXPECT_EQ(d.type, count_type::pwmc);
  EXPECT_EQ(weights_of(d), (weight_list{{3, q("3/10")}, {-3, q("7/10")}, {2, q("1/10")}, {-2, q("9/10")}}));
  EXPECT_EQ(d.weights[2].line, 4u);
  EXPECT_FALSE(d.weights[1].from_w_line);
  EXPECT_TRUE(d.weights[3].from_w_line);
  EXPECT_TRUE(d.projection_given);
  EXPECT_EQ(d.shown, (std::vector<unsigned>{1, 2, 4, 5}));
  using named_list = std::vector<std::pair<unsigned, unsigned long>>;
  EXPECT_EQ(d.named, (named_list{{3, 2}, {3, 3}, {2, 4}, {2, 5}, {5, 6}, {1, 6}, {4, 7}, {1, 7}, {2, 8}}));

  count_directives empty = read_lines({"c p show 0"});
  EXPECT_TRUE(empty.projection_given && empty.shown.empty());
  // Lines out of order still give each variable once, ascending.
  EXPECT_EQ(read_lines({"c ind 9 7 9 0", "c ind 3 8 7 0", "c p show 1 0"}).shown,
            (std::vector<unsigned>{1, 3, 7, 8, 9}));
  EXPECT_EQ(read_lines({"c t mc", "c t mc"}).type, count_type::mc);  // the same type twice is fine
}

TEST(DirectiveLines, ProseAndOtherLinesStayOrdinaryComments) {
  for (const char* line : {"c", "c t", "c t is the type", "c t\tmc wmc", "c p", "c p is the probability", "c p cnf 3 4",
                           "c p weightless 1 0", "c p showing 1 0", "c weight 1 0.5 0", "ct mc", "cp weight 1 0.5 0",
                           "", "   ", "p cnf 3 1", "1 2 0", "wx 1 0.5", "v 1 0", "vpx 1 0"}) {
    count_directives d;
    EXPECT_FALSE(read_directive_line(line, 1, d)) << line;
    EXPECT_FALSE(d.type_given || d.projection_given || !d.weights.empty() || !d.named.empty()) << line;
  }
}

TEST(DirectiveLines, MalformedDirectivesEndWithTheirLineAndExpectedForm) {
  expect_fatal({
      {{"c p weight 3 x 0"}, "\nLine 1: malformed weight directive: c p weight 3 x 0" + WEIGHT_FORM},
      {{"c", "c p weight 3 0.5"}, "\nLine 2: malformed weight directive: c p weight 3 0.5" + WEIGHT_FORM},
      {{"c p weight 0 0.5 0"}, "\nLine 1: malformed weight directive: c p weight 0 0.5 0" + WEIGHT_FORM},
      {{"c p weight 3 0.5 0 7"}, "\nLine 1: malformed weight directive: c p weight 3 0.5 0 7" + WEIGHT_FORM},
      {{"c p weight -2147483648 1 0"},
       "\nLine 1: malformed weight directive: c p weight -2147483648 1 0" + WEIGHT_FORM},
      {{"w 3"}, "\nLine 1: malformed weight line: w 3" + W_FORM},
      {{"w 0 0.5"}, "\nLine 1: malformed weight line: w 0 0.5" + W_FORM},
      {{"w 3 0.5 1"}, "\nLine 1: malformed weight line: w 3 0.5 1" + W_FORM},
      {{"c p show 1 2"}, "\nLine 1: malformed projection directive: c p show 1 2" + SHOW_FORM},
      {{"c p show 1 -2 0"}, "\nLine 1: malformed projection directive: c p show 1 -2 0" + SHOW_FORM},
      {{"c p show 1 0 2 0"}, "\nLine 1: malformed projection directive: c p show 1 0 2 0" + SHOW_FORM},
      {{"c ind x 0"}, "\nLine 1: malformed projection directive: c ind x 0\nExpected: c ind VARIABLE ... 0"},
      {{"vp 1 2147483648 0"},
       "\nLine 1: malformed projection directive: vp 1 2147483648 0\nExpected: vp VARIABLE ... 0"},
      {{"c t count"}, "\nLine 1: unknown problem type \"count\" (mc, wmc, pmc or pwmc): c t count"},
      {{"c t wmc", "c t pwmc"}, "\nLine 2: problem type pwmc contradicts the type wmc given before."},
      // Messages show no raw control bytes and cut long lines.
      {{"c p weight 3 \x1b[31m 0\r"}, "\nLine 1: malformed weight directive: c p weight 3 \\x1B[31m 0" + WEIGHT_FORM},
      {{"c p show 1 " + std::string(200, '7')},
       "\nLine 1: malformed projection directive: c p show 1 " + std::string(66, '7') + "..." + SHOW_FORM},
  });
}

TEST(DirectiveChecks, RejectUndeclaredVariablesConflictingWeightsAndContradictedTypes) {
  for (const std::vector<std::string>& lines :
       std::vector<std::vector<std::string>>{{"c p weight -10 1 0", "c p show 10 1 0"},
                                             {"c p weight 3 0.5 0", "c p weight 3 1/2 0", "w 3 5e-1"},
                                             {"c t mc"},
                                             {"c t wmc"},
                                             {"c t pmc", "c p show 0"},
                                             {"c t pwmc", "vp 1 0", "w 1 0.5"},
                                             {"c p weight 1 0.5 0", "c ind 1 0"}}) {
    EXPECT_FALSE(outcome_of(lines).exited) << lines.front();
  }
  const std::string projection = " (\"c p show\", \"c ind\" or \"vp\" line) is given.";
  expect_fatal({
      {{"c p weight 11 0.5 0"}, "\nf.cnf: line 1 names variable 11, but the variables are 1 to 10."},
      {{"c", "w -11 0.5"}, "\nf.cnf: line 2 names variable 11, but the variables are 1 to 10."},
      {{"c ind 1 2 0", "vp 3 2147483647 0"},
       "\nf.cnf: line 2 names variable 2147483647, but the variables are 1 to 10."},
      {{"c p weight 3 0.5 0", "c p weight 3 0.25 0"}, "\nf.cnf: literal 3 weighs 1/2 by line 1 but 1/4 by line 2."},
      {{"w 3 0.2", "w 3 0.3"}, "\nf.cnf: literal 3 weighs 1/5 by line 1 but 3/10 by line 2."},
      {{"c t mc", "c", "c p weight 1 0.5 0"}, "\nf.cnf: the problem type is mc, but line 3 gives a weight."},
      {{"w 2 0.5", "c t pmc", "c p show 1 0"}, "\nf.cnf: the problem type is pmc, but line 1 gives a weight."},
      {{"c t pwmc"}, "\nf.cnf: the problem type is pwmc, but no projection (\"c p show\" line) is given."},
      {{"c t wmc", "c p show 1 0"}, "\nf.cnf: the problem type is wmc, but a projection" + projection},
      {{"c t mc", "c ind 0"}, "\nf.cnf: the problem type is mc, but a projection" + projection},
  });
  EXPECT_EQ(outcome_of({"w 1 0.5"}, 0).output, "\nf.cnf: line 1 names variable 1, but the variables are 1 to 0.");
}

TEST(DirectiveChecks, TheTypeFollowsTheDirectivesWhenNoneIsGiven) {
  EXPECT_EQ(resolved_count_type(read_lines({})), count_type::mc);
  EXPECT_EQ(resolved_count_type(read_lines({"w 1 0.5"})), count_type::wmc);
  EXPECT_EQ(resolved_count_type(read_lines({"c p show 0"})), count_type::pmc);
  EXPECT_EQ(resolved_count_type(read_lines({"c ind 1 0", "c p weight 1 2 0"})), count_type::pwmc);
  EXPECT_EQ(resolved_count_type(read_lines({"c t wmc"})), count_type::wmc);
  EXPECT_STREQ(count_type_name(count_type::pwmc), "pwmc");
}

TEST(LegacyWeights, APositiveProbabilityWeighsItsNegationAndMinusOneMeansUnweighted) {
  EXPECT_EQ(completed_weights_of({"w 3 0.25"}), (weight_list{{3, q("1/4")}, {-3, q("3/4")}}));
  EXPECT_EQ(completed_weights_of({"w 3 -1"}), (weight_list{{3, 1}, {-3, 1}}));
  EXPECT_EQ(completed_weights_of({"w -3 -1 0"}), (weight_list{{3, 1}, {-3, 1}}));
  EXPECT_EQ(completed_weights_of({"w 3 0.2", "w -3 0.5"}), (weight_list{{3, q("1/5")}, {-3, q("1/2")}}));
  EXPECT_EQ(completed_weights_of({"w 3 0.2", "c p weight -3 0.5 0"}), (weight_list{{3, q("1/5")}, {-3, q("1/2")}}));
  // Only "w" lines, only positive literals, only weights in [0, 1] are completed.
  EXPECT_EQ(completed_weights_of({"c p weight 3 0.25 0", "c p weight 4 -1 0"}), (weight_list{{3, q("1/4")}, {4, -1}}));
  EXPECT_EQ(completed_weights_of({"w -3 0.25"}), (weight_list{{-3, q("1/4")}}));
  EXPECT_EQ(completed_weights_of({"w 3 1.5", "w 4 -0.5"}), (weight_list{{3, q("3/2")}, {4, q("-1/2")}}));
  EXPECT_EQ(completed_weights_of({"w 3 0", "w 4 1"}), (weight_list{{3, 0}, {-3, 1}, {4, 1}, {-4, 0}}));
  // The mark weighs both literals 1: it agrees with a weight of 1 and contradicts any other.
  EXPECT_EQ(completed_weights_of({"w 3 -1", "w 3 1"}), (weight_list{{3, 1}, {-3, 1}, {3, 1}}));
  EXPECT_FALSE(outcome_of({"w 3 -1", "c p weight -3 1 0", "w 3 1"}).exited);
  expect_fatal({
      {{"w 3 -1", "c p weight -3 0.5 0"}, "\nf.cnf: literal -3 weighs 1 by line 1 but 1/2 by line 2."},
      {{"w 3 0.25", "w 3 -1"}, "\nf.cnf: literal 3 weighs 1/4 by line 1 but 1 by line 2."},
  });
  // Completing twice changes nothing.
  count_directives d = read_lines({"w 3 0.25", "w 4 -1"});
  complete_legacy_weights(d);
  weight_list once = weights_of(d);
  complete_legacy_weights(d);
  EXPECT_EQ(weights_of(d), once);
}

TEST(WeightFiles, HoldDirectivesCommentsAndBlankLinesOnly) {
  temp_dir dir;
  std::string good = dir.write("good.w", "c weights\n\n  \t\r\nw 1 0.25\r\nc p weight 2 3/2 0\nc ind 2 0\nc t pwmc\n");
  count_directives d = read_weight_file(good.c_str());
  EXPECT_EQ(weights_of(d), (weight_list{{1, q("1/4")}, {-1, q("3/4")}, {2, q("3/2")}}));
  EXPECT_EQ(d.shown, std::vector<unsigned>{2});
  EXPECT_EQ(d.type, count_type::pwmc);

  std::string bad_path = dir.file("bad.w");
  const std::pair<std::string, std::string> bad[] = {
      {"c fine\n1 2 0\n", "\nLine 2 of " + bad_path + ": neither a directive nor a comment: 1 2 0"},
      {"p cnf 2 1\n", "\nLine 1 of " + bad_path + ": neither a directive nor a comment: p cnf 2 1"},
      {"w 1 0.5\nc p weight 1 x 0\n", "\nLine 2: malformed weight directive: c p weight 1 x 0" + WEIGHT_FORM},
  };
  for (const auto& [text, message] : bad) {
    dir.write("bad.w", text);
    exit_outcome outcome = capture_exit([&] { read_weight_file(bad_path.c_str()); });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, message);
  }
  EXPECT_EQ(capture_exit([] { read_weight_file("/nonexistent/f.w"); }).output, "\nCannot open file: /nonexistent/f.w (No such file or directory)");
  EXPECT_EQ(capture_exit([&] { read_weight_file(dir.path().c_str()); }).output, "\nCannot read file: " + dir.path());
}

TEST(CnfDirectives, TheReaderTakesDirectivesAroundTheProblemLineAndChecksThem) {
  std::unique_ptr<cnf> f;
  exit_outcome loaded =
      load_cnf("c t pwmc\n\nc p show 1 0\np cnf 3 2\n1\n 2 0\nc p weight -2 0.5 0\nw 3 0.1\nvp 3 0\n2 3 0\n", f);
  ASSERT_FALSE(loaded.exited) << loaded.output;
  EXPECT_EQ(f->clauses.size(), 2u);
  EXPECT_EQ(f->directives.type, count_type::pwmc);
  EXPECT_EQ(f->directives.shown, (std::vector<unsigned>{1, 3}));
  EXPECT_EQ(weights_of(f->directives), (weight_list{{-2, q("1/2")}, {3, q("1/10")}, {-3, q("9/10")}}));
  EXPECT_EQ(f->directives.weights[0].line, 7u);  // the physical line, past a blank line and a two-line clause

  const std::pair<std::string, std::string> bad[] = {
      {"p cnf 2 1\n\n1 2 0\nc p weight 3 0.5 0\n", "f.cnf: line 4 names variable 3, but the variables are 1 to 2."},
      {"p cnf 2 1\n1 2\n 0\nc p weight 2 x 0\n",
       "\nLine 4: malformed weight directive: c p weight 2 x 0" + WEIGHT_FORM},
      {"c t pmc\np cnf 2 1\n1 2 0\n",
       "f.cnf: the problem type is pmc, but no projection (\"c p show\" line) is given."},
      {"p cnf 2 1\n1 2 0\nwx 1 0.5\n", "Unknown Line 3: wx 1 0.5\n"},
      {"p cnf 2 1\n1 2 0\nv 1 0\n", "Unknown Line 3: v 1 0\n"},
  };
  for (const auto& [text, message] : bad) {
    exit_outcome outcome = load_cnf(text, f);
    EXPECT_EQ(outcome.status, 1) << text;
    EXPECT_NE(outcome.output.find(message), std::string::npos) << outcome.output;
  }
}
