#include "cnf/directives.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/printable.h"
#include "base/utility.h"

namespace {

constexpr long EXPONENT_LIMIT = 10000;

bool is_white(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------------------------

// Removes a leading sign from `text`; true when it was '-'.
bool take_sign(std::string_view& text) {
  bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  return negative;
}

// Removes and returns the digits at the front of `text`.
std::string_view take_digits(std::string_view& text) {
  std::size_t n = 0;
  while (n < text.size() && is_digit(text[n])) ++n;
  std::string_view digits = text.substr(0, n);
  text.remove_prefix(n);
  return digits;
}

bool all_digits(std::string_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), is_digit); }

mpz_class integer_of(std::string_view digits) { return mpz_class(std::string(digits), 10); }

mpz_class power_of_ten(unsigned long exponent) {
  mpz_class power;
  mpz_ui_pow_ui(power.get_mpz_t(), 10, exponent);
  return power;
}

// A signed exponent whose magnitude stays within the limit, digits checked one at a time so that
// a long run of digits cannot overflow.
bool take_exponent(std::string_view& text, long& exponent) {
  bool negative = take_sign(text);
  std::string_view digits = take_digits(text);
  if (digits.empty()) return false;
  long magnitude = 0;
  for (char digit : digits) {
    magnitude = magnitude * 10 + (digit - '0');
    if (magnitude > EXPONENT_LIMIT) return false;
  }
  exponent = negative ? -magnitude : magnitude;
  return true;
}

bool parse_fraction(std::string_view text, mpq_class& value) {
  std::size_t slash = text.find('/');
  std::string_view numerator = text.substr(0, slash);
  std::string_view denominator = text.substr(slash + 1);
  bool negative = take_sign(numerator);
  if (!all_digits(numerator) || !all_digits(denominator)) return false;
  mpz_class below = integer_of(denominator);
  if (below == 0) return false;
  value = mpq_class(integer_of(numerator), below);
  value.canonicalize();
  if (negative) value = -value;
  return true;
}

bool parse_decimal(std::string_view text, mpq_class& value) {
  bool negative = take_sign(text);
  std::string_view whole = take_digits(text);
  std::string_view fraction;
  if (!text.empty() && text.front() == '.') {
    text.remove_prefix(1);
    fraction = take_digits(text);
  }
  if (whole.empty() && fraction.empty()) return false;
  long exponent = 0;
  if (!text.empty() && (text.front() == 'e' || text.front() == 'E')) {
    text.remove_prefix(1);
    if (!take_exponent(text, exponent)) return false;
  }
  if (!text.empty()) return false;
  mpz_class digits = integer_of(std::string(whole) + std::string(fraction));
  long scale = exponent - static_cast<long>(fraction.size());
  if (scale >= 0) {
    value = mpq_class(digits * power_of_ten(static_cast<unsigned long>(scale)));
  } else {
    value = mpq_class(digits, power_of_ten(static_cast<unsigned long>(-scale)));
    value.canonicalize();
  }
  if (negative) value = -value;
  return true;
}

