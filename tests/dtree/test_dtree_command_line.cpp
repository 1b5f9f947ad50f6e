// The dtree options of the program: -dt_method, -dt_out, -dt_in, -block_order_in, -seed and -threads.
#include <cstdint>
#include <tuple>

#include "dtree_test_support.h"

using namespace dtree_test;
using tarn_test::file_exists;
using tarn_test::run_result;

namespace {

run_result run_tarn(const temp_dir& dir, const std::string& arguments) {
  return tarn_test::run_tarn_line(dir.path(), arguments);
}

const char* const CHAIN = "c a chain\np cnf 5 4\n1 -2 0\n2 3 0\n-3 4 0\n4 5 1 0\n";

// Clauses over the same variables, some in another literal order: the bisection joins each
// group in a vine.
const char* const DUPLICATES =
    "p cnf 9 14\n1 2 3 0\n-3 -1 2 0\n3 4 0\n4 3 0\n-4 5 -6 0\n6 1 0\n2 -5 7 0\n7 -2 -5 0\n-7 8 9 0\n"
    "9 -8 0\n-9 -8 0\n1 2 3 0\n6 -4 5 0\n5 -6 4 0\n";
// Unit clauses, and variables 7 and 9 in no clause.
const char* const UNITS_AND_UNUSED =
    "p cnf 14 12\n3 0\n-11 0\n1 2 3 4 0\n-2 5 6 0\n-1 -6 8 0\n4 5 -8 0\n6 10 -12 0\n-10 12 13 0\n"
    "2 13 -14 0\n-13 14 1 0\n8 -14 10 0\n12 0\n";

std::string known_counts_file(const char* name) {
  return read_file(std::string(TARN_TEST_DATA) + "/known_counts/" + name);
}

// One block number per variable, for -block_order_in.
std::string three_blocks(unsigned vars) {
  std::string text;
  for (unsigned v = 1; v <= vars; ++v) text += std::to_string(v % 3) + " ";
  return text + "\n";
}

// Writes the file in dir and returns the option that makes a dtree by the method.
std::string method_option(const temp_dir& dir, int method, unsigned vars) {
  if (method != 5) return "-dt_method " + std::to_string(method);
  return "-block_order_in " + dir.write("blocks", three_blocks(vars));
}

}  // namespace

// The records alone fix the dtree's sets but not their orders, and the order of a node's
// separator decides ties between its decision variables: the file must carry the orders. These
// formulas compile to other circuits from their records alone, under one method or another.
TEST(DtreeCommandLine, CompilesTheSameCircuitFromTheDtreeItWrote) {
  temp_dir dir;
  const std::tuple<const char*, std::string, unsigned> formulas[] = {
      {"pigeons", known_counts_file("php-4-6.cnf"), 24},
      {"duplicates", DUPLICATES, 9},
      {"units", UNITS_AND_UNUSED, 14},
  };
  for (const auto& [name, text, vars] : formulas) {
    std::string cnf_path = dir.write("f.cnf", text);
    for (int method : {0, 1, 2, 3, 4, 5}) {
      SCOPED_TRACE(std::string(name) + " method " + std::to_string(method));
      run_result built = run_tarn(dir, "-in " + cnf_path + " " + method_option(dir, method, vars) + " -dt_out -silent");
      ASSERT_EQ(built.status, 0) << built.out;
      std::string circuit = read_file(cnf_path + ".nnf");
      std::string dtree = read_file(cnf_path + ".dtree");
      std::string given = dir.write("given.dtree", dtree);
      run_result loaded = run_tarn(dir, "-in " + cnf_path + " -dt_in " + given + " -dt_out -silent");
      ASSERT_EQ(loaded.status, 0) << loaded.out;
      EXPECT_EQ(read_file(cnf_path + ".nnf"), circuit);
      EXPECT_EQ(read_file(cnf_path + ".dtree"), dtree);
    }
  }
}

// A file of records alone, as earlier versions wrote it, still loads; its sets take the orders
// that the records give, which a saved copy then lists.
TEST(DtreeCommandLine, LoadsADtreeWithoutOrdersInTheOrdersItsRecordsGive) {
  temp_dir dir;
  std::string cnf_path = dir.write("f.cnf", known_counts_file("php-4-6.cnf"));
  ASSERT_EQ(run_tarn(dir, "-in " + cnf_path + " -dt_method 4 -dt_out -silent").status, 0);
  std::string written = read_file(cnf_path + ".dtree");
  std::string records = written.substr(0, written.find("orders\n"));
  std::string old_file = dir.write("old.dtree", records);
  run_result r = run_tarn(dir, "-in " + cnf_path + " -dt_in " + old_file + " -dt_out -silent");
  ASSERT_EQ(r.status, 0) << r.out;
  std::string circuit = read_file(cnf_path + ".nnf");
  std::string resaved = read_file(cnf_path + ".dtree");
  EXPECT_EQ(resaved.rfind(records + "orders\n", 0), 0u);
  std::string resaved_file = dir.write("resaved.dtree", resaved);
  ASSERT_EQ(run_tarn(dir, "-in " + cnf_path + " -dt_in " + resaved_file + " -silent").status, 0);
  EXPECT_EQ(read_file(cnf_path + ".nnf"), circuit);
}

