#include "dtree/hgr.h"

#include "dtree_test_support.h"

using namespace dtree_test;

namespace {

std::vector<unsigned> node_edges(const hgr_node* n) {
  std::vector<unsigned> out;
  for (unsigned i = 0; i < n->edge_count; ++i) out.push_back(n->edges[i]->index);
  return out;
}

std::vector<unsigned> edge_nodes(const hgr_edge* e) {
  std::vector<unsigned> out;
  for (unsigned i = 0; i < e->node_count; ++i) out.push_back(e->nodes[i]->index);
  return out;
}

}  // namespace

TEST(HypergraphOfCnf, HasANodePerClauseAndAnEdgePerVariableWithIncidencesInOrder) {
  auto f = make_cnf(5, {{3, -1}, {1, 2, -3}, {-2}, {4, 1}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  ASSERT_EQ(h->node_count, 4u);
  ASSERT_EQ(h->edge_count, 5u);
  for (unsigned i = 0; i < 4; ++i) EXPECT_EQ(h->nodes[i]->index, i + 1);
  for (unsigned j = 0; j < 5; ++j) EXPECT_EQ(h->edges[j]->index, j + 1);
  EXPECT_EQ(node_edges(h->nodes[0]), (std::vector<unsigned>{3, 1}));  // literal order
  EXPECT_EQ(node_edges(h->nodes[1]), (std::vector<unsigned>{1, 2, 3}));
  EXPECT_EQ(edge_nodes(h->edges[0]), (std::vector<unsigned>{1, 2, 4}));  // clause order
  EXPECT_EQ(edge_nodes(h->edges[2]), (std::vector<unsigned>{1, 2}));
  EXPECT_EQ(h->edges[4]->node_count, 0u) << "a variable of no clause keeps an empty edge";
  // Undo capacity: 2(V + C) + 3 + sum(edge_count + 1) + sum(node_count + 1).
  EXPECT_EQ(h->undo_values.size(), 2u * 9 + 3 + (8 + 4) + (8 + 5));
  EXPECT_EQ(h->undo_addresses.size(), h->undo_values.size());
  EXPECT_EQ(h->undo_top, 0u);
  auto beyond = make_cnf(2, {{1, 3}});
  EXPECT_FATAL(cnf2hgr(beyond.get()), "Clause 1 holds the literal 3, beyond the 2 declared variables");
}

TEST(HypergraphOfCnf, LeavesExcludedVariablesOutAndCountsATrivialPairOnce) {
  DETERMINED_VARS = {0, 1, 0, 0};       // variable 2
  DECOMPOSE_EXCEPT_VARS = {0, 0, 1, 0};  // variable 3
  auto f = make_cnf(4, {{1, 2, 3}, {2, -3}, {4, -4}, {-3, 3}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  EXPECT_EQ(node_edges(h->nodes[0]), (std::vector<unsigned>{1}));
  EXPECT_EQ(h->nodes[1]->edge_count, 0u) << "a clause of excluded variables only has no edge";
  EXPECT_EQ(node_edges(h->nodes[2]), (std::vector<unsigned>{4}));
  EXPECT_EQ(h->nodes[3]->edge_count, 0u);
  EXPECT_EQ(h->edges[1]->node_count, 0u);
  EXPECT_EQ(h->edges[2]->node_count, 0u);
  EXPECT_EQ(edge_nodes(h->edges[3]), (std::vector<unsigned>{3}));
}

TEST(EdgeSets, KeepTheStatedOrdersAndAnswerMembershipByIdentity) {
  auto f = make_cnf(4, {{1, 2, 3, 4}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  auto e31 = edge_set(h.get(), {3, 1}), e12 = edge_set(h.get(), {1, 2}), e312 = edge_set(h.get(), {3, 1, 2});
  auto e23 = edge_set(h.get(), {2, 3}), e1 = edge_set(h.get(), {1}), empty = new_hgr_edges(0);
  EXPECT_EQ(indices(edges_union(e31.get(), e12.get()).get()), (std::vector<unsigned>{3, 1, 2}));
  EXPECT_EQ(indices(edges_intersection(e312.get(), e23.get()).get()), (std::vector<unsigned>{3, 2}));
  EXPECT_EQ(indices(edges_minus(e31.get(), e1.get()).get()), (std::vector<unsigned>{3}));
  EXPECT_EQ(indices(edges_plus(e31.get(), e12.get()).get()), (std::vector<unsigned>{3, 1, 1, 2}));
  EXPECT_EQ(indices(edges_comp(e1.get(), e312.get()).get()), (std::vector<unsigned>{3, 2}));
  EXPECT_EQ(indices(edges_copy(e312.get()).get()), (std::vector<unsigned>{3, 1, 2}));
  EXPECT_EQ(indices(node2edges(h->nodes[0]).get()), (std::vector<unsigned>{1, 2, 3, 4}));
  EXPECT_EQ(edges_intersection(e1.get(), e23.get())->count, 0u);
  EXPECT_TRUE(in_edges(h->edges[2], e31.get()));
  EXPECT_FALSE(in_edges(h->edges[1], e31.get()));
  EXPECT_TRUE(edges_subset(e31.get(), e312.get()));
  EXPECT_FALSE(edges_subset(e312.get(), e31.get()));
  EXPECT_TRUE(edges_subset(empty.get(), e31.get()));
  // Operations nest: a result stays right after another set was stamped in between.
  auto u = edges_union(e31.get(), e312.get());
  EXPECT_TRUE(edges_subset(e312.get(), u.get()) && edges_subset(u.get(), e312.get()));
  // Removing overwrites the first match with the last entry; an absent edge changes nothing.
  auto s = edge_set(h.get(), {1, 2, 3, 4});
  edges_remove_edge(s.get(), 2);
  edges_remove_edge(s.get(), 9);
  EXPECT_EQ(indices(s.get()), (std::vector<unsigned>{1, 4, 3}));
}

TEST(DuplicateNodes, FormGroupsChainedInArrayOrderWithTheFirstAsRepresentative) {
  auto f = make_cnf(4, {{1, 2, 3}, {4}, {3, -2, 1}, {1, 2}, {-1, -2, -3}, {-4}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  EXPECT_EQ(verbose_output([&] { remove_duplicate_nodes(h.get()); }), "(hgr 6->3): ");
  EXPECT_EQ(h->node_count, 3u);
  std::set<unsigned> kept;
  for (unsigned i = 0; i < h->node_count; ++i) kept.insert(h->nodes[i]->index);
  EXPECT_EQ(kept, (std::set<unsigned>{1, 2, 4}));
  hgr_node* n = h->node_block.data();
  EXPECT_EQ(n[0].next, &n[2]);
  EXPECT_EQ(n[2].next, &n[4]);
  EXPECT_EQ(n[4].next, nullptr);
  EXPECT_EQ(n[1].next, &n[5]);
  EXPECT_EQ(n[3].next, nullptr);
  EXPECT_EQ(node_edges(&n[2]), (std::vector<unsigned>{1, 2, 3})) << "edges sorted by index";
  return_duplicate_nodes(h.get());
  EXPECT_EQ(h->node_count, 6u);
  for (unsigned i = 0; i < 6; ++i) EXPECT_EQ(n[i].next, nullptr);
  EXPECT_EQ(h->undo_top, 0u);

  DETERMINED_VARS = {1, 0};  // clauses 1 and 3 have no edge; 2 and 4 are {2}
  auto g = make_cnf(2, {{1}, {2}, {-1}, {2, 1}});
  std::unique_ptr<hgr> hg = cnf2hgr(g.get());
  remove_duplicate_nodes(hg.get());
  EXPECT_EQ(hg->node_count, 2u);
  EXPECT_EQ(hg->node_block[0].next, &hg->node_block[2]);
  return_duplicate_nodes(hg.get());
}

// A copy made in the middle of reductions is the same hypergraph on records of its own: the
// copy's reductions and restores leave the original alone, and its undo stack gives back the
// copy's own counts.
TEST(HypergraphCopy, IsIndependentAndUndoesIntoItself) {
  auto f = make_cnf(6, {{1, 2}, {2, 3}, {1, 2}, {3, 4, 5}, {5, -6}, {-4, 6}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  remove_duplicate_nodes(h.get());
  remove_empty_edges(h.get());
  const hgr_orders start = save_hgr_orders(h.get());
  const unsigned undo_top = h->undo_top, start_nodes = h->node_count;
  std::unique_ptr<hgr> c = copy_hgr(h.get());
  ASSERT_EQ(c->node_count, h->node_count);
  ASSERT_EQ(c->edge_count, h->edge_count);
  for (unsigned i = 0; i < h->node_count; ++i) {
    EXPECT_EQ(c->nodes[i]->index, h->nodes[i]->index);
    EXPECT_EQ(node_edges(c->nodes[i]), node_edges(h->nodes[i]));
    EXPECT_GE(c->nodes[i], c->node_block.data());
    EXPECT_LT(c->nodes[i], c->node_block.data() + c->node_block.size());
  }
  for (unsigned j = 0; j < h->edge_count; ++j) EXPECT_EQ(edge_nodes(c->edges[j]), edge_nodes(h->edges[j]));

  c->nodes[0]->mark = 1;
  c->nodes[1]->mark = 1;
  reduce_hgr(c.get());
  EXPECT_EQ(h->node_count, c->node_count + 2) << "the original keeps its nodes";
  for (unsigned i = 0; i < h->node_count; ++i) EXPECT_EQ(h->nodes[i], start.nodes[i]) << "nor is it permuted";
  restore_hgr(c.get());
  restore_hgr(c.get());  // the empty edges, saved before the copy
  restore_hgr(c.get());  // the duplicates
  EXPECT_EQ(c->undo_top, 0u);
  EXPECT_EQ(c->node_count, static_cast<unsigned>(c->node_block.size()));
  EXPECT_EQ(c->edge_count, static_cast<unsigned>(c->edge_block.size()));
  EXPECT_EQ(h->undo_top, undo_top);
  EXPECT_EQ(h->node_count, start_nodes) << "the copy's undo wrote into its own counts only";
  restore_hgr_orders(start, h.get());
  restore_hgr(h.get());
  return_duplicate_nodes(h.get());
}
