// An independent judge of compiled circuits for small formulas: it parses the CNF and the
// circuit text itself (no tarn code) and compares truth tables over all assignments.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace brute_force {

// A set of assignments of V variables: bit a is assignment a (variable v is bit v - 1 of a).
class table {
 public:
  explicit table(unsigned vars, bool value = false)
      : vars_(vars), words_(((std::size_t{1} << vars) + 63) / 64, value ? ~std::uint64_t{0} : 0) {
    trim();
  }
  static table literal(unsigned vars, int lit) {
    table t(vars);
    for (std::size_t a = 0; a < t.size(); ++a)
      if (((a >> (std::abs(lit) - 1)) & 1) == (lit > 0)) t.set(a);
    return t;
  }
  std::size_t size() const { return std::size_t{1} << vars_; }
  bool get(std::size_t a) const { return (words_[a / 64] >> (a % 64)) & 1; }
  void set(std::size_t a) { words_[a / 64] |= std::uint64_t{1} << (a % 64); }
  table& operator&=(const table& o) {
    for (std::size_t i = 0; i < words_.size(); ++i) words_[i] &= o.words_[i];
    return *this;
  }
  table& operator|=(const table& o) {
    for (std::size_t i = 0; i < words_.size(); ++i) words_[i] |= o.words_[i];
    return *this;
  }
  table operator~() const {
    table t(*this);
    for (auto& w : t.words_) w = ~w;
    t.trim();
    return t;
  }
  bool intersects(const table& o) const {
    for (std::size_t i = 0; i < words_.size(); ++i)
      if (words_[i] & o.words_[i]) return true;
    return false;
  }
  bool operator==(const table& o) const { return words_ == o.words_; }
  std::uint64_t count() const {
    std::uint64_t n = 0;
    for (auto w : words_) n += __builtin_popcountll(w);
    return n;
  }
  // Both values of variable v merged: the existential projection of v.
  table forget(unsigned v) const {
    table t(vars_);
    std::size_t bit = std::size_t{1} << (v - 1);
    for (std::size_t a = 0; a < size(); ++a)
      if (get(a) || get(a ^ bit)) t.set(a);
    return t;
  }

 private:
  void trim() {
    if (size() % 64) words_.back() &= (std::uint64_t{1} << (size() % 64)) - 1;
  }
  unsigned vars_;
  std::vector<std::uint64_t> words_;
};

struct formula {
  unsigned vars = 0;
  unsigned eclauses = 0;
  std::vector<std::vector<int>> clauses;
};

// DIMACS with an optional "eclauses E" line; comment lines start with c, % or 0.
inline formula parse_cnf(const std::string& text) {
  formula f;
  std::istringstream in(text);
  std::string line;
  std::vector<int> current;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first;
    if (!(words >> first)) continue;
    if (first[0] == 'c' || first[0] == '%' || first == "0") continue;
    if (first == "p") {
      std::string kind;
      unsigned declared;
      words >> kind >> f.vars >> declared;
      continue;
    }
    if (first == "eclauses") {
      words >> f.eclauses;
      continue;
    }
    std::istringstream literals(line);
    int lit;
    while (literals >> lit) {
      if (lit == 0) {
        f.clauses.push_back(current);
        current.clear();
        break;
      }
      current.push_back(lit);
    }
  }
  return f;
}

// Exactly the assignments that satisfy every clause, and of every eclause at most one literal.
inline table models(const formula& f) {
  table all(f.vars, true);
  std::vector<table> lits;
  auto lit_table = [&](int l) { return table::literal(f.vars, l); };
  for (std::size_t i = 0; i < f.clauses.size(); ++i) {
    table clause(f.vars);
    for (int l : f.clauses[i]) clause |= lit_table(l);
    all &= clause;
    if (i >= f.clauses.size() - f.eclauses) {
      const auto& c = f.clauses[i];
      for (std::size_t a = 0; a < c.size(); ++a)
        for (std::size_t b = a + 1; b < c.size(); ++b) {
          if (c[a] == c[b]) continue;  // a repeated literal counts once
          table both = lit_table(c[a]);
          both &= lit_table(c[b]);
          all &= ~both;
        }
    }
  }
  return all;
}

struct node {
  char kind;        // 'L', 'A' or 'O'
  int value;        // literal for 'L', decision variable for 'O'
  std::vector<unsigned> children;
};

struct circuit {
  unsigned declared_nodes = 0, declared_edges = 0, vars = 0;
  std::vector<node> nodes;
};

