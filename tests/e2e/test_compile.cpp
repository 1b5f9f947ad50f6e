// The tarn program on CNF files, its circuits judged by the independent brute-force evaluator.
#include <gmpxx.h>

#include "e2e/brute_force.h"
#include "e2e/random_cnf.h"
#include "e2e/search_variants.h"
#include "test_support.h"

using tarn_test::run_result;
using tarn_test::run_tarn;
using tarn_test::temp_dir;

namespace {

struct compiled {
  run_result run;
  std::string circuit_text;
};

compiled compile(const temp_dir& dir, const std::string& cnf_text, std::vector<std::string> options) {
  dir.write("f.cnf", cnf_text);
  std::remove(dir.file("f.cnf.nnf").c_str());
  std::vector<std::string> args{"-in", "f.cnf"};
  args.insert(args.end(), options.begin(), options.end());
  compiled c{run_tarn(args, dir.path()), ""};
  c.circuit_text = tarn_test::read_file(dir.file("f.cnf.nnf"));
  return c;
}

// Compiles and checks: the run succeeds, the circuit is well formed, decomposable and
// deterministic, and its function is `expected`.
void expect_circuit(const temp_dir& dir, const std::string& cnf_text, const std::vector<std::string>& options,
                    const brute_force::table& expected) {
  compiled c = compile(dir, cnf_text, options);
  ASSERT_EQ(c.run.status, 0) << c.run.out << c.run.err;
  EXPECT_EQ(c.run.err, "");
  brute_force::circuit circuit = brute_force::parse_nnf(c.circuit_text);
  brute_force::verdict v = brute_force::judge(circuit);
  ASSERT_EQ(v.problem, "") << c.circuit_text;
  EXPECT_TRUE(v.function == expected) << c.circuit_text;
}

const std::vector<std::vector<std::string>> OPTION_SETS = under_every_search({
    {},
    {"-dt_method", "1", "-ubfs", "10", "12", "-dt_count", "2"},
    {"-dt_count", "3", "-no_ddb"},
    {"-dt_method", "2"},
    {"-dt_method", "3"},
    {"-dt_method", "4"},
    {"-dt_method", "3", "-no_ddb"},
    {"-dt_method", "4", "-no_cache"},
    {"-dt_method", "2", "-no_ddb", "-no_cache"},
});

void check_random_formulas(unsigned seed, unsigned rounds, const random_cnf::shape& shape) {
  std::mt19937 random(seed);
  temp_dir dir;
  for (unsigned round = 0; round < rounds; ++round) {
    std::string text = random_cnf::generate(random, shape);
    brute_force::table expected = brute_force::models(brute_force::parse_cnf(text));
    for (const auto& options : OPTION_SETS) {
      std::vector<std::string> args = options;
      args.push_back("-silent");
      std::string joined;
      for (const auto& a : args) joined += a + " ";
      SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + " options " + joined + "\n" +
                   text);
      expect_circuit(dir, text, args, expected);
      if (testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace

TEST(Compile, RandomThreeCnfCircuitsAreEquivalentDecomposableAndDeterministicUnderEveryOptionSet) {
  check_random_formulas(1001, 25, random_cnf::shape{});
}

TEST(Compile, FormulasWithEclausesCompileToTheirExactlyOneSemantics) {
  random_cnf::shape shape;
  shape.eclauses = true;
  shape.max_clauses = 12;
  check_random_formulas(2002, 25, shape);
}

TEST(Compile, DenseFormulasWithManyConflictsStayCorrect) {
  random_cnf::shape shape;
  shape.min_vars = 8;
  shape.max_vars = 12;
  shape.min_clauses = 30;
  shape.max_clauses = 60;
  shape.max_width = 3;
  check_random_formulas(3003, 12, shape);
}

TEST(Compile, EdgeFormulas) {
  temp_dir dir;
  const char* formulas[] = {
      "p cnf 3 0\n",                               // no clauses: every assignment
      "p cnf 2 2\n1 -1 0\n2 -2 0\n",               // only tautologies
      "p cnf 3 2\n2 0\n-3 0\n",                    // unit clauses only
      "p cnf 2 2\n1 0\n-1 0\n",                    // contradicting units
      "p cnf 3 1\n1 -2 3 0\n",                     // one clause: the dtree is one leaf
      "p cnf 4 3\n1 2 0\n1 2 0\n-3 4 0\n",         // duplicate clauses
      "p cnf 3 4\n1 2 0\n-1 2 0\n1 -2 0\n-1 -2 0\n",  // unsatisfiable without units
      "p cnf 5 2\neclauses 1\n1 2 0\n3 4 5 0\n",   // an eclause
  };
  for (const char* text : formulas) {
    SCOPED_TRACE(text);
    brute_force::table expected = brute_force::models(brute_force::parse_cnf(text));
    for (const auto& options : OPTION_SETS) {
      std::vector<std::string> args = options;
      args.push_back("-silent");
      expect_circuit(dir, text, args, expected);
    }
  }
}

TEST(Compile, ExistentialVariablesAreForgotten) {
  std::mt19937 random(4004);
  temp_dir dir;
  for (int round = 0; round < 30; ++round) {
    std::string text = random_cnf::generate(random, random_cnf::shape{});
    brute_force::formula f = brute_force::parse_cnf(text);
    std::vector<unsigned> exist;
    for (unsigned v = 1; v <= f.vars; ++v)
      if (random() % 3 == 0) exist.push_back(v);
    std::string list = std::to_string(exist.size());
    brute_force::table expected = brute_force::models(f);
    for (unsigned v : exist) {
      list += " " + std::to_string(v);
      expected = expected.forget(v);
    }
    dir.write("exist", list + "\n");
    SCOPED_TRACE(text + "exist: " + list);
    for (const auto& search : search_variants()) {
      std::vector<std::string> options{"-exist", "exist", "-silent", "-dt_method", std::to_string(2 + round % 3)};
      options.insert(options.end(), search.begin(), search.end());
      compiled c = compile(dir, text, options);
      ASSERT_EQ(c.run.status, 0) << c.run.out;
      brute_force::verdict v = brute_force::judge(brute_force::parse_nnf(c.circuit_text));
      ASSERT_EQ(v.problem, "");
      // The circuit mentions no forgotten variable, so its function is the projection.
      EXPECT_TRUE(v.function == expected) << c.circuit_text;
    }
  }
}

TEST(Compile, CorpusFormulasHaveTheirKnownCounts) {
  std::string dir_path = std::string(TARN_TEST_DATA) + "/known_counts";
  std::istringstream table(tarn_test::read_file(dir_path + "/counts.tsv"));
  std::string name, count;
  temp_dir dir;
  while (table >> name >> count) {
    SCOPED_TRACE(name);
    for (const auto& options : under_every_search({{"-count"}, {"-count", "-dt_method", "4"},
                                                   {"-count", "-dt_method", "4", "-no_ddb"}})) {
      compiled c = compile(dir, tarn_test::read_file(dir_path + "/" + name), options);
      ASSERT_EQ(c.run.status, 0) << c.run.out;
      EXPECT_EQ(tarn_test::count_printed(c.run.out), count);
    }
  }
}

// With learning, a clause learned elsewhere can prune a node's search; the dtree of seed 1 on this
// formula once cached such a pruned result and reused it where the pruning did not hold, and the
// count came out too large.
TEST(Compile, ALearnedClauseNeverShapesACachedResult) {
  std::string text = tarn_test::read_file(std::string(TARN_TEST_DATA) + "/learned_clauses/logistics_b_simplified.cnf");
  temp_dir dir;
  compiled c = compile(dir, text, {"-count", "-silent", "-seed", "1"});
  ASSERT_EQ(c.run.status, 0) << c.run.out << c.run.err;
  EXPECT_EQ(tarn_test::count_printed(c.run.out), "452617045003614325571584");
}

// An elimination order along a chain makes a dtree as deep as the formula is long, and the
// search decides along the whole chain: neither may overflow the stack.
TEST(Compile, ADtreeThousandsOfLevelsDeepCompiles) {
  const unsigned n = 20000;
  std::string text = "p cnf " + std::to_string(n) + " " + std::to_string(n - 1) + "\n";
  for (unsigned i = 1; i < n; ++i) text += std::to_string(i) + " " + std::to_string(i + 1) + " 0\n";
  // The chain (x1 or x2), ..., (xn-1 or xn) has F(n + 2) models, F the Fibonacci numbers.
  mpz_class chain_count;
  mpz_fib_ui(chain_count.get_mpz_t(), n + 2);
  temp_dir dir;
  for (const char* method : {"2", "3"}) {
    compiled c = compile(dir, text, {"-count", "-silent", "-dt_method", method});
    ASSERT_EQ(c.run.status, 0) << c.run.out << c.run.err;
    EXPECT_EQ(tarn_test::count_printed(c.run.out), chain_count.get_str());
  }
}
