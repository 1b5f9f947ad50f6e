// The default dtree: recursive bisection of the clause hypergraph with the multilevel
// partitioner until every part is one clause (one duplicate group), repeated with randomised
// balance factors; the best tree by the exact sum of 2^cluster over its nodes is kept, and a try
// is abandoned as soon as its running sum exceeds the best total.
//
// The recursion never copies a sub-hypergraph: it removes and restores nodes and edges in place
// (reduce_hgr / restore_hgr), so each level costs one pass over the active part.
#pragma once

#include <gmp.h>

#include <memory>
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
// vertices; seed from the time; no debug prints.
inline constexpr int hgp_options[9] = {1, 2, 1, 2, 3, 0, 0, -1, 0};

// ---------------------------------------------------------------------------------------------
// Run state of the one construction under way (reset by hgr2hdtree_rc)
// ---------------------------------------------------------------------------------------------
extern int UBF;                // balance factor of the current try (method 1's sweep variable)
extern unsigned hdtree_index;  // next node number; from 0 in every try, so pre-order

extern std::vector<int> hgp_part;  // [0, node_count) partitioner output: side of each vertex
extern std::vector<int> hgp_eptr;  // [0, edge_count] start of each hyperedge in hgp_eind
extern std::vector<int> hgp_eind;  // [0, sum of edge node counts) vertices of the hyperedges

// Scratch of one bisection, one entry per edge with some clause.
extern std::vector<hgr_edge*> cutset_buffer;         // edges cut by the bisection
extern std::vector<hgr_edge*> left_context_buffer;   // context edges with a node on side 0
extern std::vector<hgr_edge*> right_context_buffer;  // context edges with a node on side 1
extern std::vector<hgr_edge*> separator_buffer;      // context edges with nodes on both sides

// The try under way: largest sizes reported so far, and sums of 2^size over reported nodes.
extern unsigned current_cluster_size_max, current_cutset_size_max;
extern unsigned current_context_size_max, current_separator_size_max;
extern mpz_t current_cluster_size_sum, current_cutset_size_sum;
extern mpz_t current_context_size_sum, current_separator_size_sum;
// The same for the best tree so far.
extern unsigned best_cluster_size_max, best_cutset_size_max;
extern unsigned best_context_size_max, best_separator_size_max;
extern mpz_t best_cluster_size_sum, best_cutset_size_sum;
extern mpz_t best_context_size_sum, best_separator_size_sum;
extern std::unique_ptr<hdtree> best_hdtree;  // none until the first try completes

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------
// The whole construction: HDTREE_TRIES tries (times the FIRST_UBF..LAST_UBF sweep for methods 1
// and above 5), the best tree returned complete (pre-order index, cutset, context, separator,
// parent links). h needs at least one active node; it comes back with every count restored and
// every `next` cleared, its arrays permuted. Ends the process when no try is to be made.
std::unique_ptr<hdtree> hgr2hdtree_rc(hgr* h);

// The subtree over h's active nodes, whose context is `context`. Sets *abort when the try is to
// be abandoned; the partial tree returned is then the caller's to free.
std::unique_ptr<hdtree> hgr2hdtree_node(bool* abort, std::unique_ptr<hgr_edges> context, hdtree* parent, hgr* h);

// One bisection of h's active nodes (every node's mark becomes its side) and the sets of the new
// node and its children. The four out-sets arrive empty. False (out-sets left empty) when the
// node's cluster makes the try lose against the best tree. Needs the partitioner arrays and the
// bisection buffers.
bool compute_decomposition(hgr_edges* cutset, hgr_edges* left_context, hgr_edges* right_context, hgr_edges* separator,
                           const hgr_edges* context, hgr* h);

// Sets every active node's mark to its side, 0 or 1, both sides non-empty when there are two or
// more nodes. Without the partitioner when some node has no active edge: the nodes with edges go
// to side 1, the others to side 0 (all by position parity when no node has an edge). A partition
// with an empty side falls back on position parity. Needs the partitioner arrays. The options are
// the partitioner's (the program always uses hgp_options; the timing tool fixes the seed).
void partition_hgr(int ubfactor, hgr* h, const int* options = hgp_options);

// The subtree of the duplicate group of `representative` (linked through `next`): a leaf, or a
// vine D0(leaf g1, (leaf g2, ... (leaf gk-1, leaf gk))) numbered in pre-order.
std::unique_ptr<hdtree> duplicate_nodes2hdtree(std::unique_ptr<hgr_edges> context, hdtree* parent,
                                               const hgr_node* representative);

// The partitioner arrays sized for h as it stands, the bisection buffers for edge_count active
// edges, and their release.
void allocate_hgp_arrays(const hgr* h);
void free_hgp_arrays();
void allocate_decomposition_buffers(unsigned edge_count);
void free_decomposition_buffers();

// ---------------------------------------------------------------------------------------------
// Best-tree bookkeeping
// ---------------------------------------------------------------------------------------------
void initialize_best_hdtree();     // no best tree; every sum initialised
void initialize_current_hdtree();  // maxima and sums of the try under way to 0
// Reports one node; returns survises_hdtree().
bool update_current_hdtree(unsigned long cutset, unsigned long context, unsigned long separator);
bool survises_hdtree();  // no best tree yet, or the current cluster sum is at most the best one
// Smaller cluster sum; then smaller context sum; then larger separator sum; then larger cutset
// sum. Equal on all four: the earlier tree stays.
bool better_hdtree();
void keep_hdtree(std::unique_ptr<hdtree> tree);  // best if better_hdtree(), else freed
std::unique_ptr<hdtree> get_best_hdtree();       // hands the best tree over
// Prints the "Sum" line (log2 of the best sums, rounded up) when VERBOSE; frees every sum.
void clear_best_hdtree();
