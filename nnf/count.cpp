#include "nnf/count.h"

#include <cassert>
#include <memory>
#include <vector>

namespace {

class rational {
 public:
  rational() { mpq_init(value_); }
  ~rational() { mpq_clear(value_); }
  rational(const rational&) = delete;
  rational& operator=(const rational&) = delete;
  mpq_ptr get() { return value_; }

 private:
  mpq_t value_;
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
    bool conjoin = node.type == nnfn_type::and_node;
    if (conjoin)
      arithmetic.one(value);
    else
      arithmetic.zero(value);
    for (unsigned k = 0; k < node.size; ++k) {
      unsigned child = node.children[k];
      if (conjoin)
        arithmetic.multiply(value, *values[child]);
      else
        arithmetic.add(value, *values[child]);
      release_after_last_use(child, refs, values);
    }
  }
  return std::move(values[circuit.node_count - 1]);
}

struct probability_arithmetic {
  static void literal(rational& v) { mpq_set_ui(v.get(), 1, 2); }
  static void one(rational& v) { mpq_set_ui(v.get(), 1, 1); }
  static void zero(rational& v) { mpq_set_ui(v.get(), 0, 1); }
  static void multiply(rational& v, rational& by) { mpq_mul(v.get(), v.get(), by.get()); }
  static void add(rational& v, rational& term) { mpq_add(v.get(), v.get(), term.get()); }
};

struct integer_arithmetic {
  static void literal(integer& v) { mpz_set_ui(v.get(), 1); }
  static void one(integer& v) { mpz_set_ui(v.get(), 1); }
  static void zero(integer& v) { mpz_set_ui(v.get(), 0); }
  static void multiply(integer& v, integer& by) { mpz_mul(v.get(), v.get(), by.get()); }
  static void add(integer& v, integer& term) { mpz_add(v.get(), v.get(), term.get()); }
};

}  // namespace

std::string count_nnf_models(unsigned var_count, const nnf& circuit) {
  std::unique_ptr<rational> probability = sweep<rational>(circuit, probability_arithmetic{});
  mpq_mul_2exp(probability->get(), probability->get(), var_count);
  return mpz2str(mpq_numref(probability->get()));
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
