#include "dtree/hdtree_partition.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "driver/utility.h"
#include "hgpart/hgpart.h"

int UBF = 0;
unsigned hdtree_index = 0;

std::vector<int> hgp_part;
std::vector<int> hgp_eptr;
std::vector<int> hgp_eind;

std::vector<hgr_edge*> cutset_buffer;
std::vector<hgr_edge*> left_context_buffer;
std::vector<hgr_edge*> right_context_buffer;
std::vector<hgr_edge*> separator_buffer;

unsigned current_cluster_size_max = 0, current_cutset_size_max = 0;
unsigned current_context_size_max = 0, current_separator_size_max = 0;
mpz_t current_cluster_size_sum, current_cutset_size_sum;
mpz_t current_context_size_sum, current_separator_size_sum;
unsigned best_cluster_size_max = 0, best_cutset_size_max = 0;
unsigned best_context_size_max = 0, best_separator_size_max = 0;
mpz_t best_cluster_size_sum, best_cutset_size_sum;
mpz_t best_context_size_sum, best_separator_size_sum;
std::unique_ptr<hdtree> best_hdtree;

// ---------------------------------------------------------------------------------------------
// Partitioning one sub-hypergraph
// ---------------------------------------------------------------------------------------------
void allocate_hgp_arrays(const hgr* h) {
  std::size_t pins = 0;
  for (unsigned i = 0; i < h->edge_count; ++i) pins += h->edges[i]->node_count;
  hgp_part.assign(h->node_count, 0);
  hgp_eptr.assign(h->edge_count + 1, 0);
  hgp_eind.assign(pins, 0);
}

void free_hgp_arrays() {
  std::vector<int>().swap(hgp_part);
  std::vector<int>().swap(hgp_eptr);
  std::vector<int>().swap(hgp_eind);
}

void allocate_decomposition_buffers(unsigned edge_count) {
  cutset_buffer.assign(edge_count, nullptr);
  left_context_buffer.assign(edge_count, nullptr);
  right_context_buffer.assign(edge_count, nullptr);
  separator_buffer.assign(edge_count, nullptr);
}

void free_decomposition_buffers() {
  std::vector<hgr_edge*>().swap(cutset_buffer);
  std::vector<hgr_edge*>().swap(left_context_buffer);
  std::vector<hgr_edge*>().swap(right_context_buffer);
  std::vector<hgr_edge*>().swap(separator_buffer);
}

namespace {

void split_by_parity(hgr* h) {
  for (unsigned i = 0; i < h->node_count; ++i) h->nodes[i]->mark = i & 1;
}

// The partitioner's view of the active part: vertex i is the node at position i (its mark).
void fill_hgp_arrays(const hgr* h) {
  for (unsigned i = 0; i < h->node_count; ++i) h->nodes[i]->mark = i;
  unsigned length = 0;
  hgp_eptr[0] = 0;
  for (unsigned e = 0; e < h->edge_count; ++e) {
    const hgr_edge* edge = h->edges[e];
    for (unsigned j = 0; j < edge->node_count; ++j) hgp_eind[length++] = static_cast<int>(edge->nodes[j]->mark);
    hgp_eptr[e + 1] = static_cast<int>(length);
  }
}

}  // namespace

void partition_hgr(int ubfactor, hgr* h, const int* options) {
  const unsigned n = h->node_count;
  // Nodes without active edges are tied to nothing: they need no partitioner.
  const unsigned with_edges = push_items_to_end(h->nodes.data(), n, empty_node);
  if (with_edges == 0) {
    split_by_parity(h);
    return;
  }
  if (with_edges < n) {
    for (unsigned i = 0; i < n; ++i) h->nodes[i]->mark = i < with_edges ? 1 : 0;
    return;
  }
  fill_hgp_arrays(h);
  int edgecut = 0;
  HGP_PartRecursive(static_cast<int>(n), static_cast<int>(h->edge_count), nullptr, hgp_eptr.data(), hgp_eind.data(),
                    nullptr, 2, ubfactor, options, hgp_part.data(), &edgecut);
  unsigned on_side_1 = 0;
  for (unsigned i = 0; i < n; ++i) on_side_1 += static_cast<unsigned>(hgp_part[i]);
  // Both sides must be non-empty, or the recursion would not shrink.
  if (on_side_1 == 0 || on_side_1 == n) {
    split_by_parity(h);
    return;
  }
  for (unsigned i = 0; i < n; ++i) h->nodes[i]->mark = static_cast<unsigned>(hgp_part[h->nodes[i]->mark]);
}

