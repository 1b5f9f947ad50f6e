// Random small formulas for end-to-end runs, written as DIMACS text.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace random_cnf {

struct shape {
  unsigned min_vars = 3, max_vars = 10;
  unsigned min_clauses = 1, max_clauses = 30;
  unsigned max_width = 4;
  bool eclauses = false;  // end with up to three eclauses
};

inline std::string generate(std::mt19937& random, const shape& s) {
  auto pick = [&](unsigned lo, unsigned hi) { return lo + static_cast<unsigned>(random() % (hi - lo + 1)); };
  unsigned vars = pick(s.min_vars, s.max_vars);
  unsigned clauses = pick(s.min_clauses, s.max_clauses);
  unsigned eclauses = s.eclauses ? pick(1, std::min(3u, clauses)) : 0;
  std::string text = "c random formula\np cnf " + std::to_string(vars) + " " + std::to_string(clauses) + "\n";
  if (eclauses) text += "eclauses " + std::to_string(eclauses) + "\n";
  for (unsigned c = 0; c < clauses; ++c) {
    bool eclause = c >= clauses - eclauses;
    unsigned width = pick(eclause ? 2 : 1, eclause ? std::min(4u, vars) : s.max_width);
    std::vector<unsigned> used;
    for (unsigned i = 0; i < width; ++i) {
      unsigned v = pick(1, vars);
      // Repeated variables make duplicate literals and tautologies; eclauses keep distinct ones.
      if (eclause) {
        bool seen = false;
        for (unsigned u : used) seen = seen || u == v;
        if (seen) continue;
        used.push_back(v);
      }
      text += (random() % 2 ? "" : "-") + std::to_string(v) + " ";
    }
    text += "0\n";
  }
  return text;
}

inline void add_gate(std::mt19937& random, int out, std::vector<std::vector<int>>& clauses) {
  int a = static_cast<int>(1 + random() % (out - 1)) * (random() % 2 ? 1 : -1);
  int b = static_cast<int>(1 + random() % (out - 1)) * (random() % 2 ? 1 : -1);
  switch (random() % 3) {
    case 0:  // out = a and b
      clauses.insert(clauses.end(), {{-out, a}, {-out, b}, {out, -a, -b}});
      break;
    case 1:  // out = a or b
      clauses.insert(clauses.end(), {{out, -a}, {out, -b}, {-out, a, b}});
      break;
    default:  // out = a xor b
      clauses.insert(clauses.end(), {{-out, a, b}, {-out, -a, -b}, {out, -a, b}, {out, a, -b}});
  }
}

// Gates over a few inputs, their outputs feeding later gates, and a random clause or two.
inline std::vector<std::vector<int>> circuit(std::mt19937& random, unsigned inputs, unsigned vars) {
  std::vector<std::vector<int>> clauses;
  for (unsigned out = inputs + 1; out <= vars; ++out) add_gate(random, static_cast<int>(out), clauses);
  for (unsigned k = random() % 3; k > 0; --k) {
    std::vector<int> c;
    for (unsigned i = 0; i < 2 + random() % 2; ++i)
      c.push_back(static_cast<int>(1 + random() % vars) * (random() % 2 ? 1 : -1));
    clauses.push_back(c);
  }
  return clauses;
}

inline std::string dimacs(unsigned vars, const std::vector<std::vector<int>>& clauses) {
  std::string text = "p cnf " + std::to_string(vars) + " " + std::to_string(clauses.size()) + "\n";
  for (const std::vector<int>& c : clauses) {
    for (int l : c) text += std::to_string(l) + " ";
    text += "0\n";
  }
  return text;
}

}  // namespace random_cnf