inline circuit parse_nnf(const std::string& text) {
  circuit c;
  std::istringstream in(text);
  std::string word;
  if (!(in >> word) || word != "nnf") throw std::runtime_error("no nnf header");
  in >> c.declared_nodes >> c.declared_edges >> c.vars;
  while (in >> word) {
    node n{word[0], 0, {}};
    unsigned k = 0;
    if (n.kind == 'L') {
      in >> n.value;
    } else if (n.kind == 'A') {
      in >> k;
    } else if (n.kind == 'O') {
      in >> n.value >> k;
    } else {
      throw std::runtime_error("bad record " + word);
    }
    n.children.resize(k);
    for (unsigned& child : n.children) in >> child;
    c.nodes.push_back(n);
  }
  return c;
}

struct verdict {
  std::string problem;  // empty when the circuit passes every check
  table function{0};
};

// Checks the structure, decomposability of every and-node and determinism of every or-node
// that decides a variable, and computes the circuit's function.
inline verdict judge(const circuit& c) {
  verdict v;
  auto fail = [&](const std::string& why) {
    if (v.problem.empty()) v.problem = why;
  };
  if (c.nodes.empty()) fail("empty circuit");
  if (c.nodes.size() != c.declared_nodes) fail("header node count differs from the records");
  unsigned edges = 0;
  std::vector<table> tables;
  std::vector<std::vector<bool>> mentions;
  for (std::size_t i = 0; i < c.nodes.size(); ++i) {
    const node& n = c.nodes[i];
    std::vector<bool> vars(c.vars + 1, false);
    if (n.kind == 'L') {
      if (n.value == 0 || static_cast<unsigned>(std::abs(n.value)) > c.vars) fail("literal out of range");
      vars[std::abs(n.value)] = true;
      tables.push_back(table::literal(c.vars, n.value));
      mentions.push_back(vars);
      continue;
    }
    edges += n.children.size();
    table t(c.vars, n.kind == 'A');
    for (unsigned child : n.children) {
      if (child >= i) {
        fail("child not before parent");
        continue;
      }
      for (unsigned x = 1; x <= c.vars; ++x) {
        if (n.kind == 'A' && vars[x] && mentions[child][x]) fail("and-node " + std::to_string(i) + " not decomposable");
        vars[x] = vars[x] || mentions[child][x];
      }
      if (n.kind == 'A') {
        t &= tables[child];
      } else {
        if (n.value != 0 && t.intersects(tables[child])) fail("or-node " + std::to_string(i) + " not deterministic");
        t |= tables[child];
      }
    }
    tables.push_back(t);
    mentions.push_back(vars);
  }
  if (edges != c.declared_edges) fail("header edge count differs from the records");
  if (!tables.empty()) v.function = tables.back();
  return v;
}

}  // namespace brute_force

namespace brute_force {

// The variables each node mentions, children before parents.
inline std::vector<std::vector<bool>> mentions(const circuit& c) {
  std::vector<std::vector<bool>> sets;
  for (const node& n : c.nodes) {
    std::vector<bool> vars(c.vars + 1, false);
    if (n.kind == 'L') vars[std::abs(n.value)] = true;
    for (unsigned child : n.children)
      for (unsigned x = 1; x <= c.vars; ++x) vars[x] = vars[x] || sets[child][x];
    sets.push_back(vars);
  }
  return sets;
}

// Every or-node's children mention the same variables; with `complete`, the root mentions all.
inline bool smooth(const circuit& c, bool complete) {
  std::vector<std::vector<bool>> sets = mentions(c);
  for (std::size_t i = 0; i < c.nodes.size(); ++i)
    if (c.nodes[i].kind == 'O')
      for (unsigned child : c.nodes[i].children)
        if (sets[child] != sets[i]) return false;
  if (!complete) return true;
  for (unsigned x = 1; x <= c.vars; ++x)
    if (!sets.back()[x]) return false;
  return true;
}

// The models with the fewest true variables.
inline table minimum_cardinality_models(const table& models, unsigned vars) {
  int least = -1;
  for (std::size_t a = 0; a < models.size(); ++a)
    if (models.get(a) && (least < 0 || __builtin_popcountll(a) < least)) least = __builtin_popcountll(a);
  table result(vars);
  for (std::size_t a = 0; a < models.size(); ++a)
    if (models.get(a) && __builtin_popcountll(a) == least) result.set(a);
  return result;
}

}  // namespace brute_force
