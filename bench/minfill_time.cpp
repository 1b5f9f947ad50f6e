// Times the order-based dtree steps on one CNF: min-fill order, bucket elimination, and the
// hypergraph. Prints one line: vars clauses literals minfill_s order2hdtree_s cluster_max.
// A benchmark tool, built with the project.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cnf/cnf_read.h"
#include "driver/utility.h"
#include "dtree/elm_orders.h"
#include "dtree/minfill.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

unsigned largest_cluster(const hdtree* t) {
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) fatal("usage: minfill_time FILE.cnf\n");
  std::unique_ptr<cnf> formula = get_cnf_from_file(argv[1], true);
  unsigned long literals = 0;
  for (unsigned c = 0; c < formula->clause_count(); ++c) literals += formula->clause_size(c);

  auto start = std::chrono::steady_clock::now();
  std::vector<unsigned> order = cnf2minfill_order(formula.get());
  double minfill = seconds_since(start);

  std::unique_ptr<hgr> h = cnf2hgr(formula.get());
  start = std::chrono::steady_clock::now();
  std::unique_ptr<hdtree> t = order2hdtree(order, h.get());
  double bucket = seconds_since(start);

  std::printf("%u %u %lu %.3f %.3f %u\n", formula->var_count, formula->clause_count(), literals, minfill, bucket,
              t ? largest_cluster(t.get()) : 0);
  return 0;
}
