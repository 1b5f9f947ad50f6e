#include "nnf/entail.h"

#include <cassert>

namespace {

// Or-nodes look for a true child, and-nodes for a false one, from the last child to the first.
bool some_child_has_value(const nnfn& node, mpz_srcptr values, int wanted) {
  for (unsigned k = node.size; k-- > 0;)
    if (mpz_tstbit(values, node.children[k]) == wanted) return true;
  return false;
}

}  // namespace

std::unique_ptr<evaluation> construct_evaluation(const nnf& circuit) {
  return std::make_unique<evaluation>(circuit.node_count, circuit.var_count);
}

void free_evaluation(std::unique_ptr<evaluation>& e) { e.reset(); }

void init_evaluation_1(evaluation& e) {
  mpz_set_ui(e.pos.get(), 0);
  mpz_com(e.pos.get(), e.pos.get());
  mpz_set_ui(e.neg.get(), 0);
  mpz_com(e.neg.get(), e.neg.get());
}

bool evaluate_nnf(const nnf& circuit, evaluation& e) {
  mpz_ptr values = e.values.get();
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    const nnfn& node = circuit.nodes[i];
    bool value = false;
    switch (node.type) {
      case nnfn_type::or_node:
        value = some_child_has_value(node, values, 1);
        break;
      case nnfn_type::and_node:
        value = !some_child_has_value(node, values, 0);
        break;
      case nnfn_type::pos_literal:
        value = mpz_tstbit(e.pos.get(), node.size - 1);
        break;
      case nnfn_type::neg_literal:
        value = mpz_tstbit(e.neg.get(), node.size - 1);
        break;
      case nnfn_type::dead:
      case nnfn_type::duplicate:
        assert(!"a circuit is evaluated only between passes");
        break;
    }
    if (value)
      mpz_setbit(values, i);
    else
      mpz_clrbit(values, i);
  }
  return mpz_tstbit(values, circuit.node_count - 1);
}

bool nnf_entails_clause(const nnf& circuit, const int* clause, evaluation& e) {
  init_evaluation_1(e);
  for (; *clause != 0; ++clause) {
    int literal = *clause;
    mp_bitcnt_t bit = literal > 0 ? static_cast<mp_bitcnt_t>(literal) - 1 : static_cast<mp_bitcnt_t>(-(literal + 1));
    mpz_ptr own = literal > 0 ? e.pos.get() : e.neg.get();
    mpz_srcptr complement = literal > 0 ? e.neg.get() : e.pos.get();
    // Both literals of a variable false is no assignment at all: a clause with a literal and its
    // complement holds everywhere, and every circuit entails it.
    if (!mpz_tstbit(complement, bit)) return true;
    mpz_clrbit(own, bit);
  }
  return !evaluate_nnf(circuit, e);
}

bool nnf_entails_cnf(const nnf& circuit, const cnf& formula) {
  std::unique_ptr<evaluation> e = construct_evaluation(circuit);
  for (unsigned i = 0; i < formula.clause_count(); ++i)
    if (!nnf_entails_clause(circuit, formula.clause(i), *e)) return false;
  return true;
}
