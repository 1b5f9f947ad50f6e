#include "nnf/weighted_count.h"

#include <cassert>
#include <cstdlib>
#include <memory>

#include "nnf/bit_set.h"

// A missing variable would need a smoothing factor w(x) + w(-x) below every branch that lacks
// it. Dividing each literal's weight by s(x) = w(x) + w(-x) turns that factor into 1, so the
// circuit is counted as it stands and the root is scaled by the product of the s(x). That fails
// only for the zero-sum variables (s(x) = 0): their literals keep their weights, and a branch
// lacking one that its or-node mentions is dropped, its factor being 0. Only for those variables
// does a node carry a set of the variables it mentions.

namespace {

constexpr unsigned NOT_ZERO_SUM = ~0u;

// What a literal node of each variable starts from.
struct literal_values {
  std::vector<mpq_class> positive, negative;  // entry v - 1
  std::vector<unsigned> zero_sum_index;       // entry v - 1: v's position among the zero-sum
                                              // variables, or NOT_ZERO_SUM
  unsigned zero_sum_count = 0;
  mpq_class root_factor;                      // the product of the non-zero s(x)
};

mpq_class listed_weight(const std::vector<mpq_class>& weights, unsigned index) {
  return index < weights.size() ? weights[index] : mpq_class(1);
}

bool counted_variable(const weight_table& weights, unsigned index) {
  return index >= weights.counted.size() || weights.counted[index];
}

// Pairwise rounds keep the operands of similar size: multiplying V factors one after another
// would cost time quadratic in the size of the product.
mpq_class product_of(std::vector<mpq_class> factors) {
  if (factors.empty()) return 1;
  while (factors.size() > 1) {
    std::size_t half = (factors.size() + 1) / 2;
    for (std::size_t i = 0; i + 1 < factors.size(); i += 2) factors[i / 2] = factors[i] * factors[i + 1];
    if (factors.size() % 2) factors[half - 1] = factors.back();
    factors.resize(half);
  }
  return factors[0];
}

// Uncounted variables keep 1/2 for each literal: a gadget x or -x over one counts 1, and like a
// normalised variable, one that is missing needs no factor.
literal_values normalise(const weight_table& weights, unsigned var_count) {
  literal_values values;
  values.positive.resize(var_count, mpq_class(1, 2));
  values.negative.resize(var_count, mpq_class(1, 2));
  values.zero_sum_index.resize(var_count, NOT_ZERO_SUM);
  std::vector<mpq_class> sums;
  for (unsigned v = 0; v < var_count; ++v) {
    if (!counted_variable(weights, v)) continue;
    mpq_class positive = listed_weight(weights.positive, v), negative = listed_weight(weights.negative, v);
    mpq_class sum = positive + negative;
    if (sum == 0) {
      values.zero_sum_index[v] = values.zero_sum_count++;
      values.positive[v] = positive;
      values.negative[v] = negative;
      continue;
    }
    values.positive[v] = positive / sum;
    values.negative[v] = negative / sum;
    sums.push_back(sum);
  }
  values.root_factor = product_of(std::move(sums));
  return values;
}

struct rational_arithmetic {
  static void one(mpq_class& v) { v = 1; }
  static void copy(mpq_class& v, const mpq_class& from) { v = from; }
  static void multiply(mpq_class& v, const mpq_class& by) { v *= by; }
};

// One sweep in index order; a node's value (and zero-sum set) lives until its last parent has
// used it.
class weighted_sweep {
 public:
  weighted_sweep(const nnf& circuit, const literal_values& literals)
      : circuit_(circuit),
        literals_(literals),
        tracking_zero_sums_(literals.zero_sum_count > 0),
        refs_(get_ref_counts(circuit)),
        values_(circuit.node_count),
        zero_sums_(tracking_zero_sums_ ? circuit.node_count : 0) {}

  // The normalised count: 0 when the root lacks a zero-sum variable.
  mpq_class root_value() {
    assert(circuit_.node_count > 0);
    for (unsigned i = 0; i < circuit_.node_count; ++i) visit(i);
    unsigned root = circuit_.node_count - 1;
    if (tracking_zero_sums_ && mpz_popcount(zero_sums_[root]->get()) != literals_.zero_sum_count) return 0;
    return *values_[root];
  }

 private:
  void visit(unsigned i) {
    const nnfn& node = circuit_.nodes[i];
    assert(living_node(node));
    values_[i] = std::make_unique<mpq_class>();
    if (tracking_zero_sums_) zero_sums_[i] = std::make_unique<bit_set>();
    if (literal_node(node))
      literal(node, i);
    else if (node.type == nnfn_type::and_node)
      conjoin(node, i);
    else
      disjoin(node, i);
  }

