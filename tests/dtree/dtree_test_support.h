// Shared by the dtree tests: small CNFs in memory, edge sets as variable lists, and an
// independent check of a whole hdtree against the dtree definitions.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/utility.h"
#include "cnf/cnf_read.h"
#include "dtree/hdtree.h"
#include "dtree/hgr.h"
#include "test_support.h"

namespace dtree_test {

using tarn_test::make_cnf;
using tarn_test::read_file;
using tarn_test::temp_dir;
using tarn_test::verbose_output;

// The example of the dtree file format, ((clause 1, clause 2), clause 3), and the orders
// trailer that saving it over the clauses (1 2), (2 3), (3 4) adds, one line per record.
inline const char* const THREE_CLAUSE_FILE = "dtree 5\nL 0\nL 1\nI 0 1\nL 2\nI 2 3\n";
inline const char* const THREE_CLAUSE_ORDERS =
    "orders\ncut 1 ctx 2\ncut ctx 3 2\ncut 2 sep 2 ctx 3\ncut 4 ctx 3\ncut 3 sep 3 ctx\n";

// Variable numbers of a set, in the set's order.
inline std::vector<unsigned> indices(const hgr_edges* s) {
  std::vector<unsigned> out;
  for (unsigned i = 0; i < s->count; ++i) out.push_back(s->edges[i]->index);
  return out;
}

// The set of the given variables of h, in the given order.
inline std::unique_ptr<hgr_edges> edge_set(hgr* h, const std::vector<unsigned>& vars) {
  std::unique_ptr<hgr_edges> s = new_hgr_edges(static_cast<unsigned>(vars.size()));
  for (std::size_t i = 0; i < vars.size(); ++i) s->edges[i] = &h->edge_block[vars[i] - 1];
  return s;
}

// Checks a tree from scratch: shape, numbering and parent links, the set definitions, every
// used variable in exactly one cutset, and the contiguity of the orders the CNF manager uses.
class hdtree_checker {
 public:
  hdtree_checker(const hdtree* root, const hgr* h) : root_(root), h_(h) {}

  void check() {
    ASSERT_NE(root_, nullptr);
    EXPECT_EQ(root_->parent, nullptr);
    EXPECT_EQ(root_->context->count, 0u);
    unsigned next_index = 0;
    std::set<unsigned> context;
    walk(root_, &next_index, context);
    EXPECT_EQ(next_index, 2 * h_->node_count - 1) << "nodes in the tree";
    EXPECT_EQ(leaves_.size(), h_->node_count) << "one leaf per clause";
    EXPECT_EQ(std::set<unsigned>(leaves_.begin(), leaves_.end()).size(), leaves_.size()) << "a clause twice";
    check_cutsets_partition_used_variables();
    check_orders();
  }

 private:
  using var_set = std::set<unsigned>;

  static var_set as_set(const hgr_edges* s) {
    std::vector<unsigned> v = indices(s);
    var_set out(v.begin(), v.end());
    EXPECT_EQ(out.size(), v.size()) << "a set holds a variable twice";
    return out;
  }
  static var_set meet(const var_set& a, const var_set& b) {
    var_set out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
    return out;
  }
  static var_set minus(const var_set& a, const var_set& b) {
    var_set out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
    return out;
  }

  var_set clause_vars(unsigned clause) const {
    const hgr_node* n = &h_->node_block[clause - 1];
    var_set out;
    for (unsigned i = 0; i < n->edge_count; ++i) out.insert(n->edges[i]->index);
    return out;
  }

