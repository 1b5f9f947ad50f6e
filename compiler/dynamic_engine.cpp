#include "compiler/dynamic_engine.h"

#include <algorithm>
#include <cassert>

#include "cnf/cnf_read.h"

namespace {

constexpr double ACTIVITY_DECAY = 0.95;
constexpr double ACTIVITY_LIMIT = 1e100;

// Sorted, without repeats; empty for a tautology (which constrains nothing).
std::vector<lit_t> clause_literals(const int* dimacs) {
  std::vector<lit_t> c;
  for (const int* l = dimacs; *l; ++l) c.push_back(lit_of_dimacs(*l));
  std::sort(c.begin(), c.end());
  c.erase(std::unique(c.begin(), c.end()), c.end());
  for (std::size_t i = 1; i < c.size(); ++i)
    if (c[i] == complement_of(c[i - 1])) return {};
  return c;
}

void add_binary(dynamic_engine& e, lit_t a, lit_t b) {
  e.implied_by_false[a].push_back(b);
  e.implied_by_false[b].push_back(a);
}

std::uint32_t add_long_clause(dynamic_engine& e, const std::vector<lit_t>& c) {
  auto k = static_cast<std::uint32_t>(e.start.size());
  e.start.push_back(static_cast<std::uint32_t>(e.lits.size()));
  e.size.push_back(static_cast<std::uint32_t>(c.size()));
  e.lits.insert(e.lits.end(), c.begin(), c.end());
  e.watches[c[0]].push_back({k, c[1]});
  e.watches[c[1]].push_back({k, c[0]});
  return k;
}

void add_input_clause(dynamic_engine& e, const std::vector<lit_t>& c) {
  if (c.size() == 1) {
    e.units.push_back(c[0]);
  } else if (c.size() == 2) {
    add_binary(e, c[0], c[1]);
    e.neighbours[var_of(c[0])].push_back(var_of(c[1]));
    e.neighbours[var_of(c[1])].push_back(var_of(c[0]));
  } else {
    std::uint32_t k = add_long_clause(e, c);
    for (lit_t l : c) e.occurrences[var_of(l)].push_back(k);
  }
}

void add_exclusions(dynamic_engine& e, const std::vector<lit_t>& c) {
  for (std::size_t i = 0; i < c.size(); ++i)
    for (std::size_t j = i + 1; j < c.size(); ++j) add_input_clause(e, {complement_of(c[i]), complement_of(c[j])});
}

void assign(dynamic_engine& e, lit_t l, reason_t why) {
  std::uint32_t v = var_of(l);
  e.value[l] = 1;
  e.value[complement_of(l)] = -1;
  e.level[v] = current_level(e);
  e.reason[v] = why;
  e.saved_phase[v] = !is_negative(l);
  e.trail.push_back(l);
}

void note_conflict(dynamic_engine& e, const lit_t* first, std::uint32_t n) {
  e.conflict.assign(first, first + n);
}

bool propagate_binaries(dynamic_engine& e, lit_t f) {
  for (lit_t m : e.implied_by_false[f]) {
    if (is_true(e, m)) continue;
    if (is_false(e, m)) {
      lit_t pair[2] = {m, f};
      note_conflict(e, pair, 2);
      return false;
    }
    assign(e, m, {reason_t::kind::binary, f});
  }
  return true;
}

// F has just become false: every clause watching it finds another watch, implies its other
// watched literal, or is the conflict.
bool propagate_watches(dynamic_engine& e, lit_t f) {
  std::vector<clause_watch>& ws = e.watches[f];
  std::size_t keep = 0, i = 0;
  bool ok = true;
  for (; i < ws.size(); ++i) {
    clause_watch w = ws[i];
    if (is_true(e, w.blocker)) {
      ws[keep++] = w;
      continue;
    }
    lit_t* c = e.lits.data() + e.start[w.clause];
    std::uint32_t n = e.size[w.clause];
    if (c[0] == f) std::swap(c[0], c[1]);
    if (is_true(e, c[0])) {
      ws[keep++] = {w.clause, c[0]};
      continue;
    }
    std::uint32_t k = 2;
    while (k < n && is_false(e, c[k])) ++k;
    if (k < n) {
      std::swap(c[1], c[k]);
      e.watches[c[1]].push_back({w.clause, c[0]});
      continue;
    }
    ws[keep++] = w;
    if (is_false(e, c[0])) {
      note_conflict(e, c, n);
      ok = false;
      ++i;
      break;
    }
    assign(e, c[0], {reason_t::kind::clause, w.clause});
  }
  for (; i < ws.size(); ++i) ws[keep++] = ws[i];
  ws.resize(keep);
  return ok;
}

bool propagate(dynamic_engine& e) {
  while (e.propagated < e.trail.size()) {
    lit_t f = complement_of(e.trail[e.propagated++]);
    if (!propagate_binaries(e, f) || !propagate_watches(e, f)) return false;
  }
  return true;
}

void bump(dynamic_engine& e, std::uint32_t v) {
  if ((e.activity[v] += e.activity_increment) < ACTIVITY_LIMIT) return;
  for (double& a : e.activity) a /= ACTIVITY_LIMIT;
  e.activity_increment /= ACTIVITY_LIMIT;
}

// The false literals that made the true literal P true.
void reason_literals(const dynamic_engine& e, lit_t p, std::vector<lit_t>& out) {
  out.clear();
  const reason_t& r = e.reason[var_of(p)];
  if (r.type == reason_t::kind::binary) {
    out.push_back(r.data);
  } else if (r.type == reason_t::kind::clause) {
    const lit_t* c = e.lits.data() + e.start[r.data];
    out.assign(c + 1, c + e.size[r.data]);
  }
}

// Resolves the conflict clause with the reasons of the current level's literals, newest first,
// until one literal of that level is left: the first unique implication point.
void analyze(dynamic_engine& e) {
  std::uint32_t here = current_level(e);
  e.learned.assign(1, 0);
  std::vector<lit_t> from = e.conflict;
  unsigned open = 0;
  std::size_t index = e.trail.size();
  lit_t uip = 0;
  for (;;) {
    for (lit_t q : from) {
      std::uint32_t v = var_of(q);
      if (e.seen[v] || e.level[v] == 0) continue;
      e.seen[v] = 1;
      bump(e, v);
      if (e.level[v] == here)
        ++open;
      else
        e.learned.push_back(q);
    }
    do uip = e.trail[--index];
    while (!e.seen[var_of(uip)]);
    e.seen[var_of(uip)] = 0;
    if (--open == 0) break;
    reason_literals(e, uip, from);
  }
  e.learned[0] = complement_of(uip);
  for (lit_t q : e.learned) e.seen[var_of(q)] = 0;
  e.activity_increment /= ACTIVITY_DECAY;
}

// The literal of the highest level after the asserting one goes to position 1, so that the two
// watches are the last to become unassigned.
void order_for_watching(dynamic_engine& e) {
  auto highest = std::max_element(e.learned.begin() + 1, e.learned.end(), [&](lit_t a, lit_t b) {
    return e.level[var_of(a)] < e.level[var_of(b)];
  });
  std::iter_swap(e.learned.begin() + 1, highest);
}

// A conflict found when asserting learned clauses may lie wholly below the current level; it has
// no implication point there to learn from.
bool conflict_at_current_level(const dynamic_engine& e) {
  std::uint32_t here = current_level(e);
  for (lit_t l : e.conflict)
    if (e.level[var_of(l)] == here) return true;
  return false;
}

void learn(dynamic_engine& e) {
  if (!conflict_at_current_level(e)) return;
  analyze(e);
  ++e.learned_count;
  if (e.learned.size() == 1) {
    e.learned_units.push_back(e.learned[0]);
    return;
  }
  order_for_watching(e);
  if (e.learned.size() == 2) {
    add_binary(e, e.learned[0], e.learned[1]);
    e.pending_binaries.emplace_back(e.learned[0], e.learned[1]);
  } else {
    e.pending.push_back(add_long_clause(e, e.learned));
  }
}

// A learned clause whose literals but the first are false implies that one; a clause wholly
// false is a conflict. Anything else is left to unit resolution.
bool assert_if_unit(dynamic_engine& e, const lit_t* c, std::uint32_t n, reason_t why) {
  if (!is_false(e, c[1])) return true;
  for (std::uint32_t k = 2; k < n; ++k)
    if (!is_false(e, c[k])) return true;
  if (is_true(e, c[0])) return true;
  if (is_false(e, c[0])) {
    note_conflict(e, c, n);
    return false;
  }
  assign(e, c[0], why);
  return true;
}

// Units hold at every level: they are set wherever they are not yet true.
bool assert_all(dynamic_engine& e, const std::vector<lit_t>& units) {
  for (lit_t u : units) {
    if (is_true(e, u)) continue;
    if (is_false(e, u)) {
      note_conflict(e, &u, 1);
      return false;
    }
    assign(e, u, {});
  }
  return true;
}

bool assert_pending(dynamic_engine& e) {
  std::vector<std::uint32_t> pending;
  std::vector<std::pair<lit_t, lit_t>> binaries;
  pending.swap(e.pending);
  binaries.swap(e.pending_binaries);
  for (const auto& [a, b] : binaries) {
    lit_t c[2] = {a, b};
    if (!assert_if_unit(e, c, 2, {reason_t::kind::binary, b})) return false;
  }
  for (std::uint32_t k : pending)
    if (!assert_if_unit(e, e.lits.data() + e.start[k], e.size[k], {reason_t::kind::clause, k})) return false;
  return true;
}

}  // namespace

