#include "diff_fuzz/case.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace diff_fuzz {

namespace {

using rng = std::mt19937_64;

unsigned pick(rng& random, unsigned lo, unsigned hi) { return lo + static_cast<unsigned>(random() % (hi - lo + 1)); }
bool chance(rng& random, unsigned percent) { return random() % 100 < percent; }

int random_literal(rng& random, unsigned vars) {
  int v = static_cast<int>(pick(random, 1, vars));
  return chance(random, 50) ? v : -v;
}

// Mostly mid-sized formulas; a few tiny ones and one in fifty without variables.
unsigned random_var_count(rng& random) {
  unsigned roll = pick(random, 0, 99);
  if (roll < 2) return 0;
  if (roll < 12) return pick(random, 1, 3);
  if (roll < 55) return pick(random, 4, 9);
  return pick(random, 10, 14);
}

// Units, short clauses and long ones; literals drawn with replacement make repeats and
// complements, and a few more are added on purpose.
std::vector<int> random_clause(rng& random, unsigned vars) {
  unsigned roll = pick(random, 0, 99);
  unsigned width = roll < 15 ? 1 : roll < 45 ? 2 : roll < 75 ? 3 : pick(random, 4, vars + 3);
  std::vector<int> clause;
  for (unsigned i = 0; i < width; ++i) clause.push_back(random_literal(random, vars));
  if (chance(random, 10)) clause.push_back(clause[random() % clause.size()]);
  if (chance(random, 5)) clause.push_back(-clause[random() % clause.size()]);
  return clause;
}

std::vector<unsigned> random_permutation(rng& random, unsigned vars) {
  std::vector<unsigned> order(vars);
  std::iota(order.begin(), order.end(), 1u);
  std::shuffle(order.begin(), order.end(), random);
  return order;
}

// Binary (sometimes ternary) clauses along a path through the variables: deep dtrees.
void add_chain(rng& random, unsigned vars, std::vector<std::vector<int>>& clauses) {
  std::vector<unsigned> path = random_permutation(random, vars);
  for (unsigned i = 0; i + 1 < vars; ++i) {
    std::vector<int> clause;
    for (unsigned v : {path[i], path[i + 1]})
      clause.push_back(chance(random, 50) ? static_cast<int>(v) : -static_cast<int>(v));
    if (chance(random, 20)) clause.push_back(random_literal(random, vars));
    clauses.push_back(clause);
  }
}

// Every sign pattern over k variables: an unsatisfiable core the reader cannot see as such.
void add_unsatisfiable_core(rng& random, unsigned vars, std::vector<std::vector<int>>& clauses) {
  std::vector<unsigned> chosen = random_permutation(random, vars);
  chosen.resize(std::min(vars, pick(random, 1, 3)));
  for (unsigned signs = 0; signs < (1u << chosen.size()); ++signs) {
    std::vector<int> clause;
    for (unsigned i = 0; i < chosen.size(); ++i)
      clause.push_back((signs >> i) & 1 ? static_cast<int>(chosen[i]) : -static_cast<int>(chosen[i]));
    clauses.push_back(clause);
  }
}

void add_duplicate_clauses(rng& random, std::vector<std::vector<int>>& clauses) {
  for (unsigned k = pick(random, 1, 3); k > 0 && !clauses.empty(); --k) {
    std::vector<int> copy = clauses[random() % clauses.size()];
    std::shuffle(copy.begin(), copy.end(), random);
    clauses.push_back(copy);
  }
}

// Distinct variables mostly; sometimes a repeated literal, rarely a complement (a two-literal
// x -x eclause always holds, a longer one is refused by the reader).
std::vector<int> random_eclause(rng& random, unsigned vars) {
  std::vector<unsigned> chosen = random_permutation(random, vars);
  chosen.resize(std::min(vars, pick(random, 1, 5)));
  std::vector<int> clause;
  for (unsigned v : chosen) clause.push_back(chance(random, 50) ? static_cast<int>(v) : -static_cast<int>(v));
  if (chance(random, 15)) clause.push_back(clause[random() % clause.size()]);
  if (chance(random, 5)) clause.push_back(-clause[random() % clause.size()]);
  return clause;
}

void add_clauses(rng& random, formula_case& f) {
  if (f.vars == 0) return;
  unsigned count = chance(random, 10) ? pick(random, 0, 3) : pick(random, 1, std::min(50u, 4 * f.vars));
  for (unsigned i = 0; i < count; ++i) f.clauses.push_back(random_clause(random, f.vars));
  if (chance(random, 30)) add_chain(random, f.vars, f.clauses);
  if (chance(random, 10)) add_unsatisfiable_core(random, f.vars, f.clauses);
  if (chance(random, 15)) add_duplicate_clauses(random, f.clauses);
  std::shuffle(f.clauses.begin(), f.clauses.end(), random);
  if (chance(random, 25)) {
    f.eclauses = pick(random, 1, 3);
    for (unsigned i = 0; i < f.eclauses; ++i) f.clauses.push_back(random_eclause(random, f.vars));
  }
}

struct weight_choice {
  const char* text;
  mpq_class value;
};

// Decimals, exponents, fractions, signs, zeros.
const std::vector<weight_choice>& weight_choices() {
  static const std::vector<weight_choice> choices = {{"0.3", mpq_class(3, 10)},
                                                     {"3e-1", mpq_class(3, 10)},
                                                     {"-1.5", mpq_class(-3, 2)},
                                                     {"1/4", mpq_class(1, 4)},
                                                     {"0", 0},
                                                     {"2", 2},
                                                     {"0.125", mpq_class(1, 8)},
                                                     {"-3/8", mpq_class(-3, 8)},
                                                     {"1E+1", 10},
                                                     {"7/3", mpq_class(7, 3)},
                                                     {"+0.5", mpq_class(1, 2)},
                                                     {".5", mpq_class(1, 2)},
                                                     {"5.", 5},
                                                     {"1", 1},
                                                     {"-1", -1},
                                                     {"0.0", 0},
                                                     {"12e-2", mpq_class(3, 25)},
                                                     {"-0", 0}};
  return choices;
}

// Legacy weights in [0, 1]: the negative literal then weighs the rest.
const std::vector<weight_choice>& legacy_choices() {
  static const std::vector<weight_choice> choices = {
      {"0.25", mpq_class(1, 4)}, {"0", 0}, {"1", 1}, {"0.5", mpq_class(1, 2)}, {"3/4", mpq_class(3, 4)}};
  return choices;
}

weight_line weight_of(int literal, const weight_choice& choice, bool legacy) {
  return weight_line{literal, choice.text, choice.value, legacy};
}

void add_variable_weights(rng& random, int x, formula_case& f) {
  unsigned roll = pick(random, 0, 99);
  if (roll < 10) {  // the two weights cancel out
    f.weights.push_back(weight_of(x, {"1/3", mpq_class(1, 3)}, false));
    f.weights.push_back(weight_of(-x, {"-1/3", mpq_class(-1, 3)}, false));
  } else if (roll < 20) {
    const weight_choice& c = legacy_choices()[random() % legacy_choices().size()];
    f.weights.push_back(weight_of(x, c, true));
  } else {
    for (int literal : {x, -x})
      if (chance(random, 50))
        f.weights.push_back(weight_of(literal, weight_choices()[random() % weight_choices().size()], false));
  }
}

void add_weights(rng& random, formula_case& f) {
  for (unsigned v = 1; v <= f.vars; ++v)
    if (chance(random, 60)) add_variable_weights(random, static_cast<int>(v), f);
  // The same weight given twice is allowed.
  if (!f.weights.empty() && chance(random, 8)) f.weights.push_back(f.weights[random() % f.weights.size()]);
  std::shuffle(f.weights.begin(), f.weights.end(), random);
}

// A projection of any size, over one to three lines, sometimes naming a variable twice.
void add_projection(rng& random, formula_case& f) {
  std::vector<unsigned> shown = random_permutation(random, f.vars);
  shown.resize(pick(random, 0, f.vars));
  if (!shown.empty() && chance(random, 10)) shown.push_back(shown[random() % shown.size()]);
  unsigned lines = pick(random, 1, 3);
  f.show_lines.assign(lines, {});
  for (unsigned v : shown) f.show_lines[random() % lines].push_back(v);
  unsigned roll = pick(random, 0, 99);
  f.show_spelling = roll < 70 ? "c p show" : roll < 85 ? "c ind" : "vp";
}

formula_case random_formula(rng& random) {
  formula_case f;
  f.vars = random_var_count(random);
  add_clauses(random, f);
  if (chance(random, 35)) add_weights(random, f);
  if (chance(random, 35)) add_projection(random, f);
  if (chance(random, 15))
    f.type = std::string(f.projected() ? "p" : "") + (!f.weights.empty() || chance(random, 30) ? "wmc" : "mc");
  f.layout = static_cast<unsigned>(random());
  return f;
}

// Any subset of the variables, sometimes with a repeat, rarely with an index outside 1..V.
var_list random_list(rng& random, unsigned vars) {
  var_list list;
  list.given = true;
  for (unsigned v = 1; v <= vars; ++v)
    if (chance(random, 30)) list.vars.push_back(v);
  std::shuffle(list.vars.begin(), list.vars.end(), random);
  if (!list.vars.empty() && chance(random, 10)) list.vars.push_back(list.vars[0]);
  if (chance(random, 2)) list.vars.push_back(chance(random, 50) ? 0 : vars + 1);
  return list;
}

void choose_dtree(rng& random, unsigned vars, option_case& o) {
  unsigned roll = pick(random, 0, 99);
  if (roll < (o.dynamic ? 1u : 5u) && vars > 0) {
    o.block_order.resize(vars);
    for (unsigned& block : o.block_order) block = pick(random, 0, 3);
  } else if (roll < 75) {
    o.dt_method = static_cast<int>(pick(random, 0, 4));
  }
  if ((o.dt_method <= 1) && o.block_order.empty() && chance(random, 40))
    o.dt_count = static_cast<int>(pick(random, 1, 5));
  if (o.dt_method == 1 && chance(random, 50)) {
    // Mostly a range; a reversed one leaves no tries and is refused.
    o.first_ubf = static_cast<int>(pick(random, 1, 49));
    o.last_ubf = static_cast<int>(chance(random, 90) ? pick(random, static_cast<unsigned>(o.first_ubf), 49)
                                                     : pick(random, 1, 49));
  }
  o.seed = static_cast<long long>(random() % 4294967296ull);
  unsigned threads = pick(random, 0, 9);
  o.threads = threads < 4 ? 0 : threads < 7 ? 1 : 2;
}

void choose_search(rng& random, unsigned vars, option_case& o) {
  o.no_ddb = chance(random, 20);
  o.no_cache = chance(random, 15);
  if (chance(random, 10)) o.cache_size = static_cast<int>(pick(random, 0, 1));
  if (chance(random, 5)) o.nnf_block_size = static_cast<int>(pick(random, 0, 1));
  o.keep_trivial = chance(random, 10);
  o.suppress_ane = chance(random, 5);
  if (chance(random, 12)) o.exist = random_list(random, vars);
  if (chance(random, o.dynamic ? 2 : 12)) o.force = random_list(random, vars);
  if (chance(random, o.dynamic ? 1 : 8)) o.determined = random_list(random, vars);
  if (chance(random, o.dynamic ? 1 : 8)) o.decompose_except = random_list(random, vars);
}

// Assumed literals, sometimes contradictory; their variables may be hidden, which is refused.
std::vector<int> random_assumptions(rng& random, unsigned vars) {
  std::vector<int> literals;
  for (unsigned k = pick(random, 1, 3); k > 0 && vars > 0; --k) literals.push_back(random_literal(random, vars));
  return literals;
}

void choose_post_processing(rng& random, unsigned vars, option_case& o) {
  o.reduce = chance(random, 25);
  unsigned roll = pick(random, 0, 99);
  o.smooth = roll < 15 ? 1 : roll < 30 ? 2 : 0;
  // Counting and minimising are refused with variables that break decomposition and with
  // -suppress_ane; mostly leave them out there, so that such compilations are judged too.
  bool refused = o.determined.given || o.decompose_except.given || o.suppress_ane;
  o.minimize = chance(random, refused ? 3 : 12);
  o.count = chance(random, refused ? 10 : 65);
  if (o.count && vars > 0 && chance(random, 20)) {
    o.assume_given = true;
    o.assume = random_assumptions(random, vars);
  }
  o.count_only = o.count && chance(random, 20);
  o.weight_file = o.count && chance(random, 15);
  o.saved_query = o.count && !o.count_only && chance(random, 15);
  o.in_memory = chance(random, 12);
  o.check_entailment = chance(random, 20);
  o.dt_out = chance(random, o.dynamic ? 1 : 5);
  o.verbose = chance(random, 15);
}

option_case random_options(rng& random, unsigned vars) {
  option_case o;
  // The dynamic search refuses a block order, -dt_out and variables kept out of decomposition:
  // they are rarely drawn with it, so that most of its compilations are judged, and some refusals.
  o.dynamic = chance(random, 33);
  o.preprocess = chance(random, 33);
  choose_dtree(random, vars, o);
  choose_search(random, vars, o);
  choose_post_processing(random, vars, o);
  o.order = static_cast<unsigned>(random());
  return o;
}

std::string join(const std::vector<int>& items) {
  std::string text;
  for (int item : items) text += (text.empty() ? "" : " ") + std::to_string(item);
  return text;
}

std::string clause_text(rng& layout, const std::vector<int>& clause) {
  std::string separator = chance(layout, 10) ? " \t " : " ";
  std::string text;
  std::size_t split = chance(layout, 10) ? pick(layout, 1, static_cast<unsigned>(clause.size())) : clause.size() + 1;
  for (std::size_t i = 0; i < clause.size(); ++i) {
    if (i == split) text += "\n";
    text += std::to_string(clause[i]) + separator;
  }
  // The terminating 0 may start the next line: within a clause it ends the clause.
  if (split == clause.size() || chance(layout, 3)) text += "\n";
  return text + "0\n";
}

std::vector<std::string> directive_lines(const formula_case& f) {
  std::vector<std::string> lines;
  if (!f.type.empty()) lines.push_back("c t " + f.type + "\n");
  for (const weight_line& w : f.weights)
    lines.push_back(w.legacy ? "w " + std::to_string(w.literal) + " " + w.text + "\n"
                             : "c p weight " + std::to_string(w.literal) + " " + w.text + " 0\n");
  for (const std::vector<unsigned>& shown : f.show_lines) {
    std::string line = f.show_spelling;
    for (unsigned v : shown) line += " " + std::to_string(v);
    lines.push_back(line + " 0\n");
  }
  return lines;
}

std::string comment_line(rng& layout) {
  static const char* const comments[] = {"c a comment\n", "%\n", "0\n", "\n", "c\n", "   \n"};
  return comments[layout() % 6];
}

}  // namespace

