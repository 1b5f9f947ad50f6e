#include "compiler/dynamic_compile.h"

#include <memory>

#include "base/utility.h"
#include "cnf/cnf_read.h"
#include "compiler/compile.h"
#include "compiler/component_cache.h"
#include "compiler/components.h"
#include "compiler/dynamic_engine.h"
#include "compiler/elimination_priority.h"
#include "compiler/nnf_manager.h"

namespace {

constexpr unsigned STEPS_PER_PROGRESS_CHECK = 1024;
// The elimination order's budget, in neighbour visits: a few tenths of a second.
constexpr std::uint64_t ELIMINATION_WORK = 50000000;
// An elimination order narrow for the formula guides the decisions; a wide one is no guide. One of
// width STRICT_WIDTH or less bounds the components the search can meet, and leads outright: each
// place in it outweighs the dynamic scores, which only break ties. A wider one is a hint, its
// whole span worth GUIDE_WEIGHT of those scores: measured, following it strictly lost files.
constexpr double GUIDE_WEIGHT = 1000;
constexpr double NARROW_FRACTION = 0.1;
constexpr std::size_t STRICT_WIDTH = 32;

struct dynamic_search {
  dynamic_engine engine;
  component_finder finder;
  component_stack stack;
  component_cache cache;
  canonical_key key;  // scratch of compile_component
  std::vector<std::uint8_t> forgotten;
  bool shown_first = true;  // forgotten variables wait for the shown ones of their component
  std::vector<double> priority;  // elimination_priority
  double guide_weight = 0;
  std::size_t guide_width = 0;  // the order's width, 0 when its budget ran out
  nnf_manager* nm = nullptr;
  unsigned steps = 0;
};

nnf_node* literal_node(lit_t l, const nnf_manager* nm) {
  std::uint32_t v = var_of(l);
  return is_negative(l) ? nm->neg_literals[v - 1] : nm->pos_literals[v - 1];
}

nnf_node* conjoin_all(std::vector<nnf_node*>& parts, nnf_manager* nm) {
  if (parts.empty()) return ONE_NNF_NODE;
  if (parts.size() == 1) return parts[0];
  return get_and_node(static_cast<unsigned>(parts.size()), parts.data(), nm);
}

void account_done(double share) { completed_fraction += share; }

void report_progress(dynamic_search& s) {
  if (!VERBOSE || ++s.steps < STEPS_PER_PROGRESS_CHECK) return;
  s.steps = 0;
  print_progress_line(s.nm->node_count, static_cast<unsigned>(s.cache.entries.size()));
}

// The highest score among the component's variables, shown ones only while it has any and they
// come first; ties go to the lower variable.
std::uint32_t choose_decision(const dynamic_search& s, std::size_t component) {
  const component_record& r = s.stack.records[component];
  const std::uint32_t* vars = s.stack.vars(component);
  bool shown_only = s.shown_first && r.shown_count > 0;
  std::uint32_t best = 0;
  double best_score = -1;
  for (std::uint32_t i = 0; i < r.var_count; ++i) {
    std::uint32_t v = vars[i];
    if (shown_only && s.forgotten[v]) continue;
    double score = s.guide_weight * s.priority[v] + s.finder.open_clauses[v] +
                   s.engine.activity[v] / s.engine.activity_increment;
    if (score > best_score) {
      best = v;
      best_score = score;
    }
  }
  return best;
}

nnf_node* compile_component(dynamic_search& s, std::size_t component, double share);

// The literals a branch set in the component (shown variables only), and the circuits of the
// components it splits into; false when one of those is unsatisfiable, after dropping the cache
// entries made since the branch began: they may hold for this unsatisfiable context only.
bool compile_branch_parts(dynamic_search& s, std::size_t component, double share, std::vector<nnf_node*>& parts) {
  const component_record r = s.stack.records[component];
  std::uint32_t here = current_level(s.engine);
  for (std::uint32_t i = 0; i < r.var_count; ++i) {
    std::uint32_t v = s.stack.vars(component)[i];
    if (r.shown_count && !s.forgotten[v] && is_assigned(s.engine, v) && s.engine.level[v] == here)
      parts.push_back(literal_node(is_true(s.engine, positive_lit(v)) ? positive_lit(v) : negative_lit(v), s.nm));
  }
  std::size_t first = s.stack.records.size();
  split_components(s.engine, component, s.finder, s.stack);
  std::size_t last = s.stack.records.size();
  if (first == last) {
    account_done(share);
    return true;
  }
  std::uint64_t mark = cache_mark(s.cache);
  double part = share / static_cast<double>(last - first);
  bool satisfiable = true;
  for (std::size_t i = first; i < last && satisfiable; ++i) {
    nnf_node* c = compile_component(s, i, part);
    if (c == ZERO_NNF_NODE) {
      forget_entries_since(mark, s.cache);
      account_done(part * static_cast<double>(last - i - 1));
      satisfiable = false;
    }
    parts.push_back(c);
  }
  s.stack.pop_to(first);
  return satisfiable;
}

nnf_node* compile_branch(dynamic_search& s, std::size_t component, lit_t decision, double share) {
  report_progress(s);
  nnf_node* result = ZERO_NNF_NODE;
  if (decide(s.engine, decision)) {
    std::vector<nnf_node*> parts;
    if (compile_branch_parts(s, component, share, parts)) result = conjoin_all(parts, s.nm);
  } else {
    account_done(share);
  }
  backtrack(s.engine);
  return result;
}

// A component without shown variables is only asked whether it is satisfiable: the search stops
// at the first branch that is, and tries the variable's last value first.
nnf_node* search_component(dynamic_search& s, std::size_t component, double share) {
  std::uint32_t v = choose_decision(s, component);
  if (s.stack.records[component].shown_count == 0) {
    lit_t first = s.engine.saved_phase[v] ? positive_lit(v) : negative_lit(v);
    if (compile_branch(s, component, first, share / 2) != ZERO_NNF_NODE) {
      account_done(share / 2);
      return ONE_NNF_NODE;
    }
    return compile_branch(s, component, complement_of(first), share / 2);
  }
  nnf_node* positive = compile_branch(s, component, positive_lit(v), share / 2);
  nnf_node* negative = compile_branch(s, component, negative_lit(v), share / 2);
  return disjoin_nnfs_i(s.forgotten[v] ? 0 : v, positive, negative, s.nm);
}

// An unsatisfiable result is never cached: it may come from clauses outside the component.
nnf_node* compile_component(dynamic_search& s, std::size_t component, double share) {
  if (!CACHING_ON) return search_component(s, component, share);
  make_canonical_key(s.engine, s.finder, s.stack, component, s.key);
  prepared_key key = prepare_key(s.cache, s.key.named.data(), static_cast<std::uint32_t>(s.key.named.size()),
                                 s.key.listed);
  nnf_node* result = lookup_component(s.cache, key);
  if (result) {
    account_done(share);
  } else {
    result = search_component(s, component, share);
    if (result != ZERO_NNF_NODE) insert_component(s.cache, key, result);
  }
  release_key(s.cache, key);
  return result;
}

// The root term (units and what they imply) and the components of every other variable.
nnf_node* compile_root(dynamic_search& s) {
  if (!assert_units(s.engine)) return ZERO_NNF_NODE;
  std::vector<nnf_node*> parts;
  for (lit_t l : s.engine.trail)
    if (!s.forgotten[var_of(l)]) parts.push_back(literal_node(l, s.nm));
  push_whole_formula(s.engine, s.stack);
  std::size_t first = s.stack.records.size();
  split_components(s.engine, first - 1, s.finder, s.stack);
  std::size_t last = s.stack.records.size();
  for (std::size_t i = first; i < last; ++i) {
    nnf_node* c = compile_component(s, i, 100.0 / static_cast<double>(last - first));
    if (c == ZERO_NNF_NODE) return ZERO_NNF_NODE;
    parts.push_back(c);
  }
  return conjoin_all(parts, s.nm);
}

void guide_decisions(dynamic_search& s) {
  std::vector<std::uint8_t> first;  // the variables the order eliminates first: decided last
  if (s.shown_first) first = s.forgotten;
  first.resize(s.forgotten.size(), 0);
  elimination_guide guide = elimination_priority(s.engine, first, ELIMINATION_WORK);
  bool narrow = guide.complete && guide.width < NARROW_FRACTION * guide.connected;
  bool strict = guide.width <= STRICT_WIDTH;
  s.guide_weight = !narrow ? 0 : strict ? GUIDE_WEIGHT * s.engine.var_count : GUIDE_WEIGHT;
  s.priority = std::move(guide.priority);
  s.guide_width = guide.complete ? guide.width : 0;
}

void report(const dynamic_search& s, dynamic_statistics* statistics) {
  if (!statistics) return;
  statistics->decisions = s.engine.decisions;
  statistics->elimination_width = s.guide_width;
  statistics->guided = s.guide_weight > 0;
  statistics->conflicts = s.engine.conflicts;
  statistics->learned_clauses = s.engine.learned_count;
  statistics->cache_hits = s.cache.hits;
  statistics->cache_misses = s.cache.misses;
  statistics->cache_entries = s.cache.entries.size();
  statistics->cache_bytes = cache_memory(s.cache);
}

}  // namespace

nnf_node* compile_dynamically(const cnf& formula, const std::vector<std::uint8_t>& forgotten, bool forgotten_defined,
                              nnf_manager* nm, dynamic_statistics* statistics) {
  auto s = std::make_unique<dynamic_search>();
  s->nm = nm;
  s->forgotten = forgotten;
  s->forgotten.resize(formula.var_count + 1, 0);
  s->shown_first = !forgotten_defined;
  s->cache.memory_limit = MAX_NNF_CACHE_MEMORY;
  s->engine.learning = DD_BACKTRACK;
  initialize_progress();
  nnf_node* root = ZERO_NNF_NODE;
  if (build_dynamic_engine(formula, s->engine)) {
    prepare_component_finder(s->engine, s->forgotten, s->finder);
    guide_decisions(*s);
    root = compile_root(*s);
  }
  report(*s, statistics);
  nm->root = root;
  return root;
}