TEST(DtreeCommandLine, EndsWithTheCorruptFileMessageOnABadOrdersTrailer) {
  temp_dir dir;
  std::string cnf_path = dir.write("f.cnf", CHAIN);
  ASSERT_EQ(run_tarn(dir, "-in " + cnf_path + " -dt_method 2 -dt_out -silent").status, 0);
  std::string good = read_file(cnf_path + ".dtree");
  std::size_t last_line = good.rfind('\n', good.size() - 2) + 1;
  std::size_t first_context = good.find(" ctx", good.find("orders"));
  const std::string bad[] = {
      good.substr(0, last_line),                                                   // the root's line missing
      good + "cut\n",                                                              // a line too many
      good.substr(0, first_context) + " ctx 6" + good.substr(first_context + 4),  // a variable beyond 5
      good.substr(0, last_line) + "cut 4294967296\n",                              // beyond 32 bits
  };
  for (const std::string& text : bad) {
    run_result r = run_tarn(dir, "-in " + cnf_path + " -dt_in " + dir.write("bad.dtree", text));
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_NE(r.out.find("\nDtree file corrupt"), std::string::npos) << r.out;
  }
}

TEST(DtreeCommandLine, WritesTheDtreeAndReadsItBackToTheSameFile) {
  temp_dir dir;
  std::string cnf_path = dir.write("f.cnf", CHAIN);
  for (const char* method : {"2", "3", "4"}) {
    run_result built = run_tarn(dir, "-in " + cnf_path + " -dt_method " + method + " -dt_out -silent");
    ASSERT_EQ(built.status, 0) << built.out;
    std::string first = read_file(cnf_path + ".dtree");
    EXPECT_EQ(first.rfind("dtree 7\n", 0), 0u) << first;
    std::rename((cnf_path + ".dtree").c_str(), dir.file("given.dtree").c_str());
    run_result loaded = run_tarn(dir, "-in " + cnf_path + " -dt_in " + dir.file("given.dtree") + " -dt_out");
    ASSERT_EQ(loaded.status, 0) << loaded.out;
    EXPECT_NE(loaded.out.find("\nLoading dtree from file...done.\nSaving dtree...done."), std::string::npos)
        << loaded.out;
    EXPECT_EQ(read_file(cnf_path + ".dtree"), first) << "method " << method;
  }
}

// A given dtree wins over a block order, which is then not even opened; a block order alone is
// marked even when silent, and must exist.
TEST(DtreeCommandLine, UsesTheBlockOrderOnlyWithoutAGivenDtree) {
  temp_dir dir;
  std::string cnf_path = dir.write("f.cnf", CHAIN);
  std::string dtree = dir.write("given.dtree", "dtree 7\nL 0\nL 1\nI 0 1\nL 2\nL 3\nI 3 4\nI 2 5\n");
  run_result r = run_tarn(dir, "-in " + cnf_path + " -dt_in " + dtree + " -block_order_in " + dir.file("missing") +
                                   " -dt_out -silent");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("===>"), std::string::npos);
  EXPECT_EQ(read_file(cnf_path + ".dtree").rfind(read_file(dtree) + "orders\n", 0), 0u) << "the given records";

  std::string blocks = dir.write("blocks", "1 0 1\n0 2\n");
  std::remove((cnf_path + ".dtree").c_str());
  r = run_tarn(dir, "-in " + cnf_path + " -block_order_in " + blocks + " -dt_out -silent");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\n===><===="), std::string::npos) << r.out;
  EXPECT_TRUE(file_exists(cnf_path + ".dtree"));
  r = run_tarn(dir, "-in " + cnf_path + " -block_order_in " + dir.file("nope"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\nCannot open file: "), std::string::npos) << r.out;
}

TEST(DtreeCommandLine, WritesNoDtreeForAFormulaWithoutClauses) {
  temp_dir dir;
  std::string cnf_path = dir.write("taut.cnf", "p cnf 2 2\n1 -1 0\n2 -2 1 0\n");
  run_result r = run_tarn(dir, "-in " + cnf_path + " -dt_method 4 -dt_out");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("has no clauses, so it has no dtree"), std::string::npos) << r.out;
  EXPECT_FALSE(file_exists(cnf_path + ".dtree"));
}

TEST(DtreeCommandLine, EndsWithTheDtreeMessagesOnABadDtreeFile) {
  temp_dir dir;
  std::string cnf_path = dir.write("f.cnf", CHAIN);
  const std::pair<std::string, std::string> cases[] = {
      {dir.write("a", "dtree 3\nL 0\nL 1\nI 0 1\n"), "dtree does not mactch cnf!"},
      {dir.write("b", "dtree 7\nL 0\n"), "\nDtree file corrupt"},
      {dir.file("none"), "Cannot open dtree file: "},
  };
  for (const auto& [file, message] : cases) {
    run_result r = run_tarn(dir, "-in " + cnf_path + " -dt_in " + file);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
  }
}