test_case random_case(std::mt19937_64& random) {
  test_case t;
  t.formula = random_formula(random);
  t.options = random_options(random, t.formula.vars);
  // Preprocessing resolves forgotten variables away, which may leave no clause and so no dtree to
  // refuse: a reversed range of balance factors is drawn only where it keeps every model.
  option_case& o = t.options;
  if (o.preprocess && (t.formula.projected() || (o.count && !o.exist.vars.empty())))
    o.last_ubf = std::max(o.last_ubf, o.first_ubf);
  return t;
}

// Directive lines go before the p line, among the clauses or after them; comments and blank
// lines anywhere between clauses.
std::string cnf_text(const formula_case& f, bool with_directives) {
  rng layout(f.layout);
  std::vector<std::string> directives = with_directives ? directive_lines(f) : std::vector<std::string>();
  std::vector<std::vector<std::string>> before_clause(f.clauses.size() + 1);
  std::string head;
  for (const std::string& line : directives) {
    if (chance(layout, 20))
      head += line;
    else
      before_clause[pick(layout, 0, static_cast<unsigned>(f.clauses.size()))].push_back(line);
  }
  std::string text = head + "p cnf " + std::to_string(f.vars) + " " + std::to_string(f.clauses.size()) + "\n";
  if (f.eclauses > 0 || chance(layout, 3)) text += "eclauses " + std::to_string(f.eclauses) + "\n";
  for (std::size_t i = 0; i <= f.clauses.size(); ++i) {
    for (const std::string& line : before_clause[i]) text += line;
    if (chance(layout, 5)) text += comment_line(layout);
    if (i < f.clauses.size()) text += clause_text(layout, f.clauses[i]);
  }
  return text;
}

