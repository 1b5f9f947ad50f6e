// A guide for the decisions of the dynamic search: a min-degree elimination order of the formula's
// primal graph (variables joined when they share an input clause). Variables eliminated late sit
// near the root of the elimination tree, so deciding them first splits the formula into
// components early, as a tree decomposition would.
#pragma once

#include <cstdint>
#include <vector>

struct dynamic_engine;

struct elimination_guide {
  std::vector<double> priority;  // per variable (entry 0 unused): its position in the order divided by V
  std::size_t width = 0;         // the most neighbours a variable had when eliminated
  std::uint32_t connected = 0;   // variables sharing a clause with another
  bool complete = true;          // every variable was eliminated within the budget
};

// Forgotten variables (forgotten[v] = 1) are eliminated before the others. Elimination stops once
// `work` neighbour visits are spent; the variables left share priority 1.
elimination_guide elimination_priority(const dynamic_engine& e, const std::vector<std::uint8_t>& forgotten,
                                       std::uint64_t work);
