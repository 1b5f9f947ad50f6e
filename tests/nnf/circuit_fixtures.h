// Test-side circuits: a builder that exports any DAG as a well-formed circuit (children first,
// root last, only reachable nodes), an evaluator over all assignments that shares no code with
// the library, random CNFs and their compiled circuits, and random NNFs that are neither
// decomposable nor deterministic.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/compile.h"
#include "compiler/compiler_fixture.h"
#include "e2e/brute_force.h"
#include "nnf/nnf_operations.h"

namespace fixtures {

// ---------------------------------------------------------------------------------------------
// A DAG of nodes made in any order; export() writes the part reachable from a root.
// ---------------------------------------------------------------------------------------------
class dag {
 public:
  unsigned literal(int lit) {
    auto found = literals_.find(lit);
    if (found != literals_.end()) return found->second;
    unsigned id = add(lit > 0 ? nnfn_type::pos_literal : nnfn_type::neg_literal, 0,
                      {static_cast<unsigned>(lit > 0 ? lit : -lit)}, true);
    literals_[lit] = id;
    return id;
  }
  unsigned conj(std::vector<unsigned> children) { return add(nnfn_type::and_node, 0, std::move(children)); }
  unsigned disj(unsigned var, std::vector<unsigned> children) {
    return add(nnfn_type::or_node, var, std::move(children));
  }
  unsigned truth() { return conj({}); }
  unsigned falsity() { return disj(0, {}); }

  // Post-order from the root, children in their stored order, each node once.
  std::unique_ptr<nnf> export_circuit(unsigned root, unsigned var_count) const {
    std::vector<unsigned> index(nodes_.size(), UNSET);
    std::vector<unsigned> order;
    post_order(root, index, order);
    auto circuit = new_nnf_structure(static_cast<unsigned>(order.size()), 0, var_count);
    unsigned edges = 0;
    for (unsigned i = 0; i < order.size(); ++i) {
      const node& from = nodes_[order[i]];
      nnfn& to = circuit->nodes[i];
      to.type = from.type;
      to.var = from.var;
      if (from.is_literal) {
        to.size = from.items[0];
        continue;
      }
      to.size = static_cast<unsigned>(from.items.size());
      edges += to.size;
      if (to.size == 0) continue;
      to.children.reset(new unsigned[to.size]);
      for (unsigned k = 0; k < to.size; ++k) to.children[k] = index[from.items[k]];
    }
    circuit->edge_count = edges;
    return circuit;
  }
  std::unique_ptr<nnf> export_circuit(unsigned var_count) const {
    return export_circuit(static_cast<unsigned>(nodes_.size() - 1), var_count);
  }

 private:
  static constexpr unsigned UNSET = 0xFFFFFFFFu;
  struct node {
    nnfn_type type;
    unsigned var;
    std::vector<unsigned> items;  // literal: {variable}; else children ids
    bool is_literal;
  };
  unsigned add(nnfn_type type, unsigned var, std::vector<unsigned> items, bool is_literal = false) {
    nodes_.push_back({type, var, std::move(items), is_literal});
    return static_cast<unsigned>(nodes_.size() - 1);
  }
  void post_order(unsigned id, std::vector<unsigned>& index, std::vector<unsigned>& order) const {
    if (index[id] != UNSET) return;
    if (!nodes_[id].is_literal)
      for (unsigned child : nodes_[id].items) post_order(child, index, order);
    index[id] = static_cast<unsigned>(order.size());
    order.push_back(id);
  }
  std::vector<node> nodes_;
  std::map<int, unsigned> literals_;
};

// ---------------------------------------------------------------------------------------------
// The circuit as text, one node per item ("L 1|L -1|A 2 0 1|O 1 2 3 2"), for exact comparisons.
// ---------------------------------------------------------------------------------------------
inline std::string text_of(const nnf& circuit) {
  std::ostringstream out;
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    const nnfn& n = circuit.nodes[i];
    if (i) out << '|';
    switch (n.type) {
      case nnfn_type::pos_literal: out << "L " << n.size; continue;
      case nnfn_type::neg_literal: out << "L -" << n.size; continue;
      case nnfn_type::and_node: out << "A " << n.size; break;
      case nnfn_type::or_node: out << "O " << n.var << ' ' << n.size; break;
      case nnfn_type::dead: out << "dead"; continue;
      case nnfn_type::duplicate: out << "dup " << n.size; continue;
    }
    for (unsigned k = 0; k < n.size; ++k) out << ' ' << n.children[k];
  }
  return out.str();
}

// The inverse of text_of, for hand-made circuits: "L 2|L 1|L -1|A 2 0 1|O 1 2 1 3".
inline std::unique_ptr<nnf> circuit_from(const std::string& text, unsigned var_count) {
  std::vector<std::string> items;
  std::stringstream all(text);
  for (std::string item; std::getline(all, item, '|');) items.push_back(item);
  auto circuit = new_nnf_structure(static_cast<unsigned>(items.size()), 0, var_count);
  for (unsigned i = 0; i < items.size(); ++i) {
    std::istringstream in(items[i]);
    char letter;
    long long x;
    in >> letter >> x;
    nnfn& n = circuit->nodes[i];
    if (letter == 'L') {
      n.type = x > 0 ? nnfn_type::pos_literal : nnfn_type::neg_literal;
      n.size = static_cast<unsigned>(x > 0 ? x : -x);
      continue;
    }
    n.type = letter == 'A' ? nnfn_type::and_node : nnfn_type::or_node;
    if (letter == 'O') {
      n.var = static_cast<unsigned>(x);
      in >> x;
    }
    n.size = static_cast<unsigned>(x);
    circuit->edge_count += n.size;
    if (n.size) n.children.reset(new unsigned[n.size]);
    for (unsigned k = 0; k < n.size; ++k) in >> n.children[k];
  }
  return circuit;
}

