#include "cnf/trie.h"

#include <cassert>

namespace {

constexpr unsigned long TRIE_EDGE_BYTES = 16;

trie_edge* new_edge(int label, trie_edge* next) {
  trie_edge* e = new trie_edge;
  e->leaf = 0;
  e->label = label;
  e->next = next;
  e->child = nullptr;
  return e;
}

// `slot` is the link that points at the edge a walk stands on in one sibling list.
struct removal_frame {
  trie_edge** slot;
  const int* set;
};

// The child list of the parent's current inner edge has been processed: an edge left without
// children ended only removed sets and goes too.
void finish_inner_edge(removal_frame& parent) {
  trie_edge* e = *parent.slot;
  if (e->child) {
    parent.slot = &e->next;
    return;
  }
  *parent.slot = e->next;
  delete e;
}

}  // namespace

trie_edge* indices2trie(const int* set, void* data) {
  const int* end = set;
  while (*end) ++end;
  if (end == set) return nullptr;
  trie_edge* chain = new_edge(*--end, nullptr);
  chain->leaf = 1;
  chain->data = data;
  while (end != set) {
    trie_edge* e = new_edge(*--end, nullptr);
    e->child = chain;
    chain = e;
  }
  return chain;
}

trie_edge* trie_insert(const int* set, void* data, trie_edge* t) {
  assert(*set);
  trie_edge** slot = &t;
  for (;;) {
    while (*slot && (*slot)->label < *set) slot = &(*slot)->next;
    trie_edge* e = *slot;
    if (e && e->label == *set) {
      assert(!e->leaf && set[1] != 0);
      slot = &e->child;
      ++set;
      continue;
    }
    trie_edge* chain = indices2trie(set, data);
    chain->next = e;
    *slot = chain;
    return t;
  }
}

// Depth-first over the edges whose labels are in the set; the set position reached in one
// sibling list carries over to the later siblings, whose labels are larger.
void* trie_get_subset(const int* set, const trie_edge* t) {
  struct frame {
    const trie_edge* edge;
    const int* set;
  };
  std::vector<frame> stack{{t, set}};
  while (!stack.empty()) {
    frame& f = stack.back();
    const trie_edge* e = f.edge;
    if (!e) {
      stack.pop_back();
      continue;
    }
    while (*f.set && *f.set < e->label) ++f.set;
    if (!*f.set) {
      stack.pop_back();
      continue;
    }
    f.edge = e->next;
    if (*f.set != e->label) continue;
    if (e->leaf) return e->data;
    const int* rest = f.set + 1;
    stack.push_back({e->child, rest});
  }
  return nullptr;
}

// A stored set below an edge is a superset when it holds every element of the set not yet
// matched on the way down. Once a label exceeds the next unmatched element, no later sibling
// can hold that element.
trie_edge* trie_remove_supersets(const int* set, trie_edge* t, std::vector<void*>& removed) {
  std::vector<removal_frame> stack{{&t, set}};
  auto close_list = [&stack] {
    stack.pop_back();
    if (!stack.empty()) finish_inner_edge(stack.back());
  };
  while (!stack.empty()) {
    removal_frame f = stack.back();
    trie_edge* e = *f.slot;
    int x = *f.set;
    if (!e || (x != 0 && e->label > x)) {
      close_list();
    } else if (e->leaf) {
      if (x == 0 || (f.set[1] == 0 && x == e->label)) {
        removed.push_back(e->data);
        *f.slot = e->next;
        delete e;
      } else {
        stack.back().slot = &e->next;
      }
    } else {
      stack.push_back({&e->child, e->label == x ? f.set + 1 : f.set});
    }
  }
  return t;
}

namespace {

// The child is visited before the next sibling, and siblings go by increasing label.
template <typename Visit>
void for_each_trie_leaf(const trie_edge* t, Visit visit) {
  std::vector<const trie_edge*> stack{t};
  while (!stack.empty()) {
    const trie_edge* e = stack.back();
    stack.pop_back();
    if (!e) continue;
    stack.push_back(e->next);
    if (e->leaf)
      visit(e);
    else
      stack.push_back(e->child);
  }
}

}  // namespace

unsigned trie_count(const trie_edge* t) {
  unsigned count = 0;
  for_each_trie_leaf(t, [&](const trie_edge*) { ++count; });
  return count;
}

std::vector<void*> trie_enumerate(const trie_edge* t) {
  std::vector<void*> data;
  for_each_trie_leaf(t, [&](const trie_edge* e) { data.push_back(e->data); });
  return data;
}

unsigned long trie_free(trie_edge* t) {
  unsigned long edges = 0;
  std::vector<trie_edge*> stack{t};
  while (!stack.empty()) {
    trie_edge* e = stack.back();
    stack.pop_back();
    if (!e) continue;
    stack.push_back(e->next);
    if (!e->leaf) stack.push_back(e->child);
    delete e;
    ++edges;
  }
  return edges * TRIE_EDGE_BYTES;
}
