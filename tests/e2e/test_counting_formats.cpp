// Weighted, projected and conditioned counts of the tarn program, and its answer lines, judged
// against brute-force enumeration written here (exact rationals over every assignment).
#include <gmpxx.h>

#include <cstdio>
#include <map>
#include <set>

#include "e2e/brute_force.h"
#include "e2e/random_cnf.h"
#include "e2e/search_variants.h"
#include "test_support.h"

using tarn_test::read_file;
using tarn_test::run_result;
using tarn_test::run_tarn;
using tarn_test::temp_dir;

namespace {

struct problem {
  brute_force::formula formula;
  std::string text;                   // the CNF with its directives
  std::map<int, mpq_class> weights;   // given literal weights; others weigh 1
  bool projected = false;
  std::set<unsigned> shown;
  std::vector<int> assumed;
};

mpq_class weight_of(const problem& p, int literal) {
  auto it = p.weights.find(literal);
  return it == p.weights.end() ? mpq_class(1) : it->second;
}

bool holds(int literal, std::size_t assignment) {
  return ((assignment >> (std::abs(literal) - 1)) & 1) == (literal > 0);
}

bool counted(const problem& p, unsigned v) { return !p.projected || p.shown.count(v); }

// The assignments of the counted variables that extend to a model satisfying the assumptions,
// each weighed by the product of its literals' weights.
mpq_class brute_force_answer(const problem& p) {
  brute_force::table models = brute_force::models(p.formula);
  std::size_t mask = 0;
  for (unsigned v = 1; v <= p.formula.vars; ++v)
    if (counted(p, v)) mask |= std::size_t{1} << (v - 1);
  std::set<std::size_t> projections;
  for (std::size_t a = 0; a < models.size(); ++a) {
    bool assumed = true;
    for (int l : p.assumed) assumed = assumed && holds(l, a);
    if (models.get(a) && assumed) projections.insert(a & mask);
  }
  mpq_class total = 0;
  for (std::size_t a : projections) {
    mpq_class product = 1;
    for (unsigned v = 1; v <= p.formula.vars; ++v)
      if (counted(p, v)) product *= weight_of(p, holds(static_cast<int>(v), a) ? static_cast<int>(v) : -static_cast<int>(v));
    total += product;
  }
  return total;
}

// Weights as the competition files write them: decimals, fractions, negatives and zeros, with
// some variables whose two weights cancel out.
std::string random_weight(std::mt19937& random, mpq_class& value) {
  static const char* const texts[] = {"0.3", "3e-1", "-1.5", "1/4", "0", "2", "0.125", "-3/8", "1E+1", "7/3"};
  static const mpq_class values[] = {mpq_class(3, 10), mpq_class(3, 10), mpq_class(-3, 2), mpq_class(1, 4), 0,
                                     2, mpq_class(1, 8), mpq_class(-3, 8), 10, mpq_class(7, 3)};
  unsigned k = random() % 10;
  value = values[k];
  return texts[k];
}

void add_weights(std::mt19937& random, problem& p) {
  for (unsigned v = 1; v <= p.formula.vars; ++v) {
    if (random() % 3 == 0) continue;
    int x = static_cast<int>(v);
    if (random() % 5 == 0) {
      p.weights[x] = mpq_class(1, 3);
      p.weights[-x] = mpq_class(-1, 3);
      p.text += "c p weight " + std::to_string(x) + " 1/3 0\nc p weight " + std::to_string(-x) + " -1/3 0\n";
      continue;
    }
    for (int literal : {x, -x}) {
      if (random() % 2) continue;
      mpq_class value;
      std::string text = random_weight(random, value);
      p.weights[literal] = value;
      p.text += "c p weight " + std::to_string(literal) + " " + text + " 0\n";
    }
  }
}

void add_projection(std::mt19937& random, problem& p) {
  p.projected = true;
  std::string line = random() % 2 ? "c p show" : "c ind";
  for (unsigned v = 1; v <= p.formula.vars; ++v)
    if (random() % 2) {
      p.shown.insert(v);
      line += " " + std::to_string(v);
    }
  p.text += line + " 0\n";
}

problem random_problem(std::mt19937& random, bool weighted, bool projected) {
  random_cnf::shape shape;
  shape.max_vars = 11;
  shape.max_clauses = 24;
  problem p;
  p.text = random_cnf::generate(random, shape);
  p.formula = brute_force::parse_cnf(p.text);
  if (weighted) add_weights(random, p);
  if (projected) add_projection(random, p);
  return p;
}

// The value after "c s exact arb int " or "c s exact arb frac ".
mpq_class printed_answer(const std::string& out) {
  for (const char* prefix : {"\nc s exact arb int ", "\nc s exact arb frac "}) {
    std::size_t at = out.find(prefix);
    if (at == std::string::npos) continue;
    at += std::string(prefix).size();
    mpq_class value(out.substr(at, out.find('\n', at) - at));
    value.canonicalize();
    return value;
  }
  ADD_FAILURE() << "no exact answer line in\n" << out;
  return -1;
}

std::string printed_type(const std::string& out) {
  std::size_t at = out.find("\nc s type ");
  if (at == std::string::npos) return "";
  at += 10;
  return out.substr(at, out.find('\n', at) - at);
}

std::string expected_type(const problem& p) {
  return std::string(p.projected ? "p" : "") + (p.weights.empty() ? "mc" : "wmc");
}

// Every or-node's children are disjoint, the projected circuit's function is the formula with
// the hidden variables forgotten, and and-nodes are decomposable.
void expect_projected_circuit(const problem& p, const std::string& nnf_text) {
  brute_force::circuit c = brute_force::parse_nnf(nnf_text);
  for (brute_force::node& n : c.nodes)
    if (n.kind == 'O' && n.value == 0 && n.children.size() == 2) n.value = -1;  // judge forgotten decisions too
  brute_force::verdict v = brute_force::judge(c);
  EXPECT_EQ(v.problem, "");
  brute_force::table expected = brute_force::models(p.formula);
  for (unsigned x = 1; x <= p.formula.vars; ++x)
    if (!counted(p, x)) expected = expected.forget(x);
  EXPECT_TRUE(v.function == expected);
}

void run_and_compare(const temp_dir& dir, const problem& p, std::vector<std::string> options) {
  dir.write("f.cnf", p.text);
  std::vector<std::string> args{"-in", "f.cnf", "-silent", "-count"};
  args.insert(args.end(), options.begin(), options.end());
  run_result r = run_tarn(args, dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  mpq_class expected = brute_force_answer(p);
  EXPECT_EQ(printed_answer(r.out), expected);
  EXPECT_EQ(printed_type(r.out), expected_type(p));
  EXPECT_NE(r.out.find(expected == 0 && p.weights.empty() ? "\ns UNSATISFIABLE\n" : "\ns "), std::string::npos);
  if (p.projected) expect_projected_circuit(p, read_file(dir.file("f.cnf.nnf")));
}

template <typename Body>
void for_random_problems(unsigned seed, unsigned rounds, bool weighted, bool projected, Body body) {
  std::mt19937 random(seed);
  temp_dir dir;
  for (unsigned round = 0; round < rounds && !testing::Test::HasFailure(); ++round) {
    problem p = random_problem(random, weighted, projected);
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + "\n" + p.text);
    body(random, dir, p);
  }
}

// The options followed by those of one of the searches, drawn at random.
std::vector<std::string> under_some_search(std::mt19937& random, std::vector<std::string> options) {
  const auto& variants = search_variants();
  const auto& search = variants[random() % variants.size()];
  options.insert(options.end(), search.begin(), search.end());
  return options;
}

const std::vector<std::vector<std::string>> OPTION_SETS = under_every_search(
    {{}, {"-dt_method", "2"}, {"-no_ddb"}, {"-no_cache"}, {"-reduce"}, {"-smooth_all"}, {"-dt_method", "0", "-dt_count", "3"}});

}  // namespace

