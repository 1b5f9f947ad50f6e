// Randomised cross-checks of the CNF engine on many small formulas, each from a fixed seed that
// a failure names: a search that decides, propagates, learns and backjumps the way the compiler
// does keeps every invariant and learns only implied clauses; both simplify modes keep exactly
// the models of the input.
#include <algorithm>
#include <random>
#include <set>

#include "cnf/conflict_analysis.h"
#include "cnf/preprocessing.h"
#include "cnf/unit_resolution.h"
#include "engine_fixtures.h"

using namespace engine_test;

namespace {

std::vector<int> random_clause(std::mt19937& rng, unsigned var_count, unsigned size) {
  std::vector<int> vars(var_count);
  std::iota(vars.begin(), vars.end(), 1);
  std::shuffle(vars.begin(), vars.end(), rng);
  std::vector<int> clause;
  for (unsigned i = 0; i < size && i < var_count; ++i) clause.push_back(rng() % 2 ? vars[i] : -vars[i]);
  return clause;
}

// Mostly two- and three-literal clauses, a few units and complementary pairs, and with
// eclauses a few trailing eclauses of two to four literals.
std::unique_ptr<cnf> random_cnf(std::mt19937& rng, unsigned max_vars, bool with_eclauses) {
  unsigned var_count = 3 + rng() % (max_vars - 2);
  unsigned clause_count = 1 + rng() % (5 * var_count);
  clause_list clauses;
  for (unsigned i = 0; i < clause_count; ++i) {
    unsigned roll = rng() % 100;
    if (roll < 3) {
      int v = 1 + static_cast<int>(rng() % var_count);
      clauses.push_back({v, -v});
      continue;
    }
    unsigned size = roll < 6 ? 1 : roll < 25 ? 2 : roll < 85 ? 3 : 4;
    clauses.push_back(random_clause(rng, var_count, size));
  }
  unsigned eclauses = with_eclauses ? rng() % 4 : 0;
  for (unsigned i = 0; i < eclauses; ++i) clauses.push_back(random_clause(rng, var_count, 2 + rng() % 3));
  return make_cnf(var_count, clauses, eclauses);
}

std::vector<unsigned> random_permutation(std::mt19937& rng, unsigned n) {
  std::vector<unsigned> order = identity_order(n);
  std::shuffle(order.begin(), order.end(), rng);
  return order;
}

// Drives the manager as the compiler does: decide a literal, go deeper, undo; on a conflict
// (with backjumping) return failure up to the assertion level, assert the learned literal
// there and search the same level again.
class random_search {
 public:
  random_search(cnf_manager* m, const cnf& formula, std::mt19937& rng, bool valid_binaries)
      : m_(m), models_(models(formula)), rng_(rng), valid_binaries_(valid_binaries) {}

  std::string run() {
    if (valid_binaries_) declare_valid_binary_clauses(m_);
    if (!assert_unit_clauses(m_)) {
      expect(models_.empty(), "unit clauses conflict on a satisfiable formula");
    } else {
      check_state("after the unit clauses");
      // Level 1 has already asserted what the conflicts taught it; failure here is a conflict
      // at level 1 itself.
      if (!decompose()) {
        expect(m_->report.conflict_level == 1, "a conflict travelled above level 1");
        expect(models_.empty(), "level 1 conflict on a satisfiable formula");
      }
    }
    undo_assert_unit_clauses(m_);
    if (valid_binaries_) undeclare_valid_binary_clauses(m_);
    expect(m_->trail_top == m_->trail.data() && m_->subsumed_top == m_->subsumed_stack.data(),
           "state left behind at the end");
    for (unsigned i = 0; i < m_->clause_count; ++i) expect(!m_->clause_records[i].subsumed, "subsumed flag left behind");
    check_learned_numbering();
    expect(watch_invariant_errors(m_).empty(), "watch lists at the end: " + watch_invariant_errors(m_));
    return failure_;
  }

 private:
  bool decompose() {
    if (!failure_.empty() || budget_ == 0) return true;
    std::vector<var*> open;
    for (unsigned v = 1; v <= m_->var_count; ++v)
      if (!index2varp(v, m_)->assigned) open.push_back(index2varp(v, m_));
    if (open.empty()) return true;
    --budget_;
    var* x = open[rng_() % open.size()];
    literal* first = rng_() % 2 ? x->pos : x->neg;
    for (literal* l : {first, first->complement}) {
      if (!branch(l)) return backjump();
    }
    return true;
  }

