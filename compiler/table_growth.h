// How the compiler's hash tables (the unique table and the cache's buckets) grow: they start
// sized by the formula, so that a small formula does not pay for the buckets a large one needs,
// and grow up to a limit as entries come.
#pragma once

#include <cstdint>

#include "nnf/nnf_operations.h"

// Past one entry per two buckets, until the limit: chains then stay about as short as a table of
// the limit's size keeps them on a large circuit, and every lookup of the search walks one.
inline bool table_outgrown(std::uint64_t entries, unsigned buckets, unsigned limit) {
  return entries > buckets / 2 && buckets < limit;
}

// Fourfold, so that all the rehashing together moves fewer than 4/3 entries per entry.
inline unsigned grown_bucket_count(unsigned buckets, unsigned limit) {
  return prime_bucket_count(4 * std::uint64_t{buckets}, limit);
}
