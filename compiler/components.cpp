#include "compiler/components.h"

#include <algorithm>

#include "compiler/dynamic_engine.h"

namespace {

constexpr std::uint32_t NO_GROUP = UINT32_MAX;

void reach(std::uint32_t v, std::uint32_t group, component_finder& f) {
  if (f.var_stamp[v] == f.stamp) return;
  f.var_stamp[v] = f.stamp;
  f.var_group[v] = group;
  ++f.group_vars[group];
  f.queue.push_back(v);
}

bool clause_satisfied(const dynamic_engine& e, std::uint32_t k) {
  const lit_t* c = e.lits.data() + e.start[k];
  for (std::uint32_t i = 0; i < e.size[k]; ++i)
    if (is_true(e, c[i])) return true;
  return false;
}

std::uint32_t name_without(const dynamic_engine& e, const component_finder& f, std::uint32_t k, lit_t l) {
  const std::uint32_t* first = f.sorted_lits.data() + e.start[k];
  return f.dropped_name[e.start[k] + static_cast<std::uint32_t>(std::lower_bound(first, first + e.size[k], l) - first)];
}

// Looks at clause K once per split; an open clause joins the group with its unassigned variables.
bool visit_clause(const dynamic_engine& e, std::uint32_t k, std::uint32_t group, component_finder& f) {
  if (f.clause_stamp[k] == f.stamp) return f.clause_group[k] != NO_GROUP;
  f.clause_stamp[k] = f.stamp;
  if (clause_satisfied(e, k)) {
    f.clause_group[k] = NO_GROUP;
    return false;
  }
  f.clause_group[k] = group;
  ++f.group_clauses[group];
  const lit_t* c = e.lits.data() + e.start[k];
  std::uint32_t lost = 0;
  lit_t lost_literal = 0;
  for (std::uint32_t i = 0; i < e.size[k]; ++i) {
    if (is_false(e, c[i])) {
      ++lost;
      lost_literal = c[i];
    } else {
      reach(var_of(c[i]), group, f);
    }
  }
  f.open_name[k] = lost == 0 ? f.clause_name[k] : lost == 1 ? name_without(e, f, k, lost_literal) : NO_NAME;
  return true;
}

// Every open two-literal clause has both variables unassigned: unit resolution has run.
void grow_group(const dynamic_engine& e, std::uint32_t seed, std::uint32_t group, component_finder& f) {
  f.group_vars.push_back(0);
  f.group_clauses.push_back(0);
  f.queue.clear();
  reach(seed, group, f);
  for (std::size_t i = 0; i < f.queue.size(); ++i) {
    std::uint32_t u = f.queue[i];
    std::uint32_t open = 0;
    for (std::uint32_t w : e.neighbours[u])
      if (!is_assigned(e, w)) {
        ++open;
        reach(w, group, f);
      }
    for (std::uint32_t k : e.occurrences[u]) open += visit_clause(e, k, group, f);
    f.open_clauses[u] = open;
  }
}

// Room for every group of more than one variable: its key header now, its lists filled in later.
void open_records(component_finder& f, component_stack& stack) {
  f.group_record.assign(f.group_vars.size(), NO_GROUP);
  for (std::uint32_t g = 0; g < f.group_vars.size(); ++g) {
    if (f.group_vars[g] < 2) continue;  // a variable without open clauses: free
    component_record r;
    r.offset = stack.store.size();
    r.var_count = f.group_vars[g];
    r.clause_count = f.group_clauses[g];
    stack.store.resize(stack.store.size() + r.key_size());
    stack.store[r.offset] = r.var_count;
    f.group_record[g] = static_cast<std::uint32_t>(stack.records.size());
    stack.records.push_back(r);
  }
}

// The parent's lists are sorted, so handing their members out in order keeps each group's sorted.
void fill_records(const std::uint32_t* vars, std::uint32_t n, const std::uint32_t* clauses, std::uint32_t m,
                  component_finder& f, component_stack& stack, std::size_t first) {
  std::vector<std::size_t>& var_cursor = f.var_cursor;
  std::vector<std::size_t>& clause_cursor = f.clause_cursor;
  var_cursor.resize(stack.records.size() - first);
  clause_cursor.resize(stack.records.size() - first);
  for (std::size_t i = first; i < stack.records.size(); ++i) {
    var_cursor[i - first] = stack.records[i].offset + 1;
    clause_cursor[i - first] = var_cursor[i - first] + stack.records[i].var_count;
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint32_t v = vars[i];
    if (f.var_stamp[v] != f.stamp || f.group_record[f.var_group[v]] == NO_GROUP) continue;
    std::size_t r = f.group_record[f.var_group[v]];
    stack.store[var_cursor[r - first]++] = v;
    stack.records[r].shown_count += !f.forgotten[v];
  }
  for (std::uint32_t i = 0; i < m; ++i) {
    std::uint32_t k = clauses[i];
    if (f.clause_stamp[k] != f.stamp || f.clause_group[k] == NO_GROUP) continue;
    std::size_t r = f.group_record[f.clause_group[k]];
    stack.store[clause_cursor[r - first]++] = k;
  }
}

// A literal set named by where it is: the sorted literals of an input clause, leaving out the one
// at `left_out` (the clause's size when none is left out).
struct literal_set_ref {
  std::uint64_t hash;
  std::uint32_t clause, left_out;
};

literal_set_ref set_ref(const dynamic_engine& e, const component_finder& f, std::uint32_t k, std::uint32_t left_out) {
  const std::uint32_t* lits = f.sorted_lits.data() + e.start[k];
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (std::uint32_t i = 0; i < e.size[k]; ++i)
    if (i != left_out) h = (h ^ lits[i]) * 0x100000001B3ull;
  return {h ^ (h >> 32), k, left_out};
}

bool same_set(const dynamic_engine& e, const component_finder& f, const literal_set_ref& a, const literal_set_ref& b) {
  const std::uint32_t* x = f.sorted_lits.data() + e.start[a.clause];
  const std::uint32_t* y = f.sorted_lits.data() + e.start[b.clause];
  std::uint32_t i = 0, j = 0, n = e.size[a.clause], m = e.size[b.clause];
  for (;;) {
    if (i == a.left_out) ++i;
    if (j == b.left_out) ++j;
    if (i >= n || j >= m) return i >= n && j >= m;
    if (x[i++] != y[j++]) return false;
  }
}

// Calls name(ref, first) for every set with the first clause that has it. Sorting by hash, then
// clause, puts each set's first clause ahead of the others with the same hash.
template <typename Name>
void name_by_first_clause(std::vector<literal_set_ref>& refs, const dynamic_engine& e, const component_finder& f,
                          Name name) {
  std::sort(refs.begin(), refs.end(), [](const literal_set_ref& a, const literal_set_ref& b) {
    return a.hash != b.hash ? a.hash < b.hash : a.clause < b.clause;
  });
  for (std::size_t group = 0; group < refs.size();) {
    std::size_t end = group;
    while (end < refs.size() && refs[end].hash == refs[group].hash) ++end;
    for (std::size_t i = group; i < end; ++i) {
      std::size_t first = group;
      while (!same_set(e, f, refs[first], refs[i])) ++first;
      name(refs[i], refs[first].clause);
    }
    group = end;
  }
}

// Naming a clause without each of its literals costs its length squared; past this length the
// clause is written out instead when it has lost a literal.
constexpr std::uint32_t LONGEST_NAMED_CLAUSE = 16;

// Clause k's literal set is named 2f, and the set it leaves without one literal 2f + 1, where f is
// the first clause with that set (or that set left without one literal): names mostly follow the
// clause numbers, so a key's names come nearly sorted. Past NO_NAME / 2 clauses nothing is named.
void name_clauses(const dynamic_engine& e, component_finder& f) {
  std::size_t input_lits = e.input_clause_count ? e.start[e.input_clause_count - 1] + e.size[e.input_clause_count - 1] : 0;
  f.sorted_lits.assign(e.lits.begin(), e.lits.begin() + static_cast<std::ptrdiff_t>(input_lits));
  f.clause_name.assign(e.input_clause_count, NO_NAME);
  f.open_name.assign(e.input_clause_count, NO_NAME);
  f.dropped_name.assign(input_lits, NO_NAME);
  if (e.input_clause_count >= NO_NAME / 2) return;
  std::vector<literal_set_ref> wholes, shortened;
  for (std::uint32_t k = 0; k < e.input_clause_count; ++k) {
    std::sort(f.sorted_lits.begin() + e.start[k], f.sorted_lits.begin() + e.start[k] + e.size[k]);
    wholes.push_back(set_ref(e, f, k, e.size[k]));
    if (e.size[k] <= LONGEST_NAMED_CLAUSE)
      for (std::uint32_t i = 0; i < e.size[k]; ++i) shortened.push_back(set_ref(e, f, k, i));
  }
  name_by_first_clause(wholes, e, f, [&f](const literal_set_ref& r, std::uint32_t first) {
    f.clause_name[r.clause] = 2 * first;
  });
  name_by_first_clause(shortened, e, f, [&e, &f](const literal_set_ref& r, std::uint32_t first) {
    f.dropped_name[e.start[r.clause] + r.left_out] = 2 * first + 1;
  });
}

// Keeps the clause's open literals, sorted, at the end of the scratch.
void list_open_literals(const dynamic_engine& e, const component_finder& f, std::uint32_t k, canonical_key& key) {
  std::size_t begin = key.literals.size();
  const std::uint32_t* sorted = f.sorted_lits.data() + e.start[k];
  for (std::uint32_t i = 0; i < e.size[k]; ++i)
    if (!is_false(e, sorted[i])) key.literals.push_back(sorted[i]);
  key.spans.push_back({static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(key.literals.size() - begin)});
}

void write_listed_clauses(canonical_key& key) {
  const std::uint32_t* literals = key.literals.data();
  auto less = [literals](const std::pair<std::uint32_t, std::uint32_t>& a,
                         const std::pair<std::uint32_t, std::uint32_t>& b) {
    return std::lexicographical_compare(literals + a.first, literals + a.first + a.second, literals + b.first,
                                        literals + b.first + b.second);
  };
  auto same = [literals](const std::pair<std::uint32_t, std::uint32_t>& a,
                         const std::pair<std::uint32_t, std::uint32_t>& b) {
    return std::equal(literals + a.first, literals + a.first + a.second, literals + b.first,
                      literals + b.first + b.second);
  };
  std::sort(key.spans.begin(), key.spans.end(), less);
  key.spans.erase(std::unique(key.spans.begin(), key.spans.end(), same), key.spans.end());
  key.listed.clear();
  for (const auto& [start, size] : key.spans) {
    key.listed.push_back(size);
    key.listed.insert(key.listed.end(), literals + start, literals + start + size);
  }
}

void next_stamp(component_finder& f) {
  if (++f.stamp != 0) return;
  std::fill(f.var_stamp.begin(), f.var_stamp.end(), 0);
  std::fill(f.clause_stamp.begin(), f.clause_stamp.end(), 0);
  f.stamp = 1;
}

}  // namespace

