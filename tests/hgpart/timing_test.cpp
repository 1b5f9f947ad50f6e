// Timing of one bisection with the program's options. Disabled by default (it takes seconds);
// run with --gtest_also_run_disabled_tests --gtest_filter='*Timing*' on a Release build.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <random>
#include <vector>

#include "hgpart/hgpart.h"
#include "hgpart_testing.h"

namespace {
using namespace hgp_testing;

// Median processor time of a few bisections with different seeds (wall time shown as well: on a
// shared machine it also counts the waiting).
double median_seconds(const net_list& nets, int runs) {
  std::vector<double> seconds;
  std::vector<int> part(nets.nvtxs);
  for (int run = 0; run < runs; ++run) {
    const int options[9] = {1, 2, 1, 2, 3, 0, 0, run, 0};
    int cut = 0;
    const std::clock_t cpu_start = std::clock();
    const auto wall_start = std::chrono::steady_clock::now();
    HGP_PartRecursive(nets.nvtxs, nets.nedges(), nullptr, nets.eptr.data(), nets.eind.data(), nullptr, 2, 25, options,
                      part.data(), &cut);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    seconds.push_back(static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC);
    std::printf("  seed %d: cut %d, %.3f s processor, %.3f s wall\n", run, cut, seconds.back(), wall);
  }
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

// A 317 x 317 grid of cells, each net joining two neighbours: local structure, as in CNFs of
// circuits and planning problems.
net_list grid(int side) {
  net_list nets;
  nets.nvtxs = side * side;
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) {
      if (c + 1 < side) nets.add_net({r * side + c, r * side + c + 1});
      if (r + 1 < side) nets.add_net({r * side + c, (r + 1) * side + c});
    }
  return nets;
}

TEST(HGPPartRecursiveTiming, DISABLED_BisectsAHundredThousandVertexGridAndRandomHypergraph) {
  std::printf("grid, 100489 vertices, 200344 nets of 2:\n");
  std::printf("median %.3f s processor\n", median_seconds(grid(317), 7));
  std::mt19937 rng(1);
  net_list random;
  random.nvtxs = 100000;
  for (int e = 0; e < 100000; ++e) {
    std::vector<int> vertices;
    const int size = 2 + static_cast<int>(rng() % 7);
    while (static_cast<int>(vertices.size()) < size) {
      const int v = static_cast<int>(rng() % 100000);
      if (std::find(vertices.begin(), vertices.end(), v) == vertices.end()) vertices.push_back(v);
    }
    random.add_net(vertices);
  }
  std::printf("random, 100000 vertices, 100000 nets of 2 to 8:\n");
  std::printf("median %.3f s processor\n", median_seconds(random, 3));
}

}  // namespace
