#include "hgpart/util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "hgpart/ikeysort.h"

namespace {

bool is_permutation_of_first(const std::vector<int>& perm) {
  std::vector<int> sorted = perm;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < static_cast<int>(sorted.size()); ++i)
    if (sorted[i] != i) return false;
  return true;
}

TEST(Shuffles, QuickShuffleOfFewerThanSixteenItemsMakesNoSwapAndDrawsNothing) {
  for (int n = 0; n < 16; ++n) {
    srand48(7);
    std::vector<int> perm(n, -1);
    QuickShuffle__(n, perm.data());
    std::vector<int> identity(n);
    std::iota(identity.begin(), identity.end(), 0);
    EXPECT_EQ(perm, identity) << "n = " << n;
    const double next = drand48();
    srand48(7);
    EXPECT_EQ(next, drand48()) << "n = " << n;
  }
}

// The draws are part of the behaviour: runs with the same seed must repeat exactly.
TEST(Shuffles, QuickShuffleSwapsBlocksOfFourAtPositionsDrawnFromZeroToNMinusNine) {
  for (int n = 16; n < 48; ++n) {
    srand48(n);
    std::vector<int> expected(n);
    std::iota(expected.begin(), expected.end(), 0);
    for (int s = 0; s < n / 16; ++s) {
      const int a = static_cast<int>(drand48() * (n - 8));
      const int b = static_cast<int>(drand48() * (n - 8));
      ASSERT_LE(std::max(a, b), n - 9);
      for (int k = 0; k < 4; ++k) std::swap(expected[a + k], expected[b + k]);
    }
    srand48(n);
    std::vector<int> perm(n, -1);
    QuickShuffle__(n, perm.data());
    EXPECT_EQ(perm, expected) << "n = " << n;
    EXPECT_TRUE(is_permutation_of_first(perm));
  }
}

TEST(Shuffles, FullShuffleIsAPermutationAndRepeatsWithTheSameSeed) {
  std::vector<int> first(100), second(100);
  std::iota(first.begin(), first.end(), 0);
  std::iota(second.begin(), second.end(), 0);
  srand48(11);
  FullShuffle__(100, first.data());
  srand48(11);
  FullShuffle__(100, second.data());
  EXPECT_TRUE(is_permutation_of_first(first));
  EXPECT_EQ(first, second);
}

TEST(Shuffles, DrawsStayInRangeAndTruncateTowardZero) {
  srand48(5);
  for (int i = 0; i < 10000; ++i) {
    const int r = RandomInRange__(7);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 7);
  }
  srand48(5);
  const double x = drand48();
  srand48(5);
  EXPECT_EQ(RandomInRange__(1000), static_cast<int>(x * 1000));
}

TEST(KeySort, IsStableForNarrowAndWideKeyRanges) {
  for (const int spread : {5, 1 << 20}) {
    std::vector<KeyValueType> items;
    for (int i = 0; i < 3000; ++i) items.push_back(KeyValueType{(i * 7919) % spread - spread / 2, i});
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

TEST(KeySort, OrdersExtremeKeysAsSignedInts) {
  std::vector<KeyValueType> items;
  const int keys[] = {2147483647, -2147483647 - 1, 0, -1, 1, 65536, -65536};
  for (int i = 0; i < 2000; ++i) items.push_back(KeyValueType{keys[i % 7], i});
  ikeysort(static_cast<int>(items.size()), items.data());
  for (std::size_t i = 1; i < items.size(); ++i) {
    ASSERT_LE(items[i - 1].key, items[i].key);
    if (items[i - 1].key == items[i].key) {
      ASSERT_LT(items[i - 1].val, items[i].val);
    }
  }
}

}  // namespace
