#include "diff_fuzz/oracle.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

namespace diff_fuzz {

namespace {

using brute_force::table;

bool in_range(unsigned v, unsigned vars) { return v >= 1 && v <= vars; }

bool listed_in_range(const var_list& list, unsigned vars) {
  return std::any_of(list.vars.begin(), list.vars.end(), [vars](unsigned v) { return in_range(v, vars); });
}

bool contains(const std::vector<unsigned>& items, unsigned v) {
  return std::find(items.begin(), items.end(), v) != items.end();
}

table formula_models(const formula_case& f) {
  brute_force::formula formula;
  formula.vars = f.vars;
  formula.eclauses = f.eclauses;
  formula.clauses = f.clauses;
  return brute_force::models(formula);
}

// ---------------------------------------------------------------------------------------------
// Failures, in the order the program meets them
// ---------------------------------------------------------------------------------------------

// One of x and -x is always true, so such an eclause forces its other literals false; the reader
// refuses it rather than drop it like a tautology.
bool eclause_with_complement_and_more(const std::vector<int>& clause) {
  std::set<int> distinct(clause.begin(), clause.end());
  if (distinct.size() < 3) return false;
  return std::any_of(distinct.begin(), distinct.end(), [&](int l) { return distinct.count(-l) > 0; });
}

std::string reader_failure(const formula_case& f) {
  for (std::size_t i = f.clauses.size() - f.eclauses; i < f.clauses.size(); ++i)
    if (eclause_with_complement_and_more(f.clauses[i]))
      return "holds a literal and its complement besides other literals";
  return "";
}

bool weighted_type(const std::string& type) { return type == "wmc" || type == "pwmc"; }
bool projected_type(const std::string& type) { return type == "pmc" || type == "pwmc"; }

std::string directive_failure(const formula_case& f) {
  if (f.type.empty()) return "";
  if (!weighted_type(f.type) && !f.weights.empty()) return "gives a weight";
  if (!projected_type(f.type) && f.projected()) return "but a projection";
  if (projected_type(f.type) && !f.projected()) return "but no projection";
  return "";
}

// Variables outside every projection line.
std::vector<unsigned> hidden_vars(const formula_case& f) {
  std::vector<unsigned> hidden;
  if (!f.projected()) return hidden;
  for (unsigned v = 1; v <= f.vars; ++v) {
    bool shown =
        std::any_of(f.show_lines.begin(), f.show_lines.end(), [v](const auto& line) { return contains(line, v); });
    if (!shown) hidden.push_back(v);
  }
  return hidden;
}

std::vector<unsigned> exist_vars(const test_case& t) {
  std::vector<unsigned> vars;
  for (unsigned v : t.options.exist.vars)
    if (in_range(v, t.formula.vars) && !contains(vars, v)) vars.push_back(v);
  return vars;
}

// The variables the count ranges without: hidden ones, and with -count those of -exist.
std::vector<unsigned> forgotten_for_count(const test_case& t) {
  std::vector<unsigned> forgotten = hidden_vars(t.formula);
  if (t.options.count)
    for (unsigned v : exist_vars(t))
      if (!contains(forgotten, v)) forgotten.push_back(v);
  return forgotten;
}

std::string option_failure(const test_case& t) {
  const option_case& o = t.options;
  std::vector<unsigned> forgotten = forgotten_for_count(t);
  if (o.assume_given)
    for (int literal : o.assume)
      if (contains(forgotten, static_cast<unsigned>(std::abs(literal))))
        return "whose variable is existentially quantified";
  if (!forgotten.empty() && (o.determined.given || o.decompose_except.given))
    return "cannot be combined with -determined";
  return "";
}

// The variable lists are declared in this order once the dtree is made; each index is checked
// as it is declared.
std::string declaration_failure(const test_case& t) {
  unsigned vars = t.formula.vars;
  const option_case& o = t.options;
  for (unsigned v : o.force.vars)
    if (!in_range(v, vars)) return "appears in -force file";
  for (unsigned v : o.exist.vars)
    if (!in_range(v, vars)) return "(declared as exist)";
  std::vector<unsigned> exist = exist_vars(t);
  std::vector<unsigned> hidden = hidden_vars(t.formula);
  exist.insert(exist.end(), hidden.begin(), hidden.end());
  for (unsigned v : o.determined.vars) {
    if (!in_range(v, vars)) return "(declared as determined)";
    if (contains(exist, v)) return "declared both as determined and exist";
  }
  for (unsigned v : o.decompose_except.vars) {
    if (!in_range(v, vars)) return "(declared as decompose_except)";
    if (contains(exist, v)) return "declared both as decompose_except and exist";
  }
  return "";
}

// Clauses the reader keeps: repeats go, and a clause with a literal and its complement is
// dropped (a two-literal one only without -keep_trivial_cls).
unsigned kept_clause_count(const test_case& t) {
  unsigned kept = 0;
  for (const std::vector<int>& clause : t.formula.clauses) {
    std::set<int> distinct(clause.begin(), clause.end());
    bool complement = std::any_of(distinct.begin(), distinct.end(), [&](int l) { return distinct.count(-l) > 0; });
    bool counts_as_tautology = !t.options.keep_trivial || clause.size() != 2;
    kept += !(complement && counts_as_tautology);
  }
  return kept;
}

// Method 1 makes one try per balance factor from the first to the last: none when the first is
// larger. A formula without clauses needs no tree, and the dynamic search none at all.
// Preprocessing leaves a clause exactly when some assignment is not a model.
std::string dtree_failure(const test_case& t) {
  const option_case& o = t.options;
  bool method_one = o.dt_method == 1 && o.block_order.empty() && !o.dynamic;
  if (!method_one || o.first_ubf <= o.last_ubf) return "";
  table models = formula_models(t.formula);
  bool clauses = o.preprocess ? models.count() < models.size() : kept_clause_count(t) > 0;
  return clauses ? "No dtree to build" : "";
}

// Node blocks below 1 MB are refused as out of memory when the circuit store is set up.
std::string store_failure(const test_case& t) {
  return t.options.nnf_block_size == 0 ? "Out of memory for storing NNF." : "";
}

// Checked with the command line, before the formula is read.
std::string command_line_failure(const test_case& t) {
  const option_case& o = t.options;
  if (o.count_only && (o.minimize || o.check_entailment)) return "-count_only keeps no circuit of every variable";
  if (o.dynamic && (o.force.given || o.determined.given || o.decompose_except.given))
    return "-dynamic cannot be combined with -force, -determined or -decompose_except";
  if (o.dynamic && (o.dt_out || !o.block_order.empty())) return "-dynamic builds no dtree";
  if ((o.count || o.minimize) && (o.determined.given || o.decompose_except.given))
    return "-count and -minimize cannot be combined with -determined or -decompose_except";
  if ((o.count || o.minimize) && o.suppress_ane) return "cannot be combined with -suppress_ane";
  return "";
}

std::string expected_failure(const test_case& t) {
  for (const std::string& failure : {command_line_failure(t), reader_failure(t.formula), directive_failure(t.formula),
                                     option_failure(t), dtree_failure(t), declaration_failure(t), store_failure(t)})
    if (!failure.empty()) return failure;
  return "";
}

// ---------------------------------------------------------------------------------------------
// Functions
// ---------------------------------------------------------------------------------------------

// The members of t with the fewest true variables among those of `mask`.
table fewest_true(const table& t, unsigned vars, std::size_t mask) {
  int least = -1;
  for (std::size_t a = 0; a < t.size(); ++a)
    if (t.get(a) && (least < 0 || __builtin_popcountll(a & mask) < least)) least = __builtin_popcountll(a & mask);
  table result(vars);
  for (std::size_t a = 0; a < t.size(); ++a)
    if (t.get(a) && __builtin_popcountll(a & mask) == least) result.set(a);
  return result;
}

table forget_all(table t, const std::vector<unsigned>& vars) {
  for (unsigned v : vars) t = t.forget(v);
  return t;
}

// The assignments that set more variables true than some member of t, or the same.
table upward_closure(const table& t, unsigned vars) {
  table closure = t;
  for (unsigned v = 0; v < vars; ++v)
    for (std::size_t a = 0; a < closure.size(); ++a)
      if (((a >> v) & 1) && closure.get(a ^ (std::size_t{1} << v))) closure.set(a);
  return closure;
}

table clause_disjunctions(const formula_case& f) {
  table all(f.vars, true);
  for (const std::vector<int>& clause : f.clauses) {
    table disjunction(f.vars);
    for (int l : clause) disjunction |= table::literal(f.vars, l);
    all &= disjunction;
  }
  return all;
}

// ---------------------------------------------------------------------------------------------
// Counts
// ---------------------------------------------------------------------------------------------

// Literal weights after the legacy completion: "w V W" with W in [0, 1] makes -V weigh 1 - W
// unless a line weighs -V.
std::map<int, mpq_class> literal_weights(const formula_case& f) {
  std::map<int, mpq_class> weights;
  for (const weight_line& w : f.weights) weights[w.literal] = w.value;
  std::set<int> weighed;
  for (const weight_line& w : f.weights) weighed.insert(w.literal);
  for (const weight_line& w : f.weights)
    if (w.legacy && w.literal > 0 && !weighed.count(-w.literal) && w.value >= 0 && w.value <= 1)
      weights[-w.literal] = 1 - w.value;
  return weights;
}

bool assumptions_hold(const std::vector<int>& assumed, std::size_t a) {
  return std::all_of(assumed.begin(), assumed.end(),
                     [a](int l) { return ((a >> (std::abs(l) - 1)) & 1) == static_cast<std::size_t>(l > 0); });
}

// The distinct restrictions to the counted variables of the models that meet the assumptions.
table projections(const table& models, unsigned vars, std::size_t mask, const std::vector<int>& assumed) {
  table result(vars);
  for (std::size_t a = 0; a < models.size(); ++a)
    if (models.get(a) && assumptions_hold(assumed, a)) result.set(a & mask);
  return result;
}

// Each counted variable's two weights over a common denominator, so that a model's weight is a
// product of integers over the product of the denominators.
struct integer_weights {
  std::vector<mpz_class> positive, negative;  // entry v - 1
  mpz_class denominator = 1;
};

integer_weights scaled_weights(const std::map<int, mpq_class>& weights, unsigned vars, std::size_t mask) {
  integer_weights scaled;
  scaled.positive.resize(vars, 1);
  scaled.negative.resize(vars, 1);
  for (unsigned v = 1; v <= vars; ++v) {
    if (!((mask >> (v - 1)) & 1)) continue;
    auto weight = [&](int literal) {
      auto it = weights.find(literal);
      return it == weights.end() ? mpq_class(1) : it->second;
    };
    mpq_class positive = weight(static_cast<int>(v)), negative = weight(-static_cast<int>(v));
    mpz_class common;
    mpz_lcm(common.get_mpz_t(), positive.get_den_mpz_t(), negative.get_den_mpz_t());
    scaled.positive[v - 1] = positive.get_num() * (common / positive.get_den());
    scaled.negative[v - 1] = negative.get_num() * (common / negative.get_den());
    scaled.denominator *= common;
  }
  return scaled;
}

mpq_class weighted_sum(const table& assignments, unsigned vars, std::size_t mask,
                       const std::map<int, mpq_class>& weights) {
  integer_weights scaled = scaled_weights(weights, vars, mask);
  mpz_class total = 0, product;
  for (std::size_t a = 0; a < assignments.size(); ++a) {
    if (!assignments.get(a)) continue;
    product = 1;
    for (unsigned v = 1; v <= vars; ++v)
      if ((mask >> (v - 1)) & 1) product *= (a >> (v - 1)) & 1 ? scaled.positive[v - 1] : scaled.negative[v - 1];
    total += product;
  }
  mpq_class value(total, scaled.denominator);
  value.canonicalize();
  return value;
}

std::size_t counted_mask(unsigned vars, const std::vector<unsigned>& forgotten) {
  std::size_t mask = (std::size_t{1} << vars) - 1;
  for (unsigned v : forgotten) mask &= ~(std::size_t{1} << (v - 1));
  return mask;
}

void expect_count(const test_case& t, const table& function, expectation& e) {
  const formula_case& f = t.formula;
  const option_case& o = t.options;
  std::vector<unsigned> forgotten = forgotten_for_count(t);
  std::map<int, mpq_class> weights = literal_weights(f);
  e.count = true;
  // Giving a weight file makes the count weighted, whatever the file holds.
  e.weighted = !weights.empty() || weighted_type(f.type) || o.weight_file;
  e.type = std::string(f.projected() || !forgotten.empty() ? "p" : "") + (e.weighted ? "wmc" : "mc");
  std::vector<int> assumed = o.assume_given ? o.assume : std::vector<int>();
  std::size_t mask = counted_mask(f.vars, forgotten);
  table counted = projections(function, f.vars, mask, assumed);
  e.satisfiable = counted.count() > 0;
  e.value = e.weighted ? weighted_sum(counted, f.vars, mask, weights) : mpq_class(counted.count());
}

// Compiling forgets the hidden variables and those of -exist; minimisation keeps the fewest
// true variables.
void expect_circuit(const test_case& t, expectation& e) {
  const formula_case& f = t.formula;
  const option_case& o = t.options;
  std::vector<unsigned> forgotten = hidden_vars(f);
  for (unsigned v : exist_vars(t))
    if (!contains(forgotten, v)) forgotten.push_back(v);
  table compiled = forget_all(formula_models(f), forgotten);
  // A projected circuit is minimised over the variables it counts; the forgotten ones stay free.
  std::size_t counted = counted_mask(f.vars, forgotten_for_count(t));
  table function = o.minimize ? fewest_true(compiled, f.vars, counted) : compiled;
  e.lower = function;
  e.decomposable = !listed_in_range(o.determined, f.vars) && !listed_in_range(o.decompose_except, f.vars);
  // Each added model lies above a model compiled only when no two branches of an and-node share
  // a variable: a dropped negative literal then stands alone in its term.
  e.upper = !o.suppress_ane ? function : e.decomposable ? upward_closure(compiled, f.vars) : table(f.vars, true);
  // Forgetting after the search makes or-nodes over forgotten decisions overlap, unless the
  // projection made the search decide forgotten variables last. The dynamic search never decides
  // a forgotten variable.
  bool forgets_late = !o.dynamic && !exist_vars(t).empty() && forgotten_for_count(t).empty();
  e.disjoint = o.suppress_ane ? determinism::none : forgets_late ? determinism::decisions : determinism::all;
  // Minimisation replaces smoothing.
  e.smooth = o.minimize || o.smooth != 0;
  std::size_t every = counted_mask(f.vars, {});
  e.complete_over = o.minimize ? counted : o.smooth == 2 ? every : 0;
  // The dynamic circuit is the projection itself; only completing the root may name a forgotten
  // variable again.
  if (o.dynamic) e.unmentioned = every & ~counted_mask(f.vars, forgotten) & ~e.complete_over;
  e.nnf_file = !o.in_memory && !o.count_only;
  if (o.count) expect_count(t, function, e);
  e.check_entailment = o.check_entailment;
  if (e.check_entailment) e.clauses = clause_disjunctions(f);
}

}  // namespace

expectation expect(const test_case& t) {
  expectation e;
  e.vars = t.formula.vars;
  e.message = expected_failure(t);
  e.fails = !e.message.empty();
  if (!e.fails) expect_circuit(t, e);
  return e;
}

}  // namespace diff_fuzz
