#include "hgpart/util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <thread>
#include <vector>

#include "hgpart/ikeysort.h"

namespace {

// The draws are part of the behaviour: runs with the same seed must repeat exactly. Below 16
// items nothing is swapped or drawn; above, n / 16 blocks of four swap at positions drawn from
// 0 to n - 9.
TEST(Shuffles, QuickShuffleSwapsBlocksOfFourAtDrawnPositions) {
  for (int n = 0; n < 48; ++n) {
    InitRandom__(n);
    std::vector<int> expected(n);
    std::iota(expected.begin(), expected.end(), 0);
    for (int s = 0; s < n / 16; ++s) {
      const int a = static_cast<int>(RandomDraw__() * (n - 8));
      const int b = static_cast<int>(RandomDraw__() * (n - 8));
      for (int k = 0; k < 4; ++k) std::swap(expected[a + k], expected[b + k]);
    }
    const double next = RandomDraw__();
    InitRandom__(n);
    std::vector<int> perm(n, -1);
    QuickShuffle__(n, perm.data());
    EXPECT_EQ(perm, expected) << "n = " << n;
    EXPECT_EQ(RandomDraw__(), next) << "n = " << n;
  }
  std::vector<int> identity(100);
  std::iota(identity.begin(), identity.end(), 0);
  std::vector<int> first = identity, second = identity;
  InitRandom__(11);
  FullShuffle__(100, first.data());
  InitRandom__(11);
  FullShuffle__(100, second.data());
  EXPECT_EQ(first, second);
  EXPECT_TRUE(std::is_permutation(first.begin(), first.end(), identity.begin()));
}

// Seeded alike, the generator repeats drand48's stream; each thread has a stream of its own.
TEST(Shuffles, GeneratorIsDrand48PerThread) {
  for (const int seed : {0, 1, 12345, 2147483647}) {
    srand48(seed);
    InitRandom__(seed);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(RandomDraw__(), drand48()) << "seed " << seed << ", draw " << i;
  }
  InitRandom__(7);
  const double first = RandomDraw__();
  InitRandom__(7);
  std::thread other([] {
    InitRandom__(8);
    for (int i = 0; i < 100; ++i) RandomDraw__();
  });
  other.join();
  EXPECT_EQ(RandomDraw__(), first);
}

// Stable for narrow and wide key ranges, extreme keys ordered as signed ints.
TEST(KeySort, IsAStableSortOfSignedKeys) {
  const int extremes[] = {2147483647, -2147483647 - 1, 0, -1, 1, 65536, -65536};
  for (const int spread : {5, 1 << 20, 0}) {
    std::vector<KeyValueType> items;
    for (int i = 0; i < 3000; ++i)
      items.push_back(KeyValueType{spread ? (i * 7919) % spread - spread / 2 : extremes[i % 7], i});
    std::vector<KeyValueType> expected = items;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const KeyValueType& a, const KeyValueType& b) { return a.key < b.key; });
    ikeysort(static_cast<int>(items.size()), items.data());
    for (std::size_t i = 0; i < items.size(); ++i) {
      ASSERT_EQ(items[i].key, expected[i].key) << "spread " << spread;
      ASSERT_EQ(items[i].val, expected[i].val) << "spread " << spread;
    }
  }
}

}  // namespace
