#include "cnf/conflict_analysis.h"

#include <algorithm>
#include <cassert>

#include "cnf/unit_resolution.h"

void analyze_conflict(literal** falsified, unsigned level, cnf_manager* m) {
  construct_conflict_report(level, falsified, m);
}

void clear_implied_literal_marks(cnf_manager* m) {
  for (literal** t = m->trail.data(); t < m->trail_top; ++t) (*t)->var->mark = 0;
}

// Literals implied through two-literal clauses and eclauses stand for the start of their
// reason chain (same level), so they never enter a learned clause.
void mark_vars_at_level(literal** literals, cnf_manager* m, unsigned& at_level, unsigned level,
                        unsigned& assertion_level, unsigned& size, unsigned& open, literal* skip) {
  literal** buffer = m->learned_buffer.data();
  for (literal** p = literals; *p; ++p) {
    if (*p == skip) continue;
    literal* t = (*p)->complement;
    while (t->reason_literal) t = t->reason_literal;
    literal* g = t->complement;
    var* x = g->var;
    unsigned t_level = t->true_level;
    if (t_level == level) {
      if (x->mark == 0) {
        x->mark = 1;
        ++at_level;
        ++open;
      }
    } else if (x->mark != 2) {
      x->mark = 2;
      ++size;
      if (assertion_level == 0) {
        buffer[1] = g;
        assertion_level = t_level;
      } else if (t_level > assertion_level) {
        *m->learned_top++ = buffer[1];
        buffer[1] = g;
        assertion_level = t_level;
      } else {
        *m->learned_top++ = g;
      }
    }
  }
}

// Resolves backwards along the trail from the conflict until one variable of the conflict level
// is left open: the first unique implication point.
unsigned uip_conflict_clause(unsigned level, literal** falsified, cnf_manager* m) {
  clear_implied_literal_marks(m);
  literal** buffer = m->learned_buffer.data();
  buffer[0] = buffer[1] = nullptr;
  m->learned_top = buffer + 2;
  unsigned at_level = 0, open = 0, size = 0, assertion_level = 0;
  mark_vars_at_level(falsified, m, at_level, level, assertion_level, size, open, nullptr);
  assert(at_level > 0);

  literal** t = m->trail_top;
  literal* uip = nullptr;
  while (at_level) {
    assert(t > m->trail.data());
    uip = *--t;
    if (uip->var->mark != 1) continue;
    --at_level;
    if (open == 1 || !uip->reason_clause) break;
    --open;
    mark_vars_at_level(uip->reason_clause, m, at_level, level, assertion_level, size, open, uip);
  }
  ++size;
  buffer[0] = uip->complement;
  return size;
}

// The new clause replaces a report clause that was never added, which is released here.
void construct_conflict_report(unsigned level, literal** falsified, cnf_manager* m) {
  unsigned n = uip_conflict_clause(level, falsified, m);
  auto storage = std::make_unique<learned_clause_storage>();
  storage->record = clause{};
  storage->literals = std::make_unique<literal*[]>(n + 1);
  std::copy(m->learned_buffer.data(), m->learned_buffer.data() + n, storage->literals.get());
  clause* c = &storage->record;
  c->size = n;
  c->literals = storage->literals.get();
  m->unadded_learned = std::move(storage);

  conflict_report& r = m->report;
  r.learned = c;
  r.asserting_literal = c->literals[0];
  r.second_literal = n > 1 ? c->literals[1] : nullptr;
  r.conflict_level = r.asserting_literal->false_level;
  r.assertion_level = r.second_literal ? r.second_literal->false_level : 1;
}

bool at_assertion_level(const cnf_manager* m) { return m->report.assertion_level == m->level; }

bool assert_cd_literal(cnf_manager* m) {
  clause* c = m->report.learned;
  literal* l = m->report.asserting_literal;
  assert(m->unadded_learned && c == &m->unadded_learned->record);
  assert(!l->var->assigned);
  l->true_level = m->report.assertion_level;
  if (c->size != 2)
    l->reason_clause = c->literals;
  else
    l->reason_literal = c->literals[1]->complement;
  add_conflict_driven_clause(m);
  ++m->assertion_count;
  return set_literal(l, m);
}

void add_conflict_driven_clause(cnf_manager* m) { add_clause(m->report.learned, m); }

// Positions 0 and 1 (asserting and second literal) are watched; learned clauses are in no
// occurrence list, so subsumption and the eclause rule never reach them.
void add_clause(clause* c, cnf_manager* m) {
  assert(m->unadded_learned && c == &m->unadded_learned->record);
  for (literal** l = c->literals; *l; ++l) ++(*l)->occ_count_all;
  ++m->learned_count;
  m->learned_literal_count += c->size;
  c->index = m->learned_count + m->clause_count;
  if (c->size > 1) declare_watched_literals(c, 0);
  c->next_learned = m->learned_clauses;
  m->learned_clauses = c;
  m->learned_storage.push_back(std::move(m->unadded_learned));
}
