#include "driver/library.h"

#include <cstdio>
#include <vector>

#include "cnf/cnf_read.h"
#include "driver/utility.h"
#include "dtree/elm_orders.h"
#include "dtree/minfill.h"

namespace {

std::unique_ptr<hdtree> build_hdtree(cnf* formula, hgr* h, const char* block_order_file) {
  if (!block_order_file) return cnf2hdtree(formula, h, HDTREE_TYPE, nullptr);
  std::vector<unsigned> blocks = read_unsigned_given_count(formula->var_count, block_order_file);
  std::printf("\n===>");
  std::fflush(stdout);
  std::vector<unsigned> order = cnf2minfill_order(formula, blocks);
  std::printf("<====");
  return cnf2hdtree(formula, h, HDTREE_TYPE, &order);
}

}  // namespace

dtree_stage dez2irivi_cmd_line(cnf* formula, const char* block_order_file, const char* dtree_in_file,
                               const char* dtree_out_file) {
  dtree_stage stage;
  stage.start = std::clock();
  stage.hypergraph = cnf2hgr(formula);
  if (dtree_in_file)
    stage.tree = load_hdtree_from_file(dtree_in_file, stage.hypergraph.get());
  else
    stage.tree = build_hdtree(formula, stage.hypergraph.get(), block_order_file);
  if (dtree_out_file) {
    if (stage.tree)
      save_hdtree_to_file(dtree_out_file, stage.tree.get(), stage.hypergraph.get());
    else
      std::printf("\nThe CNF has no clauses, so it has no dtree: %s is not written.", dtree_out_file);
  }
  return stage;
}