namespace {

// A random 3-CNF in DIMACS text, large enough that the tries' trees differ.
std::string random_3cnf_text(unsigned vars, unsigned clauses, unsigned seed) {
  std::mt19937 rng(seed);
  std::string text = "p cnf " + std::to_string(vars) + " " + std::to_string(clauses) + "\n";
  for (unsigned c = 0; c < clauses; ++c) {
    for (int k = 0; k < 3; ++k) {
      const int var = static_cast<int>(rng() % vars) + 1;
      text += std::to_string(rng() % 2 ? var : -var) + " ";
    }
    text += "0\n";
  }
  return text;
}

// The circuit and dtree files of one run, and the seed it printed.
struct seeded_run {
  std::string nnf, dtree;
  long seed = -1;
};

seeded_run run_seeded(const temp_dir& dir, const std::string& cnf_path, const std::string& options) {
  run_result r = run_tarn(dir, "-in " + cnf_path + " -dt_out " + options);
  EXPECT_EQ(r.status, 0) << r.out;
  seeded_run run{read_file(cnf_path + ".nnf"), read_file(cnf_path + ".dtree")};
  const std::size_t at = r.out.find("\nSeed=");
  if (at != std::string::npos) run.seed = std::stol(r.out.substr(at + 6));
  return run;
}

}  // namespace

// One run seed fixes every try, whatever the number of threads that make them and whatever the
// order they end in: the same dtree is chosen and the same circuit compiled.
TEST(DtreeCommandLine, ASeedRepeatsTheRunExactlyOnAnyNumberOfThreads) {
  temp_dir dir;
  std::string cnf_path = dir.write("f.cnf", random_3cnf_text(40, 150, 5));
  for (const char* method : {"0", "1"}) {
    const std::string fixed = std::string("-seed 1234567 -dt_method ") + method;
    const seeded_run sequential = run_seeded(dir, cnf_path, fixed + " -threads 1");
    EXPECT_EQ(sequential.seed, 1234567);
    for (const char* threads : {"1", "2", "4", "7"}) {
      const seeded_run parallel = run_seeded(dir, cnf_path, fixed + " -threads " + threads);
      EXPECT_EQ(parallel.dtree, sequential.dtree) << "method " << method << ", threads " << threads;
      EXPECT_EQ(parallel.nnf, sequential.nnf) << "method " << method << ", threads " << threads;
    }
  }
  std::set<std::string> dtrees;
  for (const char* seed : {"1", "2", "3", "4"}) dtrees.insert(run_seeded(dir, cnf_path, std::string("-seed ") + seed).dtree);
  EXPECT_GT(dtrees.size(), 1u) << "other seeds, other tries";
  const seeded_run clocked = run_seeded(dir, cnf_path, "");
  ASSERT_GE(clocked.seed, 0) << "the statistics give the seed a run drew from the clock";
  const seeded_run repeated = run_seeded(dir, cnf_path, "-seed " + std::to_string(clocked.seed));
  EXPECT_EQ(repeated.dtree, clocked.dtree);
  EXPECT_EQ(repeated.nnf, clocked.nnf);
}

TEST(DtreeCommandLine, SeedAndThreadCountMustBeWholeNumbersInRange) {
  temp_dir dir;
  std::string cnf_path = dir.write("f.cnf", CHAIN);
  for (const char* bad : {"-seed -1", "-seed 4294967296", "-threads 0", "-threads 1025"}) {
    run_result r = run_tarn(dir, "-in " + cnf_path + " " + bad);
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_NE(r.out.find("is out of range."), std::string::npos) << bad << ": " << r.out;
  }
  for (const char* bad : {"-seed 5abc", "-seed x", "-threads 2.5", "-threads ''"}) {
    run_result r = run_tarn(dir, "-in " + cnf_path + " " + bad);
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_NE(r.out.find("Incorrect usage"), std::string::npos) << bad << ": " << r.out;
  }
  EXPECT_EQ(run_tarn(dir, "-in " + cnf_path + " -seed 4294967295 -threads 1024 -silent").status, 0);
}

namespace {

std::uint64_t fnv1a(const std::string& text) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string chain_text(unsigned clauses) {
  std::string text = "p cnf " + std::to_string(clauses + 1) + " " + std::to_string(clauses) + "\n";
  for (unsigned i = 1; i <= clauses; ++i) text += std::to_string(i) + " -" + std::to_string(i + 1) + " 0\n";
  return text;
}

}  // namespace

// The tree a seed chooses is part of what a user may have recorded: speed-ups of the tries and of
// the partitioner must leave it exactly as it is. A change of these figures is a change of the
// default dtree, which needs an option of its own.
TEST(DtreeCommandLine, ASeedKeepsChoosingTheSameTree) {
  temp_dir dir;
  const std::string dense = dir.write("dense.cnf", random_3cnf_text(40, 150, 5));
  const std::string sparse = dir.write("sparse.cnf", chain_text(60));
  EXPECT_EQ(fnv1a(run_seeded(dir, dense, "-seed 99").dtree), 15585228017182842579ull);
  EXPECT_EQ(fnv1a(run_seeded(dir, sparse, "-seed 99").dtree), 11859871701125891308ull);
}
