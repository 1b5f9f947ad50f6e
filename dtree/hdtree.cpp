#include "dtree/hdtree.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "base/output_file.h"
#include "base/utility.h"

hdtree::~hdtree() { release_subtrees(*this); }

bool leaf_hdtree(const hdtree* t) { return !t->left; }

namespace {

// Visits every node after its subtrees (left before right), without recursion: the order of
// the skeleton's records.
template <typename Node, typename Visit>
void for_each_node_in_post_order(Node* root, Visit visit) {
  if (!root) return;
  struct frame {
    Node* node;
    bool children_pushed;
  };
  std::vector<frame> stack{{root, false}};
  while (!stack.empty()) {
    frame& top = stack.back();
    Node* node = top.node;
    if (leaf_hdtree(node) || top.children_pushed) {
      stack.pop_back();
      visit(node);
      continue;
    }
    top.children_pushed = true;
    stack.push_back({node->right.get(), false});
    stack.push_back({node->left.get(), false});
  }
}

}  // namespace

void initialize_hdtree(hdtree* t, hdtree* parent, std::unique_ptr<hgr_edges> context, unsigned* counter) {
  struct pending {
    hdtree* node;
    hdtree* parent;
    std::unique_ptr<hgr_edges> context;
  };
  std::vector<pending> stack;
  stack.push_back({t, parent, std::move(context)});
  while (!stack.empty()) {
    pending p = std::move(stack.back());
    stack.pop_back();
    hdtree* node = p.node;
    node->parent = p.parent;
    node->index = (*counter)++;
    std::unique_ptr<hgr_edges> vars = std::move(node->context);
    if (leaf_hdtree(node)) {
      node->separator = new_hgr_edges(0);
      node->cutset = edges_minus(vars.get(), p.context.get());
      node->context = std::move(p.context);
      continue;
    }
    // INVARIANT: the children are not initialized yet, so their context fields hold their vars.
    const hgr_edges* left_vars = node->left->context.get();
    const hgr_edges* right_vars = node->right->context.get();
    node->separator = edges_intersection(left_vars, right_vars);
    node->cutset = edges_minus(node->separator.get(), p.context.get());
    std::unique_ptr<hgr_edges> left_context =
        edges_plus(edges_intersection(p.context.get(), left_vars).get(), node->cutset.get());
    std::unique_ptr<hgr_edges> right_context =
        edges_plus(edges_intersection(p.context.get(), right_vars).get(), node->cutset.get());
    node->context = std::move(p.context);
    // Left on top, so that the numbers come out in pre-order.
    stack.push_back({node->right.get(), node, std::move(right_context)});
    stack.push_back({node->left.get(), node, std::move(left_context)});
  }
}

std::vector<unsigned> hdtree2edge_order(const hdtree* t, const hgr* h) {
  std::vector<unsigned> order;
  order.reserve(h->edges.size());
  for_each_node_in_post_order(t, [&](const hdtree* node) {
    for (unsigned i = 0; i < node->cutset->count; ++i) order.push_back(node->cutset->edges[i]->index);
  });
  for (unsigned i = 0; i < h->edge_count; ++i)
    if (h->edges[i]->node_count == 0) order.push_back(h->edges[i]->index);
  assert(order.size() == h->edges.size());
  return order;
}

std::vector<unsigned> hdtree2node_order(const hdtree* t, const hgr* h) {
  std::vector<unsigned> order;
  order.reserve(h->node_count);
  for_each_node_in_post_order(t, [&](const hdtree* node) {
    if (leaf_hdtree(node)) order.push_back(node->clause);
  });
  return order;
}

