// A formula laid out as the pipeline lays it out, for tests of the compiler's stores: CNF
// manager in the dtree's orders, dtree manager, NNF manager and component cache.
#pragma once

#include <functional>
#include <memory>

#include "cnf/cnf_manager.h"
#include "compiler/cache.h"
#include "compiler/nnf_manager.h"
#include "dtree/dtree_manager.h"
#include "dtree/elm_orders.h"
#include "dtree/hdtree.h"
#include "dtree/hgr.h"
#include "test_support.h"

namespace compiler_test {

constexpr unsigned TABLE_LIMIT = 2015179;

struct compiler_setup {
  std::unique_ptr<cnf> formula;
  std::unique_ptr<cnf_manager> cm;
  std::unique_ptr<dtree_manager> dm;
  std::unique_ptr<nnf_manager> nm;
  std::unique_ptr<cnf_cache_manager> cache;

  literal* lit(int i) const { return index2literalp(i, cm.get()); }
  nnf_node* node(int i) const { return literal2nnf_node(lit(i), nm.get()); }
};

// Method 2 eliminates the variables in increasing order. The tables have the pipeline's bucket
// limit: they start sized by the formula and grow only when a test makes many nodes.
// `declare` runs on the CNF manager before the dtree manager is built, as the variable lists do.
inline compiler_setup set_up(std::unique_ptr<cnf> formula, int method = 2,
                             const std::function<void(cnf_manager*)>& declare = {}) {
  compiler_setup s;
  s.formula = std::move(formula);
  std::unique_ptr<hgr> h = cnf2hgr(s.formula.get());
  std::unique_ptr<hdtree> tree = cnf2hdtree(s.formula.get(), h.get(), method, nullptr);
  std::vector<unsigned> var_order = hdtree2edge_order(tree.get(), h.get());
  std::vector<unsigned> clause_order = hdtree2node_order(tree.get(), h.get());
  s.cm = construct_cnf_manager(var_order.data(), clause_order.data(), *s.formula);
  if (declare) declare(s.cm.get());
  s.dm = construct_dtree_manager(tree.get(), s.cm.get());
  s.nm = construct_nnf_manager(s.cm.get(), TABLE_LIMIT);
  s.cache = construct_cnf_cache_manager(TABLE_LIMIT, s.cm.get(), s.dm.get());
  return s;
}

}  // namespace compiler_test
