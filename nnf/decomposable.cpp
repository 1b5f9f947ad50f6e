#include "nnf/decomposable.h"

#include <cassert>
#include <cstdio>
#include <memory>
#include <vector>

#include "nnf/bit_set.h"

namespace {

using set_ptr = std::unique_ptr<bit_set>;

// The union of the children's sets; for an and-node, the variables that a child shares with an
// earlier child are added to `shared`.
set_ptr join_children(const nnfn& node, std::vector<set_ptr>& sets, std::vector<unsigned>& refs,
                      bit_set& shared, bit_set& scratch) {
  auto set = std::make_unique<bit_set>();
  bool conjoin = node.type == nnfn_type::and_node;
  for (unsigned k = 0; k < node.size; ++k) {
    unsigned child = node.children[k];
    if (conjoin) {
      mpz_and(scratch.get(), set->get(), sets[child]->get());
      if (mpz_sgn(scratch.get()) != 0) mpz_ior(shared.get(), shared.get(), scratch.get());
    }
    mpz_ior(set->get(), set->get(), sets[child]->get());
    release_after_last_use(child, refs, sets);
  }
  return set;
}

void print_shared_vars(const bit_set& shared, unsigned var_count) {
  std::printf("shared vars: ");
  for_each_member(shared, [var_count](unsigned bit) {
    if (bit < var_count) std::printf("%u ", bit + 1);
  });
}

}  // namespace

bool nnf_decomposable(const nnf& circuit) {
  std::vector<unsigned> refs = get_ref_counts(circuit);
  std::vector<set_ptr> sets(circuit.node_count);
  bit_set shared;
  bit_set scratch;
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    const nnfn& node = circuit.nodes[i];
    assert(living_node(node));
    if (literal_node(node)) {
      sets[i] = std::make_unique<bit_set>();
      mpz_setbit(sets[i]->get(), node.size - 1);
    } else {
      sets[i] = join_children(node, sets, refs, shared, scratch);
    }
  }
  if (mpz_sgn(shared.get()) == 0) return true;
  print_shared_vars(shared, circuit.var_count);
  return false;
}