// ---------------------------------------------------------------------------------------------
// Skeletons
// ---------------------------------------------------------------------------------------------
std::vector<unsigned> hdtree2dtree_skeleton(const hdtree* t, const hgr* h) {
  if (!t) return {0};
  unsigned n = 2 * h->node_count - 1;
  std::vector<unsigned> skeleton;
  skeleton.reserve(1 + 5 * static_cast<std::size_t>(h->node_count) - 2);
  skeleton.push_back(n);
  // Positions of the subtrees already written whose parent is not: a child's position is
  // always on top when its parent comes, right above left.
  std::vector<unsigned> open_subtrees;
  unsigned position = 0;
  for_each_node_in_post_order(t, [&](const hdtree* node) {
    if (leaf_hdtree(node)) {
      skeleton.insert(skeleton.end(), {0u, node->clause - 1});
    } else {
      unsigned right = open_subtrees.back();
      open_subtrees.pop_back();
      unsigned left = open_subtrees.back();
      open_subtrees.pop_back();
      skeleton.insert(skeleton.end(), {1u, left, right});
    }
    open_subtrees.push_back(position++);
  });
  assert(position == n);
  return skeleton;
}

namespace {

[[noreturn]] void dtree_file_corrupt() { fatal("\nDtree file corrupt"); }

std::uint64_t skeleton_words(std::uint64_t n) { return 2 * ((n + 1) / 2) + 3 * ((n - 1) / 2) + 1; }

// True when the skeleton is N records in post-order of one full binary tree: N odd, exactly
// the words of N records, every child an earlier record that no other record has taken, and
// (N - 1) / 2 internal records, so that every record but the last has a parent.
bool full_binary_tree_records(const std::vector<unsigned>& skeleton) {
  if (skeleton.empty()) return false;
  std::uint64_t n = skeleton[0];
  if (n % 2 == 0 || skeleton.size() != skeleton_words(n)) return false;
  std::vector<char> has_parent(n, 0);
  std::size_t p = 1;
  std::uint64_t internal = 0;
  for (std::uint64_t i = 0; i < n; ++i) {
    if (p >= skeleton.size()) return false;
    if (skeleton[p] == 0) {
      p += 2;
      continue;
    }
    if (skeleton[p] != 1 || p + 2 >= skeleton.size()) return false;
    unsigned left = skeleton[p + 1];
    unsigned right = skeleton[p + 2];
    if (left >= i || right >= i || left == right || has_parent[left] || has_parent[right]) return false;
    has_parent[left] = has_parent[right] = 1;
    ++internal;
    p += 3;
  }
  return p == skeleton.size() && internal == (n - 1) / 2;
}

// True when the leaves name distinct clause positions below clause_count. Call only on
// records that passed full_binary_tree_records.
bool distinct_clause_positions(const std::vector<unsigned>& skeleton, unsigned clause_count) {
  std::vector<char> used(clause_count, 0);
  for (std::size_t p = 1; p < skeleton.size(); p += skeleton[p] == 1 ? 3 : 2) {
    if (skeleton[p] == 1) continue;
    unsigned clause = skeleton[p + 1];
    if (clause >= clause_count || used[clause]) return false;
    used[clause] = 1;
  }
  return true;
}

bool matches_clause_count(std::uint64_t n, unsigned clause_count) { return n + 1 == 2 * std::uint64_t{clause_count}; }

std::unique_ptr<hdtree> leaf_of_clause_position(unsigned position, hgr* h) {
  const hgr_node* node = h->nodes[position];
  if (node->index != position + 1)
    std::printf("\nProblem with selection of hgr node: %u/%u", node->index, position + 1);
  auto leaf = std::make_unique<hdtree>();
  leaf->clause = node->index;
  leaf->context = node2edges(node);
  return leaf;
}

// vars(T) of the nodes of a tree built bottom-up, restricted to the variables that also occur
// outside T. A variable all of whose clauses lie below T is in no separator or context outside
// T's subtree, and dropping it keeps the order of the others, so initialize_hdtree derives the
// same sets in the same orders; but the sets of a deep tree stay small instead of growing with
// its depth. Leaves keep all their variables (their cutsets need them).
class open_variables {
 public:
  open_variables(const hgr* h, std::size_t records)
      : union_of_(h->edges.size() + 1, 0), at_(h->edges.size() + 1, 0), below_(records) {}

  void leaf(std::size_t record, const hgr_edges* vars) { below_[record].assign(vars->count, 1); }

