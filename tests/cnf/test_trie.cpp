#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "cnf/trie.h"

namespace {

using set_list = std::vector<std::vector<int>>;

// The sets with a final 0, as the trie takes them.
set_list terminated(const set_list& sets) {
  set_list result(sets);
  for (std::vector<int>& s : result) s.push_back(0);
  return result;
}

std::vector<int> without_terminator(const void* data) {
  std::vector<int> s = *static_cast<const std::vector<int>*>(data);
  s.pop_back();
  return s;
}

set_list enumerated(const trie_edge* t) {
  set_list result;
  for (void* d : trie_enumerate(t)) result.push_back(without_terminator(d));
  return result;
}

bool is_subset(const std::vector<int>& a, const std::vector<int>& b) {
  return std::includes(b.begin(), b.end(), a.begin(), a.end());
}

trie_edge* trie_of(set_list& sets) {
  trie_edge* t = nullptr;
  for (std::vector<int>& s : sets) t = trie_insert(s.data(), &s, t);
  return t;
}

}  // namespace

TEST(CnfClauseTrie, StoresSetsInLexicographicOrderAndRemovesSupersetsWithThePathsOnlyTheyUsed) {
  set_list sets = terminated({{1, 3, 4}, {2, 3}, {1, 5}, {3, 4, 5}, {-2, 3, 4}});
  trie_edge* t = trie_of(sets);
  EXPECT_EQ(t->label, -2);
  EXPECT_EQ(t->next->label, 1);
  EXPECT_EQ(enumerated(t), (set_list{{-2, 3, 4}, {1, 3, 4}, {1, 5}, {2, 3}, {3, 4, 5}}));
  EXPECT_EQ(trie_count(t), 5u);
  std::vector<void*> removed;
  std::vector<int> query{3, 4, 0};
  t = trie_remove_supersets(query.data(), t, removed);
  EXPECT_EQ(removed, (std::vector<void*>{&sets[4], &sets[0], &sets[3]}));
  EXPECT_EQ(enumerated(t), (set_list{{1, 5}, {2, 3}}));
  EXPECT_EQ(trie_free(t), 4u * 16);

  int chain[] = {1, 4, 9, 0}, empty[] = {0}, data = 0;
  trie_edge* c = indices2trie(chain, &data);
  EXPECT_EQ(c->child->child->label, 9);
  EXPECT_TRUE(c->child->child->leaf && !c->leaf);
  EXPECT_EQ(c->child->child->data, &data);
  EXPECT_EQ(indices2trie(empty, &data), nullptr);
  EXPECT_EQ(trie_free(c), 48u);
}

TEST(CnfClauseTrie, HandlesSetsLongerThanAnyRecursionWouldAllow) {
  std::vector<int> long_set, longer_set;
  for (int i = 1; i <= 200000; ++i) long_set.push_back(i);
  longer_set = long_set;
  longer_set.push_back(200001);
  long_set.push_back(0);
  longer_set.push_back(0);
  trie_edge* t = trie_insert(longer_set.data(), &longer_set, nullptr);
  EXPECT_EQ(trie_get_subset(longer_set.data(), t), &longer_set);
  EXPECT_EQ(trie_get_subset(long_set.data(), t), nullptr);
  EXPECT_EQ(trie_count(t), 1u);
  std::vector<void*> removed;
  t = trie_remove_supersets(long_set.data(), t, removed);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(removed.size(), 1u);
}

// The subsumption loop of the simplifier against sets compared one by one: the trie keeps the
// minimal sets, each once, whatever the order they arrive in.
TEST(CnfClauseTrie, KeepsTheMinimalSetsOfRandomFamilies) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    set_list family;
    unsigned n = 1 + rng() % 40;
    for (unsigned i = 0; i < n; ++i) {
      std::set<int> s;
      unsigned size = 1 + rng() % 4;
      while (s.size() < size) {
        int v = 1 + static_cast<int>(rng() % 6);
        s.insert(rng() % 2 ? v : -v);
      }
      family.emplace_back(s.begin(), s.end());
    }
    set_list sets = terminated(family);
    trie_edge* t = nullptr;
    std::vector<void*> removed;
    for (std::vector<int>& s : sets) {
      std::vector<int> plain(s.begin(), s.end() - 1);
      void* hit = trie_get_subset(s.data(), t);
      bool expected_hit = false;
      for (const std::vector<int>& kept : enumerated(t)) expected_hit |= is_subset(kept, plain);
      ASSERT_EQ(hit != nullptr, expected_hit) << "seed " << seed;
      if (hit) {
        ASSERT_TRUE(is_subset(without_terminator(hit), plain)) << "seed " << seed;
        continue;
      }
      t = trie_remove_supersets(s.data(), t, removed);
      t = trie_insert(s.data(), &s, t);
    }
    std::set<std::vector<int>> minimal;
    for (const std::vector<int>& s : family) {
      bool has_strict_subset = false;
      for (const std::vector<int>& o : family) has_strict_subset |= o.size() < s.size() && is_subset(o, s);
      if (!has_strict_subset) minimal.insert(s);
    }
    set_list expected(minimal.begin(), minimal.end());
    ASSERT_EQ(enumerated(t), expected) << "seed " << seed;
    ASSERT_EQ(trie_count(t), expected.size()) << "seed " << seed;
    trie_free(t);
  }
}