  // Returns vars(t) and records every node's pure variables.
  var_set walk(const hdtree* t, unsigned* next_index, const var_set& context) {
    EXPECT_EQ(t->index, (*next_index)++) << "pre-order numbering";
    EXPECT_EQ(as_set(t->context.get()), context) << "context of node " << t->index;
    EXPECT_EQ(t->next, nullptr);
    EXPECT_EQ(t->left == nullptr, t->right == nullptr) << "full binary tree";
    if (!t->left) {
      var_set vars = clause_vars(t->clause);
      leaves_.push_back(t->clause);
      EXPECT_EQ(t->separator->count, 0u);
      EXPECT_EQ(as_set(t->cutset.get()), minus(vars, context)) << "cutset of leaf " << t->index;
      pure_[t] = as_set(t->cutset.get());
      return vars;
    }
    EXPECT_EQ(t->left->parent, t);
    EXPECT_EQ(t->right->parent, t);
    // The children's contexts follow from the parent's cutset, which follows from the
    // children's vars: walk each child with the context it must have, compare afterwards.
    var_set left_vars = subtree_vars(t->left.get());
    var_set right_vars = subtree_vars(t->right.get());
    var_set separator = meet(left_vars, right_vars);
    var_set cutset = minus(separator, context);
    EXPECT_EQ(as_set(t->separator.get()), separator) << "separator of node " << t->index;
    EXPECT_EQ(as_set(t->cutset.get()), cutset) << "cutset of node " << t->index;
    var_set left_context = meet(context, left_vars), right_context = meet(context, right_vars);
    left_context.insert(cutset.begin(), cutset.end());
    right_context.insert(cutset.begin(), cutset.end());
    walk(t->left.get(), next_index, left_context);
    walk(t->right.get(), next_index, right_context);
    var_set pure = pure_[t->left.get()];
    pure.insert(pure_[t->right.get()].begin(), pure_[t->right.get()].end());
    pure.insert(cutset.begin(), cutset.end());
    pure_[t] = pure;
    var_set vars = left_vars;
    vars.insert(right_vars.begin(), right_vars.end());
    return vars;
  }

  var_set subtree_vars(const hdtree* t) const {
    if (!t->left) return clause_vars(t->clause);
    var_set vars = subtree_vars(t->left.get());
    var_set right = subtree_vars(t->right.get());
    vars.insert(right.begin(), right.end());
    return vars;
  }

  void check_cutsets_partition_used_variables() {
    std::map<unsigned, int> in_cutsets;
    for (const auto& entry : pure_)
      for (unsigned i = 0; i < entry.first->cutset->count; ++i) ++in_cutsets[entry.first->cutset->edges[i]->index];
    for (const hgr_edge& e : h_->edge_block) {
      int expected = e.node_count > 0 ? 1 : 0;
      EXPECT_EQ(in_cutsets[e.index], expected) << "variable " << e.index << " in cutsets";
    }
  }

  // Pure variables of every node: one run of the variable order; clauses: one run of the
  // clause order.
  void check_orders() {
    std::vector<unsigned> order = hdtree2edge_order(root_, h_);
    std::vector<unsigned> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    for (unsigned i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], i + 1) << "variable order is a permutation";
    EXPECT_EQ(order.size(), h_->edges.size());
    std::vector<unsigned> at(order.size() + 1);
    for (unsigned i = 0; i < order.size(); ++i) at[order[i]] = i;
    for (const auto& entry : pure_) {
      if (entry.second.empty()) continue;
      unsigned lo = UINT32_MAX, hi = 0;
      for (unsigned v : entry.second) {
        lo = std::min(lo, at[v]);
        hi = std::max(hi, at[v]);
      }
      EXPECT_EQ(hi - lo + 1, entry.second.size()) << "pure variables of node " << entry.first->index;
    }
    EXPECT_EQ(hdtree2node_order(root_, h_), leaves_);
  }

  const hdtree* root_;
  const hgr* h_;
  std::vector<unsigned> leaves_;          // clause numbers, left to right
  std::map<const hdtree*, var_set> pure_;  // pure variables of every node
};

inline void check_hdtree(const hdtree* root, const hgr* h) { hdtree_checker(root, h).check(); }

// Random small CNFs: some variables unused, some clauses repeated.
inline std::unique_ptr<cnf> random_cnf(std::mt19937& rng, unsigned max_vars, unsigned max_clauses) {
  unsigned vars = 1 + rng() % max_vars;
  tarn_test::clause_list clauses = tarn_test::random_clauses(rng, vars, 1 + rng() % max_clauses);
  for (std::vector<int>& c : clauses)
    if (rng() % 8 == 0) c = clauses[rng() % clauses.size()];
  return make_cnf(vars, clauses);
}

}  // namespace dtree_test
