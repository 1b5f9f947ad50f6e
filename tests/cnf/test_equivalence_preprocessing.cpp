// The equivalence-preserving preprocessing against brute force: the same models over every
// variable on hundreds of random small formulas, the shape the result promises, and each step at
// work on a formula made for it. The backbone search is checked on its own too.
#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "cnf/backbone.h"
#include "cnf/equivalence_preprocessing.h"
#include "test_support.h"

using tarn_test::clause_list;
using tarn_test::clauses_of;
using tarn_test::make_cnf;
using tarn_test::models;

namespace {

int random_literal(std::mt19937& random, unsigned vars) {
  int v = static_cast<int>(1 + random() % vars);
  return random() % 2 ? v : -v;
}

clause_list random_clauses_of_size(std::mt19937& random, unsigned vars, unsigned count, unsigned size) {
  clause_list clauses(count);
  for (std::vector<int>& c : clauses)
    for (unsigned k = 0; k < size; ++k) c.push_back(random_literal(random, vars));
  return clauses;
}

// Literals of distinct variables, at most `count`.
std::vector<int> random_distinct_literals(std::mt19937& random, unsigned vars, unsigned count) {
  std::vector<int> literals(vars);
  std::iota(literals.begin(), literals.end(), 1);
  std::shuffle(literals.begin(), literals.end(), random);
  literals.resize(std::min(count, vars));
  for (int& l : literals) l = random() % 2 ? l : -l;
  return literals;
}

// Implications l1 -> l2 -> ... as two-literal clauses, closed into a cycle (a class of
// equivalent literals) half of the time.
clause_list random_chain(std::mt19937& random, unsigned vars) {
  std::vector<int> chain = random_distinct_literals(random, vars, 2 + random() % 4);
  clause_list clauses;
  for (std::size_t k = 0; k + 1 < chain.size(); ++k) clauses.push_back({-chain[k], chain[k + 1]});
  if (random() % 2) clauses.push_back({-chain.back(), chain.front()});
  return clauses;
}

void append(clause_list& to, const clause_list& from) { to.insert(to.end(), from.begin(), from.end()); }

// Units, chains and cycles of two-literal clauses, three-literal and long clauses (random
// literals, so with repeats and tautologies), repeated clauses in another literal order, and
// eclauses of distinct variables last; the highest variables may occur nowhere.
std::unique_ptr<cnf> random_formula(std::mt19937& random) {
  unsigned vars = 2 + random() % 13;
  unsigned unused = random() % 3;
  unsigned used = vars > unused ? vars - unused : vars;
  clause_list clauses = random_clauses_of_size(random, used, random() % 4 == 0, 1);
  for (unsigned k = random() % 4; k > 0; --k) append(clauses, random_chain(random, used));
  append(clauses, random_clauses_of_size(random, used, random() % 3, 2));
  append(clauses, random_clauses_of_size(random, used, random() % (used + used / 2 + 1), 3));
  append(clauses, random_clauses_of_size(random, used, random() % 3, 4 + random() % 5));
  for (unsigned k = clauses.empty() ? 0 : random() % 3; k > 0; --k) {
    std::vector<int> copy = clauses[random() % clauses.size()];
    std::shuffle(copy.begin(), copy.end(), random);
    clauses.push_back(copy);
  }
  unsigned eclauses = random() % 4 == 0 ? 1 + random() % 2 : 0;
  for (unsigned k = 0; k < eclauses; ++k) clauses.push_back(random_distinct_literals(random, used, 1 + random() % 4));
  return make_cnf(vars, clauses, eclauses);
}

unsigned variable(int literal) { return static_cast<unsigned>(std::abs(literal)); }

// The shape the header promises: units first, then the pairs (not x or r), (x or not r) with r
// over a smaller variable that is not rewritten itself, then clauses of increasing variables.
// A fixed or rewritten variable occurs nowhere else; no clause is empty, repeats a variable or
// another clause. Returns the rewritten variables.
std::set<unsigned> check_shape(const cnf& result) {
  clause_list clauses = clauses_of(result);
  std::map<unsigned, unsigned> occurrences;  // variable: clauses holding it
  std::set<unsigned> fixed, rewritten;
  // Other clauses have increasing variables, so a pair's first clause is told apart.
  auto defines_a_variable = [&clauses](std::size_t k) {
    return k + 1 < clauses.size() && clauses[k].size() == 2 && variable(clauses[k][0]) > variable(clauses[k][1]);
  };
  std::size_t k = 0;
  for (; k < clauses.size() && clauses[k].size() == 1; ++k) EXPECT_TRUE(fixed.insert(variable(clauses[k][0])).second);
  for (; defines_a_variable(k); k += 2) {
    EXPECT_EQ(clauses[k + 1], (std::vector<int>{-clauses[k][0], -clauses[k][1]}));
    EXPECT_LT(clauses[k][0], 0);
    EXPECT_TRUE(rewritten.insert(variable(clauses[k][0])).second);
  }
  std::set<std::vector<int>> others;
  for (std::size_t first_other = k; k < clauses.size(); ++k) {
    const std::vector<int>& c = clauses[k];
    EXPECT_GE(c.size(), 2u);
    for (std::size_t i = 1; i < c.size(); ++i) EXPECT_LT(variable(c[i - 1]), variable(c[i])) << k;
    EXPECT_TRUE(others.insert(c).second) << "repeated clause " << k - first_other;
    for (int l : c) ++occurrences[variable(l)];
  }
  for (unsigned v : fixed) EXPECT_EQ(occurrences.count(v) + rewritten.count(v), 0u) << v;
  for (unsigned v : rewritten) EXPECT_EQ(occurrences.count(v), 0u) << v;
  for (std::size_t pair = fixed.size(); pair < fixed.size() + 2 * rewritten.size(); pair += 2) {
    unsigned representative = variable(clauses[pair][1]);
    EXPECT_EQ(rewritten.count(representative) + fixed.count(representative), 0u) << representative;
  }
  return rewritten;
}

std::vector<int> brute_force_backbone(const cnf& f) {
  std::vector<std::uint32_t> all = models(f);
  std::vector<int> backbone;
  if (all.empty()) return backbone;
  for (unsigned v = 1; v <= f.var_count; ++v) {
    std::uint32_t bit = 1u << (v - 1);
    bool always_true = std::all_of(all.begin(), all.end(), [bit](std::uint32_t a) { return (a & bit) != 0; });
    bool always_false = std::all_of(all.begin(), all.end(), [bit](std::uint32_t a) { return (a & bit) == 0; });
    if (always_true || always_false) backbone.push_back(always_true ? static_cast<int>(v) : -static_cast<int>(v));
  }
  return backbone;
}

// x1 or each clause of "three pigeons in two holes": x1 is true in every model, yet no clause
// is short enough for propagation, strengthening or vivification to see it at once.
clause_list pigeon_clauses_or_x1() {
  auto p = [](int pigeon, int hole) { return 1 + 2 * pigeon + hole; };
  clause_list clauses;
  for (int i = 0; i < 3; ++i) clauses.push_back({1, p(i, 1), p(i, 2)});
  for (int h = 1; h <= 2; ++h)
    for (int i = 0; i < 3; ++i)
      for (int j = i + 1; j < 3; ++j) clauses.push_back({1, -p(i, h), -p(j, h)});
  return clauses;
}

}  // namespace

