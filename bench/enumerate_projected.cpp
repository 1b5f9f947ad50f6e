// enumerate_projected CNF LIMIT
//
// An exact (projected, weighted) model counter that shares no code with tarn, to check tarn's
// answers on files small enough to enumerate. It reads the DIMACS CNF and its counting directives
// ("c p weight LIT W 0", legacy "w LIT W [0]", "c p show ... 0", "c ind ... 0", "vp ... 0") with its
// own parser and prints the answer on one line: an integer, or P/Q in lowest terms.
//
// The counted variables are the shown ones under a projection, else all declared ones. A projected
// model is an assignment of the counted variables that some model of the CNF extends; its weight is
// the product of its literals' weights (unlisted literals weigh 1).
//
// Method: CaDiCaL finds a model under assumptions on counted literals. The model is widened into a
// cube over the counted variables: a counted variable is dropped when every clause it satisfies
// stays satisfied by other literals, so that the same witness extends all of the cube's projected
// models. The rest of the search space, outside the cube, splits into disjoint branches, one per
// cube literal (l1 .. l(i-1) kept, li flipped), each searched the same way. The branches act as the
// blocking clauses over the counted literals; they keep the cubes disjoint without growing the
// clause database. Exit status: 0 answer printed, 1 unreadable input, 2 more than LIMIT cubes.
#include <cadical.hpp>
#include <gmpxx.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_BAD_INPUT = 1;
constexpr int EXIT_TOO_MANY = 2;

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "enumerate_projected: %s\n", message.c_str());
  std::exit(EXIT_BAD_INPUT);
}

struct weighted_cnf {
  int var_count = 0;
  std::vector<std::vector<int>> clauses;
  std::map<int, mpq_class> weights;  // literal -> weight, as the directives give them
  std::map<int, mpq_class> legacy;   // literal -> weight from "w" lines, completed later
  bool projected = false;
  std::vector<int> shown;  // as listed, maybe repeated
};

std::vector<std::string> tokens_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> tokens;
  for (std::string token; in >> token;) tokens.push_back(token);
  return tokens;
}

int integer_of(const std::string& token) {
  char* end = nullptr;
  long value = std::strtol(token.c_str(), &end, 10);
  if (token.empty() || *end != '\0' || value < -2147483647L || value > 2147483647L) fail("not an integer: " + token);
  return static_cast<int>(value);
}

// An optional sign, then digits (of any length).
bool is_integer_text(const std::string& text) {
  std::size_t first = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (first == text.size()) return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(first), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

mpz_class power_of_ten(long exponent) {
  mpz_class power;
  mpz_ui_pow_ui(power.get_mpz_t(), 10, static_cast<unsigned long>(exponent));
  return power;
}

// "0.25", "-1.5e-3", ".5", "3" or "1/4", read exactly.
mpq_class exact_number(const std::string& text) {
  std::size_t slash = text.find('/');
  if (slash != std::string::npos) {
    std::string above = text.substr(0, slash), below = text.substr(slash + 1);
    if (!is_integer_text(above) || !is_integer_text(below) || integer_of(below) == 0) fail("not a number: " + text);
    if (above[0] == '+') above.erase(0, 1);  // GMP reads no plus sign
    if (below[0] == '+') below.erase(0, 1);
    mpq_class value(mpz_class(above, 10), mpz_class(below, 10));
    value.canonicalize();
    return value;
  }
  std::size_t i = 0;
  bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::string digits;
  long scale = 0;
  bool in_fraction = false;
  for (; i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'); ++i) {
    if (text[i] == '.') {
      if (in_fraction) fail("not a number: " + text);
      in_fraction = true;
      continue;
    }
    digits += text[i];
    if (in_fraction) --scale;
  }
  if (digits.empty()) fail("not a number: " + text);
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) scale += integer_of(text.substr(i + 1));
  else if (i < text.size()) fail("not a number: " + text);
  mpq_class value{mpz_class(digits, 10)};
  if (scale >= 0) value *= power_of_ten(scale);
  else value /= power_of_ten(-scale);
  value.canonicalize();
  return negative ? mpq_class(-value) : value;
}

