#include "nnf/nnf_operations.h"

#include "nnf/circuit_fixtures.h"

using fixtures::dag;
using fixtures::text_of;

namespace {

// (x1 and x2) or (not x1 and x2), x2 shared: L 1|L 2|A 2 0 1|L -1|A 2 3 1|O 1 2 2 4
std::unique_ptr<nnf> shared_literal_circuit() {
  dag d;
  unsigned x1 = d.literal(1), x2 = d.literal(2), nx1 = d.literal(-1);
  d.disj(1, {d.conj({x1, x2}), d.conj({nx1, x2})});
  return d.export_circuit(2);
}

}  // namespace

// Reference counts count every edge and one more for the root; a single constant is its own
// root and never dies.
TEST(RefCounts, CountEveryEdgeAndOneMoreForTheRoot) {
  auto circuit = shared_literal_circuit();
  ASSERT_EQ(text_of(*circuit), "L 1|L 2|A 2 0 1|L -1|A 2 3 1|O 1 2 2 4");
  EXPECT_EQ(get_ref_counts(*circuit), (std::vector<unsigned>{1, 2, 1, 1, 1, 1}));
  dag d;
  unsigned x = d.literal(1);
  d.conj({x, x});
  EXPECT_EQ(get_ref_counts(*d.export_circuit(1)), (std::vector<unsigned>{2, 1}));
  for (const char* constant : {"A 0", "O 0 0"}) {
    auto single = fixtures::circuit_from(constant, 1);
    EXPECT_EQ(get_ref_counts(*single), std::vector<unsigned>{1});
    exist_quantify_nnf({}, *single);
    EXPECT_EQ(text_of(*single), constant);
  }
}

// A shared node dies only after its last parent lets go; a node made true loses its children.
TEST(NodeDeath, ASharedNodeDiesOnlyAfterItsLastParentLetsGo) {
  auto circuit = shared_literal_circuit();
  std::vector<unsigned> refs = get_ref_counts(*circuit);
  remove_edges(circuit->nodes[2], *circuit, refs);  // the first and-node lets go of x1 and x2
  EXPECT_EQ(text_of(*circuit), "dead|L 2|A 0|L -1|A 2 3 1|O 1 2 2 4");
  EXPECT_EQ(refs[1], 1u);
  deref(4, *circuit, refs);
  EXPECT_EQ(text_of(*circuit), "dead|dead|A 0|dead|dead|O 1 2 2 4");
  EXPECT_EQ(circuit->nodes[4].children, nullptr);

  circuit = shared_literal_circuit();
  refs = get_ref_counts(*circuit);
  make_node_true(circuit->nodes[3], *circuit, refs);
  make_node_true(circuit->nodes[5], *circuit, refs);
  EXPECT_EQ(text_of(*circuit), "dead|dead|dead|dead|dead|A 0");
  EXPECT_EQ(circuit->nodes[5].var, 1u) << "the decision variable is left as it was";
  EXPECT_EQ(circuit->nodes[5].children, nullptr);
}

TEST(NodeDeath, ACascadeThroughAMillionLevelsNeedsNoDeepRecursion) {
  const unsigned depth = 1000000;
  auto circuit = new_nnf_structure(depth + 1, depth, 1);
  circuit->nodes[0].type = nnfn_type::pos_literal;
  circuit->nodes[0].size = 1;
  for (unsigned i = 1; i <= depth; ++i) {
    nnfn& node = circuit->nodes[i];
    node.type = i % 2 ? nnfn_type::and_node : nnfn_type::or_node;
    node.size = 1;
    node.children.reset(new unsigned[1]{i - 1});
  }
  std::vector<unsigned> refs = get_ref_counts(*circuit);
  refs[depth] = 1;  // drop the root's own extra count so that it can die
  deref(depth, *circuit, refs);
  for (unsigned i = 0; i <= depth; ++i) ASSERT_EQ(circuit->nodes[i].type, nnfn_type::dead) << i;
}

