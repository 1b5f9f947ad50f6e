// Any byte string as a dtree file over a CNF. An input that opens with "p cnf" carries its own
// CNF up to the first line that starts with "dtree", and the dtree file from there on; any other
// input is a dtree file over a fixed small CNF. A tree the reader accepts must meet the dtree
// definitions over that CNF (checked from scratch here), and saving it must give a file that
// loads and saves to the very same text.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cnf/cnf_read.h"
#include "dtree/hdtree.h"
#include "dtree/hgr.h"
#include "fuzz_support.h"

namespace {

// Clauses sharing variables in a chain and a cycle, a unit clause, a repeated clause, and
// variable 7 in no clause.
const char* const FIXED_CNF = "p cnf 7 6\n1 2 0\n-2 3 0\n3 -4 5 0\n1 0\n-1 -3 -6 0\n1 2 0\n";
// Hypergraphs beyond these sizes cost more to build than a run should take.
constexpr unsigned MAX_VARIABLES = 5000;
constexpr unsigned MAX_CLAUSES = 5000;

using var_set = std::set<unsigned>;

// The CNF text and the dtree text of an input.
std::pair<std::string, std::string> split_input(const std::string& input) {
  if (input.compare(0, 5, "p cnf") != 0) return {FIXED_CNF, input};
  std::size_t dtree = input.find("\ndtree");
  if (dtree == std::string::npos) return {input, ""};
  return {input.substr(0, dtree + 1), input.substr(dtree + 1)};
}

var_set meet(const var_set& a, const var_set& b) {
  var_set out;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

var_set minus(const var_set& a, const var_set& b) {
  var_set out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

// Checks a loaded tree against the definitions in hdtree.h, without the dtree code's helpers.
class tree_checker {
 public:
  tree_checker(const hdtree* root, const hgr* h) : root_(root), h_(h) {}

  void check() {
    fuzz::expect(root_ != nullptr && root_->parent == nullptr, "the root is missing or has a parent");
    collect_vars();
    check_sets();
    check_leaves_and_cutsets();
    check_orders();
  }

 private:
  var_set as_set(const hgr_edges* s) const {
    var_set out;
    for (unsigned i = 0; i < s->count; ++i) {
      const hgr_edge* e = s->edges[i];
      fuzz::expect(e >= h_->edge_block.data() && e < h_->edge_block.data() + h_->edge_block.size(),
                   "a set holds a foreign variable");
      fuzz::expect(out.insert(e->index).second, "a set holds a variable twice");
    }
    return out;
  }

  var_set clause_vars(unsigned clause) const {
    fuzz::expect(clause >= 1 && clause <= h_->node_block.size(), "a leaf names no clause");
    const hgr_node& n = h_->node_block[clause - 1];
    var_set out;
    for (unsigned i = 0; i < n.edge_count; ++i) out.insert(n.edges[i]->index);
    return out;
  }

  // vars(T) of every node, children before parents.
  void collect_vars() {
    std::vector<std::pair<const hdtree*, bool>> stack{{root_, false}};
    while (!stack.empty()) {
      auto [node, expanded] = stack.back();
      stack.pop_back();
      fuzz::expect((node->left == nullptr) == (node->right == nullptr), "a node with one child");
      if (!node->left) {
        vars_[node] = clause_vars(node->clause);
      } else if (expanded) {
        var_set all = vars_[node->left.get()];
        all.insert(vars_[node->right.get()].begin(), vars_[node->right.get()].end());
        vars_[node] = std::move(all);
      } else {
        stack.push_back({node, true});
        stack.push_back({node->right.get(), false});
        stack.push_back({node->left.get(), false});
      }
    }
  }

  // Pre-order numbers, parent links, and every node's context, separator and cutset.
  void check_sets() {
    std::vector<std::pair<const hdtree*, var_set>> stack{{root_, {}}};
    unsigned next_index = 0;
    while (!stack.empty()) {
      auto [node, context] = std::move(stack.back());
      stack.pop_back();
      fuzz::expect(node->index == next_index++, "the nodes are not numbered in pre-order");
      fuzz::expect(as_set(node->context.get()) == context, "a context differs from its definition");
      var_set cutset = as_set(node->cutset.get());
      cutsets_.push_back(cutset);
      if (!node->left) {
        fuzz::expect(node->separator->count == 0, "a leaf with a separator");
        fuzz::expect(cutset == minus(vars_[node], context), "a leaf's cutset differs from its definition");
        leaves_.push_back(node->clause);
        continue;
      }
      fuzz::expect(node->left->parent == node && node->right->parent == node, "a child's parent link is wrong");
      const var_set& left_vars = vars_[node->left.get()];
      const var_set& right_vars = vars_[node->right.get()];
      var_set separator = meet(left_vars, right_vars);
      fuzz::expect(as_set(node->separator.get()) == separator, "a separator differs from its definition");
      fuzz::expect(cutset == minus(separator, context), "a cutset differs from its definition");
      var_set left_context = meet(context, left_vars), right_context = meet(context, right_vars);
      left_context.insert(cutset.begin(), cutset.end());
      right_context.insert(cutset.begin(), cutset.end());
      stack.push_back({node->right.get(), std::move(right_context)});
      stack.push_back({node->left.get(), std::move(left_context)});
    }
    fuzz::expect(next_index == 2 * h_->node_count - 1, "the tree does not have 2C - 1 nodes");
  }

  void check_leaves_and_cutsets() {
    fuzz::expect(var_set(leaves_.begin(), leaves_.end()).size() == h_->node_count && leaves_.size() == h_->node_count,
                 "the leaves are not the clauses, each once");
    std::map<unsigned, int> in_cutsets;
    for (const var_set& cutset : cutsets_)
      for (unsigned v : cutset) ++in_cutsets[v];
    for (const hgr_edge& e : h_->edge_block)
      fuzz::expect(in_cutsets[e.index] == (e.node_count > 0 ? 1 : 0), "a variable is not in exactly one cutset");
  }

  void check_orders() {
    std::vector<unsigned> order = hdtree2edge_order(root_, h_);
    std::sort(order.begin(), order.end());
    for (std::size_t i = 0; i < order.size(); ++i)
      fuzz::expect(order[i] == i + 1, "the variable order is no permutation");
    fuzz::expect(order.size() == h_->edge_block.size(), "the variable order misses variables");
    fuzz::expect(hdtree2node_order(root_, h_) == leaves_, "the clause order is not the leaves from left to right");
  }

  const hdtree* root_;
  const hgr* h_;
  std::map<const hdtree*, var_set> vars_;
  std::vector<var_set> cutsets_;
  std::vector<unsigned> leaves_;  // clause numbers, left to right
};

// The tree saved, loaded again and saved again gives the same file.
void expect_saves_stably(const hdtree* tree, hgr* h) {
  std::string path = fuzz::temp_path("fuzz-dtree-saved");
  save_hdtree_to_file(path.c_str(), tree, h);
  std::string saved = fuzz::read_file(path);
  std::unique_ptr<hdtree> again;
  try {
    again = load_hdtree_from_file(path.c_str(), h);
  } catch (const fuzz::rejected_input&) {
    fuzz::expect(false, "a saved dtree file is rejected");
  }
  tree_checker(again.get(), h).check();
  save_hdtree_to_file(path.c_str(), again.get(), h);
  fuzz::expect(fuzz::read_file(path) == saved, "a loaded dtree saves to another file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  auto [cnf_text, dtree_text] = split_input(std::string(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<cnf> formula;
  try {
    formula = get_cnf_from_text(cnf_text, "fuzz.cnf", true);
  } catch (const fuzz::rejected_input&) {
    return 0;
  }
  if (formula->var_count > MAX_VARIABLES || formula->clause_count() > MAX_CLAUSES) return 0;
  std::unique_ptr<hgr> h = cnf2hgr(formula.get());
  std::string path = fuzz::temp_path("fuzz-dtree");
  fuzz::write_file(path, dtree_text.data(), dtree_text.size());
  std::unique_ptr<hdtree> tree;
  try {
    tree = load_hdtree_from_file(path.c_str(), h.get());
  } catch (const fuzz::rejected_input&) {
    return 0;
  }
  tree_checker(tree.get(), h.get()).check();
  expect_saves_stably(tree.get(), h.get());
  return 0;
}