TEST(WeightedCounting, MatchesEnumerationWithDecimalsFractionsNegativesAndZeros) {
  for_random_problems(3, 60, true, false, [](std::mt19937& random, const temp_dir& dir, const problem& p) {
    run_and_compare(dir, p, OPTION_SETS[random() % OPTION_SETS.size()]);
  });
}

TEST(ProjectedCounting, MatchesEnumerationForProjectionsOfEverySize) {
  for_random_problems(5, 80, false, true, [](std::mt19937& random, const temp_dir& dir, const problem& p) {
    run_and_compare(dir, p, OPTION_SETS[random() % OPTION_SETS.size()]);
  });
}

TEST(ProjectedCounting, WeightedProjectionsMatchEnumeration) {
  for_random_problems(7, 50, true, true, [](std::mt19937& random, const temp_dir& dir, const problem& p) {
    run_and_compare(dir, p, OPTION_SETS[random() % OPTION_SETS.size()]);
  });
}

TEST(ProjectedCounting, EmptyAndFullProjections) {
  std::mt19937 random(9);
  temp_dir dir;
  for (unsigned round = 0; round < 20 && !testing::Test::HasFailure(); ++round) {
    problem p = random_problem(random, false, false);
    p.projected = true;
    bool everything = round % 2;
    p.text += everything ? "c p show" : "c p show 0\n";
    for (unsigned v = 1; everything && v <= p.formula.vars; ++v) {
      p.shown.insert(v);
      p.text += " " + std::to_string(v);
    }
    if (everything) p.text += " 0\n";
    SCOPED_TRACE(p.text);
    run_and_compare(dir, p, under_some_search(random, {}));
  }
}

