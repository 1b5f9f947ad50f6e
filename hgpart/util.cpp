#include "hgpart/util.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>


void hgp_fail(const char* format, ...) {
  char message[1024];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  throw hgp_error{message};
}

namespace {
// drand48's linear congruential generator on 48 bits, and its state before any seeding.
constexpr std::uint64_t RANDOM_MULTIPLIER = 0x5DEECE66Dull, RANDOM_INCREMENT = 0xB;
constexpr std::uint64_t RANDOM_MASK = (std::uint64_t{1} << 48) - 1;
thread_local std::uint64_t random_state = 0x1234ABCD330Eull;
}  // namespace

void InitRandom__(int seed) {
  const long value = seed >= 0 ? seed : static_cast<long>(std::time(nullptr));
  random_state = (static_cast<std::uint64_t>(value & 0xFFFFFFFF) << 16) | 0x330E;
}

double RandomDraw__() {
  random_state = (RANDOM_MULTIPLIER * random_state + RANDOM_INCREMENT) & RANDOM_MASK;
  return static_cast<double>(random_state) * 0x1p-48;  // exact: 48 bits fit a double
}

int RandomInRange__(int n) { return static_cast<int>(RandomDraw__() * n); }

void FullShuffle__(int n, int* perm) {
  for (int i = 0; i < n; ++i) {
    const int a = RandomInRange__(n);
    const int b = RandomInRange__(n);
    std::swap(perm[a], perm[b]);
  }
}

void QuickShuffle__(int n, int* perm) {
  for (int i = 0; i < n; ++i) perm[i] = i;
  for (int i = 0; i < n / 16; ++i) {
    const int a = RandomInRange__(n - 8);
    const int b = RandomInRange__(n - 8);
    for (int k = 0; k < 4; ++k) std::swap(perm[a + k], perm[b + k]);
  }
}
