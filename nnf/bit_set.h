// A set of small numbers (variables as bit v - 1, or node indices) held in an arbitrary-precision
// integer, so that union, difference and counting run word-wise. Shared by the smoothing, the
// decomposability check and the evaluation of the entailment check.
#pragma once

#include <gmp.h>

class bit_set {
 public:
  bit_set() { mpz_init(value_); }
  explicit bit_set(mp_bitcnt_t reserved_bits) { mpz_init2(value_, reserved_bits); }
  ~bit_set() { mpz_clear(value_); }
  bit_set(const bit_set&) = delete;
  bit_set& operator=(const bit_set&) = delete;

  mpz_ptr get() { return value_; }
  mpz_srcptr get() const { return value_; }

 private:
  mpz_t value_;
};

// Calls visit(bit) for every member, in increasing order.
template <typename Visit>
void for_each_member(const bit_set& set, Visit visit) {
  for (mp_bitcnt_t bit = mpz_scan1(set.get(), 0); bit != ~mp_bitcnt_t{0};
       bit = mpz_scan1(set.get(), bit + 1))
    visit(static_cast<unsigned>(bit));
}

// result = from without the members of `without`.
inline void set_difference(bit_set& result, const bit_set& from, const bit_set& without) {
  mpz_xor(result.get(), without.get(), from.get());
  mpz_and(result.get(), result.get(), from.get());
}
