// Times the order-based dtree steps on one CNF: min-fill order, bucket elimination, and the
// hypergraph. Prints one line: vars clauses literals minfill_s order2hdtree_s cluster_max.
// A benchmark tool, built with the project.
#include <cstdio>

#include "base/utility.h"
#include "bench/measures.h"
#include "cnf/cnf_read.h"
#include "dtree/elm_orders.h"
#include "dtree/minfill.h"

int main(int argc, char** argv) {
  if (argc != 2) fatal("usage: minfill_time FILE.cnf\n");
  std::unique_ptr<cnf> formula = get_cnf_from_file(argv[1], true);
  unsigned long literals = 0;
  for (unsigned c = 0; c < formula->clause_count(); ++c) literals += formula->clause_size(c);

  stopwatch minfill_watch;
  std::vector<unsigned> order = cnf2minfill_order(formula.get());
  double minfill = minfill_watch.wall_seconds();

  std::unique_ptr<hgr> h = cnf2hgr(formula.get());
  stopwatch bucket_watch;
  std::unique_ptr<hdtree> t = order2hdtree(order, h.get());
  double bucket = bucket_watch.wall_seconds();

  std::printf("%u %u %lu %.3f %.3f %lu\n", formula->var_count, formula->clause_count(), literals, minfill, bucket,
              t ? max_cluster(t.get()) : 0UL);
  return 0;
}
