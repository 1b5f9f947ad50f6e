#include "cnf/forgotten_elimination.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

namespace {

// Literal visits over the whole elimination: a fixed part plus a multiple of the literals.
constexpr std::size_t FIXED_WORK = 5000000;
constexpr std::size_t WORK_PER_LITERAL = 50;
// A variable in more clauses than this is left: its resolvents rarely pay, and trying them costs.
constexpr std::size_t MAX_OCCURRENCES = 64;
// Passes over the candidates: an elimination may make a neighbour's pay.
constexpr int MAX_PASSES = 3;

std::size_t slot(int literal) { return 2 * static_cast<std::size_t>(std::abs(literal)) + (literal < 0); }

struct eliminator {
  std::vector<std::vector<int>> clauses;     // an empty clause is a removed one
  std::vector<std::vector<unsigned>> occurs;  // per literal slot: clauses that held it (some removed since)
  std::vector<int> mark;                      // per variable: the literal of the resolvent being built
  std::vector<std::vector<int>> resolvents;
  std::size_t max_resolvent_size = 0;
  std::size_t work = 0;
  bool contradiction = false;
};

void add_clause(std::vector<int> c, eliminator& e) {
  auto index = static_cast<unsigned>(e.clauses.size());
  for (int l : c) e.occurs[slot(l)].push_back(index);
  e.clauses.push_back(std::move(c));
}

// Drops the removed clauses from a literal's list, and returns it.
const std::vector<unsigned>& live_occurrences(int literal, eliminator& e) {
  std::vector<unsigned>& list = e.occurs[slot(literal)];
  list.erase(std::remove_if(list.begin(), list.end(), [&](unsigned k) { return e.clauses[k].empty(); }), list.end());
  e.work += list.size();
  return list;
}

enum class resolvent { kept, tautology, too_long };

// The resolvent of P (holding x) and N (holding not x) on x.
resolvent resolve(const std::vector<int>& p, const std::vector<int>& n, int x, eliminator& e, std::vector<int>& out) {
  out.clear();
  bool tautology = false;
  for (int l : p)
    if (l != x) {
      e.mark[std::abs(l)] = l;
      out.push_back(l);
    }
  for (int l : n) {
    if (l == -x) continue;
    int seen = e.mark[std::abs(l)];
    if (seen == -l) tautology = true;
    if (seen == 0) out.push_back(l);
  }
  for (int l : p) e.mark[std::abs(l)] = 0;
  e.work += p.size() + n.size();
  if (tautology) return resolvent::tautology;
  return out.size() > e.max_resolvent_size ? resolvent::too_long : resolvent::kept;
}

// The resolvents of x's clauses when they are no more than those clauses, and none too long.
bool resolvents_pay(int x, const std::vector<unsigned>& positive, const std::vector<unsigned>& negative,
                    eliminator& e) {
  e.resolvents.clear();
  std::size_t allowed = positive.size() + negative.size();
  std::vector<int> r;
  for (unsigned p : positive)
    for (unsigned n : negative) {
      resolvent kind = resolve(e.clauses[p], e.clauses[n], x, e, r);
      if (kind == resolvent::too_long) return false;
      if (kind == resolvent::tautology) continue;
      if (e.resolvents.size() == allowed) return false;
      std::sort(r.begin(), r.end(), [](int a, int b) { return std::abs(a) < std::abs(b); });
      e.resolvents.push_back(r);
    }
  return true;
}

bool try_eliminate(unsigned v, eliminator& e) {
  int x = static_cast<int>(v);
  const std::vector<unsigned> positive = live_occurrences(x, e);
  const std::vector<unsigned> negative = live_occurrences(-x, e);
  if (positive.empty() && negative.empty()) return false;
  if (positive.size() + negative.size() > MAX_OCCURRENCES) return false;
  if (!resolvents_pay(x, positive, negative, e)) return false;
  for (unsigned k : positive) std::vector<int>().swap(e.clauses[k]);
  for (unsigned k : negative) std::vector<int>().swap(e.clauses[k]);
  for (std::vector<int>& r : e.resolvents) {
    if (r.empty()) e.contradiction = true;
    add_clause(std::move(r), e);
  }
  return true;
}

eliminator load(const cnf& formula, std::size_t max_resolvent_size) {
  eliminator e;
  e.max_resolvent_size = max_resolvent_size;
  e.occurs.resize(2 * std::size_t{formula.var_count} + 2);
  e.mark.assign(formula.var_count + 1, 0);
  for (unsigned i = 0; i < formula.clause_count(); ++i) {
    const int* c = formula.clause(i);
    add_clause(std::vector<int>(c, c + formula.clause_size(i)), e);
  }
  return e;
}

// Candidates with the fewest resolvents to try come first.
std::vector<unsigned> candidates_by_cost(const std::vector<unsigned>& forgotten, eliminator& e) {
  std::vector<std::pair<std::size_t, unsigned>> cost;
  for (unsigned v : forgotten) {
    int x = static_cast<int>(v);
    cost.emplace_back(live_occurrences(x, e).size() * live_occurrences(-x, e).size(), v);
  }
  std::sort(cost.begin(), cost.end());
  std::vector<unsigned> order;
  for (const auto& c : cost) order.push_back(c.second);
  return order;
}

unsigned eliminate(const std::vector<unsigned>& forgotten, std::size_t budget, eliminator& e) {
  std::vector<std::uint8_t> gone(e.mark.size(), 0);
  unsigned eliminated = 0;
  for (int pass = 0; pass < MAX_PASSES; ++pass) {
    bool progress = false;
    for (unsigned v : candidates_by_cost(forgotten, e)) {
      if (e.work > budget || e.contradiction) return eliminated;
      if (gone[v] || !try_eliminate(v, e)) continue;
      gone[v] = 1;
      ++eliminated;
      progress = true;
    }
    if (!progress) break;
  }
  return eliminated;
}

std::unique_ptr<cnf> result_of(const eliminator& e, const cnf& formula) {
  std::unique_ptr<cnf> result = cnf_without_clauses(formula);
  if (e.contradiction)
    append_contradiction(*result);
  else
    append_clauses(e.clauses, *result);
  return result;
}

std::size_t literal_count(const cnf& formula) {
  std::size_t n = 0;
  for (unsigned i = 0; i < formula.clause_count(); ++i) n += formula.clause_size(i);
  return n;
}

}  // namespace

std::unique_ptr<cnf> eliminate_forgotten_variables(const cnf& formula, const std::vector<unsigned>& forgotten,
                                                   std::size_t max_resolvent_size,
                                                   forgotten_elimination_summary* summary) {
  assert(formula.eclause_count == 0);
  eliminator e = load(formula, max_resolvent_size);
  unsigned eliminated = eliminate(forgotten, FIXED_WORK + WORK_PER_LITERAL * literal_count(formula), e);
  std::unique_ptr<cnf> result = result_of(e, formula);
  if (summary) *summary = {eliminated, result->clause_count()};
  return result;
}