bool build_dynamic_engine(const cnf& formula, dynamic_engine& e) {
  std::uint32_t n = formula.var_count + 1;
  e.var_count = formula.var_count;
  e.occurrences.assign(n, {});
  e.neighbours.assign(n, {});
  e.implied_by_false.assign(2 * n, {});
  e.watches.assign(2 * n, {});
  e.value.assign(2 * n, 0);
  e.level.assign(n, 0);
  e.reason.assign(n, {});
  e.saved_phase.assign(n, 0);
  e.activity.assign(n, 0);
  e.seen.assign(n, 0);
  e.level_start.assign(1, 0);
  unsigned first_eclause = formula.clause_count() - formula.eclause_count;
  for (unsigned i = 0; i < formula.clause_count(); ++i) {
    std::vector<lit_t> c = clause_literals(formula.clause(i));
    if (formula.clause_size(i) == 0) return false;
    if (c.empty()) continue;
    add_input_clause(e, c);
    if (i >= first_eclause) add_exclusions(e, c);
  }
  e.input_clause_count = static_cast<std::uint32_t>(e.start.size());
  return true;
}

bool assert_units(dynamic_engine& e) {
  assert(current_level(e) == 0);
  return assert_all(e, e.units) && propagate(e);
}

bool decide(dynamic_engine& e, lit_t l) {
  e.level_start.push_back(e.trail.size());
  ++e.decisions;
  assign(e, l, {});
  bool ok = propagate(e) && assert_all(e, e.learned_units) && propagate(e) && assert_pending(e) && propagate(e);
  if (!ok) {
    ++e.conflicts;
    if (e.learning) learn(e);
  }
  return ok;
}

void backtrack(dynamic_engine& e) {
  std::size_t bottom = e.level_start.back();
  e.level_start.pop_back();
  while (e.trail.size() > bottom) {
    lit_t l = e.trail.back();
    e.trail.pop_back();
    e.value[l] = e.value[complement_of(l)] = 0;
  }
  e.propagated = bottom;
}
