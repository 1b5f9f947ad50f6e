#include "cnf/equivalence_preprocessing.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <numeric>

#include "base/run_limits.h"
#include "cnf/backbone.h"

namespace {

// Rounds of the steps; a round that changes nothing ends them earlier.
constexpr int MAX_ROUNDS = 3;
// Knowledge-compilation inputs are easy for a SAT solver: a first model takes few conflicts and
// most tests far fewer than their limit. A test costs a model, about a pass over the literals,
// so their number is bounded by the work that many passes take.
constexpr int BACKBONE_FIRST_MODEL_CONFLICTS = 50000;
constexpr int BACKBONE_TEST_CONFLICTS = 500;
constexpr long BACKBONE_CONFLICTS = 100000;
constexpr std::size_t BACKBONE_TEST_WORK = 1000000000;
// Work budgets of subsumption and vivification (clause and watch visits) over all the rounds:
// a fixed part for small formulas plus a multiple of the literals, so that the work stays
// linear in the formula.
constexpr std::size_t SUBSUMPTION_FIXED_WORK = 2000000;
constexpr std::size_t SUBSUMPTION_WORK_PER_LITERAL = 20;
constexpr std::size_t VIVIFICATION_FIXED_WORK = 2000000;
constexpr std::size_t VIVIFICATION_WORK_PER_LITERAL = 10;

unsigned variable(int literal) { return static_cast<unsigned>(std::abs(literal)); }
// Literal v as slot 2v, not v as slot 2v + 1.
std::size_t slot(int literal) { return 2 * std::size_t{variable(literal)} + (literal < 0); }
int signed_as(int literal, int sign_of) { return sign_of > 0 ? literal : -literal; }
bool by_variable(int a, int b) { return variable(a) < variable(b) || (variable(a) == variable(b) && a < b); }

// ---------------------------------------------------------------------------------------------
// The formula while it is simplified
// ---------------------------------------------------------------------------------------------

// The input is equivalent to the fixed literals, the equivalences x = representative[x], and the
// clauses together.
// INVARIANT (between steps, restored by settle): no clause mentions a fixed or rewritten
// variable, has one literal, holds a literal twice or a variable in both signs; the literals of
// a clause are in increasing order of variable. A rewritten variable's representative is free or
// fixed, never rewritten itself, and has a smaller variable.
struct working_formula {
  unsigned var_count = 0;
  std::vector<std::vector<int>> clauses;  // a removed clause is left empty
  std::vector<signed char> value;         // per variable [0, V]: 1 true, -1 false, 0 free
  std::vector<int> representative;        // per variable [0, V]: the literal it equals, v itself when none
  bool unsatisfiable = false;
  std::size_t subsumption_work = 0;       // left for subsumption in the rounds to come
  std::size_t vivification_work = 0;      // and for vivification
  bool substitute_equivalences = true;
  preprocess_summary summary;
};

int represent(int literal, const working_formula& f) { return signed_as(f.representative[variable(literal)], literal); }
int value_of(int literal, const working_formula& f) { return literal > 0 ? f.value[literal] : -f.value[-literal]; }

std::size_t literal_count(const working_formula& f) {
  std::size_t count = 0;
  for (const std::vector<int>& c : f.clauses) count += c.size();
  return count;
}

void remove_clause(std::vector<int>& c) { std::vector<int>().swap(c); }

working_formula load(const cnf& formula) {
  working_formula f;
  f.var_count = formula.var_count;
  f.value.assign(std::size_t{formula.var_count} + 1, 0);
  f.representative.resize(std::size_t{formula.var_count} + 1);
  std::iota(f.representative.begin(), f.representative.end(), 0);
  f.clauses = plain_clauses(formula);
  return f;
}

// The clause over the representatives without its false literals, sorted by variable, without
// repeats; false when it is satisfied or a tautology.
bool rewrite_clause(std::vector<int>& c, const working_formula& f) {
  std::size_t n = 0;
  for (int literal : c) {
    int r = represent(literal, f);
    int value = value_of(r, f);
    if (value > 0) return false;
    if (value == 0) c[n++] = r;
  }
  c.resize(n);
  if (!std::is_sorted(c.begin(), c.end(), by_variable)) std::sort(c.begin(), c.end(), by_variable);
  c.erase(std::unique(c.begin(), c.end()), c.end());
  for (std::size_t i = 1; i < c.size(); ++i)
    if (c[i] == -c[i - 1]) return false;
  return true;
}

// Rewrites every clause; true when unit clauses are left to propagate.
bool rewrite_clauses(working_formula& f) {
  bool units = false;
  for (std::vector<int>& c : f.clauses) {
    if (c.empty()) continue;
    std::size_t size = c.size();
    if (!rewrite_clause(c, f)) {
      f.summary.subsumed_clauses += size > 1;
      remove_clause(c);
    } else if (c.empty()) {
      f.unsatisfiable = true;
      return false;
    } else {
      units |= c.size() == 1;
    }
  }
  return units;
}

// ---------------------------------------------------------------------------------------------
// Unit propagation
// ---------------------------------------------------------------------------------------------

constexpr unsigned NO_CLAUSE = ~0u;

struct watch {
  unsigned clause;  // index into the propagator's clauses
  int blocker;      // another literal of the clause: while it is true, the clause is not visited
};

// Two watched literals over copies of the clauses. Level 0 (the root) holds what the clauses
// imply by propagation; the levels above hold the assumptions of vivification.
// INVARIANT: a clause of two or more literals is in the watch lists of its first two literals;
// a retired clause's entries are dropped when met.
struct unit_propagator {
  std::vector<std::vector<int>> clauses;
  std::vector<char> retired;                // per clause: replaced or removed
  std::vector<std::vector<watch>> watches;  // per literal slot
  std::vector<signed char> values;          // per literal slot: 1 true, -1 false, 0 open
  std::vector<int> trail;                   // the true literals, the root's first
  std::size_t root_end = 0;                 // trail entries [0, root_end) are the root's
  std::size_t queue = 0;                    // next trail entry to propagate
  unsigned ignored = NO_CLAUSE;             // the clause being vivified, left out of propagation
  std::size_t work = 0;                     // watch visits, for the budgets
};

int value_of(int literal, const unit_propagator& p) { return p.values[slot(literal)]; }

void assign(int literal, unit_propagator& p) {
  p.values[slot(literal)] = 1;
  p.values[slot(-literal)] = -1;
  p.trail.push_back(literal);
}

unsigned add_watched_clause(std::vector<int> literals, unit_propagator& p) {
  unsigned index = static_cast<unsigned>(p.clauses.size());
  p.watches[slot(literals[0])].push_back({index, literals[1]});
  p.watches[slot(literals[1])].push_back({index, literals[0]});
  p.clauses.push_back(std::move(literals));
  p.retired.push_back(0);
  return index;
}

// The clause watches `falsified` at position 1; true when another literal, not false, took
// its place (and its watch).
bool move_watch(unsigned index, unit_propagator& p) {
  std::vector<int>& c = p.clauses[index];
  for (std::size_t k = 2; k < c.size(); ++k) {
    if (value_of(c[k], p) < 0) continue;
    std::swap(c[1], c[k]);
    p.watches[slot(c[1])].push_back({index, c[0]});
    return true;
  }
  return false;
}

// Propagates the trail from the queue on; false at the first conflict.
bool propagate(unit_propagator& p) {
  while (p.queue < p.trail.size()) {
    int falsified = -p.trail[p.queue++];
    std::vector<watch>& list = p.watches[slot(falsified)];
    std::size_t kept = 0;
    bool conflict = false;
    for (std::size_t i = 0; i < list.size(); ++i) {
      watch w = list[i];
      ++p.work;
      if (conflict || w.clause == p.ignored || value_of(w.blocker, p) > 0) {
        list[kept++] = w;
        continue;
      }
      if (p.retired[w.clause]) continue;
      std::vector<int>& c = p.clauses[w.clause];
      if (c[0] == falsified) std::swap(c[0], c[1]);
      if (value_of(c[0], p) > 0) {
        list[kept++] = {w.clause, c[0]};
        continue;
      }
      if (move_watch(w.clause, p)) continue;
      list[kept++] = w;
      if (value_of(c[0], p) < 0)
        conflict = true;
      else
        assign(c[0], p);
    }
    list.resize(kept);
    if (conflict) return false;
  }
  return true;
}

// At the root: makes the literal true there with what it implies; false on a conflict.
bool assert_at_root(int literal, unit_propagator& p) {
  if (value_of(literal, p) < 0) return false;
  if (value_of(literal, p) == 0) assign(literal, p);
  bool consistent = propagate(p);
  p.root_end = p.trail.size();
  return consistent;
}

void backtrack_to_root(unit_propagator& p) {
  while (p.trail.size() > p.root_end) {
    int literal = p.trail.back();
    p.values[slot(literal)] = p.values[slot(-literal)] = 0;
    p.trail.pop_back();
  }
  p.queue = p.root_end;
}

// Clause i of the formula is clause i of the propagator. The unit clauses are asserted at the
// root; `consistent` tells whether that met a conflict.
unit_propagator propagator_of(const working_formula& f, bool& consistent) {
  unit_propagator p;
  p.watches.resize(2 * std::size_t{f.var_count} + 2);
  p.values.assign(2 * std::size_t{f.var_count} + 2, 0);
  std::vector<int> units;
  for (const std::vector<int>& c : f.clauses) {
    if (c.size() == 1) units.push_back(c[0]);
    if (c.size() >= 2) {
      add_watched_clause(c, p);
    } else {
      p.clauses.emplace_back();
      p.retired.push_back(1);
    }
  }
  consistent = true;
  for (int unit : units) consistent = consistent && assert_at_root(unit, p);
  return p;
}

// Fixes every literal unit propagation implies.
void fix_implied_literals(working_formula& f) {
  bool consistent;
  unit_propagator p = propagator_of(f, consistent);
  if (!consistent) {
    f.unsatisfiable = true;
    return;
  }
  for (int literal : p.trail) f.value[variable(literal)] = literal > 0 ? 1 : -1;
}

// Restores the invariant of the working formula after a step.
void settle(working_formula& f) {
  while (!f.unsatisfiable && rewrite_clauses(f)) fix_implied_literals(f);
}

// ---------------------------------------------------------------------------------------------
// Equivalent literals
// ---------------------------------------------------------------------------------------------

// The implication graph of the two-literal clauses: (a or b) gives not a -> b and not b -> a.
struct implication_graph {
  std::vector<std::size_t> first;  // per literal slot, and one past the last: where its edges start
  std::vector<int> targets;        // the implied literals, grouped by slot
};

implication_graph implication_graph_of(const working_formula& f) {
  implication_graph g;
  std::size_t slots = 2 * std::size_t{f.var_count} + 2;
  g.first.assign(slots + 1, 0);
  for (const std::vector<int>& c : f.clauses)
    if (c.size() == 2) {
      ++g.first[slot(-c[0]) + 1];
      ++g.first[slot(-c[1]) + 1];
    }
  std::partial_sum(g.first.begin(), g.first.end(), g.first.begin());
  g.targets.resize(g.first.back());
  std::vector<std::size_t> next(g.first.begin(), g.first.end() - 1);
  for (const std::vector<int>& c : f.clauses)
    if (c.size() == 2) {
      g.targets[next[slot(-c[0])]++] = c[1];
      g.targets[next[slot(-c[1])]++] = c[0];
    }
  return g;
}

constexpr unsigned UNVISITED = ~0u;

// The strongly connected components of the graph, numbered as Tarjan's algorithm completes them.
// The calls live on an explicit stack: implication chains run as long as the formula, far deeper
// than the call stack allows.
std::vector<unsigned> strongly_connected_components(const implication_graph& g) {
  std::size_t slots = g.first.size() - 1;
  std::vector<unsigned> order(slots, UNVISITED), low(slots), component(slots, UNVISITED);
  std::vector<std::size_t> open;                            // visited, not yet in a component
  std::vector<std::pair<std::size_t, std::size_t>> calls;  // a slot and its next edge
  unsigned visited = 0, components = 0;
  auto visit = [&](std::size_t s) {
    order[s] = low[s] = visited++;
    open.push_back(s);
    calls.push_back({s, g.first[s]});
  };
  for (std::size_t root = 0; root < slots; ++root) {
    if (order[root] != UNVISITED) continue;
    visit(root);
    while (!calls.empty()) {
      std::size_t s = calls.back().first;
      std::size_t edge = calls.back().second;
      if (edge < g.first[s + 1]) {
        ++calls.back().second;
        std::size_t t = slot(g.targets[edge]);
        if (order[t] == UNVISITED)
          visit(t);
        else if (component[t] == UNVISITED)
          low[s] = std::min(low[s], order[t]);
        continue;
      }
      calls.pop_back();
      if (!calls.empty()) low[calls.back().first] = std::min(low[calls.back().first], low[s]);
      if (low[s] != order[s]) continue;
      std::size_t member;
      do {
        member = open.back();
        open.pop_back();
        component[member] = components;
      } while (member != s);
      ++components;
    }
  }
  return component;
}

// A component and its complement hold the complements of each other's literals, so the first
// variable met in a component is the smallest of both; its literals become their leaders, the
// representatives of the other members. A component holding a literal and its complement makes
// the formula unsatisfiable.
unsigned assign_representatives(const std::vector<unsigned>& component, working_formula& f) {
  std::vector<int> leader(component.size(), 0);
  unsigned rewritten = 0;
  for (unsigned v = 1; v <= f.var_count; ++v) {
    int x = static_cast<int>(v);
    unsigned positive = component[slot(x)], negative = component[slot(-x)];
    if (positive == negative) {
      f.unsatisfiable = true;
      return rewritten;
    }
    if (leader[positive] == 0) {
      leader[positive] = x;
      leader[negative] = -x;
    } else {
      f.representative[v] = leader[positive];
      ++rewritten;
    }
  }
  return rewritten;
}

// Earlier representatives may have been rewritten now; each points at a smaller variable, so
// one pass by increasing variable leads every variable to a representative that is not.
void compose_representatives(working_formula& f) {
  for (unsigned v = 1; v <= f.var_count; ++v) f.representative[v] = represent(f.representative[v], f);
}

// Each variable x of a class of equivalent literals is replaced by its representative r in the
// clauses; x = r itself is kept aside and written as two clauses at the end.
bool substitute_equivalent_literals(working_formula& f) {
  implication_graph g = implication_graph_of(f);
  if (g.targets.empty()) return false;
  unsigned rewritten = assign_representatives(strongly_connected_components(g), f);
  compose_representatives(f);
  f.summary.equivalences += rewritten;
  return rewritten > 0 || f.unsatisfiable;
}

// ---------------------------------------------------------------------------------------------
// Subsumption and strengthening
// ---------------------------------------------------------------------------------------------

// The clauses in increasing order of size, equal sizes in their order; with `contents`, equal
// sizes in lexicographic order of their literals, first the earlier clause of equal ones.
std::vector<unsigned> clauses_by_size(const working_formula& f, bool contents) {
  std::vector<unsigned> order;
  for (unsigned i = 0; i < f.clauses.size(); ++i)
    if (!f.clauses[i].empty()) order.push_back(i);
  const auto& c = f.clauses;
  std::stable_sort(order.begin(), order.end(), [&c, contents](unsigned a, unsigned b) {
    if (c[a].size() != c[b].size()) return c[a].size() < c[b].size();
    return contents && c[a] < c[b];
  });
  return order;
}

// Sorted literals make equal clauses equal vectors, neighbours in the order by contents.
void remove_duplicate_clauses(working_formula& f) {
  std::vector<unsigned> order = clauses_by_size(f, true);
  for (std::size_t k = order.size(); k-- > 1;)
    if (f.clauses[order[k]] == f.clauses[order[k - 1]]) {
      remove_clause(f.clauses[order[k]]);
      ++f.summary.subsumed_clauses;
    }
}

// What the literals of a clause C (marked) make of another clause D.
enum class subsumption { none, subsumes, strengthens };

struct subsumption_state {
  std::vector<std::vector<unsigned>> occurrences;  // per variable: clauses that held it (lazily left)
  std::vector<unsigned> marks;                     // per literal slot: the stamp of C when it holds it
  unsigned stamp = 0;
  std::size_t work = 0;
};

// D must hold C: then C subsumes D; or all of C but one literal, whose complement D holds: then
// D without that complement is a resolvent of both that subsumes D. `removable` is then the
// complement's position in D.
subsumption compare_clauses(std::size_t c_size, const std::vector<int>& d, const subsumption_state& s,
                            std::size_t& removable) {
  if (d.size() < c_size) return subsumption::none;
  std::size_t same = 0, complemented = 0;
  for (std::size_t k = 0; k < d.size(); ++k) {
    if (s.marks[slot(d[k])] == s.stamp) {
      ++same;
    } else if (s.marks[slot(-d[k])] == s.stamp) {
      if (++complemented > 1) return subsumption::none;
      removable = k;
    }
  }
  if (same == c_size) return subsumption::subsumes;
  return same + 1 == c_size && complemented == 1 ? subsumption::strengthens : subsumption::none;
}

// C meets every clause that shares its least frequent variable: any clause it subsumes or
// strengthens holds that variable. A strengthened clause gets another turn to subsume.
void subsume_with(unsigned i, working_formula& f, subsumption_state& s, std::vector<unsigned>& turns) {
  const std::vector<int>& c = f.clauses[i];
  ++s.stamp;
  unsigned rarest = variable(c[0]);
  for (int literal : c) {
    s.marks[slot(literal)] = s.stamp;
    if (s.occurrences[variable(literal)].size() < s.occurrences[rarest].size()) rarest = variable(literal);
  }
  s.work += c.size();
  for (unsigned j : s.occurrences[rarest]) {
    std::vector<int>& d = f.clauses[j];
    ++s.work;
    if (j == i || d.empty()) continue;
    s.work += d.size();
    std::size_t removable = 0;
    switch (compare_clauses(c.size(), d, s, removable)) {
      case subsumption::subsumes:
        remove_clause(d);
        ++f.summary.subsumed_clauses;
        break;
      case subsumption::strengthens:
        d.erase(d.begin() + static_cast<std::ptrdiff_t>(removable));
        ++f.summary.vivified_literals;
        if (d.empty()) {
          f.unsatisfiable = true;
          return;
        }
        turns.push_back(j);
        break;
      case subsumption::none:
        break;
    }
  }
}

// Shortest clauses first, so that a clause is removed by the first clause that subsumes it.
// Strengthening drops a literal but leaves the clause in the occurrences of its variable, where
// comparisons no longer match it.
void subsume_within_budget(working_formula& f) {
  subsumption_state s;
  s.occurrences.resize(std::size_t{f.var_count} + 1);
  s.marks.assign(2 * std::size_t{f.var_count} + 2, 0);
  for (unsigned i = 0; i < f.clauses.size(); ++i)
    for (int literal : f.clauses[i]) s.occurrences[variable(literal)].push_back(i);
  std::vector<unsigned> turns = clauses_by_size(f, false);
  for (std::size_t t = 0; t < turns.size() && s.work < f.subsumption_work && !f.unsatisfiable; ++t)
    if (!f.clauses[turns[t]].empty()) subsume_with(turns[t], f, s, turns);
  f.subsumption_work -= std::min(s.work, f.subsumption_work);
}

// Repeated clauses go whatever the budget: substitution makes new ones.
bool subsume_clauses(working_formula& f) {
  unsigned before = f.summary.subsumed_clauses + f.summary.vivified_literals;
  remove_duplicate_clauses(f);
  if (f.subsumption_work > 0) subsume_within_budget(f);
  return f.summary.subsumed_clauses + f.summary.vivified_literals != before;
}

// ---------------------------------------------------------------------------------------------
// Backbone literals
// ---------------------------------------------------------------------------------------------

// The clauses hold only free representatives, so their backbone is the formula's there; the
// literals found join as unit clauses.
bool add_backbone_literals(working_formula& f) {
  std::size_t tests = BACKBONE_TEST_WORK / std::max<std::size_t>(literal_count(f), 1);
  backbone_budget budget = {BACKBONE_FIRST_MODEL_CONFLICTS, BACKBONE_TEST_CONFLICTS, BACKBONE_CONFLICTS,
                            static_cast<unsigned>(std::min<std::size_t>(tests, ~0u))};
  backbone_search search = find_backbone(f.var_count, f.clauses, budget);
  if (search.status == backbone_status::unsatisfiable) f.unsatisfiable = true;
  for (int literal : search.literals) f.clauses.push_back({literal});
  f.summary.backbone_literals += static_cast<unsigned>(search.literals.size());
  return f.unsatisfiable || !search.literals.empty();
}

// ---------------------------------------------------------------------------------------------
// Vivification
// ---------------------------------------------------------------------------------------------

// How a clause D = (l1 ... lk) fared when its literals were made false in turn, propagating
// over the other clauses and the root: a literal already false is left out; a conflict or a
// literal already true ends the test. The clauses imply the literals kept: when the test ended,
// the others alone do (they imply D too, which can go); else D is needed to leave the literals out.
struct vivification {
  std::vector<int> kept;
  bool ended = false;  // by a conflict or a true literal
};

vivification test_clause(const std::vector<int>& d, unit_propagator& p) {
  vivification v;
  for (std::size_t k = 0; k < d.size() && !v.ended; ++k) {
    int value = value_of(d[k], p);
    if (value < 0) continue;
    v.kept.push_back(d[k]);
    if (value > 0) {
      v.ended = true;
    } else {
      assign(-d[k], p);
      v.ended = !propagate(p);
    }
  }
  return v;
}

bool changes(const vivification& v, const std::vector<int>& d) { return v.ended || v.kept.size() < d.size(); }

// Clause i, at copy `copy` in the propagator, gets the test's result: replaced by the literals
// kept, which propagate more than D, or removed when that is all of D; a unit is asserted at
// the root.
void apply_vivification(unsigned i, unsigned& copy, vivification& v, working_formula& f, unit_propagator& p) {
  std::vector<int>& d = f.clauses[i];
  assert(!v.kept.empty());
  p.retired[copy] = 1;
  if (v.kept.size() == d.size()) {
    remove_clause(d);
    ++f.summary.subsumed_clauses;
    return;
  }
  f.summary.vivified_literals += static_cast<unsigned>(d.size() - v.kept.size());
  d = v.kept;
  if (d.size() == 1) {
    if (!assert_at_root(d[0], p)) f.unsatisfiable = true;
  } else {
    copy = add_watched_clause(std::move(v.kept), p);
  }
}

bool satisfied_at_root(const std::vector<int>& d, const unit_propagator& p) {
  return std::any_of(d.begin(), d.end(), [&p](int literal) { return value_of(literal, p) > 0; });
}

// Longer clauses first: they have the most literals to lose.
bool vivify_clauses(working_formula& f) {
  if (f.vivification_work == 0) return false;
  bool consistent;
  unit_propagator p = propagator_of(f, consistent);
  assert(consistent && p.trail.empty());
  std::vector<unsigned> order = clauses_by_size(f, false);
  std::reverse(order.begin(), order.end());
  std::vector<unsigned> copy(f.clauses.size());
  std::iota(copy.begin(), copy.end(), 0u);
  bool changed = false;
  for (std::size_t k = 0; k < order.size() && p.work < f.vivification_work && !f.unsatisfiable; ++k) {
    unsigned i = order[k];
    p.work += f.clauses[i].size();
    if (satisfied_at_root(f.clauses[i], p)) continue;
    p.ignored = copy[i];
    vivification v = test_clause(f.clauses[i], p);
    backtrack_to_root(p);
    p.ignored = NO_CLAUSE;
    if (!changes(v, f.clauses[i])) continue;
    apply_vivification(i, copy[i], v, f, p);
    changed = true;
  }
  f.vivification_work -= std::min(p.work, f.vivification_work);
  return changed;
}

// ---------------------------------------------------------------------------------------------
// The result
// ---------------------------------------------------------------------------------------------

void append_fixed_and_equivalences(const working_formula& f, cnf& result) {
  for (unsigned v = 1; v <= f.var_count; ++v) {
    int value = value_of(f.representative[v], f);
    if (value != 0) result.clauses.push_back({signed_as(static_cast<int>(v), value), 0});
  }
  for (unsigned v = 1; v <= f.var_count; ++v) {
    int x = static_cast<int>(v), r = f.representative[v];
    if (r == x || value_of(r, f) != 0) continue;
    result.clauses.push_back({-x, r, 0});
    result.clauses.push_back({x, -r, 0});
  }
}

std::unique_ptr<cnf> result_of(const working_formula& f, const cnf& formula) {
  std::unique_ptr<cnf> result = cnf_without_clauses(formula);
  if (f.unsatisfiable) {
    append_contradiction(*result);
    return result;
  }
  append_fixed_and_equivalences(f, *result);
  append_clauses(f.clauses, *result);
  return result;
}

// Runs a step unless the formula is known unsatisfiable, and settles what it changed.
bool run_step(bool (*step)(working_formula&), working_formula& f) {
  if (f.unsatisfiable) return false;
  bool changed = step(f);
  if (changed && !f.unsatisfiable) settle(f);
  return changed;
}

// Backbone literals stay backbone literals whatever the other steps do, so they are searched
// once, after the cheap steps have made the formula smaller.
void simplify(working_formula& f) {
  settle(f);
  std::size_t literals = literal_count(f);
  f.subsumption_work = SUBSUMPTION_FIXED_WORK + SUBSUMPTION_WORK_PER_LITERAL * literals;
  f.vivification_work = VIVIFICATION_FIXED_WORK + VIVIFICATION_WORK_PER_LITERAL * literals;
  for (int round = 0; round < MAX_ROUNDS; ++round) {
    bool changed = f.substitute_equivalences && run_step(substitute_equivalent_literals, f);
    changed |= run_step(subsume_clauses, f);
    if (round == 0) changed |= run_step(add_backbone_literals, f);
    changed |= run_step(vivify_clauses, f);
    if (!changed || f.unsatisfiable) break;
  }
}

}  // namespace

std::unique_ptr<cnf> preprocess_cnf(const cnf& formula, preprocess_summary* summary, bool substitute_equivalences) {
  double start = wall_seconds();
  working_formula f = load(formula);
  f.substitute_equivalences = substitute_equivalences;
  simplify(f);
  std::unique_ptr<cnf> result = result_of(f, formula);
  f.summary.unsatisfiable = f.unsatisfiable;
  f.summary.seconds = wall_seconds() - start;
  if (summary) *summary = f.summary;
  return result;
}
