// The partitioner's failure path, its random generator and the two shuffles built on it.
#pragma once

#include <string>

// A failure inside the partitioner: a bad argument, a scheme it does not have, memory it cannot
// get. Thrown where it happens and caught at the entry, which returns HGP_ERROR; the arrays on
// the way free themselves.
struct hgp_error {
  std::string message;
};

// Throws an hgp_error with the formatted message.
[[noreturn]] void hgp_fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The partitioner's generator is drand48's (the same numbers for the same seed), kept per thread
// so that bisections running side by side draw independent streams.
// Seeds it with the seed, or with the current time in whole seconds when it is negative.
void InitRandom__(int seed);

// The next number of the generator, uniform in [0, 1).
double RandomDraw__();

// A position drawn uniformly from 0 to n - 1 (the draw scaled, truncated toward zero).
int RandomInRange__(int n);

// n times, swaps the entries at two drawn positions of perm[0, n).
void FullShuffle__(int n, int* perm);

// Sets perm[0, n) to the identity, then n / 16 times swaps two blocks of four consecutive entries
// whose starts are drawn from 0 to n - 9. Fewer than 16 entries stay in order.
void QuickShuffle__(int n, int* perm);
