// What the dtree timing tools measure: elapsed time and the largest cluster of a dtree.
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

#include "dtree/elm_orders.h"

struct stopwatch {
  std::clock_t cpu = std::clock();
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu_seconds() const { return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
  double wall_seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
};

// Iterative, since an order-based dtree can be deeper than the default stack allows.
inline unsigned largest_cluster(const hdtree* t) {
  unsigned largest = 0;
  std::vector<const hdtree*> stack{t};
  while (!stack.empty()) {
    const hdtree* node = stack.back();
    stack.pop_back();
    largest = std::max(largest, node->cutset->count + node->context->count);
    if (node->left) stack.insert(stack.end(), {node->left.get(), node->right.get()});
  }
  return largest;
}