  bool branch(literal* l) {
    assignment_snapshot before(m_);
    bool ok = decide_literal(l, m_);
    if (ok) {
      check_state("after a decision");
      ok = decompose();
    } else if (DD_BACKTRACK) {
      check_learned();
    }
    undo_decide_literal(m_);
    expect(assignment_snapshot(m_) == before, "undo did not restore the state");
    expect(watch_invariant_errors(m_).empty(), "watch lists after undo: " + watch_invariant_errors(m_));
    return ok || !DD_BACKTRACK;
  }

  bool backjump() {
    if (!at_assertion_level(m_)) return false;
    if (!assert_cd_literal(m_)) {
      check_learned();
      return false;
    }
    check_state("after an assertion");
    return decompose();
  }

  void check_state(const std::string& where) {
    std::string errors = watch_invariant_errors(m_) + fixpoint_errors(m_, valid_binaries_);
    expect(errors.empty(), where + ": " + errors);
  }

  void check_learned() {
    const clause* c = m_->report.learned;
    expect(c != nullptr, "no conflict report");
    if (!c) return;
    std::vector<int> literals = indices(c->literals);
    expect(implied_by(models_, literals), "learned clause not implied by the formula");
    std::set<unsigned> vars;
    for (int l : literals) vars.insert(static_cast<unsigned>(std::abs(l)));
    expect(vars.size() == literals.size(), "learned clause repeats a variable");
    expect(m_->report.assertion_level < m_->report.conflict_level || m_->report.conflict_level == 1,
           "assertion level not below the conflict level");
  }

  void check_learned_numbering() {
    unsigned expected = m_->clause_count + m_->learned_count;
    for (const clause* c = m_->learned_clauses; c; c = c->next_learned) expect(c->index == expected--, "learned numbering");
    expect(expected == m_->clause_count, "learned list length");
  }

  void expect(bool condition, const std::string& message) {
    if (!condition && failure_.empty()) failure_ = message;
  }

  cnf_manager* m_;
  std::vector<std::uint32_t> models_;
  std::mt19937& rng_;
  bool valid_binaries_;
  unsigned budget_ = 120;
  std::string failure_;
};

}  // namespace

TEST(CnfRandomEngine, SearchKeepsTheInvariantsAndLearnsOnlyImpliedClauses) {
  for (unsigned seed = 1; seed <= 2000; ++seed) {
    std::mt19937 rng(seed);
    DD_BACKTRACK = seed % 5 != 0;
    auto f = random_cnf(rng, 12, seed % 2 == 0);
    auto m = manager_for(*f, random_permutation(rng, f->var_count), random_permutation(rng, f->clause_count()));
    std::string failure = random_search(m.get(), *f, rng, seed % 3 == 0).run();
    ASSERT_EQ(failure, "") << "seed " << seed;
  }
}

namespace {

// After subsumption no clause of the result holds another one, eclauses and units included.
std::string subsumption_left(const cnf& f) {
  clause_list all = tarn_test::clauses_of(f);
  for (std::vector<int>& c : all) std::sort(c.begin(), c.end());
  for (std::size_t i = 0; i + f.eclause_count < all.size(); ++i)
    for (std::size_t j = 0; j < all.size(); ++j)
      if (j != i && std::includes(all[i].begin(), all[i].end(), all[j].begin(), all[j].end()))
        return "clause " + std::to_string(i) + " holds clause " + std::to_string(j);
  return "";
}

}  // namespace

TEST(CnfRandomEngine, SimplifyModesKeepExactlyTheModelsAndSubsumptionLeavesNoClauseHoldingAnother) {
  for (unsigned seed = 1; seed <= 1500; ++seed) {
    std::mt19937 rng(seed);
    auto f = random_cnf(rng, 10, seed % 2 == 0);
    std::vector<std::uint32_t> expected = models(*f);
    for (auto simplify : {simplify_cnf, simplify_cnf_s}) {
      std::unique_ptr<cnf> result = simplify(*f);
      ASSERT_EQ(result->var_count, f->var_count) << "seed " << seed;
      ASSERT_LE(result->eclause_count, result->clause_count()) << "seed " << seed;
      ASSERT_EQ(models(*result), expected) << "seed " << seed;
    }
    ASSERT_EQ(subsumption_left(*simplify_cnf_s(*f)), "") << "seed " << seed;
  }
}
