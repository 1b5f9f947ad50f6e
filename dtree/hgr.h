// The clause hypergraph of a CNF (one node per clause, one edge per variable), the ordered
// edge-set algebra of all dtree code, and in-place removal of nodes and edges with undo levels.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct cnf;
struct hgr_edge;

struct hgr_node {                // a clause
  unsigned index = 0;            // clause number, 1-based: the clause at position index - 1 of the cnf
  unsigned edge_count = 0;       // active edges: the first edge_count entries of edges
  hgr_edge** edges = nullptr;    // the clause's variables, in literal order (into hgr::node_edge_block)
  unsigned mark = 0;             // 1 = removed by the next reduce_hgr; bisection side / vertex number
  hgr_node* next = nullptr;      // next member of the node's duplicate group, or none
};

struct hgr_edge {                // a variable
  unsigned index = 0;            // variable number, 1-based
  unsigned node_count = 0;       // active nodes: the first node_count entries of nodes
  hgr_node** nodes = nullptr;    // the clauses holding the variable, in clause order; capacity count + 1
  unsigned mark = 0;             // 1 = removed by the next reduce_hgr
  std::uint64_t stamp = 0;       // scratch of the edge-set operations: member of the set last stamped
};

// INVARIANT: entries beyond an active prefix keep their pointers; only the counts move.
struct hgr {
  unsigned node_count = 0;                 // active nodes: the first node_count entries of nodes
  unsigned edge_count = 0;                 // active edges: the first edge_count entries of edges
  std::vector<hgr_node*> nodes;            // one per clause [0, C); permuted by reduce_hgr
  std::vector<hgr_edge*> edges;            // one per variable [0, V); permuted by reduce_hgr
  std::vector<unsigned> undo_values;       // saved counts; fixed capacity, see cnf2hgr
  std::vector<unsigned*> undo_addresses;   // where each saved count belongs; nullptr marks a level
  unsigned undo_top = 0;                   // entries in use on both stacks

  std::vector<hgr_node> node_block;        // every node record, clause order
  std::vector<hgr_edge> edge_block;        // every edge record, variable order
  std::vector<hgr_edge*> node_edge_block;  // the nodes' edge arrays, one after the other
  std::vector<hgr_node*> edge_node_block;  // the edges' node arrays, one after the other
};

std::unique_ptr<hgr> cnf2hgr(const cnf* formula);
void free_hgr(std::unique_ptr<hgr>& h);

// An independent copy: every pointer, the undo stack's included, names the copy's own records.
std::unique_ptr<hgr> copy_hgr(const hgr* h);

// The orders of the node and edge arrays and of every node's edges and edge's nodes, which the
// in-place reductions permute; restoring them (with every count as it was when they were saved)
// gives back the hypergraph exactly as it stood.
struct hgr_orders {
  std::vector<hgr_node*> nodes;
  std::vector<hgr_edge*> edges;
  std::vector<hgr_edge*> node_edge_block;
  std::vector<hgr_node*> edge_node_block;
};
hgr_orders save_hgr_orders(const hgr* h);
void restore_hgr_orders(const hgr_orders& orders, hgr* h);

// ---------------------------------------------------------------------------------------------
// Ordered edge sets. Membership is pointer identity; every result states its order, because the
// dtree code turns these orders into the variable order of the CNF manager.
// ---------------------------------------------------------------------------------------------
struct hgr_edges {
  unsigned count = 0;                   // entries in use
  std::unique_ptr<hgr_edge*[]> edges;   // [0, count)
};

std::unique_ptr<hgr_edges> new_hgr_edges(unsigned n);  // count n, n empty slots
void free_edges(std::unique_ptr<hgr_edges>& s);

bool in_edges(const hgr_edge* e, const hgr_edges* s);
bool edges_subset(const hgr_edges* a, const hgr_edges* b);                          // a within b
std::unique_ptr<hgr_edges> edges_copy(const hgr_edges* a);                          // a's order
std::unique_ptr<hgr_edges> edges_plus(const hgr_edges* a, const hgr_edges* b);      // a then b
std::unique_ptr<hgr_edges> edges_union(const hgr_edges* a, const hgr_edges* b);     // a, then b - a
std::unique_ptr<hgr_edges> edges_intersection(const hgr_edges* a, const hgr_edges* b);  // a's order
std::unique_ptr<hgr_edges> edges_minus(const hgr_edges* a, const hgr_edges* b);     // a's order
std::unique_ptr<hgr_edges> edges_comp(const hgr_edges* a, const hgr_edges* b);      // b - a, b's order
std::unique_ptr<hgr_edges> node2edges(const hgr_node* n);                           // node's order
// Overwrites the first entry of that variable with the last entry; no match, no change.
void edges_remove_edge(hgr_edges* s, unsigned var_index);

// ---------------------------------------------------------------------------------------------
// In-place reduction. Each reduce_hgr opens one undo level that the next restore_hgr closes.
// ---------------------------------------------------------------------------------------------
bool marked_node(const hgr_node* n);  // mark == 1
bool marked_edge(const hgr_edge* e);  // mark == 1
bool empty_node(const hgr_node* n);   // no active edge

int hgr_edge_cmp(const void* a, const void* b);  // ascending edge index
void sort_hgr_edges(hgr_node* n);

void reduce_hgr(hgr* h);
void restore_hgr(hgr* h);
void mark_hgr_nodes(hgr* h, unsigned value);
void remove_edges(const hgr_edges* s, hgr* h);
unsigned remove_empty_edges(hgr* h);
void remove_marked_nodes_and_their_edges(hgr* h);
void remove_duplicate_nodes(hgr* h);
void return_duplicate_nodes(hgr* h);
