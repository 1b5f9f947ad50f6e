#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "cnf/preprocessing.h"
#include "driver/utility.h"
#include "engine_fixtures.h"

using namespace engine_test;

namespace {

class CnfSimplification : public ::testing::Test {
 protected:
  void SetUp() override { set_tarn_defaults(); }
  void TearDown() override { set_tarn_defaults(); }
};

std::vector<std::vector<int>> clauses_of(const cnf& formula) {
  std::vector<std::vector<int>> result;
  for (const std::vector<int>& c : formula.clauses) result.emplace_back(c.begin(), c.end() - 1);
  return result;
}

// Unit literals binary resolution derives, as signed indices in variable order.
std::vector<int> derived_units(const cnf& formula) {
  auto m = manager_for(formula);
  unsigned before = count_unit_clauses(m.get());
  EXPECT_TRUE(binary_resolution(m.get()));
  EXPECT_EQ(trail_indices(m.get()), std::vector<int>{});
  std::vector<int> units;
  for (unsigned v = 1; v <= formula.var_count; ++v) {
    if (m->pos_unit[v]) units.push_back(static_cast<int>(v));
    if (m->neg_unit[v]) units.push_back(-static_cast<int>(v));
  }
  EXPECT_GE(count_unit_clauses(m.get()), before);
  return units;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TEST_F(CnfSimplification, ResolvesTwoLiteralClausesIntoUnits) {
  EXPECT_EQ(derived_units(*make_cnf(2, {{1, 2}, {1, -2}})), (std::vector<int>{1}));
  EXPECT_EQ(derived_units(*make_cnf(2, {{1, 2}, {-1, 2}})), (std::vector<int>{2}));
  EXPECT_EQ(derived_units(*make_cnf(3, {{1, 2}, {-2, 3}, {-3, 1}})), (std::vector<int>{1}));
  EXPECT_EQ(derived_units(*make_cnf(2, {{1, 2}})), std::vector<int>{});
}

TEST_F(CnfSimplification, RecordsWhatADerivedUnitImpliesAsUnitsToo) {
  EXPECT_EQ(derived_units(*make_cnf(4, {{1, 2}, {1, -2}, {-1, 3}, {-3, 4, -2}})), (std::vector<int>{1, 3}));
}

TEST_F(CnfSimplification, ResolvesThroughClausesThatUnitsShortened) {
  EXPECT_EQ(derived_units(*make_cnf(3, {{3}, {-3, 1, 2}, {1, -2}})), (std::vector<int>{1, 3}));
}

TEST_F(CnfSimplification, UsesThePairwiseExclusionsOfEclauses) {
  EXPECT_EQ(derived_units(*make_cnf(3, {{-3, 1}, {-3, 2}, {1, 2, 3}}, 1)), (std::vector<int>{-3}));
}

TEST_F(CnfSimplification, PrintsTheNumberOfImpliedLiteralsWhenVerbose) {
  VERBOSE = true;
  auto f = make_cnf(2, {{1, 2}, {1, -2}});
  ::testing::internal::CaptureStdout();
  std::unique_ptr<cnf> result = simplify_cnf(*f);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "1 literals implied...");
  EXPECT_EQ(clauses_of(*result), (std::vector<std::vector<int>>{{1}}));
}

// A closure cut short by its budget derives fewer units, never a wrong one.
TEST_F(CnfSimplification, ResolutionStopsAtItsBudgetWithOnlySoundUnits) {
  // (1 or 2), (-2 or 3), ..., (-9 or 10), (-10 or 1): the chain resolves to the unit 1 at its end.
  std::vector<std::vector<int>> chain{{1, 2}};
  for (int v = 2; v < 10; ++v) chain.push_back({-v, v + 1});
  chain.push_back({-10, 1});
  auto f = make_cnf(10, chain);
  EXPECT_EQ(derived_units(*f), std::vector<int>{1});

  for (std::size_t budget : {0, 3, 12}) {
    auto m = manager_for(*f);
    binary_buckets buckets(10, budget);
    ASSERT_TRUE(assert_unit_clauses(m.get()));
    for (unsigned k = 1; k <= m->clause_count; ++k) {
      literal *a = nullptr, *b = nullptr;
      if (is_binary_clause(index2clausep(k, m.get()), a, b)) {
        ASSERT_TRUE(add_binary_clause_to_buckets(a, b, buckets, m.get()));
      }
    }
    EXPECT_TRUE(buckets.exhausted) << budget;
    for (unsigned v = 2; v <= 10; ++v) EXPECT_FALSE(m->pos_unit[v] || m->neg_unit[v]) << budget;
    EXPECT_FALSE(m->neg_unit[1]);
    undo_assert_unit_clauses(m.get());
  }
}

TEST_F(CnfSimplification, FindsUnsatisfiabilityByBinaryResolution) {
  auto f = make_cnf(2, {{1, 2}, {1, -2}, {-1, 2}, {-1, -2}});
  auto m = manager_for(*f);
  EXPECT_FALSE(binary_resolution(m.get()));
  EXPECT_EQ(trail_indices(m.get()), std::vector<int>{});
  std::unique_ptr<cnf> result = simplify_cnf_s(*f);
  EXPECT_EQ(result->clauses, (std::vector<std::vector<int>>{{1, 0}, {-1, 0}}));
}

TEST_F(CnfSimplification, GivesAContradictionTheReaderAcceptsForContradictoryUnits) {
  auto f = make_cnf(4, {{1}, {-1}, {2, 3}});
  for (auto simplify : {simplify_cnf, simplify_cnf_s}) {
    std::unique_ptr<cnf> result = simplify(*f);
    EXPECT_EQ(result->var_count, 4u);
    EXPECT_EQ(result->eclause_count, 0u);
    EXPECT_EQ(result->clauses, (std::vector<std::vector<int>>{{1, 0}, {-1, 0}}));
    EXPECT_EQ(result->file_name, "");
  }
}

TEST_F(CnfSimplification, WritesUnitClausesNewestFirst) {
  auto f = make_cnf(3, {{1}, {-1, 2}, {2, 3}, {-3, -2, 1}});
  std::unique_ptr<cnf> result = simplify_cnf(*f);
  EXPECT_EQ(clauses_of(*result), (std::vector<std::vector<int>>{{2}, {1}}));
  EXPECT_EQ(result->var_count, 3u);
}

TEST_F(CnfSimplification, KeepsFileOrderAndSortsLiteralsWithoutSubsumption) {
  auto f = make_cnf(5, {{5, -1, 3}, {4}, {2, -4, 1, 3}, {1, 3}, {-2, 1, -3}});
  std::unique_ptr<cnf> result = simplify_cnf(*f);
  EXPECT_EQ(clauses_of(*result), (std::vector<std::vector<int>>{{4}, {-1, 3, 5}, {1, 2, 3}, {1, 3}, {-3, -2, 1}}));
}

TEST_F(CnfSimplification, DropsSubsumedClausesAndWritesTheRestInLexicographicOrder) {
  auto f = make_cnf(5, {{5, -1, 3}, {4}, {2, -4, 1, 3}, {1, 3}, {-2, 1, -3}});
  std::unique_ptr<cnf> result = simplify_cnf_s(*f);
  EXPECT_EQ(clauses_of(*result), (std::vector<std::vector<int>>{{4}, {-3, -2, 1}, {-1, 3, 5}, {1, 3}}));
}

TEST_F(CnfSimplification, KeepsTheSmallerOfTwoNestedClausesWhicheverComesFirst) {
  for (const auto& order : {std::vector<std::vector<int>>{{1, 2, 3}, {1, 2}}, {{1, 2}, {1, 2, 3}}}) {
    std::unique_ptr<cnf> result = simplify_cnf_s(*make_cnf(3, order));
    EXPECT_EQ(clauses_of(*result), (std::vector<std::vector<int>>{{1, 2}}));
  }
  std::unique_ptr<cnf> duplicates = simplify_cnf_s(*make_cnf(3, {{2, 1}, {1, 2}, {1, 2}}));
  EXPECT_EQ(clauses_of(*duplicates), (std::vector<std::vector<int>>{{1, 2}}));
}

TEST_F(CnfSimplification, RemovesClausesThatAnEclauseImplies) {
  auto f = make_cnf(5, {{-1, -3, 4}, {1, 2, 3, 5}, {4, 5}, {3, 2, 1}}, 1);
  std::unique_ptr<cnf> result = simplify_cnf_s(*f);
  EXPECT_EQ(clauses_of(*result), (std::vector<std::vector<int>>{{4, 5}, {3, 2, 1}}));
  EXPECT_EQ(result->eclause_count, 1u);
  std::unique_ptr<cnf> plain = simplify_cnf(*f);
  EXPECT_EQ(clauses_of(*plain), (std::vector<std::vector<int>>{{-3, -1, 4}, {1, 2, 3, 5}, {4, 5}, {1, 2, 3}}));
  EXPECT_EQ(plain->eclause_count, 1u);
}

TEST_F(CnfSimplification, TurnsASatisfiedEclauseIntoUnits) {
  std::unique_ptr<cnf> result = simplify_cnf_s(*make_cnf(3, {{2}, {1, 2, 3}}, 1));
  EXPECT_EQ(clauses_of(*result), (std::vector<std::vector<int>>{{-3}, {-1}, {2}}));
  EXPECT_EQ(result->eclause_count, 0u);
}

TEST_F(CnfSimplification, KeepsTheOpenLiteralsOfAnEclauseInClauseOrder) {
  std::unique_ptr<cnf> result = simplify_cnf_s(*make_cnf(4, {{-4}, {2, 1}, {3, 1, 4}}, 1));
  EXPECT_EQ(clauses_of(*result), (std::vector<std::vector<int>>{{-4}, {1, 2}, {3, 1}}));
  EXPECT_EQ(result->eclause_count, 1u);
}

// ---------------------------------------------------------------------------------------------
// The simplify modes of the command line
// ---------------------------------------------------------------------------------------------

namespace {

tarn_test::run_result run_tarn(const std::string& directory, const std::string& arguments) {
  return tarn_test::run_tarn_line(directory, arguments);
}

std::string fresh_directory(const std::string& name) {
  std::string dir = ::testing::TempDir() + name;
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  return dir;
}

}  // namespace

TEST(CnfSimplifyMode, WritesTheSimplifiedCnfNextToTheInputAndExitsWithZero) {
  std::string dir = fresh_directory("simplify_mode");
  std::ofstream(dir + "/f.cnf") << "p cnf 3 3\n1 2 0\n1 -2 0\n-1 3 2 0\n";
  tarn_test::run_result run = run_tarn(dir, "-in f.cnf -simplify");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\nSimplifying and saving cnf...1 literals implied...done."), std::string::npos);
  EXPECT_EQ(run.out.find("Total Time"), std::string::npos);
  EXPECT_EQ(read_file(dir + "/f.cnf_simplified"), "p cnf 3 2\n1 0\n2 3 0\n");
}

TEST(CnfSimplifyMode, WritesTheCnfPictureFirstAndSubsumesWithTheTrieVariant) {
  std::string dir = fresh_directory("simplify_s_mode");
  std::ofstream(dir + "/f.cnf") << "p cnf 4 3\n1 2 3 4 0\n2 1 0\n3 -1 0\n";
  tarn_test::run_result run = run_tarn(dir, "-in f.cnf -visualize -simplify_s -silent");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find("Simplifying"), std::string::npos);
  EXPECT_EQ(read_file(dir + "/f.cnf_simplified"), "p cnf 4 2\n-1 3 0\n1 2 0\n");
  EXPECT_NE(read_file(dir + "/cnf.vcg").find("graph: {"), std::string::npos);
}

TEST(CnfSimplifyMode, AnUnsatisfiableFormulaSimplifiesToAFileThatReadsBackAsUnsatisfiable) {
  std::string dir = fresh_directory("simplify_unsat");
  std::ofstream(dir + "/f.cnf") << "p cnf 3 3\n1 0\n-1 2 0\n-2 0\n";
  EXPECT_EQ(run_tarn(dir, "-in f.cnf -simplify -silent").status, 0);
  EXPECT_EQ(read_file(dir + "/f.cnf_simplified"), "p cnf 3 2\n1 0\n-1 0\n");
  tarn_test::run_result run = run_tarn(dir, "-in f.cnf_simplified -count -silent -dt_method 4");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\nCounting...0 models / "), std::string::npos);
}

TEST(CnfSimplifyMode, ReportsAnOutputFileThatCannotBeWritten) {
  std::string dir = fresh_directory("simplify_unwritable");
  std::ofstream(dir + "/f.cnf") << "p cnf 1 1\n1 0\n";
  std::system(("mkdir '" + dir + "/f.cnf_simplified'").c_str());
  tarn_test::run_result run = run_tarn(dir, "-in f.cnf -simplify");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Cannot open file: f.cnf_simplified"), std::string::npos);
}