void set_weight(std::map<int, mpq_class>& table, int literal, const mpq_class& weight) {
  auto [entry, fresh] = table.emplace(literal, weight);
  if (!fresh && entry->second != weight) fail("literal " + std::to_string(literal) + " given two weights");
}

// The variables from token `first` up to a closing 0.
void read_shown(const std::vector<std::string>& tokens, std::size_t first, weighted_cnf& f) {
  f.projected = true;
  for (std::size_t i = first; i < tokens.size(); ++i) {
    int variable = integer_of(tokens[i]);
    if (variable == 0) return;
    if (variable < 0) fail("negative shown variable: " + tokens[i]);
    f.shown.push_back(variable);
  }
  fail("projection line without closing 0");
}

void read_comment(const std::vector<std::string>& tokens, weighted_cnf& f) {
  if (tokens.size() >= 2 && tokens[1] == "ind") read_shown(tokens, 2, f);
  if (tokens.size() < 3 || tokens[1] != "p") return;
  if (tokens[2] == "show") read_shown(tokens, 3, f);
  if (tokens[2] == "weight") {
    if (tokens.size() < 5) fail("short weight line");
    set_weight(f.weights, integer_of(tokens[3]), exact_number(tokens[4]));
  }
}

// Legacy "w" lines: "w V -1" makes both literals of V weigh 1; "w V W" with W in [0,1] and no
// weight on -V makes -V weigh 1 - W.
void complete_legacy_weights(weighted_cnf& f) {
  for (const auto& [literal, weight] : f.legacy) {
    if (weight == -1) {
      set_weight(f.weights, literal, 1);
      set_weight(f.weights, -literal, 1);
      continue;
    }
    set_weight(f.weights, literal, weight);
    bool complement_weighed = f.legacy.count(-literal) != 0 || f.weights.count(-literal) != 0;
    if (literal > 0 && !complement_weighed && weight >= 0 && weight <= 1) set_weight(f.weights, -literal, 1 - weight);
  }
}

// Adds the literals of one line to `clause`; a 0 closes it.
void read_clause_tokens(const std::vector<std::string>& tokens, std::vector<int>& clause, weighted_cnf& f) {
  for (const std::string& token : tokens) {
    int literal = integer_of(token);
    if (literal != 0) {
      clause.push_back(literal);
      continue;
    }
    f.clauses.push_back(clause);
    clause.clear();
  }
}

bool in_range(const weighted_cnf& f, int literal) { return literal != 0 && std::abs(literal) <= f.var_count; }

void check_variables_in_range(const weighted_cnf& f) {
  for (const std::vector<int>& clause : f.clauses)
    for (int literal : clause)
      if (!in_range(f, literal)) fail("literal beyond the declared variables: " + std::to_string(literal));
  for (int variable : f.shown)
    if (!in_range(f, variable)) fail("shown variable out of range: " + std::to_string(variable));
  for (const auto* table : {&f.weights, &f.legacy})
    for (const auto& entry : *table)
      if (!in_range(f, entry.first)) fail("weighted literal out of range: " + std::to_string(entry.first));
}

// Clause literals may run over several lines; a line starting with '%' ends the formula.
weighted_cnf read_cnf(const char* path) {
  std::ifstream in(path);
  if (!in) fail(std::string("cannot open ") + path);
  weighted_cnf f;
  bool header_seen = false;
  std::vector<int> clause;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> tokens = tokens_of(line);
    if (tokens.empty()) continue;
    const std::string& kind = tokens[0];
    if (kind[0] == '%') break;
    if (kind == "p") {
      if (tokens.size() < 4) fail("bad p line");
      f.var_count = integer_of(tokens[2]);
      header_seen = true;
    } else if (kind == "c") {
      read_comment(tokens, f);
    } else if (kind == "w") {
      if (tokens.size() < 3) fail("short w line");
      set_weight(f.legacy, integer_of(tokens[1]), exact_number(tokens[2]));
    } else if (kind == "vp") {
      read_shown(tokens, 1, f);
    } else {
      if (!header_seen) fail("clause before the p line");
      read_clause_tokens(tokens, clause, f);
    }
  }
  if (!header_seen) fail("no p line");
  if (!clause.empty()) f.clauses.push_back(clause);
  check_variables_in_range(f);
  complete_legacy_weights(f);
  return f;
}

