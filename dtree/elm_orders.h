// Dtrees for a CNF: the method dispatch, and trees composed from a variable elimination order
// by bucket elimination; plus the two library entries that return a dtree skeleton.
#pragma once

#include <memory>
#include <vector>

#include "dtree/hdtree.h"

struct cnf;

// Method 0, 1 or above 5: hypergraph bisection; 2: order 1..V; 3: order V..1; 4: min-fill;
// 5: the given order (owned by the caller). No tree (null) for a CNF without clauses.
std::unique_ptr<hdtree> cnf2hdtree(const cnf* formula, hgr* h, int method, const std::vector<unsigned>* order);

std::vector<unsigned> default_order_lh(const hgr* h);  // 1, 2, ..., V
std::vector<unsigned> default_order_hl(const hgr* h);  // V, V - 1, ..., 1

// Bucket elimination along `order`, which must list each of the V variables once (else the
// process ends). h must be as cnf2hgr made it. No tree (null) when h has no node.
std::unique_ptr<hdtree> order2hdtree(const std::vector<unsigned>& order, hgr* h);

// Helpers of order2hdtree. A list is trees linked through `next`; the list owns its trees.
// The smallest pos of a variable of t that is at least `lowest`, or V when there is none.
unsigned find_hdtree_bucket(const hdtree* t, unsigned lowest, const unsigned* pos, const hgr* h);
// The n trees of the list as one balanced tree: t1, t2, t3 becomes (t1, (t2, t3)).
hdtree* balanced_compose_hdtrees(hdtree* list, unsigned n);
// Cuts the list after its first n trees and returns the rest.
hdtree* split_hdtree_list(hdtree* list, unsigned n);
unsigned length(const hdtree* list);

// Library entries. settings: null or HDTREE_TYPE, HDTREE_TRIES, FIRST_UBF, LAST_UBF, VERBOSE;
// the settings are back at their defaults afterwards. blocks: one block number per variable.
std::vector<unsigned> cnf2dtree_skeleton(const cnf* formula, const int* settings);
std::vector<unsigned> cnf_block_order2dtree_skeleton(const cnf* formula, const std::vector<unsigned>& blocks);