// An integer token that fits in int, without INT_MIN so that every value can be negated.
bool parse_int(std::string_view token, int& value) {
  bool negative = take_sign(token);
  if (!all_digits(token)) return false;
  long long magnitude = 0;
  for (char digit : token) {
    magnitude = magnitude * 10 + (digit - '0');
    if (magnitude > INT_MAX) return false;
  }
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------------------------

std::vector<std::string_view> tokens_of(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_white(line[i])) ++i;
    std::size_t start = i;
    while (i < line.size() && !is_white(line[i])) ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

// One directive line being read: its text, number and tokens.
struct directive_line {
  std::string_view text;
  unsigned long number;
  std::vector<std::string_view> tokens;
};

// `what` names the directive, `form` shows its syntax.
[[noreturn]] void malformed(const directive_line& line, const char* what, const char* form) {
  fatal("\nLine %lu: malformed %s: %s\nExpected: %s", line.number, what, printable(line.text).c_str(), form);
}

bool is_zero(std::string_view token) {
  int value;
  return parse_int(token, value) && value == 0;
}

bool parse_type(std::string_view word, count_type& type) {
  for (count_type candidate : {count_type::mc, count_type::wmc, count_type::pmc, count_type::pwmc}) {
    if (word == count_type_name(candidate)) {
      type = candidate;
      return true;
    }
  }
  return false;
}

// "c t TYPE". With another token count the line is prose.
bool read_type(const directive_line& line, count_directives& d) {
  if (line.tokens.size() != 3) return false;
  count_type type;
  if (!parse_type(line.tokens[2], type))
    fatal("\nLine %lu: unknown problem type \"%s\" (mc, wmc, pmc or pwmc): %s", line.number,
          printable(line.tokens[2]).c_str(), printable(line.text).c_str());
  if (d.type_given && d.type != type)
    fatal("\nLine %lu: problem type %s contradicts the type %s given before.", line.number, count_type_name(type),
          count_type_name(d.type));
  d.type_given = true;
  d.type = type;
  return true;
}

void add_weight(const directive_line& line, int literal, const mpq_class& weight, bool from_w_line,
                count_directives& d) {
  d.weights.push_back({literal, weight, line.number, from_w_line});
  d.named.emplace_back(static_cast<unsigned>(std::abs(literal)), line.number);
}

// "c p weight LITERAL WEIGHT 0".
void read_weight(const directive_line& line, count_directives& d) {
  const std::vector<std::string_view>& t = line.tokens;
  int literal;
  mpq_class weight;
  if (t.size() != 6 || !parse_int(t[3], literal) || literal == 0 || !parse_exact_number(std::string(t[4]), weight) ||
      !is_zero(t[5]))
    malformed(line, "weight directive", "c p weight LITERAL WEIGHT 0");
  add_weight(line, literal, weight, false, d);
}

// "w LITERAL WEIGHT", optionally followed by 0.
void read_legacy_weight(const directive_line& line, count_directives& d) {
  const std::vector<std::string_view>& t = line.tokens;
  int literal;
  mpq_class weight;
  if (t.size() < 3 || t.size() > 4 || !parse_int(t[1], literal) || literal == 0 ||
      !parse_exact_number(std::string(t[2]), weight) || (t.size() == 4 && !is_zero(t[3])))
    malformed(line, "weight line", "w LITERAL WEIGHT [0]");
  add_weight(line, literal, weight, true, d);
}

// Adds the variables to the sorted set `shown`. Lines usually come in ascending order, so the
// merge is rarely needed.
void add_shown(std::vector<unsigned> added, std::vector<unsigned>& shown) {
  std::sort(added.begin(), added.end());
  added.erase(std::unique(added.begin(), added.end()), added.end());
  std::size_t old_size = shown.size();
  shown.insert(shown.end(), added.begin(), added.end());
  if (old_size == 0 || old_size == shown.size() || shown[old_size - 1] < shown[old_size]) return;
  std::inplace_merge(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(old_size), shown.end());
  shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
}

// The variables from token `first` on, ended by a 0 that must be the last token.
void read_shown(const directive_line& line, std::size_t first, const char* form, count_directives& d) {
  const std::vector<std::string_view>& t = line.tokens;
  std::vector<unsigned> variables;
  std::size_t i = first;
  int variable;
  for (; i < t.size() && !is_zero(t[i]); ++i) {
    if (!parse_int(t[i], variable) || variable < 0) malformed(line, "projection directive", form);
    variables.push_back(static_cast<unsigned>(variable));
  }
  if (i + 1 != t.size()) malformed(line, "projection directive", form);
  for (unsigned v : variables) d.named.emplace_back(v, line.number);
  add_shown(std::move(variables), d.shown);
  d.projection_given = true;
}

// Directives inside "c" lines; false for prose.
bool read_comment_directive(const directive_line& line, count_directives& d) {
  const std::vector<std::string_view>& t = line.tokens;
  if (t.size() < 2) return false;
  if (t[1] == "t") return read_type(line, d);
  if (t[1] == "ind") {
    read_shown(line, 2, "c ind VARIABLE ... 0", d);
    return true;
  }
  if (t[1] != "p" || t.size() < 3) return false;
  if (t[2] == "weight") {
    read_weight(line, d);
    return true;
  }
  if (t[2] == "show") {
    read_shown(line, 3, "c p show VARIABLE ... 0", d);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Checks
// ---------------------------------------------------------------------------------------------

bool is_unweighted_mark(const literal_weight& w) { return w.from_w_line && w.weight == -1; }

std::vector<literal_weight> completed_legacy_weights(const std::vector<literal_weight>& weights) {
  std::unordered_set<int> weighed;  // literals some line weighs; a mark weighs both of its variable
  for (const literal_weight& w : weights) {
    weighed.insert(w.literal);
    if (is_unweighted_mark(w)) weighed.insert(-w.literal);
  }
  std::vector<literal_weight> completed;
  completed.reserve(weights.size());
  for (const literal_weight& w : weights) {
    if (is_unweighted_mark(w)) {
      completed.push_back({std::abs(w.literal), 1, w.line, true});
      completed.push_back({-std::abs(w.literal), 1, w.line, true});
      continue;
    }
    completed.push_back(w);
    if (w.from_w_line && w.literal > 0 && weighed.count(-w.literal) == 0 && w.weight >= 0 && w.weight <= 1)
      completed.push_back({-w.literal, 1 - w.weight, w.line, true});
  }
  return completed;
}

void check_variables_in_range(const count_directives& d, unsigned var_count, const char* source) {
  for (const auto& [variable, line] : d.named) {
    if (variable < 1 || variable > var_count)
      fatal("\n%s: line %lu names variable %u, but the variables are 1 to %u.", source, line, variable, var_count);
  }
}

void check_weights_agree(const std::vector<literal_weight>& weights, const char* source) {
  std::unordered_map<int, const literal_weight*> first;
  for (const literal_weight& w : weights) {
    auto [seen, fresh] = first.emplace(w.literal, &w);
    if (!fresh && seen->second->weight != w.weight)
      fatal("\n%s: literal %d weighs %s by line %lu but %s by line %lu.", source, w.literal,
            seen->second->weight.get_str().c_str(), seen->second->line, w.weight.get_str().c_str(), w.line);
  }
}

void check_type_agrees(const count_directives& d, const char* source) {
  if (!d.type_given) return;
  const char* name = count_type_name(d.type);
  bool weighted = d.type == count_type::wmc || d.type == count_type::pwmc;
  bool projected = d.type == count_type::pmc || d.type == count_type::pwmc;
  if (!weighted && !d.weights.empty())
    fatal("\n%s: the problem type is %s, but line %lu gives a weight.", source, name, d.weights.front().line);
  if (!projected && d.projection_given)
    fatal("\n%s: the problem type is %s, but a projection (\"c p show\", \"c ind\" or \"vp\" line) is given.", source,
          name);
  if (projected && !d.projection_given)
    fatal("\n%s: the problem type is %s, but no projection (\"c p show\" line) is given.", source, name);
}

// ---------------------------------------------------------------------------------------------
// Weight files
// ---------------------------------------------------------------------------------------------

bool is_blank(const std::string& line) { return std::all_of(line.begin(), line.end(), is_white); }

bool is_comment(const std::string& line) {
  auto first = std::find_if_not(line.begin(), line.end(), is_white);
  return first != line.end() && *first == 'c';
}

}  // namespace

const char* count_type_name(count_type type) {
  switch (type) {
    case count_type::mc: return "mc";
    case count_type::wmc: return "wmc";
    case count_type::pmc: return "pmc";
    case count_type::pwmc: return "pwmc";
  }
  return "?";
}

bool parse_exact_number(const std::string& text, mpq_class& value) {
  if (text.find('/') != std::string::npos) return parse_fraction(text, value);
  return parse_decimal(text, value);
}

bool read_directive_line(const std::string& line, unsigned long line_number, count_directives& d) {
  directive_line directive{line, line_number, tokens_of(line)};
  const std::vector<std::string_view>& t = directive.tokens;
  if (t.empty()) return false;
  if (t[0] == "c") return read_comment_directive(directive, d);
  if (t[0] == "w") {
    read_legacy_weight(directive, d);
    return true;
  }
  if (t[0] == "vp") {
    read_shown(directive, 1, "vp VARIABLE ... 0", d);
    return true;
  }
  return false;
}

void complete_legacy_weights(count_directives& d) { d.weights = completed_legacy_weights(d.weights); }

void check_directives(const count_directives& d, unsigned var_count, const char* source) {
  check_variables_in_range(d, var_count, source);
  check_weights_agree(completed_legacy_weights(d.weights), source);
  check_type_agrees(d, source);
}

count_type resolved_count_type(const count_directives& d) {
  if (d.type_given) return d.type;
  if (d.weights.empty()) return d.projection_given ? count_type::pmc : count_type::mc;
  return d.projection_given ? count_type::pwmc : count_type::wmc;
}

count_directives read_weight_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fatal("\nCannot open file: %s (%s)", path, std::strerror(errno));
  count_directives d;
  std::string line;
  for (unsigned long number = 1; std::getline(in, line); ++number) {
    if (is_blank(line) || read_directive_line(line, number, d) || is_comment(line)) continue;
    fatal("\nLine %lu of %s: neither a directive nor a comment: %s", number, path, printable(line).c_str());
  }
  if (in.bad()) fatal("\nCannot read file: %s", path);  // a directory opens but cannot be read
  complete_legacy_weights(d);
  return d;
}