// "-exist" with "-count" counts the formula projected on the variables it keeps.
TEST(ProjectedCounting, ExistWithCountIsTheProjectedCount) {
  for_random_problems(13, 40, false, false, [](std::mt19937& random, const temp_dir& dir, problem& p) {
    p.projected = true;
    std::string list;
    unsigned listed = 0;
    for (unsigned v = 1; v <= p.formula.vars; ++v) {
      if (random() % 3 == 0) {
        list += " " + std::to_string(v);
        ++listed;
      } else {
        p.shown.insert(v);
      }
    }
    p.projected = listed > 0;  // an empty list forgets nothing: a plain count
    dir.write("exist.txt", std::to_string(listed) + list + "\n");
    run_and_compare(dir, p, under_some_search(random, {"-exist", "exist.txt"}));
  });
}

TEST(Conditioning, AssumptionsMatchEnumeration) {
  for_random_problems(17, 50, true, false, [](std::mt19937& random, const temp_dir& dir, problem& p) {
    if (random() % 2) p.weights.clear(), p.text = p.text.substr(0, p.text.find("c p weight"));
    std::string list;
    for (unsigned k = random() % 4; k > 0; --k) {
      int literal = static_cast<int>(1 + random() % p.formula.vars) * (random() % 2 ? 1 : -1);
      p.assumed.push_back(literal);
      list += std::to_string(literal) + " ";
    }
    run_and_compare(dir, p, under_some_search(random, {"-assume", list}));
  });
}