// ---------------------------------------------------------------------------------------------
// Functions and smoothness judged by the independent evaluator of the end-to-end tests.
// ---------------------------------------------------------------------------------------------
using table = brute_force::table;

inline brute_force::circuit judged_form(const nnf& circuit, unsigned var_count) {
  brute_force::circuit c;
  c.vars = var_count;
  for (const nnfn& n : circuit.nodes) {
    if (!living_node(n)) ADD_FAILURE() << "a dead or duplicate node";
    if (literal_node(n)) {
      c.nodes.push_back({'L', n.type == nnfn_type::pos_literal ? int(n.size) : -int(n.size), {}});
      continue;
    }
    c.nodes.push_back({n.type == nnfn_type::and_node ? 'A' : 'O', int(n.var), {}});
    c.nodes.back().children.assign(n.children.get(), n.children.get() + n.size);
  }
  return c;
}

inline table truth_table(const nnf& circuit, unsigned var_count) {
  return brute_force::judge(judged_form(circuit, var_count)).function;
}

// Every or-node's children mention the same variables; with `all`, the root mentions them all.
inline bool smooth(const nnf& circuit, bool all) { return brute_force::smooth(judged_form(circuit, circuit.var_count), all); }

// ---------------------------------------------------------------------------------------------
// Structural checks of a circuit that left a pass.
// ---------------------------------------------------------------------------------------------
inline void expect_well_formed(const nnf& circuit) {
  ASSERT_EQ(circuit.nodes.size(), circuit.node_count);
  ASSERT_GT(circuit.node_count, 0u);
  unsigned edges = 0;
  std::vector<char> reached(circuit.node_count, 0);
  reached.back() = 1;
  for (unsigned i = circuit.node_count; i-- > 0;) {
    const nnfn& n = circuit.nodes[i];
    ASSERT_TRUE(living_node(n)) << "node " << i;
    EXPECT_TRUE(reached[i]) << "node " << i << " is not reachable from the root";
    if (literal_node(n)) {
      EXPECT_GE(n.size, 1u);
      EXPECT_LE(n.size, circuit.var_count);
      continue;
    }
    edges += n.size;
    for (unsigned k = 0; k < n.size; ++k) {
      ASSERT_LT(n.children[k], i) << "child of node " << i;
      reached[n.children[k]] = 1;
    }
  }
  EXPECT_EQ(edges, circuit.edge_count);
}

// ---------------------------------------------------------------------------------------------
// Random CNFs and their compilation into decomposable, deterministic circuits.
// ---------------------------------------------------------------------------------------------
using clause_list = std::vector<std::vector<int>>;

inline clause_list random_cnf(std::mt19937& rng, unsigned var_count, unsigned clause_count) {
  return tarn_test::random_clauses(rng, var_count, clause_count);
}

inline table cnf_table(const clause_list& clauses, unsigned var_count) {
  return brute_force::models(brute_force::formula{var_count, 0, clauses});
}

// The compiled circuit of the CNF over variables 1..var_count (min-fill dtree); with min_card,
// a minimum-cardinality compilation.
inline std::unique_ptr<nnf> compile_cnf(const clause_list& clauses, unsigned var_count, bool min_card = false) {
  MIN_CARD = min_card;
  compiler_test::compiler_setup s = compiler_test::set_up(tarn_test::make_cnf(var_count, clauses), 4);
  comp_dtree(s.dm.get(), s.cm.get(), s.nm.get(), s.cache.get());
  MIN_CARD = false;
  return extract_nnf_from_manager(s.nm.get());
}

// A random NNF over few variables, dense in the shapes that reduction rewrites: constants,
// single-child nodes, repeated children, x or not x, (x and s) or (not x and s), nested nodes of
// one type. Every node is reachable from the root.
inline std::unique_ptr<nnf> random_nnf(std::mt19937& rng, unsigned var_count, unsigned internal_nodes) {
  dag d;
  std::vector<unsigned> pool;
  for (unsigned v = 1; v <= var_count; ++v) {
    pool.push_back(d.literal(static_cast<int>(v)));
    pool.push_back(d.literal(-static_cast<int>(v)));
  }
  pool.push_back(d.truth());
  pool.push_back(d.falsity());
  auto any = [&]() { return pool[rng() % pool.size()]; };
  auto recent = [&]() { return pool[pool.size() - 1 - rng() % std::min<std::size_t>(pool.size(), 6)]; };
  for (unsigned n = 0; n < internal_nodes; ++n) {
    unsigned shape = rng() % 10;
    unsigned var = static_cast<unsigned>(rng() % var_count) + 1;
    int x = static_cast<int>(var);
    unsigned made;
    if (shape == 0) {
      made = d.disj(var, {d.literal(x), d.literal(-x)});
    } else if (shape == 1) {
      unsigned s = any();
      made = d.disj(var, {d.conj({d.literal(x), s}), d.conj({s, d.literal(-x)})});
    } else if (shape == 2) {
      made = (rng() % 2 ? d.conj({recent()}) : d.disj(0, {recent()}));
    } else {
      std::vector<unsigned> children;
      unsigned k = 1 + rng() % 4;
      for (unsigned c = 0; c < k; ++c) children.push_back(rng() % 2 ? recent() : any());
      made = rng() % 2 ? d.conj(children) : d.disj(rng() % 3 ? var : 0, children);
    }
    pool.push_back(made);
  }
  std::vector<unsigned> tops;
  for (unsigned c = 0; c < 3; ++c) tops.push_back(recent());
  unsigned root = rng() % 2 ? d.conj(tops) : d.disj(0, tops);
  return d.export_circuit(root, var_count);
}

}  // namespace fixtures
