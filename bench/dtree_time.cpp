// Times dtree construction on one CNF (a benchmark tool, built with the project).
//
//   dtree_time FILE.cnf METHOD [TRIES] [DTREE_OUT]
//     one line: vars clauses pins dtree_cpu_s dtree_wall_s max_cluster
//     (METHOD as -dt_method; TRIES as -dt_count; DTREE_OUT: also write the dtree file there)
//   dtree_time FILE.cnf top [RUNS [SEED]]
//     the top-level bisection of the default dtree alone (partition_hgr with balance factor 25),
//     RUNS times (default 5), on the hypergraph the construction starts from (duplicate clauses
//     and empty variables removed): one line per run, "top vertices nets pins cut cpu_s wall_s".
//     With SEED the partitioner is seeded with it instead of the time, so that runs repeat each
//     other exactly, and each line ends with a checksum of the bisection (to tell that a change
//     to the partitioner kept its results).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/utility.h"
#include "bench/measures.h"
#include "cnf/cnf_read.h"
#include "dtree/elm_orders.h"
#include "dtree/hdtree_partition.h"

namespace {

unsigned long pin_count(const hgr* h) {
  unsigned long pins = 0;
  for (unsigned i = 0; i < h->edge_count; ++i) pins += h->edges[i]->node_count;
  return pins;
}

unsigned cut_edges(const hgr* h) {
  unsigned cut = 0;
  for (unsigned i = 0; i < h->edge_count; ++i) {
    const hgr_edge* e = h->edges[i];
    bool side[2] = {false, false};
    for (unsigned j = 0; j < e->node_count; ++j) side[e->nodes[j]->mark] = true;
    cut += side[0] && side[1];
  }
  return cut;
}

unsigned long bisection_checksum(const hgr* h) {
  unsigned long sum = 0;
  for (unsigned i = 0; i < h->node_count; ++i) sum = sum * 1000003UL + h->nodes[i]->mark;
  return sum;
}

void time_top_bisection(hgr* h, int runs, const char* seed) {
  remove_duplicate_nodes(h);
  hgp_arrays arrays;
  allocate_hgp_arrays(h, &arrays);
  remove_empty_edges(h);
  for (int run = 0; run < runs; ++run) {
    stopwatch watch;
    partition_hgr(25, seed ? std::atoi(seed) : -1, h, &arrays);
    const double cpu = watch.cpu_seconds(), wall = watch.wall_seconds();
    std::printf("top %u %u %lu %u %.3f %.3f", h->node_count, h->edge_count, pin_count(h), cut_edges(h), cpu, wall);
    if (seed) std::printf(" %016lx", bisection_checksum(h));
    std::printf("\n");
    std::fflush(stdout);
  }
  restore_hgr(h);
  return_duplicate_nodes(h);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) fatal("usage: dtree_time FILE.cnf METHOD|top [TRIES|RUNS] [DTREE_OUT|SEED]\n");
  std::unique_ptr<cnf> formula = get_cnf_from_file(argv[1], true);
  std::unique_ptr<hgr> h = cnf2hgr(formula.get());
  if (std::strcmp(argv[2], "top") == 0) {
    time_top_bisection(h.get(), argc > 3 ? std::atoi(argv[3]) : 5, argc > 4 ? argv[4] : nullptr);
    return 0;
  }
  HDTREE_TYPE = std::atoi(argv[2]);
  if (argc > 3) HDTREE_TRIES = std::atoi(argv[3]);
  const unsigned long pins = pin_count(h.get());
  stopwatch watch;
  std::unique_ptr<hdtree> t;
  run_with_large_stack([&] { t = cnf2hdtree(formula.get(), h.get(), HDTREE_TYPE, nullptr); });
  const double cpu = watch.cpu_seconds(), wall = watch.wall_seconds();
  if (argc > 4) save_hdtree_to_file(argv[4], t.get(), h.get());
  std::printf("%u %u %lu %.3f %.3f %lu\n", formula->var_count, formula->clause_count(), pins, cpu, wall,
              t ? max_cluster(t.get()) : 0UL);
  return 0;
}