// The records of one split are sorted by size, not by offset.
void component_stack::pop_to(std::size_t count) {
  if (count == records.size()) return;
  std::size_t bottom = records[count].offset;
  for (std::size_t i = count + 1; i < records.size(); ++i) bottom = std::min(bottom, records[i].offset);
  store.resize(bottom);
  records.resize(count);
}

void prepare_component_finder(const dynamic_engine& e, const std::vector<std::uint8_t>& forgotten,
                              component_finder& f) {
  f.var_stamp.assign(e.var_count + 1, 0);
  f.var_group.assign(e.var_count + 1, 0);
  f.open_clauses.assign(e.var_count + 1, 0);
  f.clause_stamp.assign(e.input_clause_count, 0);
  f.clause_group.assign(e.input_clause_count, NO_GROUP);
  f.forgotten = forgotten;
  f.stamp = 0;
  name_clauses(e, f);
}

void push_whole_formula(const dynamic_engine& e, component_stack& stack) {
  component_record r;
  r.offset = stack.store.size();
  r.var_count = e.var_count;
  r.clause_count = e.input_clause_count;
  stack.store.push_back(r.var_count);
  for (std::uint32_t v = 1; v <= e.var_count; ++v) stack.store.push_back(v);
  for (std::uint32_t k = 0; k < e.input_clause_count; ++k) stack.store.push_back(k);
  stack.records.push_back(r);
}

