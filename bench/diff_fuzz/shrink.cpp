#include "diff_fuzz/shrink.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace diff_fuzz {

namespace {

using edit = std::function<void(test_case&)>;

// Each option back at its default, one at a time.
std::vector<edit> option_edits() {
  return {
      [](test_case& t) { t.options.dynamic = false; },
      [](test_case& t) { t.options.preprocess = false; },
      [](test_case& t) { t.options.dt_method = -1; },
      [](test_case& t) { t.options.block_order.clear(); },
      [](test_case& t) { t.options.dt_count = 0; },
      [](test_case& t) { t.options.first_ubf = t.options.last_ubf = 0; },
      [](test_case& t) { t.options.threads = 0; },
      [](test_case& t) { t.options.no_ddb = false; },
      [](test_case& t) { t.options.no_cache = false; },
      [](test_case& t) { t.options.cache_size = -1; },
      [](test_case& t) { t.options.nnf_block_size = -1; },
      [](test_case& t) { t.options.keep_trivial = false; },
      [](test_case& t) { t.options.suppress_ane = false; },
      [](test_case& t) { t.options.exist = var_list(); },
      [](test_case& t) { t.options.force = var_list(); },
      [](test_case& t) { t.options.determined = var_list(); },
      [](test_case& t) { t.options.decompose_except = var_list(); },
      [](test_case& t) { t.options.reduce = false; },
      [](test_case& t) { t.options.smooth = 0; },
      [](test_case& t) { t.options.minimize = false; },
      [](test_case& t) {
        t.options.count = t.options.count_only = false;
        t.options.assume_given = false;
        t.options.assume.clear();
        t.options.weight_file = t.options.saved_query = false;
      },
      [](test_case& t) {
        t.options.assume_given = false;
        t.options.assume.clear();
      },
      [](test_case& t) { t.options.in_memory = false; },
      [](test_case& t) { t.options.count_only = false; },
      [](test_case& t) { t.options.check_entailment = false; },
      [](test_case& t) { t.options.dt_out = false; },
      [](test_case& t) { t.options.verbose = false; },
      [](test_case& t) { t.options.weight_file = false; },
      [](test_case& t) { t.options.saved_query = false; },
      [](test_case& t) { t.formula.type.clear(); },
      [](test_case& t) { t.formula.show_lines.clear(); },
      [](test_case& t) { t.formula.weights.clear(); },
      [](test_case& t) { t.formula.layout = 0; },
  };
}

template <typename T, typename Access>
void add_each_removal(const test_case& t, Access access, std::vector<test_case>& out) {
  test_case copy = t;
  std::size_t n = access(copy).size();
  for (std::size_t i = 0; i < n; ++i) {
    test_case smaller = t;
    std::vector<T>& items = access(smaller);
    items.erase(items.begin() + static_cast<long>(i));
    out.push_back(smaller);
  }
}

void add_clause_removals(const test_case& t, std::vector<test_case>& out) {
  const formula_case& f = t.formula;
  for (std::size_t i = 0; i < f.clauses.size(); ++i) {
    test_case smaller = t;
    smaller.formula.clauses.erase(smaller.formula.clauses.begin() + static_cast<long>(i));
    if (i >= f.clauses.size() - f.eclauses) --smaller.formula.eclauses;
    out.push_back(smaller);
  }
}

void add_literal_removals(const test_case& t, std::vector<test_case>& out) {
  const formula_case& f = t.formula;
  for (std::size_t i = 0; i < f.clauses.size(); ++i)
    for (std::size_t k = 0; f.clauses[i].size() > 1 && k < f.clauses[i].size(); ++k) {
      test_case smaller = t;
      std::vector<int>& clause = smaller.formula.clauses[i];
      clause.erase(clause.begin() + static_cast<long>(k));
      out.push_back(smaller);
    }
}

void add_shown_removals(const test_case& t, std::vector<test_case>& out) {
  const formula_case& f = t.formula;
  for (std::size_t line = 0; line < f.show_lines.size(); ++line) {
    if (f.show_lines.size() > 1) {
      test_case smaller = t;
      smaller.formula.show_lines.erase(smaller.formula.show_lines.begin() + static_cast<long>(line));
      out.push_back(smaller);
    }
    for (std::size_t k = 0; k < f.show_lines[line].size(); ++k) {
      test_case smaller = t;
      std::vector<unsigned>& shown = smaller.formula.show_lines[line];
      shown.erase(shown.begin() + static_cast<long>(k));
      out.push_back(smaller);
    }
  }
}

bool mentions_var(const test_case& t, unsigned v) {
  const formula_case& f = t.formula;
  auto in_list = [v](const std::vector<unsigned>& list) {
    return std::find(list.begin(), list.end(), v) != list.end();
  };
  for (const auto& clause : f.clauses)
    for (int l : clause)
      if (static_cast<unsigned>(std::abs(l)) == v) return true;
  for (const weight_line& w : f.weights)
    if (static_cast<unsigned>(std::abs(w.literal)) == v) return true;
  for (const auto& line : f.show_lines)
    if (in_list(line)) return true;
  const option_case& o = t.options;
  for (const var_list* list : {&o.exist, &o.force, &o.determined, &o.decompose_except})
    if (in_list(list->vars)) return true;
  for (int l : o.assume)
    if (static_cast<unsigned>(std::abs(l)) == v) return true;
  return false;
}

// The last variable goes when nothing names it.
void add_variable_removal(const test_case& t, std::vector<test_case>& out) {
  unsigned v = t.formula.vars;
  if (v == 0 || mentions_var(t, v)) return;
  test_case smaller = t;
  smaller.formula.vars = v - 1;
  if (!smaller.options.block_order.empty()) smaller.options.block_order.resize(v - 1);
  out.push_back(smaller);
}

}  // namespace

std::vector<test_case> smaller_cases(const test_case& t) {
  std::vector<test_case> out;
  for (const edit& e : option_edits()) {
    test_case smaller = t;
    e(smaller);
    if (arguments(smaller.options) != arguments(t.options) || cnf_text(smaller.formula) != cnf_text(t.formula))
      out.push_back(smaller);
  }
  add_clause_removals(t, out);
  add_literal_removals(t, out);
  add_each_removal<weight_line>(
      t, [](test_case& c) -> std::vector<weight_line>& { return c.formula.weights; }, out);
  add_shown_removals(t, out);
  for (auto member :
       {&option_case::exist, &option_case::force, &option_case::determined, &option_case::decompose_except})
    add_each_removal<unsigned>(
        t, [member](test_case& c) -> std::vector<unsigned>& { return (c.options.*member).vars; }, out);
  add_each_removal<int>(
      t, [](test_case& c) -> std::vector<int>& { return c.options.assume; }, out);
  add_variable_removal(t, out);
  return out;
}

}  // namespace diff_fuzz
