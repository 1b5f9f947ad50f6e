// Min-fill elimination orders on the interaction graph of a CNF: at each step the vertex whose
// neighbours miss the fewest edges among themselves is eliminated (ties to the highest variable)
// and its neighbours are joined pairwise. Scores are kept exact by local updates.
#pragma once

#include <vector>

struct cnf;

// An ordered set of vertices: a sorted vector, cheap to walk, merge and search.
class vertex_set {
 public:
  using const_iterator = std::vector<int>::const_iterator;
  bool contains(int v) const;
  void insert(int v);
  void erase(int v);
  void assign(std::vector<int> items);  // any order, repeats allowed
  unsigned size() const { return static_cast<unsigned>(items_.size()); }
  bool empty() const { return items_.empty(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

 private:
  std::vector<int> items_;  // ascending, no repeats
};

// The interaction graph: vertices are the variables 1..V, joined when they share a clause.
class Graph {
 public:
  explicit Graph(const cnf* formula);
  ~Graph();

  void addEdge(int a, int b);     // both directions
  void removeEdge(int a, int b);  // both directions
  bool containsEdge(int a, int b) const;  // searches the smaller of the two sets
  const vertex_set& getNeighbors(int v) const;
  void getNeighbors(int v, vertex_set& copy) const;
  // The number of unordered pairs of v's neighbours that are not adjacent.
  long long minFillScore(int v);
  // Eliminates v: removes it and joins its neighbours pairwise, updating the score of every
  // active vertex affected. On return `changed` holds those vertices, ascending, once each.
  void removeAndConnect(int v, std::vector<int>& changed);

  int vertex_count() const { return vertex_count_; }

  std::vector<char> mark;    // [0, V]: scratch, all 0 between operations
  std::vector<char> active;  // [0, V]: 1 while the vertex's score is kept up to date
  std::vector<long long> score;  // [0, V]: current fill score, valid while active (can exceed 2^31)

 private:
  void drop_pairs_with_eliminated(const vertex_set& nbrs, std::vector<int>& changed);
  void join(int u, int w, std::vector<int>& changed);
  void note_changed(int u, std::vector<int>& changed);

  int vertex_count_;
  std::vector<vertex_set> adjacency_;  // [0, V]; entry 0 holds no vertex
  std::vector<char> in_changed_;       // [0, V]: already in the changed list of this elimination
};

// A binary heap of (score, variable) entries; pos maps a variable to its heap index.
struct heap_entry {
  long long score;
  int var;
};
// (s, x) before (t, y) when s < t, or s = t and x > y: the top is the smallest score, and among
// equal scores the highest variable.
bool pair_less_than(const heap_entry& a, const heap_entry& b);
void sift_up(std::vector<heap_entry>& heap, unsigned i, std::vector<unsigned>& pos);
void sift_down(std::vector<heap_entry>& heap, unsigned i, std::vector<unsigned>& pos);
void sift(std::vector<heap_entry>& heap, unsigned i, std::vector<unsigned>& pos);

// The V variables in min-fill elimination order.
std::vector<unsigned> cnf2minfill_order(const cnf* formula);
// The same, block by block: blocks[v - 1] is variable v's block; every variable of a lower block
// comes first. Ends the process unless blocks has one entry per variable.
std::vector<unsigned> cnf2minfill_order(const cnf* formula, const std::vector<unsigned>& blocks);