TEST(EquivalencePreprocessing, KeepsExactlyTheModelsOfRandomFormulasInTheShapeItPromises) {
  unsigned unsatisfiable = 0;
  preprocess_summary totals;
  for (unsigned seed = 1; seed <= 800; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::unique_ptr<cnf> f = random_formula(random);
    f->file_name = "random.cnf";
    preprocess_summary summary;
    std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
    std::vector<std::uint32_t> expected = models(*f);
    EXPECT_EQ(result->var_count, f->var_count);
    EXPECT_EQ(result->eclause_count, 0u);
    EXPECT_EQ(result->file_name, "random.cnf");
    EXPECT_EQ(models(*result), expected);
    EXPECT_EQ(summary.unsatisfiable, expected.empty());
    if (expected.empty()) {
      EXPECT_EQ(clauses_of(*result), (clause_list{{1}, {-1}}));
    } else {
      EXPECT_LE(check_shape(*result).size(), summary.equivalences);
    }
    EXPECT_EQ(clauses_of(*preprocess_cnf(*f, nullptr)), clauses_of(*result)) << "not reproducible";
    unsatisfiable += expected.empty();
    totals.backbone_literals += summary.backbone_literals;
    totals.equivalences += summary.equivalences;
    totals.subsumed_clauses += summary.subsumed_clauses;
    totals.vivified_literals += summary.vivified_literals;
  }
  // Every step had work to do on some of the formulas.
  EXPECT_GT(unsatisfiable, 50u);
  EXPECT_LT(unsatisfiable, 400u);
  EXPECT_GT(totals.backbone_literals, 20u);
  EXPECT_GT(totals.equivalences, 200u);
  EXPECT_GT(totals.subsumed_clauses, 1000u);
  EXPECT_GT(totals.vivified_literals, 200u);
}