  std::unique_ptr<hgr_edges> internal(std::size_t record, std::size_t left, const hgr_edges* left_vars,
                                      std::size_t right, const hgr_edges* right_vars) {
    std::vector<hgr_edge*> vars;
    std::vector<unsigned> below;
    add(record, left_vars, below_[left], vars, below);
    add(record, right_vars, below_[right], vars, below);
    release(left);
    release(right);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < vars.size(); ++k) {
      if (below[k] == vars[k]->node_count) continue;
      vars[kept] = vars[k];
      below[kept++] = below[k];
    }
    below.resize(kept);
    below_[record] = std::move(below);
    std::unique_ptr<hgr_edges> result = new_hgr_edges(static_cast<unsigned>(kept));
    std::copy(vars.begin(), vars.begin() + kept, result->edges.get());
    return result;
  }

 private:
  // Appends the entries not yet in the union (in the set's order) and sums the clause counts.
  void add(std::size_t record, const hgr_edges* set, const std::vector<unsigned>& set_below,
           std::vector<hgr_edge*>& vars, std::vector<unsigned>& below) {
    for (unsigned k = 0; k < set->count; ++k) {
      unsigned var = set->edges[k]->index;
      if (union_of_[var] == record + 1) {
        below[at_[var]] += set_below[k];
        continue;
      }
      union_of_[var] = record + 1;
      at_[var] = static_cast<unsigned>(vars.size());
      vars.push_back(set->edges[k]);
      below.push_back(set_below[k]);
    }
  }

  void release(std::size_t record) { std::vector<unsigned>().swap(below_[record]); }

  std::vector<std::size_t> union_of_;         // by variable: record + 1 of the union holding it
  std::vector<unsigned> at_;                  // by variable: its position in that union
  std::vector<std::vector<unsigned>> below_;  // by record: clauses below it of each set entry
};

}  // namespace

std::unique_ptr<hdtree> dtree_skeleton2hdtree(const std::vector<unsigned>& skeleton, hgr* h) {
  if (skeleton.size() == 1 && skeleton[0] == 0 && h->node_count == 0) return nullptr;
  if (!full_binary_tree_records(skeleton)) dtree_file_corrupt();
  if (!matches_clause_count(skeleton[0], h->node_count)) fatal("dtree does not mactch cnf!");
  if (!distinct_clause_positions(skeleton, h->node_count)) dtree_file_corrupt();

  // INVARIANT: every record names earlier records only, each once, so each node is adopted by
  // exactly one parent and the last record owns the whole tree.
  std::vector<hdtree*> made(skeleton[0]);
  open_variables vars(h, made.size());
  std::size_t p = 1;
  for (std::size_t i = 0; i < made.size(); ++i) {
    std::unique_ptr<hdtree> node;
    if (skeleton[p] == 1) {
      unsigned left = skeleton[p + 1], right = skeleton[p + 2];
      node = std::make_unique<hdtree>();
      node->left.reset(made[left]);
      node->right.reset(made[right]);
      node->context = vars.internal(i, left, node->left->context.get(), right, node->right->context.get());
      p += 3;
    } else {
      node = leaf_of_clause_position(skeleton[p + 1], h);
      vars.leaf(i, node->context.get());
      p += 2;
    }
    made[i] = node.release();
  }
  std::unique_ptr<hdtree> root(made.back());
  unsigned counter = 0;
  initialize_hdtree(root.get(), nullptr, new_hgr_edges(0), &counter);
  return root;
}

void free_dtree_skeleton(std::vector<unsigned>& skeleton) {
  skeleton.clear();
  skeleton.shrink_to_fit();
}

