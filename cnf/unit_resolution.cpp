#include "cnf/unit_resolution.h"

#include <cassert>
#include <utility>

#include "base/utility.h"
#include "cnf/conflict_analysis.h"

literal* implict_binary_clause_literals[3] = {nullptr, nullptr, nullptr};

namespace {

// Makes L true at level d (the caller has set its reason, if any) and queues it on the trail.
void push_true_literal(literal* l, unsigned d, cnf_manager* m) {
  l->true_level = d;
  l->complement->false_level = d;
  l->var->assigned = 1;
  update_subsumption(l, m);
  *m->trail_top++ = l;
  if (l->reason_clause || l->reason_literal) ++m->implication_count;
}

// C has implied a literal or met a conflict: widen the effect span to it. Callers test
// track_effects first, so that the default search pays one branch and no more.
void note_effect(clause* c, cnf_manager* m) {
  clause_span& s = m->effect_span;
  if (!s.first || c < s.first) s.first = c;
  if (!s.last || c > s.last) s.last = c;
}

// At most one literal of an eclause is true: T being true makes every other literal false.
bool propagate_eclauses(literal* t, unsigned d, cnf_manager* m) {
  for (clause** e = t->clauses; *e; ++e) {
    if (!(*e)->eclause) continue;
    for (literal** l = (*e)->literals; *l; ++l) {
      literal* other = *l;
      if (other == t || literal_false(other)) continue;
      if (m->track_effects) note_effect(*e, m);
      if (literal_true(other)) {
        if (DD_BACKTRACK) {
          implict_binary_clause_literals[0] = other->complement;
          implict_binary_clause_literals[1] = t->complement;
          implict_binary_clause_literals[2] = nullptr;
          analyze_conflict(implict_binary_clause_literals, d, m);
        }
        return false;
      }
      literal* implied = other->complement;
      implied->reason_literal = t;
      push_true_literal(implied, d, m);
    }
  }
  return true;
}

// Resumes at watch_cursor and looks at positions 2..size-1 once each, wrapping around; a true
// or unassigned literal qualifies.
literal** find_replacement_watch(clause* c) {
  for (unsigned k = c->size - 2; k > 0; --k) {
    if (!*c->watch_cursor) c->watch_cursor = c->watch_start;
    literal** candidate = c->watch_cursor++;
    if (!literal_false(*candidate)) return candidate;
  }
  return nullptr;
}

// T has just become true: visit the clauses watching its complement F, front to back.
// INVARIANT: the next clause is read before C may leave F's list.
bool propagate_watches(literal* t, unsigned d, cnf_manager* m) {
  literal* f = t->complement;
  clause* c = f->watch_head;
  while (c) {
    unsigned s = c->literals[1] == f;
    clause* next = c->watch_next[s];
    if (literal** replacement = find_replacement_watch(c)) {
      move_watched_literal(c->literals + s, replacement, c);
    } else {
      literal* w = c->literals[1 - s];
      if (m->track_effects && !literal_true(w)) note_effect(c, m);
      if (literal_false(w)) {
        if (DD_BACKTRACK) analyze_conflict(c->literals, d, m);
        return false;
      }
      if (!literal_true(w)) {
        if (c->size == 2)
          w->reason_literal = t;
        else
          w->reason_clause = c->literals;
        push_true_literal(w, d, m);
      }
    }
    c = next;
  }
  return true;
}

unsigned watch_position(const clause* c, const literal* l) { return c->literals[1] == l; }

}  // namespace

// The trail doubles as the propagation queue; eclauses of a literal go before its watches.
bool set_literal(literal* l, cnf_manager* m) {
  assert(!l->var->assigned);
  unsigned d = l->true_level;
  literal** queue = m->trail_top;
  push_true_literal(l, d, m);
  while (queue < m->trail_top) {
    literal* t = *queue++;
    if (m->eclause_count && !propagate_eclauses(t, d, m)) return false;
    if (!propagate_watches(t, d, m)) return false;
  }
  return true;
}

bool decide_literal(literal* l, cnf_manager* m) {
  assert(!l->var->assigned);
  if (m->level > m->max_level) m->max_level = m->level;
  unsigned d = ++m->level;
  assert(d < m->level_trail_start.size());
  ++m->decision_count;
  l->true_level = d;
  l->reason_clause = nullptr;
  l->reason_literal = nullptr;
  m->level_trail_start[d] = m->trail_top;
  m->level_subsumed_start[d] = m->subsumed_top;
  return set_literal(l, m);
}

void undo_decide_literal(cnf_manager* m) {
  assert(m->level > 1);
  erase_level(m->level, m);
  --m->level;
}

// Watch positions stay as they are: once the assignment is undone any two positions serve.
void erase_level(unsigned d, cnf_manager* m) {
  literal** bottom = m->level_trail_start[d];
  while (m->trail_top > bottom) {
    literal* t = *--m->trail_top;
    t->var->assigned = 0;
    t->true_level = 0;
    t->complement->false_level = 0;
    t->reason_clause = nullptr;
    t->reason_literal = nullptr;
  }
  clause** subsumed_bottom = m->level_subsumed_start[d];
  while (m->subsumed_top > subsumed_bottom) (*--m->subsumed_top)->subsumed = 0;
}

bool assert_unit_clause(literal* l, cnf_manager* m) {
  if (literal_false(l)) return false;
  if (literal_true(l)) return true;
  assert(m->level == 1);
  l->true_level = 1;
  l->reason_clause = nullptr;
  l->reason_literal = nullptr;
  return set_literal(l, m);
}

bool assert_unit_clauses(cnf_manager* m) {
  for (unsigned v = 1; v <= m->var_count; ++v) {
    var* x = index2varp(v, m);
    if (m->pos_unit[v] && !assert_unit_clause(x->pos, m)) return false;
    if (m->neg_unit[v] && !assert_unit_clause(x->neg, m)) return false;
  }
  return true;
}

void undo_assert_unit_clauses(cnf_manager* m) { erase_level(1, m); }

void update_subsumption(literal* l, cnf_manager* m) {
  for (clause** c = l->clauses; *c; ++c) {
    if ((*c)->subsumed) continue;
    (*c)->subsumed = 1;
    *m->subsumed_top++ = *c;
  }
}

void declare_valid_binary_clauses(cnf_manager* m) {
  for (unsigned i = 0; i < m->clause_count; ++i)
    if (trivial_binary_clause(&m->clause_records[i])) m->clause_records[i].subsumed = 1;
}

void undeclare_valid_binary_clauses(cnf_manager* m) {
  for (unsigned i = 0; i < m->clause_count; ++i)
    if (trivial_binary_clause(&m->clause_records[i])) m->clause_records[i].subsumed = 0;
}

void add_watched_clause(clause* c, literal* l) {
  unsigned i = watch_position(c, l);
  clause* head = l->watch_head;
  c->watch_next[i] = head;
  c->watch_prev[i] = nullptr;
  if (head) head->watch_prev[watch_position(head, l)] = c;
  l->watch_head = c;
  ++l->watch_count;
}

void remove_watched_clause(clause* c, literal* l) {
  unsigned i = watch_position(c, l);
  clause* prev = c->watch_prev[i];
  clause* next = c->watch_next[i];
  if (prev)
    prev->watch_next[watch_position(prev, l)] = next;
  else
    l->watch_head = next;
  if (next) next->watch_prev[watch_position(next, l)] = prev;
  --l->watch_count;
}

void move_watched_literal(literal** from, literal** to, clause* c) {
  remove_watched_clause(c, *from);
  std::swap(*from, *to);
  add_watched_clause(c, *from);
}
