#include "hgpart/ikeysort.h"

#include <algorithm>
#include <cstdint>

namespace {
// Keys spanning at most this many values (or the item count, if larger) are sorted by counting.
constexpr long kCountingRange = 4096;
// Below this many items a comparison sort beats the passes over the radix counters.
constexpr int kRadixMinItems = 1024;

// Counting sort by slot(key) in [0, nslots): one stable pass.
template <typename Slot>
void counting_pass(int n, std::size_t nslots, Slot slot, KeyValueType* items, KeyValueType* out) {
  hgp_array<int> start(nslots + 1, "HGP: ikeysort counts");
  for (int i = 0; i < n; ++i) ++start[slot(items[i].key) + 1];
  for (std::size_t k = 1; k <= nslots; ++k) start[k] += start[k - 1];
  for (int i = 0; i < n; ++i) out[start[slot(items[i].key)]++] = items[i];
}

// Ascending as signed ints: flipping the sign bit orders them as unsigned values.
std::uint32_t radix_key(int key) { return static_cast<std::uint32_t>(key) ^ 0x80000000u; }
}  // namespace

void ikeysort(int n, KeyValueType* items) {
  if (n < 2) return;
  int lo = items[0].key, hi = items[0].key;
  for (int i = 1; i < n; ++i) {
    lo = std::min(lo, items[i].key);
    hi = std::max(hi, items[i].key);
  }
  const long range = static_cast<long>(hi) - lo;
  hgp_array<KeyValueType> scratch;
  if (range <= std::max<long>(kCountingRange, n)) {
    scratch.allocate(n, "HGP: ikeysort items");
    const auto slot = [lo](int key) { return static_cast<std::size_t>(static_cast<long>(key) - lo); };
    counting_pass(n, static_cast<std::size_t>(range) + 1, slot, items, scratch.data());
    std::copy(scratch.begin(), scratch.end(), items);
  } else if (n >= kRadixMinItems) {
    // Two stable passes of 16 bits each, least significant first.
    scratch.allocate(n, "HGP: ikeysort items");
    counting_pass(n, 1u << 16, [](int key) { return radix_key(key) & 0xffffu; }, items, scratch.data());
    counting_pass(n, 1u << 16, [](int key) { return radix_key(key) >> 16; }, scratch.data(), items);
  } else {
    std::stable_sort(items, items + n, [](const KeyValueType& a, const KeyValueType& b) { return a.key < b.key; });
  }
}
