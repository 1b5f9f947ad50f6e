#include "hgpart/memory.h"

#include <climits>

#include "hgpart/util.h"

void hgp_allocation_failed(const char* name, std::size_t bytes) {
  // The message reports an int, as the partitioner's arrays are indexed by ints; larger requests
  // show the largest int rather than a wrapped value.
  const int shown = bytes > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(bytes);
  hgp_fail("Memory allocation failed for %s. Requested size: %d bytes\n", name, shown);
}
