#include "dtree/elm_orders.h"

#include <cstdio>

#include "base/utility.h"
#include "cnf/cnf_read.h"
#include "dtree/hdtree_partition.h"
#include "dtree/minfill.h"

namespace {

// A repeated or missing variable would leave a bucket unvisited or a variable in no cutset.
void check_order_is_permutation(const std::vector<unsigned>& order, unsigned var_count) {
  if (order.size() != var_count)
    fatal("\nThe variable order lists %zu variables, but the CNF has %u.", order.size(), var_count);
  std::vector<char> listed(var_count + 1, 0);
  for (unsigned v : order) {
    if (v == 0 || v > var_count)
      fatal("\nThe variable order lists %u, which is not a variable of 1..%u.", v, var_count);
    if (listed[v]) fatal("\nThe variable order lists variable %u twice.", v);
    listed[v] = 1;
  }
}

void push_front(hdtree*& list, hdtree* t) {
  t->next = list;
  list = t;
}

}  // namespace

std::vector<unsigned> default_order_lh(const hgr* h) {
  std::vector<unsigned> order(h->edge_count);
  for (unsigned i = 0; i < h->edge_count; ++i) order[i] = i + 1;
  return order;
}

std::vector<unsigned> default_order_hl(const hgr* h) {
  std::vector<unsigned> order(h->edge_count);
  for (unsigned i = 0; i < h->edge_count; ++i) order[i] = h->edge_count - i;
  return order;
}

unsigned find_hdtree_bucket(const hdtree* t, unsigned lowest, const unsigned* pos, const hgr* h) {
  unsigned bucket = h->edge_count;
  const hgr_edges* vars = t->context.get();
  for (unsigned i = 0; i < vars->count; ++i) {
    unsigned p = pos[vars->edges[i]->index];
    if (p >= lowest && p < bucket) bucket = p;
  }
  return bucket;
}

unsigned length(const hdtree* list) {
  unsigned n = 0;
  for (; list; list = list->next) ++n;
  return n;
}

hdtree* split_hdtree_list(hdtree* list, unsigned n) {
  for (unsigned i = 1; i < n; ++i) list = list->next;
  hdtree* rest = list->next;
  list->next = nullptr;
  return rest;
}

hdtree* balanced_compose_hdtrees(hdtree* list, unsigned n) {
  if (n == 1) return list;
  unsigned half = n / 2;
  hdtree* rest = split_hdtree_list(list, half);
  auto node = std::make_unique<hdtree>();
  node->left.reset(balanced_compose_hdtrees(list, half));
  node->right.reset(balanced_compose_hdtrees(rest, n - half));
  node->context = edges_union(node->left->context.get(), node->right->context.get());
  return node.release();
}

// Each clause starts in the bucket of its first variable in the order. Bucket b joins its
// trees into one, which forgets order[b] (no tree outside holds it any more; a leaf keeps its
// clause's variables for its cutset) and moves on to the bucket of its next variable.
std::unique_ptr<hdtree> order2hdtree(const std::vector<unsigned>& order, hgr* h) {
  const unsigned V = h->edge_count;
  check_order_is_permutation(order, V);
  if (h->node_count == 0) return nullptr;
  std::vector<unsigned> pos(V + 1, 0);
  for (unsigned i = 0; i < V; ++i) pos[order[i]] = i;

  // INVARIANT: every tree is in exactly one bucket list, which owns it until it is composed.
  std::vector<hdtree*> buckets(V + 1, nullptr);
  for (unsigned i = 0; i < h->node_count; ++i) {
    auto leaf = std::make_unique<hdtree>();
    leaf->clause = h->nodes[i]->index;
    leaf->context = node2edges(h->nodes[i]);
    unsigned bucket = find_hdtree_bucket(leaf.get(), 0, pos.data(), h);
    push_front(buckets[bucket], leaf.release());
  }
  for (unsigned b = 0; b < V; ++b) {
    if (!buckets[b]) continue;
    hdtree* t = balanced_compose_hdtrees(buckets[b], length(buckets[b]));
    buckets[b] = nullptr;
    if (!leaf_hdtree(t)) edges_remove_edge(t->context.get(), order[b]);
    push_front(buckets[find_hdtree_bucket(t, b + 1, pos.data(), h)], t);
  }
  std::unique_ptr<hdtree> root(balanced_compose_hdtrees(buckets[V], length(buckets[V])));
  unsigned counter = 0;
  initialize_hdtree(root.get(), nullptr, new_hgr_edges(0), &counter);
  return root;
}

std::unique_ptr<hdtree> cnf2hdtree(const cnf* formula, hgr* h, int method, const std::vector<unsigned>* order) {
  if (method < 0) fatal("\nUnknown dtree method %d.", method);
  if (method == 5 && !order) fatal("\nDtree method 5 needs a variable order.");
  if (VERBOSE) {
    std::printf("\nGenerating dtree...");
    std::fflush(stdout);
  }
  std::unique_ptr<hdtree> t;
  switch (method) {
    case 2: t = order2hdtree(default_order_lh(h), h); break;
    case 3: t = order2hdtree(default_order_hl(h), h); break;
    case 4: t = order2hdtree(cnf2minfill_order(formula), h); break;
    case 5: t = order2hdtree(*order, h); break;
    default:
      if (h->node_count > 0) t = hgr2hdtree_rc(h);
      break;
  }
  if (VERBOSE) std::printf(" done.");
  return t;
}

std::vector<unsigned> cnf2dtree_skeleton(const cnf* formula, const int* settings) {
  if (settings) {
    HDTREE_TYPE = settings[0];
    HDTREE_TRIES = settings[1];
    FIRST_UBF = settings[2];
    LAST_UBF = settings[3];
    VERBOSE = settings[4] != 0;
  }
  std::unique_ptr<hgr> h = cnf2hgr(formula);
  std::unique_ptr<hdtree> t = cnf2hdtree(formula, h.get(), HDTREE_TYPE, nullptr);
  std::vector<unsigned> skeleton = hdtree2dtree_skeleton(t.get(), h.get());
  free_hdtree(t);
  free_hgr(h);
  set_tarn_defaults();
  return skeleton;
}

std::vector<unsigned> cnf_block_order2dtree_skeleton(const cnf* formula, const std::vector<unsigned>& blocks) {
  std::vector<unsigned> order = cnf2minfill_order(formula, blocks);
  std::unique_ptr<hgr> h = cnf2hgr(formula);
  std::unique_ptr<hdtree> t = cnf2hdtree(formula, h.get(), 5, &order);
  std::vector<unsigned> skeleton = hdtree2dtree_skeleton(t.get(), h.get());
  free_hdtree(t);
  free_hgr(h);
  return skeleton;
}