// ---------------------------------------------------------------------------------------------
// The dtree file
// ---------------------------------------------------------------------------------------------
namespace {

// Words of the orders trailer (see hdtree.h). It comes after the N records, where readers
// that stop after the records never look.
constexpr const char* ORDERS_WORD = "orders";
constexpr const char* CUTSET_WORD = "cut";
constexpr const char* SEPARATOR_WORD = "sep";
constexpr const char* CONTEXT_WORD = "ctx";

std::string read_dtree_file(const char* path) {
  owned_file file(std::fopen(path, "r"));
  if (!file) fatal("Cannot open dtree file: %s (%s)\n", path, std::strerror(errno));
  std::string text;
  char chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
  return text;
}

bool space(char c) { return std::isspace(static_cast<unsigned char>(c)); }
bool digit(char c) { return std::isdigit(static_cast<unsigned char>(c)); }

// Reads the text the way the record formats "%c " and "%d" would, but rejects what they would
// leave undefined: a number that is negative or does not fit, a file that ends early, a record
// letter other than I and L.
class dtree_text {
 public:
  explicit dtree_text(const std::string& text) : text_(text) {}

  // The header word, which must open the text.
  bool starts_with(const char* w) {
    std::size_t n = std::char_traits<char>::length(w);
    if (text_.compare(0, n, w) != 0) return false;
    pos_ = n;
    return true;
  }

  // Consumes the word when it comes next and stands alone (white space or the end follows).
  bool word(const char* w) {
    skip_space();
    std::size_t n = std::char_traits<char>::length(w);
    if (text_.compare(pos_, n, w) != 0) return false;
    if (pos_ + n < text_.size() && !space(text_[pos_ + n])) return false;
    pos_ += n;
    return true;
  }

  bool at_number() {
    skip_space();
    return pos_ < text_.size() && digit(text_[pos_]);
  }

  bool at_end() {
    skip_space();
    return pos_ == text_.size();
  }

  unsigned number() {
    if (!at_number()) dtree_file_corrupt();
    std::uint64_t value = 0;
    while (pos_ < text_.size() && digit(text_[pos_])) {
      value = value * 10 + static_cast<unsigned>(text_[pos_++] - '0');
      if (value > UINT32_MAX) dtree_file_corrupt();
    }
    return static_cast<unsigned>(value);
  }

  char record_letter() {
    skip_space();
    if (pos_ >= text_.size()) dtree_file_corrupt();
    char letter = text_[pos_++];
    if (letter != 'I' && letter != 'L') dtree_file_corrupt();
    return letter;
  }

  std::size_t size() const { return text_.size(); }