// A circuit compiled once answers weighted and conditioned queries without the CNF.
TEST(SavedCircuitQueries, WeightFilesAndAssumptionsOnASavedCircuit) {
  for_random_problems(19, 30, true, false, [](std::mt19937& random, const temp_dir& dir, problem& p) {
    std::string body = p.text.substr(0, p.text.find("c p weight"));
    std::string weight_lines = p.text.size() > body.size() ? p.text.substr(body.size()) : "";
    dir.write("f.cnf", body);
    ASSERT_EQ(run_tarn({"-in", "f.cnf", "-silent"}, dir.path()).status, 0);
    dir.write("w.txt", "c weights of a later query\n" + weight_lines);
    int literal = static_cast<int>(1 + random() % p.formula.vars);
    p.assumed = {literal};
    run_result r = run_tarn({"-nnf", "f.cnf.nnf", "-count", "-silent", "-weights", "w.txt", "-assume",
                             std::to_string(literal)},
                            dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(printed_answer(r.out), brute_force_answer(p));
    EXPECT_EQ(printed_type(r.out), "wmc");
  });
}

// Gate circuits, whose outputs the inputs define, and random formulas: "-count_only" answers the
// plain count under every search and writes no circuit. Weighted and projected queries count as
// "-count" does.
TEST(CountOnly, MatchesEnumerationAndWritesNoCircuit) {
  std::mt19937 random(23);
  temp_dir dir;
  for (unsigned round = 0; round < 80 && !testing::Test::HasFailure(); ++round) {
    problem p;
    if (round % 2) {
      unsigned vars = 4 + random() % 8;
      p.text = random_cnf::dimacs(vars, random_cnf::circuit(random, 1 + random() % 4, vars));
      p.formula = brute_force::parse_cnf(p.text);
    } else {
      p = random_problem(random, round % 8 == 2, round % 8 == 4);
    }
    SCOPED_TRACE("round " + std::to_string(round) + "\n" + p.text);
    dir.write("f.cnf", p.text);
    std::remove(dir.file("f.cnf.nnf").c_str());
    run_result r = run_tarn(under_some_search(random, {"-in", "f.cnf", "-count_only"}), dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(printed_answer(r.out), brute_force_answer(p));
    EXPECT_EQ(printed_type(r.out), expected_type(p));
    EXPECT_FALSE(tarn_test::file_exists(dir.file("f.cnf.nnf")));
  }
}

TEST(AnswerLines, ExactTextAfterTheRun) {
  temp_dir dir;
  dir.write("sat.cnf", "c t mc\np cnf 3 2\n1 2 0\n-1 3 0\n");
  run_result sat = run_tarn({"-in", "sat.cnf", "-count", "-silent"}, dir.path());
  ASSERT_EQ(sat.status, 0);
  EXPECT_EQ(sat.out.substr(sat.out.find("\ns ")),
            "\ns SATISFIABLE\nc s type mc\nc s log10-estimate 0.602059991327962\nc s exact arb int 4\n");
  EXPECT_NE(sat.out.find("Counting...4 models / "), std::string::npos);

  dir.write("unsat.cnf", "p cnf 1 2\n1 0\n-1 0\n");
  run_result unsat = run_tarn({"-in", "unsat.cnf", "-count", "-silent"}, dir.path());
  EXPECT_EQ(unsat.out.substr(unsat.out.find("\ns ")),
            "\ns UNSATISFIABLE\nc s type mc\nc s log10-estimate -inf\nc s exact arb int 0\n");

  dir.write("w.cnf", "p cnf 2 1\n1 2 0\nc p weight 1 1/4 0\nc p weight -1 3/4 0\nc p weight 2 0.5 0\n");
  run_result weighted = run_tarn({"-in", "w.cnf", "-count", "-silent"}, dir.path());
  // Models 11, 10, 01: 1/4 * 1/2 + 1/4 * 1 + 3/4 * 1/2 = 3/4.
  EXPECT_NE(weighted.out.find("\nc s type wmc\n"), std::string::npos) << weighted.out;
  EXPECT_NE(weighted.out.find("\nc s exact arb frac 3/4\n"), std::string::npos) << weighted.out;
}

TEST(CountingOptions, BadQueriesEndWithAMessage) {
  temp_dir dir;
  dir.write("f.cnf", "p cnf 3 1\n1 2 0\n");
  struct bad {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<bad> cases = {
      {{"-in", "f.cnf", "-assume", "1"}, "give -count"},
      {{"-in", "f.cnf", "-count", "-assume", "1 x"}, "\"x\", which is not a non-zero literal"},
      {{"-in", "f.cnf", "-count", "-assume", "4"}, "\"4\", whose variable is not declared"},
      {{"-in", "f.cnf", "-count", "-assume", "0"}, "not a non-zero literal"},
      {{"-in", "f.cnf", "-count", "-weights", "missing.txt"}, "missing.txt"},
      {{"-nnf", "f.cnf.nnf"}, "give -count"},
      {{"-nnf", "f.cnf.nnf", "-count", "-in", "f.cnf"}, "not both"},
      {{"-in", "f.cnf", "-count_only", "-minimize"}, "-count_only keeps no circuit of every variable"},
      {{"-in", "f.cnf", "-count_only", "-check_entailment"}, "-count_only keeps no circuit of every variable"},
      {{"-in", "f.cnf", "-count_only", "-out", "g.nnf"}, "-count_only"},
  };
  for (const bad& c : cases) {
    run_result r = run_tarn(c.args, dir.path());
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
  }
  dir.write("p.cnf", "p cnf 3 1\n1 2 0\nc p show 1 0\n");
  run_result hidden = run_tarn({"-in", "p.cnf", "-count", "-assume", "-2"}, dir.path());
  EXPECT_EQ(hidden.status, 1);
  EXPECT_NE(hidden.out.find("existentially quantified"), std::string::npos) << hidden.out;
}