TEST(EquivalencePreprocessing, KeepsTheDirectivesAndExpandsEclausesIntoTheirClauseAndExclusions) {
  std::unique_ptr<cnf> f = make_cnf(5, {{4, 5}, {3, 1, 2}}, 1);
  f->directives.projection_given = true;
  f->directives.shown = {1, 4};
  std::unique_ptr<cnf> result = preprocess_cnf(*f, nullptr);
  EXPECT_TRUE(result->directives.projection_given);
  EXPECT_EQ(result->directives.shown, (std::vector<unsigned>{1, 4}));
  EXPECT_EQ(result->eclause_count, 0u);
  EXPECT_EQ(clauses_of(*result), (clause_list{{4, 5}, {1, 2, 3}, {-1, -3}, {-2, -3}, {-1, -2}}));
}

TEST(EquivalencePreprocessing, LeavesAFormulaWithoutClausesWithoutClauses) {
  for (unsigned vars : {0u, 3u}) {
    preprocess_summary summary;
    std::unique_ptr<cnf> result = preprocess_cnf(*make_cnf(vars, {}), &summary);
    EXPECT_EQ(result->var_count, vars);
    EXPECT_TRUE(result->clauses.empty());
    EXPECT_FALSE(summary.unsatisfiable);
  }
}

// The backbone search finds the literals unit propagation misses.
TEST(EquivalencePreprocessing, FindsABackboneLiteralThatPropagationMisses) {
  std::unique_ptr<cnf> f = make_cnf(9, pigeon_clauses_or_x1());
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1}}));
  EXPECT_EQ(summary.backbone_literals, 1u);
  EXPECT_EQ(models(*result), models(*f));
}

// x1 = x3 = -x4 by the cycle 1 -> 3 -> -4 -> 1: x3 and x4 leave the other clauses for x1 and
// keep only the two clauses that define them.
TEST(EquivalencePreprocessing, RewritesAClassOfEquivalentLiteralsByItsSmallestVariable) {
  std::unique_ptr<cnf> f = make_cnf(6, {{-1, 3}, {-3, -4}, {4, 1}, {2, 3, 5}, {2, 4, 6}, {-2, -3, -5, -6}});
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
  EXPECT_EQ(clauses_of(*result),
            (clause_list{{-3, 1}, {3, -1}, {-4, -1}, {4, 1}, {1, 2, 5}, {-1, 2, 6}, {-1, -2, -5, -6}}));
  EXPECT_EQ(check_shape(*result), (std::set<unsigned>{3, 4}));
  EXPECT_EQ(summary.equivalences, 2u);
  EXPECT_EQ(models(*result), models(*f));

  // A long cycle is one class at once, found by a search that goes around it in one descent.
  clause_list cycle;
  for (int v = 1; v <= 8; ++v) cycle.push_back({-v, v % 8 + 1});
  cycle.push_back({1, 2, 9});
  result = preprocess_cnf(*make_cnf(9, cycle), &summary);
  clause_list expected;
  for (int v = 2; v <= 8; ++v) append(expected, {{-v, 1}, {v, -1}});
  expected.push_back({1, 9});
  EXPECT_EQ(clauses_of(*result), expected);
  EXPECT_EQ(summary.equivalences, 7u);
}

