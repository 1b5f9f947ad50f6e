#include "cnf/preprocessing.h"
#include "engine_fixtures.h"

using namespace engine_test;
using tarn_test::clauses_of;

namespace {

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

}  // namespace

// Two-literal clauses resolve into units, also through clauses that units shortened and the
// pairwise exclusions of eclauses; what a derived unit implies is recorded as a unit too.
TEST(CnfSimplification, BinaryResolutionDerivesTheUnits) {
  struct unit_case {
    std::unique_ptr<cnf> formula;
    std::vector<int> units;
  };
  const unit_case cases[] = {
      {make_cnf(2, {{1, 2}, {1, -2}}), {1}},
      {make_cnf(2, {{1, 2}, {-1, 2}}), {2}},
      {make_cnf(3, {{1, 2}, {-2, 3}, {-3, 1}}), {1}},
      {make_cnf(2, {{1, 2}}), {}},
      {make_cnf(4, {{1, 2}, {1, -2}, {-1, 3}, {-3, 4, -2}}), {1, 3}},
      {make_cnf(3, {{3}, {-3, 1, 2}, {1, -2}}), {1, 3}},
      {make_cnf(3, {{-3, 1}, {-3, 2}, {1, 2, 3}}, 1), {-3}},
  };
  for (const unit_case& c : cases) EXPECT_EQ(derived_units(*c.formula), c.units);
}

// A closure cut short by its budget derives fewer units, never a wrong one.
TEST(CnfSimplification, ResolutionStopsAtItsBudgetWithOnlySoundUnits) {
  // (1 or 2), (-2 or 3), ..., (-9 or 10), (-10 or 1): the chain resolves to the unit 1 at its end.
  clause_list chain{{1, 2}};
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

// An unsatisfiable formula becomes the contradiction x1 and not x1, which the reader accepts.
TEST(CnfSimplification, GivesAContradictionForUnsatisfiableFormulas) {
  auto by_resolution = make_cnf(2, {{1, 2}, {1, -2}, {-1, 2}, {-1, -2}});
  auto m = manager_for(*by_resolution);
  EXPECT_FALSE(binary_resolution(m.get()));
  EXPECT_EQ(trail_indices(m.get()), std::vector<int>{});
  auto by_units = make_cnf(4, {{1}, {-1}, {2, 3}});
  for (const cnf* f : {by_resolution.get(), by_units.get()})
    for (auto simplify : {simplify_cnf, simplify_cnf_s}) {
      std::unique_ptr<cnf> result = simplify(*f);
      EXPECT_EQ(result->var_count, f->var_count);
      EXPECT_EQ(result->eclause_count, 0u);
      EXPECT_EQ(result->clauses, (clause_list{{1, 0}, {-1, 0}}));
      EXPECT_EQ(result->file_name, "");
    }
}

// Units come first, newest first; without subsumption the rest keep file order with sorted
// literals, with it the rest are in lexicographic order, eclauses last.
TEST(CnfSimplification, WritesUnitsThenTheOtherClausesInTheOrderOfTheMode) {
  struct simplify_case {
    bool subsume;
    std::unique_ptr<cnf> formula;
    clause_list expected;
    unsigned eclauses;
  };
  const simplify_case cases[] = {
      {false, make_cnf(3, {{1}, {-1, 2}, {2, 3}, {-3, -2, 1}}), {{2}, {1}}, 0},
      {false, make_cnf(5, {{5, -1, 3}, {4}, {2, -4, 1, 3}, {1, 3}, {-2, 1, -3}}),
       {{4}, {-1, 3, 5}, {1, 2, 3}, {1, 3}, {-3, -2, 1}}, 0},
      {true, make_cnf(5, {{5, -1, 3}, {4}, {2, -4, 1, 3}, {1, 3}, {-2, 1, -3}}),
       {{4}, {-3, -2, 1}, {-1, 3, 5}, {1, 3}}, 0},
      {false, make_cnf(5, {{-1, -3, 4}, {1, 2, 3, 5}, {4, 5}, {3, 2, 1}}, 1),
       {{-3, -1, 4}, {1, 2, 3, 5}, {4, 5}, {1, 2, 3}}, 1},
      {true, make_cnf(5, {{-1, -3, 4}, {1, 2, 3, 5}, {4, 5}, {3, 2, 1}}, 1), {{4, 5}, {3, 2, 1}}, 1},
      {true, make_cnf(3, {{2}, {1, 2, 3}}, 1), {{-3}, {-1}, {2}}, 0},
      {true, make_cnf(4, {{-4}, {2, 1}, {3, 1, 4}}, 1), {{-4}, {1, 2}, {3, 1}}, 1},
  };
  for (const simplify_case& c : cases) {
    std::unique_ptr<cnf> result = (c.subsume ? simplify_cnf_s : simplify_cnf)(*c.formula);
    EXPECT_EQ(clauses_of(*result), c.expected);
    EXPECT_EQ(result->eclause_count, c.eclauses);
    EXPECT_EQ(result->var_count, c.formula->var_count);
  }
}

TEST(CnfSimplifyMode, WritesTheSimplifiedCnfNextToTheInputAndExitsWithZero) {
  struct mode_case {
    std::string cnf, options, written, printed;
  };
  const mode_case cases[] = {
      {"p cnf 3 3\n1 2 0\n1 -2 0\n-1 3 2 0\n", "-simplify", "p cnf 3 2\n1 0\n2 3 0\n",
       "\nSimplifying and saving cnf...1 literals implied...done."},
      {"p cnf 4 3\n1 2 3 4 0\n2 1 0\n3 -1 0\n", "-visualize -simplify_s -silent", "p cnf 4 2\n-1 3 0\n1 2 0\n", ""},
      {"p cnf 3 3\n1 0\n-1 2 0\n-2 0\n", "-simplify -silent", "p cnf 3 2\n1 0\n-1 0\n", ""},
  };
  for (const mode_case& c : cases) {
    SCOPED_TRACE(c.options);
    tarn_test::temp_dir dir;
    dir.write("f.cnf", c.cnf);
    tarn_test::run_result run = tarn_test::run_tarn_line(dir.path(), "-in f.cnf " + c.options);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find(c.printed.empty() ? "version" : c.printed), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(c.printed.empty() ? "Simplifying" : "Total Time"), std::string::npos) << run.out;
    EXPECT_EQ(tarn_test::read_file(dir.file("f.cnf_simplified")), c.written);
    EXPECT_EQ(tarn_test::file_exists(dir.file("cnf.vcg")), c.options.find("-visualize") == 0);
  }
  // The contradiction reads back as an unsatisfiable formula.
  tarn_test::temp_dir dir;
  dir.write("f.cnf", "p cnf 3 2\n1 0\n-1 0\n");
  tarn_test::run_result count = tarn_test::run_tarn_line(dir.path(), "-in f.cnf -count -silent -dt_method 4");
  EXPECT_EQ(count.status, 0);
  EXPECT_NE(count.out.find("\nCounting...0 models / "), std::string::npos);
}

TEST(CnfSimplifyMode, ReportsAnOutputFileThatCannotBeWritten) {
  tarn_test::temp_dir dir;
  dir.write("f.cnf", "p cnf 1 1\n1 0\n");
  std::system(("mkdir '" + dir.file("f.cnf_simplified") + "'").c_str());
  tarn_test::run_result run = tarn_test::run_tarn_line(dir.path(), "-in f.cnf -simplify");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Cannot open file: f.cnf_simplified"), std::string::npos);
}
