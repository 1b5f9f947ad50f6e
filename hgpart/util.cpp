#include "hgpart/util.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "driver/utility.h"

void hgp_errexit(const char* format, ...) {
  char message[1024];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  fatal_to(stderr, 1, "%s\n", message);
}

void InitRandom__(int seed) { srand48(seed >= 0 ? seed : static_cast<long>(std::time(nullptr))); }

int RandomInRange__(int n) { return static_cast<int>(drand48() * n); }

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
