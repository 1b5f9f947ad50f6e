#include "nnf/count.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <vector>

namespace {

// A number num / 2^exponent: the probabilities of a circuit's nodes are such numbers, and keeping
// them so spares the common factors a fraction would look for at every step.
class dyadic {
 public:
  dyadic() { mpz_init(numerator_); }
  ~dyadic() { mpz_clear(numerator_); }
  dyadic(const dyadic&) = delete;
  dyadic& operator=(const dyadic&) = delete;
  mpz_ptr numerator() { return numerator_; }
  unsigned long exponent = 0;

 private:
  mpz_t numerator_;
};

class integer {
 public:
  integer() { mpz_init(value_); }
  ~integer() { mpz_clear(value_); }
  integer(const integer&) = delete;
  integer& operator=(const integer&) = delete;
  mpz_ptr get() { return value_; }

 private:
  mpz_t value_;
};

// One sweep in index order; each value is released once its last parent has used it, so only
// the values still awaited by some parent exist at a time. The root's value is returned.
template <typename Number, typename Arithmetic>
std::unique_ptr<Number> sweep(const nnf& circuit, Arithmetic arithmetic) {
  assert(circuit.node_count > 0);
  std::vector<unsigned> refs = get_ref_counts(circuit);
  std::vector<std::unique_ptr<Number>> values(circuit.node_count);
  for (unsigned i = 0; i < circuit.node_count; ++i) {
    const nnfn& node = circuit.nodes[i];
    assert(living_node(node));
    values[i] = std::make_unique<Number>();
    Number& value = *values[i];
    if (literal_node(node)) {
      arithmetic.literal(value);
      continue;
    }
    if (node.type == nnfn_type::and_node) {
      multiply_children(node, values, arithmetic, value);
    } else {
      arithmetic.zero(value);
      for (unsigned k = 0; k < node.size; ++k) arithmetic.add(value, *values[node.children[k]]);
    }
    for (unsigned k = 0; k < node.size; ++k) release_after_last_use(node.children[k], refs, values);
  }
  return std::move(values[circuit.node_count - 1]);
}

struct probability_arithmetic {
  static void literal(dyadic& v) {
    mpz_set_ui(v.numerator(), 1);
    v.exponent = 1;
  }
  static void one(dyadic& v) {
    mpz_set_ui(v.numerator(), 1);
    v.exponent = 0;
  }
  static void zero(dyadic& v) {
    mpz_set_ui(v.numerator(), 0);
    v.exponent = 0;
  }
  static void copy(dyadic& v, dyadic& from) {
    mpz_set(v.numerator(), from.numerator());
    v.exponent = from.exponent;
  }
  static void multiply(dyadic& v, dyadic& by) {
    mpz_mul(v.numerator(), v.numerator(), by.numerator());
    v.exponent += by.exponent;
  }
  // Brings both to the larger exponent, then drops the powers of two the sum has in common with it,
  // so that numerators stay no longer than the fractions they stand for.
  void add(dyadic& v, dyadic& term) {
    if (v.exponent < term.exponent) {
      mpz_mul_2exp(v.numerator(), v.numerator(), term.exponent - v.exponent);
      v.exponent = term.exponent;
    }
    mpz_mul_2exp(shifted.get(), term.numerator(), v.exponent - term.exponent);
    mpz_add(v.numerator(), v.numerator(), shifted.get());
    if (mpz_sgn(v.numerator()) == 0) return;
    unsigned long common = std::min<unsigned long>(mpz_scan1(v.numerator(), 0), v.exponent);
    mpz_tdiv_q_2exp(v.numerator(), v.numerator(), common);
    v.exponent -= common;
  }
  integer shifted;
};

struct integer_arithmetic {
  static void literal(integer& v) { mpz_set_ui(v.get(), 1); }
  static void one(integer& v) { mpz_set_ui(v.get(), 1); }
  static void zero(integer& v) { mpz_set_ui(v.get(), 0); }
  static void copy(integer& v, integer& from) { mpz_set(v.get(), from.get()); }
  static void multiply(integer& v, integer& by) { mpz_mul(v.get(), v.get(), by.get()); }
  static void add(integer& v, integer& term) { mpz_add(v.get(), v.get(), term.get()); }
};

}  // namespace

// The count is the root's probability times 2^var_count, a whole number.
std::string count_nnf_models(unsigned var_count, const nnf& circuit) {
  std::unique_ptr<dyadic> probability = sweep<dyadic>(circuit, probability_arithmetic{});
  mpz_ptr count = probability->numerator();
  if (probability->exponent <= var_count)
    mpz_mul_2exp(count, count, var_count - probability->exponent);
  else
    mpz_tdiv_q_2exp(count, count, probability->exponent - var_count);
  return mpz2str(count);
}

std::string count_smooth_nnf_models(const nnf& circuit) {
  std::unique_ptr<integer> count = sweep<integer>(circuit, integer_arithmetic{});
  return mpz2str(count->get());
}

std::string mpz2str(mpz_srcptr value) {
  // One place more than the digits for a sign; mpz_sizeinbase may also count one digit too many.
  std::string text(mpz_sizeinbase(value, 10) + 2, '\0');
  int written = gmp_sprintf(&text[0], "%Zd", value);
  text.resize(static_cast<std::size_t>(written));
  return text;
}
