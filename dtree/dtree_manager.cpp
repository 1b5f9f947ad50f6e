#include "dtree/dtree_manager.h"

#include <algorithm>
#include <cstdio>

#include "base/output_file.h"
#include "base/utility.h"
#include "dtree/hdtree.h"

unsigned char* CELLS = nullptr;
unsigned COUNT = 0;
clause* FIRST_CLAUSE = nullptr;
clause* LAST_CLAUSE = nullptr;
dtree_manager* MANAGER = nullptr;

namespace {

// Two bits per variable, slot 0 in the low bits: 01 false, 10 true, 11 free, 00 irrelevant.
constexpr unsigned char relevant_false_masks[4] = {0x01, 0x04, 0x10, 0x40};
constexpr unsigned char relevant_true_masks[4] = {0x02, 0x08, 0x20, 0x80};
constexpr unsigned char relevant_free_masks[4] = {0x03, 0x0C, 0x30, 0xC0};

// ---------------------------------------------------------------------------------------------
// Conversion of the hdtree
// ---------------------------------------------------------------------------------------------

struct builder {
  cnf_manager* cm;
  dtree_manager* dm;

  std::unique_ptr<dtree> convert(var* var_base, clause* clause_base, dtree* parent, const hdtree* h) {
    auto d = std::make_unique<dtree>();
    d->index = h->index;
    d->parent = parent;
    d->pure_vars = var_base;
    d->clauses = clause_base;
    for (unsigned i = 0; i < h->context->count; ++i) d->context_vars.push_back(index2varp(h->context->edges[i]->index, cm));
    d->context_count = h->context->count;
    if (!h->left) {
      d->clause_count = 1;
      d->pure_var_count = h->cutset->count;
      return d;
    }
    d->left = convert(var_base, clause_base, d.get(), h->left.get());
    dtree* l = d->left.get();
    d->right = convert(var_base + l->pure_var_count, clause_base + l->clause_count, d.get(), h->right.get());
    dtree* r = d->right.get();
    d->cacheable = h->parent && !edges_subset(h->parent->context.get(), h->context.get());
    dm->cacheable_count += d->cacheable;
    d->height = 1 + std::max(l->height, r->height);
    d->clause_count = l->clause_count + r->clause_count;
    d->cutset_count = h->cutset->count;
    d->pure_var_count = l->pure_var_count + r->pure_var_count + d->cutset_count;
    d->cutset_vars = var_base + l->pure_var_count + r->pure_var_count;
    d->separator_count = h->separator->count;
    d->separator_entries.resize(d->separator_count);
    for (unsigned i = 0; i < d->separator_count; ++i) {
      d->separator_entries[i].var = index2varp(h->separator->edges[i]->index, cm);
      d->separators.push_back(&d->separator_entries[i]);
    }
    return d;
  }
};

// Calls f on every node, parents before children, without recursion.
template <typename F>
void for_each_node(dtree* root, F f) {
  std::vector<dtree*> stack{root};
  while (!stack.empty()) {
    dtree* t = stack.back();
    stack.pop_back();
    f(t);
    if (t->left) {
      stack.push_back(t->right.get());
      stack.push_back(t->left.get());
    }
  }
}

bool trivial_two_literal(const clause* c) { return c->size == 2 && c->literals[0]->complement == c->literals[1]; }

// A write position per occurrence list, so the lists can be rewritten in leaf order.
struct list_writer {
  clause** start;
  clause** at;
  unsigned expected;
};

[[noreturn]] void order_error(int which) { fatal("\nerror %d in order var clauses!", which); }

void check_rewritten(const list_writer& w) {
  if (*w.at != nullptr) order_error(1);
  if (w.at - w.expected != w.start) order_error(2);
}

// Rewrites every occurrence list in the order of the dtree's leaves from left to right, so that
// the clauses of any node form one stretch of each list.
void order_var_clauses_based_on_dtree(dtree* root, cnf_manager* cm) {
  std::vector<list_writer> var_lists(cm->var_count + 1), pos_lists(cm->var_count + 1), neg_lists(cm->var_count + 1);
  for (unsigned i = 0; i < cm->var_count; ++i) {
    var* v = &cm->var_records[i];
    var_lists[v->index] = {v->clauses_cursor, v->clauses_cursor, v->occ_count};
    pos_lists[v->index] = {v->pos->clauses_cursor, v->pos->clauses_cursor, v->pos->occ_count};
    neg_lists[v->index] = {v->neg->clauses_cursor, v->neg->clauses_cursor, v->neg->occ_count};
  }
  auto append = [](list_writer& w, clause* c) {
    if (w.at - w.start >= static_cast<long>(w.expected)) order_error(1);
    *w.at++ = c;
  };
  for_each_node(root, [&](dtree* t) {
    if (t->left) return;
    clause* c = t->clauses;
    bool trivial = trivial_two_literal(c);
    if (trivial) append(var_lists[c->literals[0]->var->index], c);
    for (literal** l = c->literals; *l; ++l) {
      unsigned v = (*l)->var->index;
      if (!trivial) append(var_lists[v], c);
      append((*l)->index > 0 ? pos_lists[v] : neg_lists[v], c);
    }
  });
  for (unsigned v = 1; v <= cm->var_count; ++v) {
    check_rewritten(var_lists[v]);
    check_rewritten(pos_lists[v]);
    check_rewritten(neg_lists[v]);
  }
}

// The occurrence list [first, end) of a variable; lists are in clause-record order, so the
// stretches of a node are found by binary search.
clause** first_at_or_after(clause** first, clause** end, const clause* c) {
  return std::lower_bound(first, end, c, [](const clause* a, const clause* b) { return a < b; });
}
clause** first_after(clause** first, clause** end, const clause* c) {
  return std::upper_bound(first, end, c, [](const clause* a, const clause* b) { return a < b; });
}

const clause* last_clause(const dtree* t) { return t->clauses + t->clause_count - 1; }

void fill_separators(dtree* root) {
  for_each_node(root, [](dtree* t) {
    if (!t->left) return;
    const dtree* l = t->left.get();
    const dtree* r = t->right.get();
    for (separator& s : t->separator_entries) {
      clause** start = s.var->clauses;
      clause** end = start + s.var->occ_count;
      s.left_first = first_at_or_after(start, end, l->clauses);
      s.right_first = first_after(s.left_first, end, last_clause(l));
      // Every separator variable occurs below both children.
      if (s.left_first == s.right_first || s.right_first == end || *s.right_first > last_clause(r))
        fatal("\nerror 1 fill sep");
      s.right_last = first_after(s.right_first + 1, end, last_clause(r)) - 1;
    }
  });
}

// Lists below each node the decompose-except variables of its clauses, each once. A variable's
// mark tags the side it was last seen on, which tells the parent the left-only variables.
void initialize_decompose_except_vars(dtree* t, unsigned side) {
  if (!t->left) {
    const clause* c = t->clauses;
    for (literal** l = c->literals; *l; ++l) {
      var* v = (*l)->var;
      if (!v->decompose_except || (trivial_two_literal(c) && l != c->literals)) continue;
      t->dexcept_vars.push_back(v);
      v->mark = side;
    }
  } else {
    initialize_decompose_except_vars(t->left.get(), 1 - side);
    initialize_decompose_except_vars(t->right.get(), side);
    for (var* v : t->left->dexcept_vars) {
      if (!v || v->mark == side) continue;
      v->mark = side;
      t->dexcept_vars.push_back(v);
    }
    for (var* v : t->right->dexcept_vars)
      if (v) t->dexcept_vars.push_back(v);
    t->key_bytes = bits2bytes(2 * (t->pure_var_count + t->context_count +
                                   static_cast<unsigned>(t->dexcept_vars.size())));
  }
  t->dexcept_count = static_cast<unsigned>(t->dexcept_vars.size());
  t->dexcept_vars.push_back(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------------------------

// Whether some clause of the key's node run in [list, list + n) is unsatisfied.
bool unsubsumed_in_run(clause** list, unsigned n) {
  clause** end = list + n;
  for (clause** c = first_at_or_after(list, end, FIRST_CLAUSE); c != end && *c <= LAST_CLAUSE; ++c)
    if (!(*c)->subsumed) return true;
  return false;
}

bool unsubsumed_anywhere(clause** list, unsigned n) {
  for (unsigned i = 0; i < n; ++i)
    if (!list[i]->subsumed) return true;
  return false;
}

void set_var_bits(var* x) {
  if (COUNT == 0) *CELLS = 0;
  if (x->relevant) {
    x->relevant = 0;
    bool relevant;
    const unsigned char* masks;
    if (x->pos->false_level) {
      relevant = unsubsumed_in_run(x->pos->clauses, x->pos->occ_count);
      masks = relevant_false_masks;
    } else if (x->neg->false_level) {
      relevant = unsubsumed_in_run(x->neg->clauses, x->neg->occ_count);
      masks = relevant_true_masks;
    } else {
      relevant = x->decompose_except ? unsubsumed_anywhere(x->clauses, x->occ_count)
                                     : unsubsumed_in_run(x->clauses, x->occ_count);
      masks = relevant_free_masks;
    }
    if (relevant) {
      *CELLS |= masks[COUNT];
      x->relevant = 1;
    } else {
      MANAGER->relevant_stack[MANAGER->stack_top++] = x;
    }
  }
  if (++COUNT == 4) {
    COUNT = 0;
    ++CELLS;
  }
}

// ---------------------------------------------------------------------------------------------
// Picture
// ---------------------------------------------------------------------------------------------

constexpr std::size_t TEXT_LIMIT = 998;

// "[a,b,c]"-style text, cut with "..." once it passes the limit.
template <typename Item>
std::string bracketed(const char* open, const char* close, unsigned n, Item item) {
  std::string text = open;
  for (unsigned i = 0; i < n; ++i) {
    if (text.size() > TEXT_LIMIT) return text + "..." + close;
    text += item(i, i + 1 == n);
  }
  return text + close;
}

std::string number(unsigned value, bool last) { return std::to_string(value) + (last ? "" : ","); }

void write_vcg_node(std::FILE* out, const dtree* t, int parent) {
  if (parent >= 0) std::fprintf(out, "\nedge: { sourcename: \"%d\" targetname: \"%u\" }", parent, t->index);
  std::string context = varsp2string(t->context_vars.data(), t->context_count);
  if (!t->left) {
    std::fprintf(out, "\nnode: { title: \"%u\" label: \"%u. cl_%u: %s\n   Ct: %s\" shape: box }", t->index, t->index,
                 t->clauses->index, clause2string(t->clauses).c_str(), context.c_str());
    return;
  }
  std::fprintf(out, "\nnode: { title: \"%u\" label: \"%s%u. Cu:%s / S:%s\n   Ct: %s\" shape: ellipse }", t->index,
               t->cacheable ? "c" : "", t->index, vars2string(t->cutset_vars, t->cutset_count).c_str(),
               separators2string(t->separators.data(), t->separator_count).c_str(), context.c_str());
}

}  // namespace

dtree::~dtree() { release_subtrees(*this); }

// Iterative, since a dtree built from an order can be deeper than the stack allows. Leaves count
// for the cluster and context maxima only.
void hdtree_sizes_max(const hdtree* t, unsigned long* cluster, unsigned long* cutset, unsigned long* context,
                      unsigned long* separator) {
  *cluster = *cutset = *context = *separator = 0;
  std::vector<const hdtree*> pending{t};
  while (!pending.empty()) {
    const hdtree* node = pending.back();
    pending.pop_back();
    *cluster = std::max<unsigned long>(*cluster, node->context->count + node->cutset->count);
    *context = std::max<unsigned long>(*context, node->context->count);
    if (!node->left) continue;
    *cutset = std::max<unsigned long>(*cutset, node->cutset->count);
    *separator = std::max<unsigned long>(*separator, node->separator->count);
    pending.insert(pending.end(), {node->left.get(), node->right.get()});
  }
}

std::unique_ptr<dtree_manager> construct_dtree_manager(const hdtree* root, cnf_manager* cm) {
  std::clock_t start = std::clock();
  auto dm = std::make_unique<dtree_manager>();
  dm->relevant_stack.assign(cm->var_count, nullptr);
  dm->node_count = cm->clause_count ? 2 * cm->clause_count - 1 : 0;
  if (root) {
    unsigned long cluster, cutset, context, separator;
    hdtree_sizes_max(root, &cluster, &cutset, &context, &separator);
    dm->max_cluster = cluster;
    dm->max_cutset = cutset;
    dm->max_context = context;
    dm->max_separator = separator;
    dm->root = builder{cm, dm.get()}.convert(cm->var_records, cm->clause_records, nullptr, root);
    order_var_clauses_based_on_dtree(dm->root.get(), cm);
    fill_separators(dm->root.get());
    initialize_decompose_except_vars(dm->root.get(), 0);
    for (unsigned i = 0; i < cm->var_count; ++i) cm->var_records[i].mark = 0;
    for_each_node(dm->root.get(), [&](dtree* t) { dm->max_key_bytes = std::max(dm->max_key_bytes, t->key_bytes); });
  }
  dm->build_time = std::clock() - start;
  if (VERBOSE)
    std::printf("\nMax Cluster=%u, Cutset=%u, Context=%u, Separator=%u, Height=%u", dm->max_cluster, dm->max_cutset,
                dm->max_context, dm->max_separator, dm->root ? dm->root->height : 0);
  if (SAVE_AS_VCG) save_dtree_as_vcg(dm.get(), "dtree.vcg");
  return dm;
}

void free_dtree_manager(std::unique_ptr<dtree_manager>& dm) { dm.reset(); }

bool leaf_dtree(const dtree* t) { return !t->left; }

bool subsumed_dtree(const dtree* t) {
  for (unsigned i = 0; i < t->clause_count; ++i)
    if (!t->clauses[i].subsumed) return false;
  return true;
}

void push_dtree_state(dtree* t, unsigned char* key, dtree_manager* dm) {
  MANAGER = dm;
  FIRST_CLAUSE = t->clauses;
  LAST_CLAUSE = t->clauses + t->clause_count - 1;
  CELLS = key;
  key[0] = 0;
  COUNT = 0;
  t->saved_stack_top = dm->stack_top;
  for (var* v : t->context_vars) set_var_bits(v);
  for (unsigned i = 0; i < t->pure_var_count; ++i) set_var_bits(t->pure_vars + i);
  for (unsigned i = 0; i < t->dexcept_count; ++i) set_var_bits(t->dexcept_vars[i]);
}

void pop_dtree_state(dtree* t, dtree_manager* dm) {
  while (dm->stack_top > t->saved_stack_top) dm->relevant_stack[--dm->stack_top]->relevant = 1;
}

std::string vars2string(const var* first, unsigned n) {
  return bracketed("[", "]", n, [&](unsigned i, bool last) { return number(first[i].index, last); });
}

std::string varsp2string(var* const* a, unsigned n) {
  return bracketed("[", "]", n, [&](unsigned i, bool last) { return number(a[i]->index, last); });
}

std::string separators2string(separator* const* a, unsigned n) {
  return bracketed("[", "]", n, [&](unsigned i, bool last) { return number(a[i]->var->index, last); });
}

std::string literals2string(literal* const* a, unsigned n) {
  return bracketed("(", ")", n, [&](unsigned i, bool last) {
    const literal* l = a[i];
    char text[64];
    if (l->false_level)
      std::snprintf(text, sizeof text, last ? "%dr[%u] " : "%dr[%u], ", l->index, l->false_level);
    else if (l->true_level)
      std::snprintf(text, sizeof text, last ? "%ds[%u] " : "%ds[%u], ", l->index, l->true_level);
    else
      std::snprintf(text, sizeof text, last ? "%d" : "%d,", l->index);
    return std::string(text);
  });
}

std::string clause2string(const clause* c) { return literals2string(c->literals, c->size); }

void save_dtree_as_vcg(const dtree_manager* dm, const char* path) {
  save_whole_file(path, [&](std::FILE* out) { write_dtree_vcg(out, dm); }, PICTURE_FILE_FAILURE);
}

void write_dtree_vcg(std::FILE* out, const dtree_manager* dm) {
  static const char* const header[] = {
      "graph: { title: \"dtree\"", "\n\nsmanhatten_edges: yes", "\nlayoutalgorithm: tree", "\nscaling: 0.50",
      "\ntreefactor: 0.9",         "\ncolor: darkmagenta",      "\nedge.color: lightyellow", "\nedge.thickness: 1",
      "\nedge.arrowsize: 5",       "\nnode.borderwidth: 1",     "\nnode.bordercolor: lightgreen",
      "\nnode.textcolor: blue",    "\nnode.color: lightgray",   "\n"};
  for (const char* item : header) std::fputs(item, out);
  // Each node, then its right subtree, then its left subtree.
  std::vector<std::pair<const dtree*, int>> stack;
  if (dm->root) stack.emplace_back(dm->root.get(), -1);
  while (!stack.empty()) {
    auto [t, parent] = stack.back();
    stack.pop_back();
    write_vcg_node(out, t, parent);
    if (t->left) {
      stack.emplace_back(t->left.get(), static_cast<int>(t->index));
      stack.emplace_back(t->right.get(), static_cast<int>(t->index));
    }
  }
  std::fputs("\n\n}", out);
}
