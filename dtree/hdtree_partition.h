// The default dtree: recursive bisection of the clause hypergraph with the multilevel
// partitioner until every part is one clause (one duplicate group), repeated with randomised
// balance factors; the best tree by the exact sum of 2^cluster over its nodes is kept, and a try
// is abandoned as soon as its running sum exceeds the best total.
//
// The recursion never copies a sub-hypergraph: it removes and restores nodes and edges in place
// (reduce_hgr / restore_hgr), so each level costs one pass over the active part.
//
// Tries run side by side on the machine's cores, each on a hypergraph of its own. Every try
// starts from the hypergraph as it stood before the first one and draws from a random stream of
// its own, derived from the run seed and the try's number, so a try's tree depends on neither the
// thread that makes it nor the tries made before it; among trees of equal measure the lowest try
// number wins. The chosen tree is therefore a function of the run seed alone.
#pragma once

#include <gmp.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dtree/hdtree.h"
#include "dtree/hgr.h"

// ---------------------------------------------------------------------------------------------
// Fixed tables
// ---------------------------------------------------------------------------------------------
inline constexpr int UBF_COUNT = 26;
inline constexpr int ubfs[UBF_COUNT] = {35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 25, 25,
                                 24, 24, 23, 23, 22, 22, 21, 20, 19, 18, 17, 16, 15};
// Use these options; 2 runs; coarsening 1; refinement 2; V-cycles 3; no reconstruction; no fixed
// vertices; seed (set per bisection); no debug prints.
inline constexpr int hgp_options[9] = {1, 2, 1, 2, 3, 0, 0, -1, 0};
inline constexpr int HGP_SEED_OPTION = 7;

// ---------------------------------------------------------------------------------------------
// Shared by the tries of one construction: the run seed and the best tree so far
// ---------------------------------------------------------------------------------------------
struct hdtree_try;

// A GMP integer owned through a pointer, so that it can sit in a vector.
struct mpz_deleter {
  void operator()(mpz_ptr z) const {
    mpz_clear(z);
    delete z;
  }
};
using owned_mpz = std::unique_ptr<__mpz_struct, mpz_deleter>;

struct hdtree_tries {
  hdtree_tries();
  ~hdtree_tries();
  hdtree_tries(const hdtree_tries&) = delete;
  hdtree_tries& operator=(const hdtree_tries&) = delete;

  std::uint32_t seed = 0;              // the run seed
  unsigned count = 0;                  // tries to make: tries x balance factors swept
  std::atomic<unsigned> next_try{0};   // the next try number to hand out
  std::atomic<bool> stopped{false};    // a try ended the construction with an error
  mpz_t leaf_sum;                      // what every tree's leaves add: 2^(edges) per node
  std::mutex lock;                     // guards the progress line and everything below
  std::vector<std::string> progress;   // each ended try's token, by try number
  unsigned progress_printed = 0;       // tokens printed so far, all of the lowest try numbers

  // The cluster sum of every completed try by try number (null while it runs, or when it was
  // abandoned), and how many have completed: a try is measured against the tries numbered below
  // it only, as if the tries ran one after another, so the first try always completes.
  std::vector<owned_mpz> completed_sums;
  unsigned completed = 0;

  // The best tree so far: largest sizes, sums of 2^size over its nodes and the try that made it.
  // While the tries run, only its root is kept (see hdtree_try::keep_tree).
  unsigned best_cluster_size_max = 0, best_cutset_size_max = 0;
  unsigned best_context_size_max = 0, best_separator_size_max = 0;
  mpz_t best_cluster_size_sum, best_cutset_size_sum;
  mpz_t best_context_size_sum, best_separator_size_sum;
  std::unique_ptr<hdtree> best_hdtree;  // none until the first try completes
  unsigned best_try = 0;
};

// ---------------------------------------------------------------------------------------------
// One try under way: its random stream, node numbering, running measure and scratch
// ---------------------------------------------------------------------------------------------
// The partitioner's view of a sub-hypergraph (vertex i is the active node at position i).
struct hgp_arrays {
  std::vector<int> hgp_part;  // [0, node_count) partitioner output: side of each vertex
  std::vector<int> hgp_eptr;  // [0, edge_count] start of each hyperedge in hgp_eind
  std::vector<int> hgp_eind;  // [0, sum of edge node counts) vertices of the hyperedges
};

struct hdtree_try {
  explicit hdtree_try(hdtree_tries* tries);
  ~hdtree_try();
  hdtree_try(const hdtree_try&) = delete;
  hdtree_try& operator=(const hdtree_try&) = delete;

  hdtree_tries* run;
  // Whether the try keeps the subtrees it completes. The tries of a construction keep none:
  // every try is a function of the run seed and its number, so the winner is made again with
  // its tree, and no more than one tree is ever held, however many threads run.
  bool keep_tree = true;
  unsigned number = 0;       // the try's number, from 0
  std::uint64_t random = 0;  // the try's generator (balance factors, partitioner seeds)
  int UBF = 0;               // balance factor of the try (method 1's sweep variable)
  unsigned hdtree_index = 0; // next node number; from 0 in every try, so pre-order
  hgp_arrays arrays;