std::string weight_file_text(const formula_case& f) {
  std::string text = "c directives of the query\n";
  for (const std::string& line : directive_lines(f)) text += line;
  return text;
}

std::vector<std::string> saved_query_arguments(const option_case& o) {
  std::vector<std::string> args{"-nnf", "f.cnf.nnf", "-count", "-silent", "-weights", "w.txt"};
  if (o.assume_given) args.insert(args.end(), {"-assume", join(o.assume)});
  return args;
}

std::string list_text(const var_list& list) {
  std::string text = std::to_string(list.vars.size());
  for (unsigned v : list.vars) text += " " + std::to_string(v);
  return text + "\n";
}

namespace {

using group = std::vector<std::string>;

void add_list(std::vector<group>& groups, const char* option, const var_list& list, const char* file) {
  if (list.given) groups.push_back({option, file});
}

std::vector<group> dtree_groups(const option_case& o) {
  std::vector<group> groups;
  if (o.dynamic) groups.push_back({"-dynamic"});
  if (o.preprocess) groups.push_back({"-preprocess"});
  if (o.dt_method >= 0) groups.push_back({"-dt_method", std::to_string(o.dt_method)});
  if (!o.block_order.empty()) groups.push_back({"-block_order_in", "blocks.txt"});
  if (o.dt_count > 0) groups.push_back({"-dt_count", std::to_string(o.dt_count)});
  if (o.first_ubf > 0) groups.push_back({"-ubfs", std::to_string(o.first_ubf), std::to_string(o.last_ubf)});
  if (o.seed >= 0) groups.push_back({"-seed", std::to_string(o.seed)});
  if (o.threads > 0) groups.push_back({"-threads", std::to_string(o.threads)});
  return groups;
}

std::vector<group> search_groups(const option_case& o) {
  std::vector<group> groups;
  if (o.no_ddb) groups.push_back({"-no_ddb"});
  if (o.no_cache) groups.push_back({"-no_cache"});
  if (o.cache_size >= 0) groups.push_back({"-cache_size", std::to_string(o.cache_size)});
  if (o.nnf_block_size >= 0) groups.push_back({"-nnf_block_size", std::to_string(o.nnf_block_size)});
  if (o.keep_trivial) groups.push_back({"-keep_trivial_cls"});
  if (o.suppress_ane) groups.push_back({"-suppress_ane"});
  add_list(groups, "-exist", o.exist, "exist.txt");
  add_list(groups, "-force", o.force, "force.txt");
  add_list(groups, "-determined", o.determined, "determined.txt");
  add_list(groups, "-decompose_except", o.decompose_except, "except.txt");
  return groups;
}

std::vector<group> post_processing_groups(const option_case& o) {
  std::vector<group> groups;
  if (o.reduce) groups.push_back({"-reduce"});
  if (o.smooth) groups.push_back({o.smooth == 1 ? "-smooth" : "-smooth_all"});
  if (o.minimize) groups.push_back({"-minimize"});
  if (o.count) groups.push_back({o.count_only ? "-count_only" : "-count"});
  if (o.assume_given) groups.push_back({"-assume", join(o.assume)});
  if (o.weight_file) groups.push_back({"-weights", "w.txt"});
  if (o.in_memory) groups.push_back({"-in_memory"});
  if (o.check_entailment) groups.push_back({"-check_entailment"});
  if (o.dt_out) groups.push_back({"-dt_out"});
  if (!o.verbose) groups.push_back({"-silent"});
  return groups;
}

std::vector<group> option_groups(const option_case& o) {
  std::vector<group> groups{{"-in", "f.cnf"}};
  for (auto part : {dtree_groups(o), search_groups(o), post_processing_groups(o)})
    groups.insert(groups.end(), part.begin(), part.end());
  return groups;
}

}  // namespace

std::vector<std::string> arguments(const option_case& o) {
  std::vector<group> groups = option_groups(o);
  rng order(o.order);
  std::shuffle(groups.begin(), groups.end(), order);
  std::vector<std::string> args;
  for (const group& g : groups) args.insert(args.end(), g.begin(), g.end());
  return args;
}

std::string signature(const option_case& o) {
  std::string text;
  for (const group& g : option_groups(o)) {
    if (g[0] == "-in" || g[0] == "-seed" || g[0] == "-silent") continue;
    // The dtree method and the thread count matter to coverage; other values do not.
    bool with_value = g[0] == "-dt_method" || g[0] == "-threads";
    text += (text.empty() ? "" : " ") + g[0] + (with_value ? " " + g[1] : "");
  }
  if (o.saved_query) text += (text.empty() ? "" : " ") + std::string("-nnf");
  return text.empty() ? "(none)" : text;
}

}  // namespace diff_fuzz