TEST(EquivalencePreprocessing, FindsAContradictionInAClassHoldingALiteralAndItsComplement) {
  // 1 -> 2 -> 3 -> -1 -> 4 -> 5 -> 1, with no unit and no pair of clauses to strengthen.
  std::unique_ptr<cnf> f = make_cnf(5, {{-1, 2}, {-2, 3}, {-3, -1}, {1, 4}, {-4, 5}, {-5, 1}});
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
  EXPECT_TRUE(summary.unsatisfiable);
  EXPECT_EQ(result->var_count, 5u);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1}, {-1}}));
}

TEST(EquivalencePreprocessing, RemovesASubsumedClause) {
  std::unique_ptr<cnf> f = make_cnf(5, {{1, 2}, {1, 2, 3}, {-1, 4, 5}, {-2, -4, 3}});
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1, 2}, {-1, 4, 5}, {-2, 3, -4}}));
  EXPECT_EQ(summary.subsumed_clauses, 1u);
  EXPECT_EQ(summary.vivified_literals, 0u);
}

// (1 2 3) and (1 2 -3) resolve to (1 2), which replaces the first and subsumes the second.
TEST(EquivalencePreprocessing, StrengthensAClauseBySelfSubsumingResolution) {
  std::unique_ptr<cnf> f = make_cnf(5, {{1, 2, 3}, {1, 2, -3}, {-1, 4, 5}, {-2, -4, -5}});
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1, 2}, {-1, 4, 5}, {-2, -4, -5}}));
  EXPECT_EQ(summary.vivified_literals, 1u);
  EXPECT_EQ(summary.subsumed_clauses, 1u);
}

// Not 1 implies not 5 implies not 2, so (1 2 3 4) loses 2; the chain's clauses stay.
TEST(EquivalencePreprocessing, VivifiesAClauseALiteralOfWhichTheOthersFalsify) {
  std::unique_ptr<cnf> f = make_cnf(5, {{1, -5}, {5, -2}, {1, 2, 3, 4}});
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1, -5}, {-2, 5}, {1, 3, 4}}));
  EXPECT_EQ(summary.vivified_literals, 1u);
  EXPECT_EQ(models(*result), models(*f));
}

// Not 1 implies 2 through (1 -3) and (3 2), so (1 2 4) follows from the others and goes.
TEST(EquivalencePreprocessing, RemovesAClauseTheOthersImply) {
  std::unique_ptr<cnf> f = make_cnf(4, {{1, -3}, {3, 2}, {1, 2, 4}});
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1, -3}, {2, 3}}));
  EXPECT_EQ(summary.subsumed_clauses, 1u);
  EXPECT_EQ(models(*result), models(*f));
}