// Counted variables: the shown ones, or all of them without a projection.
std::vector<int> counted_variables(const weighted_cnf& f) {
  std::vector<int> counted = f.shown;
  if (!f.projected)
    for (int v = 1; v <= f.var_count; ++v) counted.push_back(v);
  std::sort(counted.begin(), counted.end());
  counted.erase(std::unique(counted.begin(), counted.end()), counted.end());
  return counted;
}

mpq_class weight_of(const weighted_cnf& f, int literal) {
  auto entry = f.weights.find(literal);
  return entry == f.weights.end() ? mpq_class(1) : entry->second;
}

// The clauses that contain a counted variable, each with its literals once, and for every counted
// literal the clauses it occurs in. Tautologies are left out: they constrain nothing.
struct widening_index {
  std::vector<std::vector<int>> clauses;
  std::vector<std::vector<int>> occurrences;  // by literal index 2v + (literal < 0)
  std::vector<int> true_count;                // per clause, scratch for one model
};

std::size_t literal_index(int literal) { return 2 * static_cast<std::size_t>(std::abs(literal)) + (literal < 0); }

// The clause's literals once each, ordered by variable; empty for a tautology.
std::vector<int> distinct_literals(std::vector<int> clause) {
  std::sort(clause.begin(), clause.end(), [](int a, int b) { return literal_index(a) < literal_index(b); });
  clause.erase(std::unique(clause.begin(), clause.end()), clause.end());
  for (std::size_t i = 1; i < clause.size(); ++i)
    if (clause[i] == -clause[i - 1]) return {};
  return clause;
}

bool mentions_counted(const std::vector<int>& clause, const std::vector<char>& counted) {
  return std::any_of(clause.begin(), clause.end(),
                     [&](int literal) { return counted[static_cast<std::size_t>(std::abs(literal))] != 0; });
}

widening_index build_widening_index(const weighted_cnf& f, const std::vector<char>& counted) {
  widening_index index;
  index.occurrences.resize(2 * static_cast<std::size_t>(f.var_count) + 2);
  for (const std::vector<int>& clause : f.clauses) {
    std::vector<int> distinct = distinct_literals(clause);
    if (!mentions_counted(distinct, counted)) continue;  // also skips tautologies
    int id = static_cast<int>(index.clauses.size());
    for (int literal : distinct)
      if (counted[static_cast<std::size_t>(std::abs(literal))]) index.occurrences[literal_index(literal)].push_back(id);
    index.clauses.push_back(std::move(distinct));
  }
  index.true_count.resize(index.clauses.size());
  return index;
}

std::vector<char> flags_of(const std::vector<int>& variables, int var_count) {
  std::vector<char> flags(static_cast<std::size_t>(var_count) + 1, 0);
  for (int v : variables) flags[static_cast<std::size_t>(v)] = 1;
  return flags;
}

struct counter {
  counter(const weighted_cnf& f, unsigned long cube_limit)
      : formula(f),
        counted(counted_variables(f)),
        assumed(static_cast<std::size_t>(f.var_count) + 1, 0),
        index(build_widening_index(f, flags_of(counted, f.var_count))),
        limit(cube_limit) {}
  const weighted_cnf& formula;
  std::vector<int> counted;   // ascending
  std::vector<char> assumed;  // by variable: on the current trail
  widening_index index;
  CaDiCaL::Solver solver;
  unsigned long limit;
  unsigned long cubes = 0;
  unsigned long solver_calls = 0;
  mpq_class total = 0;
};

void load_solver(counter& c) {
  c.solver.set("quiet", 1);  // its messages would mix with the answer on stdout
  c.solver.reserve(c.formula.var_count);
  for (const std::vector<int>& clause : c.formula.clauses) {
    for (int literal : clause) c.solver.add(literal);
    c.solver.add(0);
  }
}

bool satisfiable_under(counter& c, const std::vector<int>& assumptions) {
  ++c.solver_calls;
  for (int literal : assumptions) c.solver.assume(literal);
  int status = c.solver.solve();
  if (status != 10 && status != 20) fail("the SAT solver gave no answer");
  return status == 10;
}