// ---------------------------------------------------------------------------------------------
// One bisection and the sets it gives
// ---------------------------------------------------------------------------------------------
namespace {

// Method 1 sweeps its own factors; the others draw one per bisection, so that the tries differ.
int balance_factor() {
  if (HDTREE_TYPE == 1) return UBF;
  std::srand(static_cast<unsigned>(std::clock()));
  return ubfs[std::rand() % UBF_COUNT];
}

constexpr unsigned ON_SIDE_0 = 1, ON_SIDE_1 = 2, ON_BOTH_SIDES = ON_SIDE_0 | ON_SIDE_1;

// Which sides the edge's active nodes lie on; stops as soon as both are seen.
unsigned edge_sides(const hgr_edge* e) {
  unsigned sides = 0;
  for (unsigned j = 0; j < e->node_count && sides != ON_BOTH_SIDES; ++j)
    sides |= e->nodes[j]->mark == 0 ? ON_SIDE_0 : ON_SIDE_1;
  return sides;
}

// Gives an empty set the first n1 entries of one buffer followed by the first n2 of another.
void set_entries(hgr_edges* s, const std::vector<hgr_edge*>& first, unsigned n1, const std::vector<hgr_edge*>& second,
                 unsigned n2) {
  assert(s->count == 0);
  s->count = n1 + n2;
  s->edges = std::make_unique<hgr_edge*[]>(s->count);
  std::copy(first.begin(), first.begin() + n1, s->edges.get());
  std::copy(second.begin(), second.begin() + n2, s->edges.get() + n1);
}

}  // namespace