// The children take at most the parent's room and a header each: the store gets that room first,
// so that it does not move under the parent's lists while they are read.
void split_components(const dynamic_engine& e, std::size_t parent, component_finder& f, component_stack& stack) {
  const component_record p = stack.records[parent];
  stack.store.reserve(stack.store.size() + 2 * std::size_t{p.key_size()});
  const std::uint32_t* vars = stack.vars(parent);
  next_stamp(f);
  f.group_vars.clear();
  f.group_clauses.clear();
  for (std::uint32_t i = 0; i < p.var_count; ++i) {
    std::uint32_t v = vars[i];
    if (is_assigned(e, v) || f.var_stamp[v] == f.stamp) continue;
    grow_group(e, v, static_cast<std::uint32_t>(f.group_vars.size()), f);
  }
  std::size_t first = stack.records.size();
  open_records(f, stack);
  fill_records(stack.vars(parent), p.var_count, stack.clauses(parent), p.clause_count, f, stack, first);
  std::stable_sort(stack.records.begin() + first, stack.records.end(),
                   [](const component_record& a, const component_record& b) { return a.var_count < b.var_count; });
}

void make_canonical_key(const dynamic_engine& e, const component_finder& f, const component_stack& stack,
                        std::size_t component, canonical_key& key) {
  const component_record& r = stack.records[component];
  key.named.assign(stack.key(component), stack.clauses(component));
  key.literals.clear();
  key.spans.clear();
  // Names mostly come in increasing order: those that do not are sorted on their own and merged in.
  std::size_t names_start = key.named.size();
  key.late_names.clear();
  const std::uint32_t* clauses = stack.clauses(component);
  for (std::uint32_t i = 0; i < r.clause_count; ++i) {
    std::uint32_t name = f.open_name[clauses[i]];
    if (name == NO_NAME)
      list_open_literals(e, f, clauses[i], key);
    else if (key.named.size() == names_start || key.named.back() < name)
      key.named.push_back(name);
    else
      key.late_names.push_back(name);
  }
  if (!key.late_names.empty()) {
    std::sort(key.late_names.begin(), key.late_names.end());
    auto middle = static_cast<std::ptrdiff_t>(key.named.size());
    key.named.insert(key.named.end(), key.late_names.begin(), key.late_names.end());
    auto names = key.named.begin() + static_cast<std::ptrdiff_t>(names_start);
    std::inplace_merge(names, key.named.begin() + middle, key.named.end());
    key.named.erase(std::unique(names, key.named.end()), key.named.end());
  }
  write_listed_clauses(key);
}