  void literal(const nnfn& node, unsigned i) {
    unsigned index = node.size - 1;
    *values_[i] = node.type == nnfn_type::pos_literal ? literals_.positive[index] : literals_.negative[index];
    if (tracking_zero_sums_ && literals_.zero_sum_index[index] != NOT_ZERO_SUM)
      mpz_setbit(zero_sums_[i]->get(), literals_.zero_sum_index[index]);
  }

  // Decomposable: the children's zero-sum sets are disjoint, and the node mentions their union.
  void conjoin(const nnfn& node, unsigned i) {
    rational_arithmetic arithmetic;
    multiply_children(node, values_, arithmetic, *values_[i]);
    for (unsigned k = 0; k < node.size; ++k) {
      unsigned child = node.children[k];
      if (tracking_zero_sums_) mpz_ior(zero_sums_[i]->get(), zero_sums_[i]->get(), zero_sums_[child]->get());
      release(child);
    }
  }

  // A child lacking one of the node's zero-sum variables would be smoothed by a factor 0.
  void disjoin(const nnfn& node, unsigned i) {
    if (tracking_zero_sums_) collect_zero_sums_of_children(node, *zero_sums_[i]);
    mpq_class& value = *values_[i];
    for (unsigned k = 0; k < node.size; ++k) {
      unsigned child = node.children[k];
      if (!tracking_zero_sums_ || mpz_cmp(zero_sums_[child]->get(), zero_sums_[i]->get()) == 0)
        value += *values_[child];
      release(child);
    }
  }

  void collect_zero_sums_of_children(const nnfn& node, bit_set& mentioned) const {
    for (unsigned k = 0; k < node.size; ++k)
      mpz_ior(mentioned.get(), mentioned.get(), zero_sums_[node.children[k]]->get());
  }

  void release(unsigned child) {
    if (--refs_[child] > 0) return;
    values_[child].reset();
    if (tracking_zero_sums_) zero_sums_[child].reset();
  }

  const nnf& circuit_;
  const literal_values& literals_;
  const bool tracking_zero_sums_;
  std::vector<unsigned> refs_;
  std::vector<std::unique_ptr<mpq_class>> values_;
  std::vector<std::unique_ptr<bit_set>> zero_sums_;  // empty without zero-sum variables
};

// Entry v of the result: 1 when v is assumed true, -1 when false, 0 when free; empty when the
// assumptions contradict each other.
std::vector<signed char> assumed_values(const std::vector<int>& assumed, unsigned var_count) {
  std::vector<signed char> values(var_count + 1, 0);
  for (int literal : assumed) {
    assert(literal != 0);
    unsigned var = static_cast<unsigned>(std::abs(literal));
    if (var >= values.size()) values.resize(var + 1, 0);
    signed char value = literal > 0 ? 1 : -1;
    if (values[var] == -value) return {};
    values[var] = value;
  }
  return values;
}

bool literal_allowed(const nnfn& node, const std::vector<signed char>& assumed) {
  signed char value = assumed[node.size];
  return value == 0 || (value > 0) == (node.type == nnfn_type::pos_literal);
}

}  // namespace

weight_table unit_weights(unsigned var_count) {
  weight_table weights;
  weights.positive.assign(var_count, mpq_class(1));
  weights.negative.assign(var_count, mpq_class(1));
  weights.counted.assign(var_count, 1);
  return weights;
}

mpq_class weighted_count_nnf(const nnf& circuit, const weight_table& weights) {
  literal_values literals = normalise(weights, circuit.var_count);
  mpq_class count = weighted_sweep(circuit, literals).root_value();
  return count * literals.root_factor;
}

// Decomposable: an and-node is satisfiable when each child is, since the children share no
// variable; an or-node when some child is.
bool nnf_satisfiable(const nnf& circuit, const std::vector<int>& assumed) {
  assert(circuit.node_count > 0);
  std::vector<signed char> values = assumed_values(assumed, circuit.var_count);
  if (values.empty()) return false;
  std::vector<char> satisfiable(circuit.node_count);
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    const nnfn& node = circuit.nodes[i];
    if (literal_node(node)) {
      satisfiable[i] = literal_allowed(node, values);
      continue;
    }
    bool conjoin = node.type == nnfn_type::and_node;
    bool result = conjoin;
    for (unsigned k = 0; k < node.size && result == conjoin; ++k) result = satisfiable[node.children[k]];
    satisfiable[i] = result;
  }
  return satisfiable.back();
}
