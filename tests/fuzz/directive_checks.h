// Checks of the model-counting directives that the CNF reader and the weight-file reader
// accepted, shared by their fuzz targets: what every accepted set of directives must satisfy,
// the directives written back as lines, and comparisons of two readings.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>

#include "cnf/directives.h"
#include "fuzz_support.h"

namespace fuzz {

// Lines of the text as an editor counts them: the directives name their line by this number.
inline unsigned long physical_lines(const std::string& text) {
  return static_cast<unsigned long>(std::count(text.begin(), text.end(), '\n')) + 1;
}

// Holds for any directives a reader returned, checked against a variable count or not.
inline void check_directives_read(const count_directives& d, unsigned long lines) {
  std::set<unsigned> named;
  for (const auto& [variable, line] : d.named) {
    expect(variable >= 1, "a directive names variable 0");
    expect(line >= 1 && line <= lines, "a directive names a line the file does not have");
    named.insert(variable);
  }
  for (const literal_weight& w : d.weights) {
    expect(w.literal != 0, "a weight of literal 0");
    expect(w.line >= 1 && w.line <= lines, "a weight names a line the file does not have");
    expect(named.count(static_cast<unsigned>(std::abs(w.literal))) == 1, "a weighed variable is not in the named list");
    mpq_class again;
    expect(parse_exact_number(w.weight.get_str(), again) && again == w.weight, "a weight does not parse back");
  }
  expect(d.projection_given || d.shown.empty(), "shown variables without a projection");
  expect(std::adjacent_find(d.shown.begin(), d.shown.end(), [](unsigned a, unsigned b) { return a >= b; }) ==
             d.shown.end(),
         "the shown variables are not ascending and distinct");
  for (unsigned v : d.shown) expect(named.count(v) == 1, "a shown variable is not in the named list");
  count_directives completed = d;
  complete_legacy_weights(completed);
  expect(completed.weights.size() == d.weights.size(), "completing the legacy weights twice adds weights");
  for (std::size_t i = 0; i < d.weights.size(); ++i)
    expect(completed.weights[i].literal == d.weights[i].literal && completed.weights[i].weight == d.weights[i].weight,
           "completing the legacy weights twice changes a weight");
}

// Holds once check_directives accepted the directives for `var_count` variables.
inline void check_directives_accepted(const count_directives& d, unsigned var_count) {
  for (const auto& named : d.named) expect(named.first <= var_count, "a directive names an undeclared variable");
  if (!d.type_given) return;
  bool weighted = d.type == count_type::wmc || d.type == count_type::pwmc;
  bool projected = d.type == count_type::pmc || d.type == count_type::pwmc;
  expect(weighted || d.weights.empty(), "weights under an unweighted problem type");
  expect(projected == d.projection_given, "the problem type and the projection disagree");
}

// The directives as "c t", "c p weight" and "c p show" lines, which read back to the same type,
// weights (completed, so no legacy convention applies again) and projection.
inline std::string directive_lines(const count_directives& d) {
  std::string text;
  if (d.type_given) text += "c t " + std::string(count_type_name(d.type)) + "\n";
  for (const literal_weight& w : d.weights)
    text += "c p weight " + std::to_string(w.literal) + " " + w.weight.get_str() + " 0\n";
  if (d.projection_given) {
    text += "c p show";
    for (unsigned v : d.shown) text += " " + std::to_string(v);
    text += " 0\n";
  }
  return text;
}

// Same type, weights and projection; line numbers and the origin of the weights aside.
inline bool same_meaning(const count_directives& a, const count_directives& b) {
  if (a.type_given != b.type_given || (a.type_given && a.type != b.type)) return false;
  if (a.projection_given != b.projection_given || a.shown != b.shown) return false;
  if (a.weights.size() != b.weights.size()) return false;
  for (std::size_t i = 0; i < a.weights.size(); ++i)
    if (a.weights[i].literal != b.weights[i].literal || a.weights[i].weight != b.weights[i].weight) return false;
  return true;
}

// The same reading of the same lines, `shift` lines further down in b's file.
inline bool same_reading(const count_directives& a, const count_directives& b, unsigned long shift) {
  if (!same_meaning(a, b) || a.named.size() != b.named.size()) return false;
  for (std::size_t i = 0; i < a.weights.size(); ++i)
    if (a.weights[i].line + shift != b.weights[i].line || a.weights[i].from_w_line != b.weights[i].from_w_line)
      return false;
  for (std::size_t i = 0; i < a.named.size(); ++i)
    if (a.named[i].first != b.named[i].first || a.named[i].second + shift != b.named[i].second) return false;
  return true;
}

}  // namespace fuzz
