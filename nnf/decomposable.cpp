#include "nnf/decomposable.h"

#include <cassert>
#include <cstdio>
#include <memory>
#include <vector>

#include "nnf/bit_set.h"

namespace {

using set_ptr = std::unique_ptr<bit_set>;

// The union of the children's sets; for an and-node, the variables that a child shares with an
// earlier child are added to `shared`. A literal's set {v} is never stored (a set of one high bit
// takes v bits, and smoothed circuits hold every literal first): its bit is used directly.
set_ptr join_children(const nnfn& node, const nnf& circuit, std::vector<set_ptr>& sets,
                      std::vector<unsigned>& refs, bit_set& shared, bit_set& scratch) {
  auto set = std::make_unique<bit_set>();
  bool conjoin = node.type == nnfn_type::and_node;
  for (unsigned k = 0; k < node.size; ++k) {
    unsigned child = node.children[k];
    const nnfn& child_node = circuit.nodes[child];
    if (literal_node(child_node)) {
      mp_bitcnt_t bit = child_node.size - 1;
      if (conjoin && mpz_tstbit(set->get(), bit)) mpz_setbit(shared.get(), bit);
      mpz_setbit(set->get(), bit);
    } else {
      if (conjoin) {
        mpz_and(scratch.get(), set->get(), sets[child]->get());
        if (mpz_sgn(scratch.get()) != 0) mpz_ior(shared.get(), shared.get(), scratch.get());
      }
      mpz_ior(set->get(), set->get(), sets[child]->get());
    }
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
    if (!literal_node(node)) sets[i] = join_children(node, circuit, sets, refs, shared, scratch);
  }
  if (mpz_sgn(shared.get()) == 0) return true;
  print_shared_vars(shared, circuit.var_count);
  return false;
}
