// What the timing tools measure: processor and wall time of a step, and the largest cluster.
#pragma once

#include <chrono>
#include <ctime>

#include "dtree/dtree_manager.h"

struct stopwatch {
  std::clock_t cpu = std::clock();
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu_seconds() const { return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
  double wall_seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
};

// The largest cluster (cutset + context) over the nodes of the dtree.
inline unsigned long max_cluster(const hdtree* t) {
  unsigned long cluster, cutset, context, separator;
  hdtree_sizes_max(t, &cluster, &cutset, &context, &separator);
  return cluster;
}