// Whether the model's `literal` can leave the cube: no clause depends on it alone.
bool droppable(const counter& c, int literal) {
  if (c.assumed[static_cast<std::size_t>(std::abs(literal))]) return false;
  for (int id : c.index.occurrences[literal_index(literal)])
    if (c.index.true_count[static_cast<std::size_t>(id)] < 2) return false;
  return true;
}

// The model's counted literals, off the trail, that must stay in the cube, in variable order;
// `weight` gets the cube's weight (a dropped variable weighs w(v) + w(-v)).
std::vector<int> widen_model(counter& c, mpq_class& weight) {
  widening_index& index = c.index;
  for (std::size_t id = 0; id < index.clauses.size(); ++id) {
    int satisfied = 0;
    for (int literal : index.clauses[id]) satisfied += c.solver.val(literal) > 0;
    index.true_count[id] = satisfied;
  }
  std::vector<int> kept;
  weight = 1;
  for (int variable : c.counted) {
    int literal = c.solver.val(variable) > 0 ? variable : -variable;
    if (droppable(c, literal)) {
      for (int id : index.occurrences[literal_index(literal)]) --index.true_count[static_cast<std::size_t>(id)];
      weight *= weight_of(c.formula, variable) + weight_of(c.formula, -variable);
      continue;
    }
    weight *= weight_of(c.formula, literal);
    if (!c.assumed[static_cast<std::size_t>(variable)]) kept.push_back(literal);
  }
  return kept;
}

[[noreturn]] void stop_too_many(const counter& c) {
  std::printf("too many: more than %lu cubes of projected models\n", c.limit);
  std::fprintf(stderr, "enumerate_projected: stopped after %lu solver calls\n", c.solver_calls);
  std::exit(EXIT_TOO_MANY);
}

// A branch still to search: the trail cut to `trail_length`, then `literal`.
struct branch {
  std::size_t trail_length;
  int literal;
};

// Counts the cube of one model under `trail`, and leaves the trail extended by the cube's literals
// with one pending branch per literal, flipped, for the rest of the space.
void explore(counter& c, std::vector<int>& trail, std::vector<branch>& pending) {
  if (!satisfiable_under(c, trail)) return;
  if (++c.cubes > c.limit) stop_too_many(c);
  for (int literal : trail) c.assumed[static_cast<std::size_t>(std::abs(literal))] = 1;
  mpq_class weight;
  std::vector<int> kept = widen_model(c, weight);
  for (int literal : trail) c.assumed[static_cast<std::size_t>(std::abs(literal))] = 0;
  c.total += weight;
  for (int literal : kept) {
    pending.push_back({trail.size(), -literal});
    trail.push_back(literal);
  }
}

// Depth first: a branch only ever cuts the trail back to a prefix that its creator left in place,
// so one trail serves all branches.
void count_all(counter& c) {
  std::vector<int> trail;
  std::vector<branch> pending;
  explore(c, trail, pending);
  while (!pending.empty()) {
    branch next = pending.back();
    pending.pop_back();
    trail.resize(next.trail_length);
    trail.push_back(next.literal);
    explore(c, trail, pending);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: enumerate_projected CNF LIMIT\n"
                 "  prints the exact (projected, weighted) count, or \"too many\" (exit 2) once more than\n"
                 "  LIMIT solver calls have found a model (each finds a cube of one or more projected models)\n");
    return EXIT_BAD_INPUT;
  }
  char* end = nullptr;
  unsigned long limit = std::strtoul(argv[2], &end, 10);
  if (*argv[2] == '\0' || *end != '\0') fail(std::string("bad limit: ") + argv[2]);
  weighted_cnf formula = read_cnf(argv[1]);
  counter c(formula, limit);
  load_solver(c);
  count_all(c);
  c.total.canonicalize();
  std::printf("%s\n", c.total.get_str().c_str());
  std::fprintf(stderr, "enumerate_projected: %lu cubes, %lu solver calls, %zu counted variables\n", c.cubes,
               c.solver_calls, c.counted.size());
  return 0;
}
