// The hdtree: a full binary tree over the clause hypergraph with the cutset, context and
// separator of every node; the variable and clause orders derived from it; its flat post-order
// form, the dtree skeleton; and the dtree file: the skeleton as text, and the orders of the
// nodes' sets after it.
//
// For a node T with children L and R (context(root) = {}):
//   separator(T) = vars(L) & vars(R)             (empty for a leaf)
//   cutset(T)    = separator(T) - context(T)     (a leaf: its clause's variables - context)
//   context(L)   = (context(T) & vars(L)) + cutset(T), likewise for R
// Every variable of some clause lies in exactly one cutset.
#pragma once

#include <memory>
#include <vector>

#include "dtree/hgr.h"

struct hdtree {
  unsigned index = 0;                   // pre-order number within the tree, root 0
  std::unique_ptr<hgr_edges> cutset;    // cutset(T)
  std::unique_ptr<hgr_edges> context;   // context(T); vars(T) while the tree is being built
  std::unique_ptr<hgr_edges> separator; // separator(T); empty for a leaf
  std::unique_ptr<hdtree> left;         // children; both absent for a leaf
  std::unique_ptr<hdtree> right;
  hdtree* parent = nullptr;             // absent for the root
  hdtree* next = nullptr;               // link of a list of trees under construction
  unsigned clause = 0;                  // a leaf's clause number, 1-based (its hgr node's index)

  hdtree() = default;
  hdtree(const hdtree&) = delete;
  hdtree& operator=(const hdtree&) = delete;
  ~hdtree();  // releases the subtrees without recursion: a tree can be as deep as it has clauses
};

bool leaf_hdtree(const hdtree* t);  // no children

// Completes a tree whose `context` fields hold vars(T): numbers the nodes in pre-order from
// *counter and replaces each variable set by the node's context, computing separators and
// cutsets on the way. T takes ownership of `context`.
void initialize_hdtree(hdtree* t, hdtree* parent, std::unique_ptr<hgr_edges> context, unsigned* counter);

// The variable order: the cutsets in post-order, then the variables of no clause in edge-array
// order. So the pure variables of every node form one run. A permutation of 1..V; with no tree
// (a CNF without clauses) just every variable.
std::vector<unsigned> hdtree2edge_order(const hdtree* t, const hgr* h);
// The clause order: the leaves' clause numbers from left to right (empty with no tree).
std::vector<unsigned> hdtree2node_order(const hdtree* t, const hgr* h);

// Skeleton: word 0 holds N; then N records in post-order, root last: an internal node is
// 1, left position, right position; a leaf is 0, clause position (0-based). 5C - 2 words for
// C clauses. No tree gives the single word 0.
std::vector<unsigned> hdtree2dtree_skeleton(const hdtree* t, const hgr* h);
// Ends the process with "\nDtree file corrupt" unless the skeleton is a full binary tree over
// every clause of h once, and with "dtree does not mactch cnf!" when N is not 2C - 1.
// h must be as cnf2hgr made it. The skeleton 0 over a hypergraph without nodes is no tree.
std::unique_ptr<hdtree> dtree_skeleton2hdtree(const std::vector<unsigned>& skeleton, hgr* h);
void free_dtree_skeleton(std::vector<unsigned>& skeleton);

// The dtree file: "dtree N", then one line per record, "I left right" or "L clause". A file
// saved from an hdtree goes on with the orders trailer: a line "orders", then one line per
// record, "cut v.. sep v.. ctx v..", the node's cutset, separator (internal nodes only) and
// context, each in the node's own order. The records fix every set but not these orders, and
// the compiler's choice among separator variables depends on them.
void save_dtree_skeleton_to_file(const char* path, const std::vector<unsigned>& skeleton);  // no trailer
// Ends the process with "\nDtree file corrupt" on a file that is not a full binary tree's
// records (the clause positions are checked against a CNF by dtree_skeleton2hdtree). Reads
// exactly N records and ignores what follows them.
std::vector<unsigned> load_dtree_skeleton_from_file(const char* path);

// The records, then the orders trailer.
void save_hdtree_to_file(const char* path, const hdtree* t, const hgr* h);
// The tree of the records; when the word "orders" follows them, every set takes the order its
// trailer line gives, which must list exactly that set ("\nDtree file corrupt" otherwise, as
// for anything else after the trailer). Other text after the records is ignored.
std::unique_ptr<hdtree> load_hdtree_from_file(const char* path, hgr* h);
void free_hdtree(std::unique_ptr<hdtree>& t);