bool compute_decomposition(hgr_edges* cutset, hgr_edges* left_context, hgr_edges* right_context, hgr_edges* separator,
                           const hgr_edges* context, hgr* h) {
  // The context's variables are already accounted for above: they take no part in the cut.
  const bool has_context = context->count > 0;
  if (has_context) remove_edges(context, h);
  partition_hgr(balance_factor(), h);
  unsigned cut = 0;
  for (unsigned i = 0; i < h->edge_count; ++i)
    if (edge_sides(h->edges[i]) == ON_BOTH_SIDES) cutset_buffer[cut++] = h->edges[i];
  if (has_context) restore_hgr(h);

  unsigned left = 0, right = 0, shared = 0;
  for (unsigned i = 0; i < context->count; ++i) {
    hgr_edge* e = context->edges[i];
    const unsigned sides = edge_sides(e);
    if (sides & ON_SIDE_0) left_context_buffer[left++] = e;
    if (sides & ON_SIDE_1) right_context_buffer[right++] = e;
    if (sides == ON_BOTH_SIDES) separator_buffer[shared++] = e;
  }
  if (!update_current_hdtree(cut, context->count, cut + shared)) return false;

  set_entries(cutset, cutset_buffer, cut, cutset_buffer, 0);
  set_entries(left_context, cutset_buffer, cut, left_context_buffer, left);
  set_entries(right_context, cutset_buffer, cut, right_context_buffer, right);
  set_entries(separator, cutset_buffer, cut, separator_buffer, shared);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Subtrees
// ---------------------------------------------------------------------------------------------
namespace {

std::unique_ptr<hdtree> new_hdtree_node(hdtree* parent) {
  auto t = std::make_unique<hdtree>();
  t->index = hdtree_index++;
  t->parent = parent;
  return t;
}

// A member of a duplicate group below the group's top: every set is the group's edges or empty.
std::unique_ptr<hdtree> duplicate_leaf(const hgr_node* member, const hgr_edges* edges, hdtree* parent) {
  std::unique_ptr<hdtree> leaf = new_hdtree_node(parent);
  leaf->clause = member->index;
  leaf->cutset = new_hgr_edges(0);
  leaf->context = edges_copy(edges);
  leaf->separator = new_hgr_edges(0);
  return leaf;
}

}  // namespace

std::unique_ptr<hdtree> duplicate_nodes2hdtree(std::unique_ptr<hgr_edges> context, hdtree* parent,
                                               const hgr_node* representative) {
  const std::unique_ptr<hgr_edges> edges = node2edges(representative);
  std::unique_ptr<hdtree> top = new_hdtree_node(parent);
  top->context = std::move(context);
  top->cutset = edges_comp(top->context.get(), edges.get());
  if (!representative->next) {
    top->clause = representative->index;
    top->separator = new_hgr_edges(0);
    return top;
  }
  // The vine: each internal node holds one member on its left and the rest of the group below
  // its right; the last two members are the two leaves of the bottom node.
  hdtree* vine = top.get();
  for (const hgr_node* member = representative;; member = member->next) {
    vine->separator = edges_copy(edges.get());
    vine->left = duplicate_leaf(member, edges.get(), vine);
    if (!member->next->next) {
      vine->right = duplicate_leaf(member->next, edges.get(), vine);
      return top;
    }
    std::unique_ptr<hdtree> below = new_hdtree_node(vine);
    below->cutset = new_hgr_edges(0);
    below->context = edges_copy(edges.get());
    vine->right = std::move(below);
    vine = vine->right.get();
  }
}

std::unique_ptr<hdtree> hgr2hdtree_node(bool* abort, std::unique_ptr<hgr_edges> context, hdtree* parent, hgr* h) {
  assert(h->node_count > 0);
  if (h->node_count == 1) {
    const unsigned context_size = context->count;
    std::unique_ptr<hdtree> t = duplicate_nodes2hdtree(std::move(context), parent, h->nodes[0]);
    if (!update_current_hdtree(t->cutset->count, context_size, t->separator->count)) *abort = true;
    return t;
  }

  std::unique_ptr<hdtree> t = new_hdtree_node(parent);
  t->context = std::move(context);
  t->cutset = new_hgr_edges(0);
  t->separator = new_hgr_edges(0);
  std::unique_ptr<hgr_edges> left_context = new_hgr_edges(0);
  std::unique_ptr<hgr_edges> right_context = new_hgr_edges(0);
  if (!compute_decomposition(t->cutset.get(), left_context.get(), right_context.get(), t->separator.get(),
                             t->context.get(), h)) {
    *abort = true;
    return t;
  }

  remove_marked_nodes_and_their_edges(h);  // side 1 goes; side 0 stays
  t->left = hgr2hdtree_node(abort, std::move(left_context), t.get(), h);
  if (*abort) {
    restore_hgr(h);
    return t;
  }
  mark_hgr_nodes(h, 1);
  restore_hgr(h);
  remove_marked_nodes_and_their_edges(h);  // now side 0 goes
  t->right = hgr2hdtree_node(abort, std::move(right_context), t.get(), h);
  restore_hgr(h);
  return t;
}

// ---------------------------------------------------------------------------------------------
// The construction
// ---------------------------------------------------------------------------------------------
namespace {

// The progress line: one token per try, "." for an abandoned one.
void report_try(bool abandoned) {
  if (!VERBOSE) return;
  if (abandoned)
    std::printf(".");
  else if (HDTREE_TYPE == 1)
    std::printf("%d ", UBF);
  else
    std::printf("*");
  std::fflush(stdout);
}

void make_try(hgr* h) {
  hdtree_index = 0;
  bool abort = false;
  initialize_current_hdtree();
  std::unique_ptr<hdtree> tree = hgr2hdtree_node(&abort, new_hgr_edges(0), nullptr, h);
  report_try(abort);
  if (!abort) keep_hdtree(std::move(tree));
}

}  // namespace

std::unique_ptr<hdtree> hgr2hdtree_rc(hgr* h) {
  assert(h->node_count > 0);
  if (HDTREE_TYPE == 0) LAST_UBF = FIRST_UBF;
  // Without a single try there would be no tree to return.
  if (HDTREE_TRIES < 1 || FIRST_UBF > LAST_UBF)
    fatal("\nNo dtree to build: %d tries over the balance factors %d to %d.", HDTREE_TRIES, FIRST_UBF, LAST_UBF);

  remove_duplicate_nodes(h);
  allocate_hgp_arrays(h);
  remove_empty_edges(h);
  hdtree_index = 0;
  initialize_best_hdtree();
  allocate_decomposition_buffers(h->edge_count);

  const unsigned tries = static_cast<unsigned>(HDTREE_TRIES);
  for (unsigned t = 0; t < tries; ++t) {
    for (long factor = FIRST_UBF; factor <= LAST_UBF; ++factor) {
      UBF = static_cast<int>(factor);
      make_try(h);
    }
  }

  std::unique_ptr<hdtree> result = get_best_hdtree();
  clear_best_hdtree();
  free_decomposition_buffers();
  free_hgp_arrays();
  restore_hgr(h);
  return_duplicate_nodes(h);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Best-tree bookkeeping
// ---------------------------------------------------------------------------------------------
namespace {

void add_power_of_two(unsigned long exponent, unsigned& max, mpz_t sum) {
  if (exponent > max) max = static_cast<unsigned>(exponent);
  mpz_t power;
  mpz_init(power);
  mpz_ui_pow_ui(power, 2, exponent);
  mpz_add(sum, sum, power);
  mpz_clear(power);
}

// The smallest k, from the largest size up, with 2^k at least the sum: the size whose single
// cluster would weigh as much as the whole tree.
int sum_exponent(unsigned max, const mpz_t sum) {
  mpz_t power;
  mpz_init(power);
  mpz_ui_pow_ui(power, 2, max);
  unsigned k = max;
  while (mpz_cmp(power, sum) < 0) {
    mpz_mul_2exp(power, power, 1);
    ++k;
  }
  mpz_clear(power);
  return static_cast<int>(k);
}

}  // namespace

void initialize_best_hdtree() {
  best_hdtree.reset();
  best_cluster_size_max = best_cutset_size_max = best_context_size_max = best_separator_size_max = 0;
  mpz_inits(best_cluster_size_sum, best_cutset_size_sum, best_context_size_sum, best_separator_size_sum, nullptr);
  mpz_inits(current_cluster_size_sum, current_cutset_size_sum, current_context_size_sum, current_separator_size_sum,
            nullptr);
}

void initialize_current_hdtree() {
  current_cluster_size_max = current_cutset_size_max = current_context_size_max = current_separator_size_max = 0;
  mpz_set_ui(current_cluster_size_sum, 0);
  mpz_set_ui(current_cutset_size_sum, 0);
  mpz_set_ui(current_context_size_sum, 0);
  mpz_set_ui(current_separator_size_sum, 0);
}

bool update_current_hdtree(unsigned long cutset, unsigned long context, unsigned long separator) {
  add_power_of_two(cutset + context, current_cluster_size_max, current_cluster_size_sum);
  add_power_of_two(cutset, current_cutset_size_max, current_cutset_size_sum);
  add_power_of_two(context, current_context_size_max, current_context_size_sum);
  add_power_of_two(separator, current_separator_size_max, current_separator_size_sum);
  return survises_hdtree();
}

bool survises_hdtree() { return !best_hdtree || mpz_cmp(current_cluster_size_sum, best_cluster_size_sum) <= 0; }

bool better_hdtree() {
  if (!best_hdtree) return true;
  int order = mpz_cmp(current_cluster_size_sum, best_cluster_size_sum);
  if (order != 0) return order < 0;
  order = mpz_cmp(current_context_size_sum, best_context_size_sum);
  if (order != 0) return order < 0;
  order = mpz_cmp(current_separator_size_sum, best_separator_size_sum);
  if (order != 0) return order > 0;
  return mpz_cmp(current_cutset_size_sum, best_cutset_size_sum) > 0;
}

void keep_hdtree(std::unique_ptr<hdtree> tree) {
  if (!better_hdtree()) return;
  best_hdtree = std::move(tree);
  best_cluster_size_max = current_cluster_size_max;
  best_cutset_size_max = current_cutset_size_max;
  best_context_size_max = current_context_size_max;
  best_separator_size_max = current_separator_size_max;
  mpz_set(best_cluster_size_sum, current_cluster_size_sum);
  mpz_set(best_cutset_size_sum, current_cutset_size_sum);
  mpz_set(best_context_size_sum, current_context_size_sum);
  mpz_set(best_separator_size_sum, current_separator_size_sum);
}

std::unique_ptr<hdtree> get_best_hdtree() { return std::move(best_hdtree); }

void clear_best_hdtree() {
  if (VERBOSE)
    std::printf("\nSum Cluster=%d, cutset=%d, context=%d, separator=%d",
                sum_exponent(best_cluster_size_max, best_cluster_size_sum),
                sum_exponent(best_cutset_size_max, best_cutset_size_sum),
                sum_exponent(best_context_size_max, best_context_size_sum),
                sum_exponent(best_separator_size_max, best_separator_size_sum));
  best_hdtree.reset();
  mpz_clears(best_cluster_size_sum, best_cutset_size_sum, best_context_size_sum, best_separator_size_sum, nullptr);
  mpz_clears(current_cluster_size_sum, current_cutset_size_sum, current_context_size_sum, current_separator_size_sum,
             nullptr);
}
