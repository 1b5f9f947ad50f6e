#include "driver/count_query.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/utility.h"
#include "nnf/count.h"

count_directives effective_directives(const count_directives& from_cnf, const count_directives* from_weight_file) {
  count_directives d = from_cnf;
  if (!from_weight_file) return d;
  d.weights = from_weight_file->weights;
  if (from_weight_file->type_given) {
    d.type_given = true;
    d.type = from_weight_file->type;
  }
  if (from_weight_file->projection_given) {
    d.projection_given = true;
    d.shown = from_weight_file->shown;
  }
  return d;
}

std::vector<unsigned> projected_away(const count_directives& directives, unsigned var_count) {
  std::vector<unsigned> away;
  if (!directives.projection_given) return away;
  std::vector<char> shown(var_count + 1, 0);
  for (unsigned v : directives.shown) shown[v] = 1;
  for (unsigned v = 1; v <= var_count; ++v)
    if (!shown[v]) away.push_back(v);
  return away;
}

namespace {

[[noreturn]] void bad_assumption(const char* text, const std::string& token, const char* why) {
  fatal("\nThe -assume list \"%s\" holds \"%s\", %s.", text, token.c_str(), why);
}

int assumed_literal(const char* text, const std::string& token, unsigned var_count,
                    const std::vector<unsigned>& forgotten) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(token.c_str(), &end, 10);
  if (*end != '\0' || value == 0 || errno == ERANGE || value < -INT_MAX || value > INT_MAX)
    bad_assumption(text, token, "which is not a non-zero literal");
  unsigned v = static_cast<unsigned>(std::labs(value));
  if (v > var_count) bad_assumption(text, token, "whose variable is not declared");
  if (std::binary_search(forgotten.begin(), forgotten.end(), v))
    bad_assumption(text, token, "whose variable is existentially quantified");
  return static_cast<int>(value);
}

}  // namespace

std::vector<int> parse_assumptions(const char* text, unsigned var_count, const std::vector<unsigned>& forgotten) {
  std::vector<int> literals;
  const char* p = text;
  for (;;) {
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (!*p) return literals;
    const char* start = p;
    while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
    literals.push_back(assumed_literal(text, std::string(start, p), var_count, forgotten));
  }
}

bool weighted_type(count_type type) { return type == count_type::wmc || type == count_type::pwmc; }

namespace {

count_type query_type(const count_directives& directives, bool weights_given, bool forgetting) {
  count_type type = resolved_count_type(directives);
  bool weighted = weighted_type(type) || weights_given;
  bool projected = type == count_type::pmc || type == count_type::pwmc || forgetting;
  if (weighted) return projected ? count_type::pwmc : count_type::wmc;
  return projected ? count_type::pmc : count_type::mc;
}

void set_literal_weight(weight_table& table, int literal, const mpq_class& weight) {
  std::vector<mpq_class>& side = literal > 0 ? table.positive : table.negative;
  side[std::abs(literal) - 1] = weight;
}

}  // namespace

count_query make_count_query(const count_directives& directives, bool weights_given, unsigned var_count,
                             const std::vector<unsigned>& forgotten, std::vector<int> assumed) {
  count_query query;
  query.type = query_type(directives, weights_given, !forgotten.empty());
  query.weights = unit_weights(var_count);
  if (weighted_type(query.type))
    for (const literal_weight& w : directives.weights) set_literal_weight(query.weights, w.literal, w.weight);
  for (unsigned v : forgotten) query.weights.counted[v - 1] = 0;
  // Conditioning on a literal is counting with its complement weighing nothing.
  for (int literal : assumed) set_literal_weight(query.weights, -literal, 0);
  query.plain = query.type == count_type::mc && assumed.empty();
  query.assumed = std::move(assumed);
  return query;
}

count_answer answer_count_query(const count_query& query, const nnf& circuit, bool smooth_count) {
  count_answer answer;
  if (query.plain) {
    std::string count = smooth_count ? count_smooth_nnf_models(circuit)
                                     : count_nnf_models(static_cast<unsigned>(query.weights.counted.size()), circuit);
    answer.value = mpq_class(count);
  } else {
    answer.value = weighted_count_nnf(circuit, query.weights);
  }
  answer.satisfiable = nnf_satisfiable(circuit, query.assumed);
  return answer;
}

std::string answer_text(const mpq_class& value) {
  return value.get_den() == 1 ? value.get_num().get_str() : value.get_str();
}