 private:
  void skip_space() {
    while (pos_ < text_.size() && space(text_[pos_])) ++pos_;
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

// The header and exactly N records; whatever follows is left to the caller.
std::vector<unsigned> read_records(dtree_text& in) {
  if (!in.starts_with("dtree")) dtree_file_corrupt();
  unsigned n = in.number();
  if (n % 2 == 0) dtree_file_corrupt();
  std::vector<unsigned> skeleton;
  // Every record takes at least two characters, so a huge N in a short file allocates little.
  skeleton.reserve(std::min<std::uint64_t>(skeleton_words(n), in.size()));
  skeleton.push_back(n);
  for (unsigned i = 0; i < n; ++i) {
    if (in.record_letter() == 'I') {
      unsigned left = in.number();
      unsigned right = in.number();
      skeleton.insert(skeleton.end(), {1u, left, right});
    } else {
      skeleton.insert(skeleton.end(), {0u, in.number()});
    }
  }
  if (!full_binary_tree_records(skeleton)) dtree_file_corrupt();
  return skeleton;
}

// Replaces the order of `set` by the one listed after `tag`, which must name exactly the set's
// variables, each once. `in_set` is all zero on entry and on return.
void read_set_order(dtree_text& in, const char* tag, hgr_edges* set, hgr* h, std::vector<char>& in_set) {
  if (!in.word(tag)) dtree_file_corrupt();
  for (unsigned i = 0; i < set->count; ++i) in_set[set->edges[i]->index] = 1;
  unsigned listed = 0;
  while (in.at_number()) {
    unsigned var = in.number();
    if (listed == set->count || var == 0 || var >= in_set.size() || !in_set[var]) dtree_file_corrupt();
    in_set[var] = 0;
    set->edges[listed++] = &h->edge_block[var - 1];
  }
  if (listed != set->count) dtree_file_corrupt();
}

// INVARIANT: the tree was rebuilt from the records of the same file, so its nodes in post-order
// are the trailer's lines, and its sets are the ones the lists must reorder.
void read_orders(dtree_text& in, hdtree* root, hgr* h) {
  std::vector<char> in_set(h->edges.size() + 1, 0);
  for_each_node_in_post_order(root, [&](hdtree* node) {
    read_set_order(in, CUTSET_WORD, node->cutset.get(), h, in_set);
    if (!leaf_hdtree(node)) read_set_order(in, SEPARATOR_WORD, node->separator.get(), h, in_set);
    read_set_order(in, CONTEXT_WORD, node->context.get(), h, in_set);
  });
  if (!in.at_end()) dtree_file_corrupt();
}

void write_records(std::FILE* out, const std::vector<unsigned>& skeleton) {
  std::fprintf(out, "dtree %u\n", skeleton[0]);
  for (std::size_t p = 1; p < skeleton.size();) {
    if (skeleton[p] == 1) {
      std::fprintf(out, "I %u %u\n", skeleton[p + 1], skeleton[p + 2]);
      p += 3;
    } else {
      std::fprintf(out, "L %u\n", skeleton[p + 1]);
      p += 2;
    }
  }
}

void write_set_order(std::FILE* out, const char* tag, const hgr_edges* set) {
  std::fputs(tag, out);
  for (unsigned i = 0; i < set->count; ++i) std::fprintf(out, " %u", set->edges[i]->index);
}

void write_orders(std::FILE* out, const hdtree* t) {
  std::fprintf(out, "%s\n", ORDERS_WORD);
  for_each_node_in_post_order(t, [out](const hdtree* node) {
    write_set_order(out, CUTSET_WORD, node->cutset.get());
    if (!leaf_hdtree(node)) {
      std::fputc(' ', out);
      write_set_order(out, SEPARATOR_WORD, node->separator.get());
    }
    std::fputc(' ', out);
    write_set_order(out, CONTEXT_WORD, node->context.get());
    std::fputc('\n', out);
  });
}

const output_failure DTREE_FILE_FAILURE = {false, "Cannot open dtree file: %s (%s)\n",
                                           "\nCannot write dtree file: %s (%s)\n"};

void write_dtree_file(const char* path, const std::function<void(std::FILE*)>& write) {
  save_whole_file(path, write, DTREE_FILE_FAILURE);
}

}  // namespace

void save_dtree_skeleton_to_file(const char* path, const std::vector<unsigned>& skeleton) {
  assert(full_binary_tree_records(skeleton));
  write_dtree_file(path, [&](std::FILE* out) { write_records(out, skeleton); });
}

std::vector<unsigned> load_dtree_skeleton_from_file(const char* path) {
  std::string text = read_dtree_file(path);
  dtree_text in(text);
  return read_records(in);
}

void save_hdtree_to_file(const char* path, const hdtree* t, const hgr* h) {
  assert(t);
  if (VERBOSE) {
    std::printf("\nSaving dtree...");
    std::fflush(stdout);
  }
  std::vector<unsigned> skeleton = hdtree2dtree_skeleton(t, h);
  write_dtree_file(path, [&](std::FILE* out) {
    write_records(out, skeleton);
    write_orders(out, t);
  });
  free_dtree_skeleton(skeleton);
  if (VERBOSE) std::printf("done.");
}

std::unique_ptr<hdtree> load_hdtree_from_file(const char* path, hgr* h) {
  if (VERBOSE) {
    std::printf("\nLoading dtree from file...");
    std::fflush(stdout);
  }
  std::string text = read_dtree_file(path);
  dtree_text in(text);
  std::vector<unsigned> skeleton = read_records(in);
  if (!matches_clause_count(skeleton[0], h->node_count)) fatal("dtree does not mactch cnf!");
  std::unique_ptr<hdtree> t = dtree_skeleton2hdtree(skeleton, h);
  free_dtree_skeleton(skeleton);
  // Without the trailer the text after the records is ignored, as it always was.
  if (in.word(ORDERS_WORD)) read_orders(in, t.get(), h);
  if (VERBOSE) std::printf("done.");
  return t;
}

void free_hdtree(std::unique_ptr<hdtree>& t) { t.reset(); }