TEST(DeclareNodeDuplicate, AStandInBelowTheDuplicateSurvivesWhileItsParentsDie) {
  // O(A(x1, s), A(-x1, s)) with s = A(x2, x3): the root is replaced by its grandchild s.
  dag d;
  unsigned s = d.conj({d.literal(2), d.literal(3)});
  d.disj(1, {d.conj({d.literal(1), s}), d.conj({d.literal(-1), s})});
  auto circuit = d.export_circuit(3);
  ASSERT_EQ(text_of(*circuit), "L 1|L 2|L 3|A 2 1 2|A 2 0 3|L -1|A 2 5 3|O 1 2 4 6");
  std::vector<unsigned> refs = get_ref_counts(*circuit);
  declare_node_duplicate(7, 3, *circuit, refs);
  EXPECT_EQ(text_of(*circuit), "dead|L 2|L 3|A 2 1 2|dead|dead|dead|dup 3");
  EXPECT_EQ(refs[7], 0u);
  EXPECT_EQ(refs[3], 1u) << "the root's count moved to the stand-in";

  trim_nnf(*circuit, refs);
  EXPECT_EQ(text_of(*circuit), "L 2|L 3|A 2 0 1");
  EXPECT_EQ(circuit->edge_count, 2u);
}

TEST(UniqueTable, LiveNodesOfEqualTypeAndChildrenMatchWhateverTheDecisionVariable) {
  dag d;
  unsigned x1 = d.literal(1), x2 = d.literal(2);
  unsigned a = d.conj({x1, x2}), o1 = d.disj(1, {x1, x2}), o2 = d.disj(2, {x2, x1});
  d.conj({a, o1, o2});
  auto circuit = d.export_circuit(2);
  ASSERT_EQ(text_of(*circuit), "L 1|L 2|A 2 0 1|O 1 2 0 1|O 2 2 1 0|A 3 2 3 4");
  auto table = construct_un_table(REDUCTION_TABLE_SIZE);
  unsigned result;
  for (unsigned i : {2u, 3u}) {
    ASSERT_FALSE(lookup_node(result, circuit->nodes[i], *circuit, *table)) << "and and or never match";
    insert_node(i, result, *table);
  }
  ASSERT_TRUE(lookup_node(result, circuit->nodes[4], *circuit, *table));
  EXPECT_EQ(result, 3u);
  // The lookup sorts the children of the node it is given; a dead node no longer matches.
  nnfn probe{nnfn_type::and_node, 0, 2, std::unique_ptr<unsigned[]>(new unsigned[2]{1, 0})};
  ASSERT_TRUE(lookup_node(result, probe, *circuit, *table));
  EXPECT_EQ(result, 2u);
  EXPECT_EQ(probe.children[0], 0u);
  std::vector<unsigned> refs = get_ref_counts(*circuit);
  refs[2] = 1;
  deref(2, *circuit, refs);
  EXPECT_FALSE(lookup_node(result, probe, *circuit, *table));
  free_un_table(table);
}

namespace {

// Primality by trial division, independent of the library's search.
bool prime(unsigned n) {
  if (n < 2) return false;
  for (unsigned d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

}  // namespace

TEST(UniqueTable, BucketCountsAreTheNextPrimeUpToTheLimit) {
  for (unsigned wanted = 0; wanted < 5000; ++wanted) {
    unsigned count = prime_bucket_count(wanted, REDUCTION_TABLE_SIZE);
    ASSERT_TRUE(prime(count) && count >= wanted) << wanted;
    for (unsigned n = wanted; n < count; ++n) ASSERT_FALSE(prime(n)) << wanted;
  }
  // The limit wins, prime or not, however many entries are expected.
  EXPECT_EQ(prime_bucket_count(3 * REDUCTION_TABLE_SIZE, REDUCTION_TABLE_SIZE), REDUCTION_TABLE_SIZE);
  EXPECT_EQ(prime_bucket_count(std::uint64_t{1} << 40, 1000), 1000u);
  EXPECT_EQ(prime_bucket_count(992, 1000), 997u);
}
