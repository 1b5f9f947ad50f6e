// Reduction, smoothing, minimisation, counting and the checks, run by the tarn program after
// compiling, judged by the independent brute-force evaluator.
#include "e2e/brute_force.h"
#include "e2e/random_cnf.h"
#include "e2e/search_variants.h"
#include "test_support.h"

using tarn_test::file_exists;
using tarn_test::read_file;
using tarn_test::run_result;
using tarn_test::run_tarn;
using tarn_test::temp_dir;

namespace {

struct outcome {
  run_result run;
  brute_force::circuit circuit;
  brute_force::verdict verdict;
};

outcome run_on(const temp_dir& dir, const std::string& text, std::vector<std::string> options) {
  dir.write("f.cnf", text);
  std::remove(dir.file("f.cnf.nnf").c_str());
  std::vector<std::string> args{"-in", "f.cnf", "-silent", "-dt_method", "4"};
  args.insert(args.end(), options.begin(), options.end());
  outcome o{run_tarn(args, dir.path()), {}, {}};
  std::string nnf = read_file(dir.file("f.cnf.nnf"));
  if (!nnf.empty()) {
    o.circuit = brute_force::parse_nnf(nnf);
    if (o.circuit.vars <= 20) o.verdict = brute_force::judge(o.circuit);
  }
  return o;
}

// Runs every post-processing mode on random formulas and checks each result, the searches taking
// turns.
template <typename Check>
void for_random_formulas(unsigned seed, unsigned rounds, Check check) {
  std::mt19937 random(seed);
  temp_dir dir;
  random_cnf::shape shape;
  shape.max_vars = 9;
  for (unsigned round = 0; round < rounds && !testing::Test::HasFailure(); ++round) {
    shape.eclauses = round % 4 == 3;
    std::string text = random_cnf::generate(random, shape);
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + "\n" + text);
    brute_force::formula f = brute_force::parse_cnf(text);
    const std::vector<std::string>& search = search_variants()[round % search_variants().size()];
    check(dir, text, f, brute_force::models(f), search);
  }
}

}  // namespace

// Every mode on random formulas, with and without reduction: the checks pass on the compiled
// circuit; reduction keeps the function and never adds edges; smoothing keeps it and smooths;
// minimisation keeps exactly the minimum-cardinality models; every count matches.
TEST(PostProcessing, EveryModeKeepsItsPromiseOnRandomFormulas) {
  for_random_formulas(11, 40, [](const temp_dir& dir, const std::string& text, const brute_force::formula& f,
                                 const brute_force::table& models, const std::vector<std::string>& search) {
    std::vector<std::string> check_options{"-check_entailment"};
    check_options.insert(check_options.end(), search.begin(), search.end());
    outcome plain = run_on(dir, text, check_options);
    ASSERT_EQ(plain.run.status, 0) << plain.run.out;
    std::string checks = tarn_test::mask_times(plain.run.out);
    EXPECT_EQ(checks.substr(checks.find("\nChecking")),
              "\nChecking decomposability...OK / <t>\nChecking entailment...OK  / <t>\n");
    brute_force::table least = brute_force::minimum_cardinality_models(models, f.vars);
    for (const std::string mode : {"", "-smooth", "-smooth_all", "-minimize"}) {
      for (bool reduce : {false, true}) {
        SCOPED_TRACE(mode + (reduce ? " -reduce" : ""));
        std::vector<std::string> options{"-count"};
        options.insert(options.end(), search.begin(), search.end());
        if (!mode.empty()) options.push_back(mode);
        if (reduce) options.push_back("-reduce");
        outcome o = run_on(dir, text, options);
        ASSERT_EQ(o.run.status, 0) << o.run.out;
        ASSERT_EQ(o.verdict.problem, "");
        const brute_force::table& expected = mode == "-minimize" ? least : models;
        EXPECT_TRUE(o.verdict.function == expected);
        EXPECT_EQ(tarn_test::count_printed(o.run.out), std::to_string(expected.count()));
        EXPECT_TRUE(mode.empty() || brute_force::smooth(o.circuit, mode != "-smooth"));
        EXPECT_TRUE(!mode.empty() || !reduce || o.circuit.declared_edges <= plain.circuit.declared_edges);
      }
    }
  });
}

