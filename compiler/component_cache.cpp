#include "compiler/component_cache.h"

#include <algorithm>

namespace {

// Bytes an entry takes besides its key, with its index slot, roughly.
constexpr std::size_t ENTRY_OVERHEAD = sizeof(component_cache::entry) + 48;

constexpr std::size_t LONGEST_VARINT = 5;

// Writes x at `out`, which has room for LONGEST_VARINT bytes; returns the byte after it.
std::uint8_t* put_varint(std::uint32_t x, std::uint8_t* out) {
  while (x >= 0x80) {
    *out++ = static_cast<std::uint8_t>(x | 0x80);
    x >>= 7;
  }
  *out++ = static_cast<std::uint8_t>(x);
  return out;
}

std::uint64_t hash_bytes(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t h = 0xCBF29CE484222325ull ^ size;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word = 0;
    for (int b = 0; b < 8; ++b) word |= std::uint64_t{bytes[i + b]} << (8 * b);
    h = (h ^ word) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  for (; i < size; ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
  return h ^ (h >> 32);
}

std::size_t key_bytes(const component_cache& c, const prepared_key& key) { return c.open_keys.size() - key.offset; }

bool same_key(const component_cache& c, const component_cache::entry& e, const prepared_key& key) {
  auto first = c.open_keys.begin() + static_cast<std::ptrdiff_t>(key.offset);
  return e.key_size == key_bytes(c, key) &&
         std::equal(first, c.open_keys.end(), c.keys.begin() + static_cast<std::ptrdiff_t>(e.key_offset));
}

// The newer half stays, its keys moved to the front.
void drop_older_half(component_cache& c) {
  std::size_t first = (c.entries.size() + 1) / 2;
  std::size_t key_start = first < c.entries.size() ? c.entries[first].key_offset : c.keys.size();
  c.keys.erase(c.keys.begin(), c.keys.begin() + static_cast<std::ptrdiff_t>(key_start));
  c.entries.erase(c.entries.begin(), c.entries.begin() + static_cast<std::ptrdiff_t>(first));
  c.index.clear();
  for (std::size_t i = 0; i < c.entries.size(); ++i) {
    c.entries[i].key_offset -= key_start;
    c.index.emplace(c.entries[i].hash, i);
  }
}

}  // namespace

// The key's numbers are sorted within its two lists, so each is written as its difference to the
// one before; so are the literals of each clause written out. The clause count makes the end of
// the key's lists plain.
prepared_key prepare_key(component_cache& c, const std::uint32_t* key, std::uint32_t size,
                         const std::vector<std::uint32_t>& listed) {
  std::size_t offset = c.open_keys.size();
  c.open_keys.resize(offset + LONGEST_VARINT * (std::size_t{size} + 1 + listed.size()));
  std::uint8_t* out = c.open_keys.data() + offset;
  std::uint32_t var_count = key[0];
  out = put_varint(var_count, out);
  out = put_varint(size - 1 - var_count, out);
  std::uint32_t previous = 0;
  for (std::uint32_t i = 1; i < size; ++i) {
    if (i == var_count + 1) previous = 0;
    out = put_varint(key[i] - previous, out);
    previous = key[i];
  }
  for (std::size_t i = 0; i < listed.size();) {
    std::uint32_t clause_size = listed[i++];
    out = put_varint(clause_size, out);
    previous = 0;
    for (std::uint32_t j = 0; j < clause_size; ++j, ++i) {
      out = put_varint(listed[i] - previous, out);
      previous = listed[i];
    }
  }
  c.open_keys.resize(static_cast<std::size_t>(out - c.open_keys.data()));
  return {hash_bytes(c.open_keys.data() + offset, c.open_keys.size() - offset), offset};
}

nnf_node* lookup_component(component_cache& c, const prepared_key& key) {
  auto found = c.index.find(key.hash);
  if (found != c.index.end() && same_key(c, c.entries[found->second], key)) {
    ++c.hits;
    return c.entries[found->second].circuit;
  }
  ++c.misses;
  return nullptr;
}

// A key whose hash another key holds already is not kept: it is simply computed again.
void insert_component(component_cache& c, const prepared_key& key, nnf_node* circuit) {
  if (cache_memory(c) > c.memory_limit) drop_older_half(c);
  if (!c.index.emplace(key.hash, c.entries.size()).second) return;
  c.entries.push_back({key.hash, c.next_number++, c.keys.size(), static_cast<std::uint32_t>(key_bytes(c, key)), circuit});
  c.keys.insert(c.keys.end(), c.open_keys.begin() + static_cast<std::ptrdiff_t>(key.offset), c.open_keys.end());
}

void release_key(component_cache& c, const prepared_key& key) { c.open_keys.resize(key.offset); }

std::uint64_t cache_mark(const component_cache& c) { return c.next_number; }

void forget_entries_since(std::uint64_t mark, component_cache& c) {
  while (!c.entries.empty() && c.entries.back().number >= mark) {
    const component_cache::entry& e = c.entries.back();
    c.index.erase(e.hash);
    c.keys.resize(e.key_offset);
    c.entries.pop_back();
  }
}

std::size_t cache_memory(const component_cache& c) { return c.keys.size() + c.entries.size() * ENTRY_OVERHEAD; }