// Four formulas over disjoint variables, one per step, side by side: the summary adds up.
TEST(EquivalencePreprocessing, SummaryCountsTheWorkOfEachStep) {
  clause_list clauses = pigeon_clauses_or_x1();                           // variables 1..7: a backbone literal
  append(clauses, {{-11, 13}, {-13, -14}, {14, 11}, {12, 13, 15}});       // 11 = 13 = -14
  append(clauses, {{21, 22}, {21, 22, 23}, {22, 21}, {24, -24, 25}});     // subsumed, repeated, tautology
  append(clauses, {{31, -35}, {35, -32}, {31, 32, 33, 34}});              // vivified
  std::unique_ptr<cnf> f = make_cnf(35, clauses);
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(*f, &summary);
  EXPECT_EQ(summary.backbone_literals, 1u);
  EXPECT_EQ(summary.equivalences, 2u);
  // The backbone literal satisfies the nine pigeon clauses, the cycle's clauses become tautologies.
  EXPECT_EQ(summary.subsumed_clauses, 9u + 3u + 3u);
  EXPECT_EQ(summary.vivified_literals, 1u);
  EXPECT_FALSE(summary.unsatisfiable);
  EXPECT_GE(summary.seconds, 0.0);
  EXPECT_EQ(clauses_of(*result), (clause_list{{1},
                                              {-13, 11},
                                              {13, -11},
                                              {-14, -11},
                                              {14, 11},
                                              {11, 12, 15},
                                              {21, 22},
                                              {31, -35},
                                              {-32, 35},
                                              {31, 33, 34}}));
}

TEST(Backbone, FindsExactlyTheBruteForceBackboneWithinAGenerousBudget) {
  const backbone_budget generous = {1000000, 1000000, 100000000, 1000000};
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    unsigned vars = 2 + random() % 11;
    clause_list clauses = random_clauses_of_size(random, vars, random() % (3 * vars), 3);
    append(clauses, random_clauses_of_size(random, vars, random() % vars, 2));
    std::unique_ptr<cnf> f = make_cnf(vars, clauses);
    backbone_search search = find_backbone(vars, clauses, generous);
    std::vector<int> expected = brute_force_backbone(*f);
    if (models(*f).empty()) {
      EXPECT_EQ(search.status, backbone_status::unsatisfiable);
    } else {
      EXPECT_EQ(search.status, backbone_status::satisfiable);
      EXPECT_EQ(search.literals, expected);
    }
  }
  std::unique_ptr<cnf> pigeons = make_cnf(9, pigeon_clauses_or_x1());
  EXPECT_EQ(find_backbone(9, clauses_of(*pigeons), generous).literals, std::vector<int>{1});
}

// With few or no conflicts or tests allowed, a first model may still be found, or nothing is
// claimed; every literal claimed is a backbone literal.
TEST(Backbone, ClaimsOnlyBackboneLiteralsWhenTheBudgetRunsOut) {
  for (const backbone_budget& budget : {backbone_budget{0, 0, 0, 0}, backbone_budget{1000, 0, 1000, 1000},
                                        backbone_budget{1000, 1, 3, 1000}, backbone_budget{1000, 1000, 1000, 1}}) {
    for (unsigned seed = 1; seed <= 200; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      std::mt19937 random(seed);
      unsigned vars = 4 + random() % 9;
      clause_list clauses = random_clauses_of_size(random, vars, 2 * vars + random() % (2 * vars), 3);
      std::unique_ptr<cnf> f = make_cnf(vars, clauses);
      backbone_search search = find_backbone(vars, clauses, budget);
      if (search.status == backbone_status::unsatisfiable) {
        EXPECT_TRUE(models(*f).empty());
      }
      std::vector<int> backbone = brute_force_backbone(*f);
      for (int l : search.literals) EXPECT_TRUE(std::count(backbone.begin(), backbone.end(), l)) << l;
      EXPECT_LE(search.conflicts, budget.first_model_conflicts + budget.total_conflicts + 1);
      EXPECT_LE(search.tests, budget.tests);
    }
  }
}

// An empty clause vector is a removed clause, and a variable no clause mentions is no candidate.
TEST(Backbone, SkipsEmptyClausesAndVariablesNoClauseMentions) {
  backbone_search search = find_backbone(6, {{}, {2}, {}, {-2, 3}, {4, 5}}, {1000, 1000, 1000, 1000});
  EXPECT_EQ(search.status, backbone_status::satisfiable);
  EXPECT_EQ(search.literals, (std::vector<int>{2, 3}));
}