// What the run prints (times masked) for small formulas: the in-memory circuit is counted and
// never written, silent runs print only the banner and the answers, counts beyond 64 bits are
// exact, and the output ends with a complete line.
TEST(PostProcessing, PrintsTheAnswersOfEachMode) {
  const std::string banner = "\ntarn compiler version 2.20\n";
  auto answer = [](const std::string& count, const std::string& log10) {
    return "\nCounting..." + count + " models / <t>\ns SATISFIABLE\nc s type mc\nc s log10-estimate " + log10 +
           "\nc s exact arb int " + count + "\n";
  };
  const std::string big = "950737950171172051122527404032";
  struct output_case {
    std::string cnf;
    std::vector<std::string> options;
    std::string output;
  };
  const output_case cases[] = {
      {"p cnf 4 2\n1 2 0\n-2 3 0\n", {"-in_memory", "-count"}, banner + answer("8", "0.903089986991944")},
      {"p cnf 4 2\n1 2 0\n-2 3 0\n", {"-in_memory"}, banner},
      {"p cnf 3 2\n1 -2 0\n2 3 0\n", {"-count"}, banner + answer("4", "0.602059991327962")},
      {"p cnf 100 1\n1 2 0\n", {"-count"}, banner + answer(big, "29.9780608297898")},
      {"p cnf 100 1\n1 2 0\n", {"-count", "-smooth_all"}, banner + answer(big, "29.9780608297898")},
      // A variable excepted from decomposition makes the circuit non-decomposable, a forgotten
      // one keeps it from entailing the CNF: entailment cannot be decided.
      {"p cnf 4 3\n1 2 0\n2 3 0\n3 4 0\n", {"-exist", "exist", "-decompose_except", "except", "-check_entailment"},
       banner +
           "\nChecking decomposability...shared vars: 2 Failed!!! / <t>\nChecking entailment...Cannot decide!!! / <t>\n"},
      {"p cnf 4 3\n1 2 0\n2 3 0\n3 4 0\n", {"-exist", "exist", "-check_entailment"},
       banner + "\nChecking decomposability...OK / <t>\nChecking entailment...Failed!!!  / <t>\n"},
  };
  temp_dir dir;
  dir.write("exist", "1 4\n");
  dir.write("except", "1 2\n");
  for (const output_case& c : cases) {
    SCOPED_TRACE(c.cnf + c.options[0]);
    outcome o = run_on(dir, c.cnf, c.options);
    EXPECT_EQ(o.run.status, 0);
    EXPECT_EQ(tarn_test::mask_times(o.run.out), c.output);
    EXPECT_EQ(file_exists(dir.file("f.cnf.nnf")), c.options[0] != "-in_memory");
  }
}

TEST(PostProcessing, StepsRunInTheirFixedOrderWithTheirMessages) {
  temp_dir dir;
  dir.write("f.cnf", "p cnf 3 2\n1 -2 0\n2 3 0\n");
  run_result r = run_tarn({"-in", "f.cnf", "-count", "-smooth", "-reduce", "-dt_method", "4", "-visualize"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  std::size_t reducing = r.out.find("\nReducing ");
  std::size_t smoothing = r.out.find("\nSmoothing ");
  std::size_t counting = r.out.find("\nCounting...4 models / ");
  ASSERT_NE(reducing, std::string::npos);
  ASSERT_NE(smoothing, std::string::npos);
  ASSERT_NE(counting, std::string::npos);
  EXPECT_LT(reducing, smoothing);
  EXPECT_LT(smoothing, counting);
  std::string out = tarn_test::mask_times(r.out);
  const std::string ending =
      "\n\nTotal Time: <t> / Wall Time: <t>\n\ns SATISFIABLE\nc s type mc\nc s log10-estimate 0.602059991327962\nc s exact arb int 4\n";
  EXPECT_EQ(out.substr(out.size() - ending.size()), ending);
  for (const char* picture : {"cnf.vcg", "dtree.vcg", "nnf.vcg", "reduced_nnf.vcg", "smoothed_nnf.vcg"})
    EXPECT_TRUE(file_exists(dir.file(picture))) << picture;
  EXPECT_FALSE(file_exists(dir.file("minimized_nnf.vcg")));
}

TEST(PostProcessing, MinimizationReplacesSmoothingAndItsPictureReplacesTheCircuitPicture) {
  temp_dir dir;
  dir.write("f.cnf", "p cnf 3 2\n1 -2 0\n2 3 0\n");
  run_result r = run_tarn({"-in", "f.cnf", "-smooth", "-minimize", "-visualize", "-dt_method", "4"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\nMinimizing "), std::string::npos);
  EXPECT_EQ(r.out.find("\nSmoothing "), std::string::npos);
  EXPECT_FALSE(file_exists(dir.file("nnf.vcg")));
  EXPECT_TRUE(file_exists(dir.file("minimized_nnf.vcg")));
}
