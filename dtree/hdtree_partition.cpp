#include "dtree/hdtree_partition.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "base/utility.h"
#include "hgpart/hgpart.h"

namespace {
// sum += 2^exponent, or -= with a negative sign; `power` is scratch.
void add_power(mpz_t sum, unsigned long exponent, int sign, mpz_t power) {
  mpz_set_ui(power, 0);
  mpz_setbit(power, exponent);
  if (sign > 0)
    mpz_add(sum, sum, power);
  else
    mpz_sub(sum, sum, power);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Partitioning one sub-hypergraph
// ---------------------------------------------------------------------------------------------
void allocate_hgp_arrays(const hgr* h, hgp_arrays* a) {
  std::size_t pins = 0;
  for (unsigned i = 0; i < h->edge_count; ++i) pins += h->edges[i]->node_count;
  a->hgp_part.assign(h->node_count, 0);
  a->hgp_eptr.assign(h->edge_count + 1, 0);
  a->hgp_eind.assign(pins, 0);
}

void allocate_decomposition_buffers(unsigned edge_count, hdtree_try* t) {
  t->cutset_buffer.assign(edge_count, nullptr);
  t->left_context_buffer.assign(edge_count, nullptr);
  t->right_context_buffer.assign(edge_count, nullptr);
  t->separator_buffer.assign(edge_count, nullptr);
}

namespace {

void split_by_parity(hgr* h) {
  for (unsigned i = 0; i < h->node_count; ++i) h->nodes[i]->mark = i & 1;
}

// The partitioner's view of the active part: vertex i is the node at position i (its mark).
void fill_hgp_arrays(const hgr* h, hgp_arrays* a) {
  for (unsigned i = 0; i < h->node_count; ++i) h->nodes[i]->mark = i;
  unsigned length = 0;
  a->hgp_eptr[0] = 0;
  for (unsigned e = 0; e < h->edge_count; ++e) {
    const hgr_edge* edge = h->edges[e];
    for (unsigned j = 0; j < edge->node_count; ++j) a->hgp_eind[length++] = static_cast<int>(edge->nodes[j]->mark);
    a->hgp_eptr[e + 1] = static_cast<int>(length);
  }
}

}  // namespace

void partition_hgr(int ubfactor, int seed, hgr* h, hgp_arrays* a) {
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
  fill_hgp_arrays(h, a);
  int options[9];
  std::copy(hgp_options, hgp_options + 9, options);
  options[HGP_SEED_OPTION] = seed;
  int edgecut = 0;
  if (HGP_PartRecursive(static_cast<int>(n), static_cast<int>(h->edge_count), nullptr, a->hgp_eptr.data(),
                        a->hgp_eind.data(), nullptr, 2, ubfactor, options, a->hgp_part.data(),
                        &edgecut) == HGP_ERROR)
    fatal_to(stderr, 1, "%s\n", HGP_LastError());
  unsigned on_side_1 = 0;
  for (unsigned i = 0; i < n; ++i) on_side_1 += static_cast<unsigned>(a->hgp_part[i]);
  // Both sides must be non-empty, or the recursion would not shrink.
  if (on_side_1 == 0 || on_side_1 == n) {
    split_by_parity(h);
    return;
  }
  for (unsigned i = 0; i < n; ++i) h->nodes[i]->mark = static_cast<unsigned>(a->hgp_part[h->nodes[i]->mark]);
}

// ---------------------------------------------------------------------------------------------
// One bisection and the sets it gives
// ---------------------------------------------------------------------------------------------
namespace {

// The try's generator (splitmix64): a few operations a draw, and streams that start from nearby
// states are unrelated.
std::uint64_t next_random(hdtree_try* t) {
  std::uint64_t z = (t->random += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Method 1 sweeps its own factors; the others draw one per bisection, so that the tries differ.
// The draw is made either way, so every method consumes the stream alike.
int balance_factor(hdtree_try* t) {
  const std::uint64_t draw = next_random(t);
  return HDTREE_TYPE == 1 ? t->UBF : ubfs[draw % UBF_COUNT];
}

int partitioner_seed(hdtree_try* t) { return static_cast<int>(next_random(t) >> 33); }

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
                           const hgr_edges* context, hgr* h, hdtree_try* t) {
  // The context's variables are already accounted for above: they take no part in the cut.
  const bool has_context = context->count > 0;
  if (has_context) remove_edges(context, h);
  const int factor = balance_factor(t);
  partition_hgr(factor, partitioner_seed(t), h, &t->arrays);
  unsigned cut = 0;
  for (unsigned i = 0; i < h->edge_count; ++i)
    if (edge_sides(h->edges[i]) == ON_BOTH_SIDES) t->cutset_buffer[cut++] = h->edges[i];
  if (has_context) restore_hgr(h);

  unsigned left = 0, right = 0, shared = 0;
  for (unsigned i = 0; i < context->count; ++i) {
    hgr_edge* e = context->edges[i];
    const unsigned sides = edge_sides(e);
    if (sides & ON_SIDE_0) t->left_context_buffer[left++] = e;
    if (sides & ON_SIDE_1) t->right_context_buffer[right++] = e;
    if (sides == ON_BOTH_SIDES) t->separator_buffer[shared++] = e;
  }
  if (!update_current_hdtree(cut, context->count, cut + shared, t)) return false;

  set_entries(cutset, t->cutset_buffer, cut, t->cutset_buffer, 0);
  set_entries(left_context, t->cutset_buffer, cut, t->left_context_buffer, left);
  set_entries(right_context, t->cutset_buffer, cut, t->right_context_buffer, right);
  set_entries(separator, t->cutset_buffer, cut, t->separator_buffer, shared);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Subtrees
// ---------------------------------------------------------------------------------------------
namespace {

std::unique_ptr<hdtree> new_hdtree_node(hdtree* parent, hdtree_try* t) {
  auto node = std::make_unique<hdtree>();
  node->index = t->hdtree_index++;
  node->parent = parent;
  return node;
}

// A member of a duplicate group below the group's top: every set is the group's edges or empty.
std::unique_ptr<hdtree> duplicate_leaf(const hgr_node* member, const hgr_edges* edges, hdtree* parent,
                                       hdtree_try* t) {
  std::unique_ptr<hdtree> leaf = new_hdtree_node(parent, t);
  leaf->clause = member->index;
  leaf->cutset = new_hgr_edges(0);
  leaf->context = edges_copy(edges);
  leaf->separator = new_hgr_edges(0);
  return leaf;
}

}  // namespace

std::unique_ptr<hdtree> duplicate_nodes2hdtree(std::unique_ptr<hgr_edges> context, hdtree* parent,
                                               const hgr_node* representative, hdtree_try* t) {
  const std::unique_ptr<hgr_edges> edges = node2edges(representative);
  std::unique_ptr<hdtree> top = new_hdtree_node(parent, t);
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
    vine->left = duplicate_leaf(member, edges.get(), vine, t);
    if (!member->next->next) {
      vine->right = duplicate_leaf(member->next, edges.get(), vine, t);
      return top;
    }
    std::unique_ptr<hdtree> below = new_hdtree_node(vine, t);
    below->cutset = new_hgr_edges(0);
    below->context = edges_copy(edges.get());
    vine->right = std::move(below);
    vine = vine->right.get();
  }
}

std::unique_ptr<hdtree> hgr2hdtree_node(bool* abort, std::unique_ptr<hgr_edges> context, hdtree* parent, hgr* h,
                                        hdtree_try* t) {
  assert(h->node_count > 0);
  if (h->node_count == 1) {
    const unsigned context_size = context->count;
    take_pending_cluster(h->nodes[0]->edge_count, t);
    std::unique_ptr<hdtree> leaf = duplicate_nodes2hdtree(std::move(context), parent, h->nodes[0], t);
    if (!update_current_hdtree(leaf->cutset->count, context_size, leaf->separator->count, t)) *abort = true;
    return leaf;
  }

  std::unique_ptr<hdtree> node = new_hdtree_node(parent, t);
  node->context = std::move(context);
  node->cutset = new_hgr_edges(0);
  node->separator = new_hgr_edges(0);
  std::unique_ptr<hgr_edges> left_context = new_hgr_edges(0);
  std::unique_ptr<hgr_edges> right_context = new_hgr_edges(0);
  if (!compute_decomposition(node->cutset.get(), left_context.get(), right_context.get(), node->separator.get(),
                             node->context.get(), h, t)) {
    *abort = true;
    return node;
  }

  const unsigned nodes = h->node_count;
  remove_marked_nodes_and_their_edges(h);  // side 1 goes; side 0 stays
  // A right side of one node is a leaf, already counted among the leaves to come.
  const bool right_is_subtree = nodes - h->node_count >= 2;
  const unsigned long right_context_size = right_context->count;
  if (right_is_subtree) add_pending_cluster(right_context_size, t);
  node->left = hgr2hdtree_node(abort, std::move(left_context), node.get(), h, t);
  if (!t->keep_tree) node->left.reset();
  if (*abort) {
    restore_hgr(h);
    return node;
  }
  if (right_is_subtree) take_pending_cluster(right_context_size, t);
  mark_hgr_nodes(h, 1);
  restore_hgr(h);
  remove_marked_nodes_and_their_edges(h);  // now side 0 goes
  node->right = hgr2hdtree_node(abort, std::move(right_context), node.get(), h, t);
  if (!t->keep_tree) node->right.reset();
  restore_hgr(h);
  return node;
}

// ---------------------------------------------------------------------------------------------
// The construction
// ---------------------------------------------------------------------------------------------
hdtree_tries::hdtree_tries() {
  mpz_inits(best_cluster_size_sum, best_cutset_size_sum, best_context_size_sum, best_separator_size_sum, leaf_sum,
            nullptr);
}

hdtree_tries::~hdtree_tries() {
  mpz_clears(best_cluster_size_sum, best_cutset_size_sum, best_context_size_sum, best_separator_size_sum, leaf_sum,
             nullptr);
}

hdtree_try::hdtree_try(hdtree_tries* tries) : run(tries) {
  mpz_inits(current_cluster_size_sum, current_cutset_size_sum, current_context_size_sum, current_separator_size_sum,
            pending_cluster_sum, bound, limit, nullptr);
}

hdtree_try::~hdtree_try() {
  mpz_clears(current_cluster_size_sum, current_cutset_size_sum, current_context_size_sum, current_separator_size_sum,
             pending_cluster_sum, bound, limit, nullptr);
}

namespace {
// Brings t's limit up to the tries completed so far; under the run's lock.
void refresh_limit(hdtree_try* t) {
  const auto& sums = t->run->completed_sums;
  t->limited = false;
  for (unsigned n = 0; n < t->number && n < sums.size(); ++n) {
    if (!sums[n] || (t->limited && mpz_cmp(sums[n].get(), t->limit) >= 0)) continue;
    mpz_set(t->limit, sums[n].get());
    t->limited = true;
  }
  t->limit_completed = t->run->completed;
}

// Records try t's cluster sum, a limit for the tries numbered above it; under the run's lock.
void complete_try(hdtree_try* t) {
  hdtree_tries* run = t->run;
  if (run->completed_sums.size() <= t->number) run->completed_sums.resize(t->number + 1);
  owned_mpz& sum = run->completed_sums[t->number];
  sum.reset(new __mpz_struct);
  mpz_init_set(sum.get(), t->current_cluster_size_sum);
  ++run->completed;
}
}  // namespace

void start_hdtree_try(unsigned number, int ubf, hdtree_try* t) {
  t->number = number;
  t->random = (static_cast<std::uint64_t>(t->run->seed) << 32) | number;
  t->UBF = ubf;
  t->hdtree_index = 0;
  initialize_current_hdtree(t);
  mpz_set(t->pending_cluster_sum, t->run->leaf_sum);
  const std::lock_guard<std::mutex> guard(t->run->lock);
  refresh_limit(t);
}

namespace {

// The progress line: one token per try, "." for an abandoned one, in try order whatever order
// the tries end in.
void report_try(bool abandoned, const hdtree_try* t) {
  if (!VERBOSE) return;
  hdtree_tries* run = t->run;
  const std::lock_guard<std::mutex> guard(run->lock);
  if (run->progress.size() <= t->number) run->progress.resize(t->number + 1);
  if (abandoned)
    run->progress[t->number] = ".";
  else if (HDTREE_TYPE == 1)
    run->progress[t->number] = std::to_string(t->UBF) + " ";
  else
    run->progress[t->number] = "*";
  for (; run->progress_printed < run->progress.size() && !run->progress[run->progress_printed].empty();
       ++run->progress_printed)
    std::printf("%s", run->progress[run->progress_printed].c_str());
  std::fflush(stdout);
}

void make_try(hgr* h, hdtree_try* t) {
  bool abort = false;
  std::unique_ptr<hdtree> tree = hgr2hdtree_node(&abort, new_hgr_edges(0), nullptr, h, t);
  report_try(abort, t);
  if (!abort) keep_hdtree(std::move(tree), t);
}

// Try n sweeps the balance factors fastest: n = round x factors + (factor - FIRST_UBF).
int factor_of_try(unsigned n) {
  const long factors = static_cast<long>(LAST_UBF) - FIRST_UBF + 1;
  return static_cast<int>(FIRST_UBF + static_cast<long>(n % factors));
}

// The partitioner arrays and the bisection buffers, sized for h as the tries start from it.
void allocate_try_scratch(const hgr* h, hdtree_try* t) {
  allocate_hgp_arrays(h, &t->arrays);
  allocate_decomposition_buffers(h->edge_count, t);
}

// One thread's share: tries taken in turn until none is left, each from the hypergraph as it
// stood before the first.
void make_tries(hgr* h, hdtree_tries* run) {
  hdtree_try t(run);
  t.keep_tree = false;
  allocate_try_scratch(h, &t);
  const hgr_orders start = save_hgr_orders(h);
  for (unsigned n = run->next_try++; n < run->count && !run->stopped; n = run->next_try++) {
    restore_hgr_orders(start, h);
    start_hdtree_try(n, factor_of_try(n), &t);
    make_try(h, &t);
  }
  restore_hgr_orders(start, h);
}

// The run seed: the one asked for, or one from the clock.
std::uint32_t run_seed() {
  if (RUN_SEED >= 0) return static_cast<std::uint32_t>(RUN_SEED);
  const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
  return static_cast<std::uint32_t>(ticks ^ (ticks >> 32));
}

unsigned thread_count(unsigned tries) {
  const unsigned wanted = THREAD_COUNT > 0 ? THREAD_COUNT : available_cores();
  return std::max(1u, std::min(wanted, tries));
}

// What every tree's leaves add to its cluster sum: a leaf's cluster is its group's variables.
void sum_leaf_clusters(const hgr* h, mpz_t sum) {
  mpz_t power;
  mpz_init(power);
  for (unsigned i = 0; i < h->node_count; ++i) add_power(sum, h->nodes[i]->edge_count, 1, power);
  mpz_clear(power);
}

// Every thread but the first works on a copy of h, so that the in-place reductions of one try
// never meet another's. A thread whose try fails stops the others from starting new ones.
void make_tries_on_threads(unsigned threads, hgr* h, hdtree_tries* run) {
  std::vector<std::unique_ptr<hgr>> copies(threads);
  for (unsigned i = 1; i < threads; ++i) copies[i] = copy_hgr(h);
  run_on_threads(threads, [&](unsigned i) {
    try {
      make_tries(i == 0 ? h : copies[i].get(), run);
    } catch (...) {
      run->stopped = true;
      throw;
    }
  });
}

// Makes the winning try again on h, keeping its tree this time.
void make_best_tree_again(hgr* h, hdtree_tries* run) {
  hdtree_try t(run);
  allocate_try_scratch(h, &t);
  // The lower tries' sums are at least the winner's, so it completes again.
  start_hdtree_try(run->best_try, factor_of_try(run->best_try), &t);
  bool abort = false;
  run->best_hdtree = hgr2hdtree_node(&abort, new_hgr_edges(0), nullptr, h, &t);
  // INVARIANT: a try is a function of the run seed, its number and h's starting orders.
  assert(!abort && mpz_cmp(t.current_cluster_size_sum, run->best_cluster_size_sum) == 0);
}

}  // namespace

std::unique_ptr<hdtree> hgr2hdtree_rc(hgr* h) {
  assert(h->node_count > 0);
  if (HDTREE_TYPE == 0) LAST_UBF = FIRST_UBF;
  // Without a single try there would be no tree to return.
  if (HDTREE_TRIES < 1 || FIRST_UBF > LAST_UBF)
    fatal("\nNo dtree to build: %d tries over the balance factors %d to %d.", HDTREE_TRIES, FIRST_UBF, LAST_UBF);
  const unsigned long tries =
      static_cast<unsigned long>(HDTREE_TRIES) * static_cast<unsigned long>(static_cast<long>(LAST_UBF) - FIRST_UBF + 1);
  if (tries > UINT32_MAX) fatal("\nNo dtree to build: %lu tries are too many.", tries);

  remove_duplicate_nodes(h);
  remove_empty_edges(h);
  hdtree_tries run;
  run.seed = run_seed();
  DTREE_SEED_USED = run.seed;
  run.count = static_cast<unsigned>(tries);
  initialize_best_hdtree(&run);
  sum_leaf_clusters(h, run.leaf_sum);
  make_tries_on_threads(thread_count(run.count), h, &run);
  if (run.best_hdtree) make_best_tree_again(h, &run);

  std::unique_ptr<hdtree> result = get_best_hdtree(&run);
  clear_best_hdtree(&run);
  if (VERBOSE) std::printf("\nSeed=%u", run.seed);
  restore_hgr(h);
  return_duplicate_nodes(h);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Best-tree bookkeeping
// ---------------------------------------------------------------------------------------------
namespace {

void add_power_of_two(unsigned long exponent, unsigned& max, mpz_t sum, mpz_t power) {
  if (exponent > max) max = static_cast<unsigned>(exponent);
  add_power(sum, exponent, 1, power);
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

void initialize_best_hdtree(hdtree_tries* run) {
  run->best_hdtree.reset();
  run->best_try = 0;
  run->best_cluster_size_max = run->best_cutset_size_max = 0;
  run->best_context_size_max = run->best_separator_size_max = 0;
  for (mpz_ptr sum : {run->best_cluster_size_sum, run->best_cutset_size_sum, run->best_context_size_sum,
                      run->best_separator_size_sum})
    mpz_set_ui(sum, 0);
}

void initialize_current_hdtree(hdtree_try* t) {
  t->current_cluster_size_max = t->current_cutset_size_max = 0;
  t->current_context_size_max = t->current_separator_size_max = 0;
  mpz_set_ui(t->current_cluster_size_sum, 0);
  mpz_set_ui(t->current_cutset_size_sum, 0);
  mpz_set_ui(t->current_context_size_sum, 0);
  mpz_set_ui(t->current_separator_size_sum, 0);
}

bool update_current_hdtree(unsigned long cutset, unsigned long context, unsigned long separator, hdtree_try* t) {
  add_power_of_two(cutset + context, t->current_cluster_size_max, t->current_cluster_size_sum, t->bound);
  add_power_of_two(cutset, t->current_cutset_size_max, t->current_cutset_size_sum, t->bound);
  add_power_of_two(context, t->current_context_size_max, t->current_context_size_sum, t->bound);
  add_power_of_two(separator, t->current_separator_size_max, t->current_separator_size_sum, t->bound);
  return survises_hdtree(t);
}

bool survises_hdtree(hdtree_try* t) {
  mpz_add(t->bound, t->current_cluster_size_sum, t->pending_cluster_sum);
  const std::lock_guard<std::mutex> guard(t->run->lock);
  if (t->limit_completed != t->run->completed) refresh_limit(t);
  return !t->limited || mpz_cmp(t->bound, t->limit) <= 0;
}

void add_pending_cluster(unsigned long size, hdtree_try* t) { add_power(t->pending_cluster_sum, size, 1, t->bound); }

void take_pending_cluster(unsigned long size, hdtree_try* t) { add_power(t->pending_cluster_sum, size, -1, t->bound); }

bool better_hdtree(const hdtree_try* t) {
  const hdtree_tries* run = t->run;
  if (!run->best_hdtree) return true;
  int order = mpz_cmp(t->current_cluster_size_sum, run->best_cluster_size_sum);
  if (order != 0) return order < 0;
  order = mpz_cmp(t->current_context_size_sum, run->best_context_size_sum);
  if (order != 0) return order < 0;
  order = mpz_cmp(t->current_separator_size_sum, run->best_separator_size_sum);
  if (order != 0) return order > 0;
  order = mpz_cmp(t->current_cutset_size_sum, run->best_cutset_size_sum);
  if (order != 0) return order > 0;
  return t->number < run->best_try;
}

void keep_hdtree(std::unique_ptr<hdtree> tree, hdtree_try* t) {
  hdtree_tries* run = t->run;
  std::unique_ptr<hdtree> replaced;  // freed once the lock is released
  const std::lock_guard<std::mutex> guard(run->lock);
  complete_try(t);
  if (!better_hdtree(t)) return;
  replaced = std::move(run->best_hdtree);
  run->best_hdtree = std::move(tree);
  run->best_try = t->number;
  run->best_cluster_size_max = t->current_cluster_size_max;
  run->best_cutset_size_max = t->current_cutset_size_max;
  run->best_context_size_max = t->current_context_size_max;
  run->best_separator_size_max = t->current_separator_size_max;
  mpz_set(run->best_cluster_size_sum, t->current_cluster_size_sum);
  mpz_set(run->best_cutset_size_sum, t->current_cutset_size_sum);
  mpz_set(run->best_context_size_sum, t->current_context_size_sum);
  mpz_set(run->best_separator_size_sum, t->current_separator_size_sum);
}

std::unique_ptr<hdtree> get_best_hdtree(hdtree_tries* run) { return std::move(run->best_hdtree); }

void clear_best_hdtree(hdtree_tries* run) {
  if (VERBOSE)
    std::printf("\nSum Cluster=%d, cutset=%d, context=%d, separator=%d",
                sum_exponent(run->best_cluster_size_max, run->best_cluster_size_sum),
                sum_exponent(run->best_cutset_size_max, run->best_cutset_size_sum),
                sum_exponent(run->best_context_size_max, run->best_context_size_sum),
                sum_exponent(run->best_separator_size_max, run->best_separator_size_sum));
  run->best_hdtree.reset();
}