  // Scratch of one bisection, one entry per edge with some clause.
  std::vector<hgr_edge*> cutset_buffer;         // edges cut by the bisection
  std::vector<hgr_edge*> left_context_buffer;   // context edges with a node on side 0
  std::vector<hgr_edge*> right_context_buffer;  // context edges with a node on side 1
  std::vector<hgr_edge*> separator_buffer;      // context edges with nodes on both sides

  // Largest sizes reported so far, and sums of 2^size over the reported nodes.
  unsigned current_cluster_size_max = 0, current_cutset_size_max = 0;
  unsigned current_context_size_max = 0, current_separator_size_max = 0;
  mpz_t current_cluster_size_sum, current_cutset_size_sum;
  mpz_t current_context_size_sum, current_separator_size_sum;

  // At most what the nodes not yet reported will add to the cluster sum: 2^(edges) for each
  // leaf to come (a leaf's cluster is its clause's variables), and 2^(context) for the root of
  // each right subtree waiting for its left sibling. A try whose cluster sum plus this exceeds
  // the best total cannot win, so it is abandoned as soon as that shows.
  mpz_t pending_cluster_sum;
  mpz_t bound;  // scratch of survises_hdtree

  // The smallest cluster sum of the completed tries numbered below this one, when there is one,
  // as it stood when `completed` was limit_completed. Guarded by the run's lock.
  bool limited = false;
  mpz_t limit;
  unsigned limit_completed = 0;
};

// Readies t for try `number`: its stream, its balance factor, a fresh measure and its limit.
void start_hdtree_try(unsigned number, int ubf, hdtree_try* t);

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------
// The whole construction: HDTREE_TRIES tries (times the FIRST_UBF..LAST_UBF sweep for methods 1
// and above 5) on THREAD_COUNT threads, seeded by RUN_SEED; the best tree returned complete
// (pre-order index, cutset, context, separator, parent links). h needs at least one active node;
// it comes back with every count restored, every `next` cleared and its arrays in the order the
// first try started from. Ends the process when no try is to be made.
std::unique_ptr<hdtree> hgr2hdtree_rc(hgr* h);

// The subtree over h's active nodes, whose context is `context`. Sets *abort when the try is to
// be abandoned; the partial tree returned is then the caller's to free.
std::unique_ptr<hdtree> hgr2hdtree_node(bool* abort, std::unique_ptr<hgr_edges> context, hdtree* parent, hgr* h,
                                        hdtree_try* t);

// One bisection of h's active nodes (every node's mark becomes its side) and the sets of the new
// node and its children. The four out-sets arrive empty. False (out-sets left empty) when the
// node's cluster makes the try lose against the best tree. Draws the balance factor and the
// partitioner's seed from the try's stream.
bool compute_decomposition(hgr_edges* cutset, hgr_edges* left_context, hgr_edges* right_context, hgr_edges* separator,
                           const hgr_edges* context, hgr* h, hdtree_try* t);

// Sets every active node's mark to its side, 0 or 1, both sides non-empty when there are two or
// more nodes. Without the partitioner when some node has no active edge: the nodes with edges go
// to side 1, the others to side 0 (all by position parity when no node has an edge). A partition
// with an empty side falls back on position parity. The partitioner is seeded with `seed`
// (negative: the time).
void partition_hgr(int ubfactor, int seed, hgr* h, hgp_arrays* a);

// The subtree of the duplicate group of `representative` (linked through `next`): a leaf, or a
// vine D0(leaf g1, (leaf g2, ... (leaf gk-1, leaf gk))) numbered in pre-order from t's counter.
std::unique_ptr<hdtree> duplicate_nodes2hdtree(std::unique_ptr<hgr_edges> context, hdtree* parent,
                                               const hgr_node* representative, hdtree_try* t);

// The partitioner arrays sized for h as it stands, and the bisection buffers for edge_count
// active edges.
void allocate_hgp_arrays(const hgr* h, hgp_arrays* a);
void allocate_decomposition_buffers(unsigned edge_count, hdtree_try* t);

// ---------------------------------------------------------------------------------------------
// Best-tree bookkeeping
// ---------------------------------------------------------------------------------------------
void initialize_best_hdtree(hdtree_tries* run);  // no best tree; every best sum 0
void initialize_current_hdtree(hdtree_try* t);   // maxima and sums of the try under way to 0
// Reports one node; returns survises_hdtree(t).
bool update_current_hdtree(unsigned long cutset, unsigned long context, unsigned long separator, hdtree_try* t);
// No limit yet, or the current cluster sum plus the pending one is at most the limit.
bool survises_hdtree(hdtree_try* t);
// The pending sum's share of a node: added when the node is known to come, taken out when it
// is reported.
void add_pending_cluster(unsigned long size, hdtree_try* t);
void take_pending_cluster(unsigned long size, hdtree_try* t);
// Smaller cluster sum; then smaller context sum; then larger separator sum; then larger cutset
// sum. Equal on all four: the lower try number. The caller holds the run's lock.
bool better_hdtree(const hdtree_try* t);
// The try's completed tree becomes the best if better_hdtree(t); else it is freed. Either way
// its cluster sum becomes a limit for the higher-numbered tries.
void keep_hdtree(std::unique_ptr<hdtree> tree, hdtree_try* t);
std::unique_ptr<hdtree> get_best_hdtree(hdtree_tries* run);  // hands the best tree over
// Prints the "Sum" line (log2 of the best sums, rounded up) when VERBOSE; frees the best tree.
void clear_best_hdtree(hdtree_tries* run);
