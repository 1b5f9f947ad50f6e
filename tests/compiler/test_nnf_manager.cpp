#include <functional>

#include "cnf/unit_resolution.h"
#include "compiler_fixture.h"
#include "nnf/nnf_operations.h"
#include "nnf/save_load.h"

using compiler_test::compiler_setup;
using compiler_test::set_up;
using tarn_test::capture_exit;
using tarn_test::make_cnf;

namespace {

// The value of a node of the manager under an assignment (bit v - 1 for variable v).
bool evaluate(const nnf_node* n, unsigned assignment) {
  if (n == ONE_NNF_NODE) return true;
  if (n == ZERO_NNF_NODE) return false;
  if (n->type() == NNF_POS_LITERAL) return (assignment >> (n->var - 1)) & 1;
  if (n->type() == NNF_NEG_LITERAL) return !((assignment >> (n->var - 1)) & 1);
  bool is_and = n->type() == NNF_AND;
  for (unsigned i = 0; i < n->child_count(); ++i)
    if (evaluate(n->children()[i], assignment) != is_and) return !is_and;
  return is_and;
}

void expect_function(const nnf_node* n, unsigned vars, const std::function<bool(unsigned)>& expected) {
  for (unsigned a = 0; a < (1u << vars); ++a) EXPECT_EQ(evaluate(n, a), expected(a)) << "assignment " << a;
}

bool bit(unsigned a, unsigned v) { return (a >> (v - 1)) & 1; }

}  // namespace

TEST(NnfManager, AndAndOrNodesAreUniqueWhateverTheOrderOfTheirChildren) {
  compiler_setup s = set_up(make_cnf(3, {{1, 2}, {2, 3}}));
  nnf_node* a[] = {s.node(1), s.node(-2), s.node(3)};
  nnf_node* b[] = {s.node(3), s.node(1), s.node(-2)};
  nnf_node* made = get_and_node(3, a, s.nm.get());
  EXPECT_EQ(get_and_node(3, b, s.nm.get()), made);
  nnf_node* fewer[] = {s.node(1), s.node(3)};
  EXPECT_NE(get_and_node(2, fewer, s.nm.get()), made);
  EXPECT_EQ(s.nm->and_count, 3u);
  // Or-nodes of one pair are one node, keeping the first variable.
  nnf_node* first = get_or_node(1, s.node(1), s.node(2), s.nm.get());
  nnf_node* second = get_or_node(2, s.node(2), s.node(1), s.nm.get());
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->size, 1u);
}

TEST(NnfManager, DisjunctionsSimplifyConstantsComplementsAndEntailedOperands) {
  compiler_setup s = set_up(make_cnf(3, {{1, 2}, {2, 3}}));
  nnf_manager* nm = s.nm.get();
  EXPECT_EQ(disjoin_nnfs_i(1, s.node(1), s.node(-1), nm), ONE_NNF_NODE);
  EXPECT_EQ(disjoin_nnfs_i(2, s.node(2), ZERO_NNF_NODE, nm), s.node(2));
  EXPECT_EQ(disjoin_nnfs_i(2, ZERO_NNF_NODE, s.node(2), nm), s.node(2));
  EXPECT_EQ(disjoin_nnfs_i(2, s.node(2), ONE_NNF_NODE, nm), ONE_NNF_NODE);

  nnf_node* pair[] = {s.node(1), s.node(2)};
  nnf_node* both = get_and_node(2, pair, nm);
  // Without a decision variable, a disjunct that entails the other is absorbed.
  EXPECT_EQ(disjoin_nnfs_i(0, s.node(3), s.node(3), nm), s.node(3));
  EXPECT_EQ(disjoin_nnfs_i(0, both, s.node(1), nm), s.node(1));
  nnf_node* either = get_or_node(3, s.node(3), both, nm);
  EXPECT_EQ(disjoin_nnfs_i(0, s.node(3), either, nm), either);
  // A decision keeps both branches.
  nnf_node* decision = disjoin_nnfs_i(1, both, s.node(1), nm);
  EXPECT_EQ(decision->type(), NNF_OR);
  EXPECT_EQ(decision->size, 1u);
}

TEST(NnfManager, AClauseBecomesADeterministicDisjunctionOfItsOpenLiterals) {
  compiler_setup s = set_up(make_cnf(4, {{3, -1, 2}, {4, -4}, {1, 2, 3, 4}}));
  const clause* c = index2clausep(1, s.cm.get());
  nnf_node* n = clause2nnf_node(c, s.nm.get());
  // Literals sorted by id (-1, 2, 3): -1 or (1 and (2 or (-2 and 3))).
  ASSERT_EQ(n->type(), NNF_OR);
  EXPECT_EQ(n->size, 1u);
  EXPECT_EQ(n->children()[0], s.node(-1));
  expect_function(n, 4, [](unsigned a) { return !bit(a, 1) || bit(a, 2) || bit(a, 3); });

  // Unit resolution: 2 and 3 false leave the literal -1 alone.
  ASSERT_TRUE(assert_unit_clause(s.lit(-2), s.cm.get()));
  ASSERT_TRUE(assert_unit_clause(s.lit(-3), s.cm.get()));
  EXPECT_EQ(clause2nnf_node(c, s.nm.get()), s.node(-1));
  undo_assert_unit_clauses(s.cm.get());
}

TEST(NnfManager, AClauseWithAllLiteralsFalseIsFalseAndOneWithAForgottenVariableIsTrue) {
  compiler_setup s = set_up(make_cnf(3, {{1, 2}, {2, 3}}));
  const clause* c = index2clausep(1, s.cm.get());
  s.lit(1)->false_level = 1;
  s.lit(2)->false_level = 1;
  EXPECT_EQ(clause2nnf_node(c, s.nm.get()), ZERO_NNF_NODE);
  s.lit(1)->false_level = 0;
  s.lit(2)->false_level = 0;
  index2varp(2, s.cm.get())->exist = 1;
  EXPECT_EQ(clause2nnf_node(c, s.nm.get()), ONE_NNF_NODE);
}

TEST(NnfManager, AnEclauseBecomesExactlyOneOfItsOpenLiterals) {
  compiler_setup s = set_up(make_cnf(4, {{4, 1}, {1, -2, 3}}, 1));
  const clause* e = index2clausep(2, s.cm.get());
  ASSERT_TRUE(e->eclause);
  nnf_node* n = clause2nnf_node(e, s.nm.get());
  expect_function(n, 4, [](unsigned a) { return bit(a, 1) + !bit(a, 2) + bit(a, 3) == 1; });

  // A forgotten member leaves "at most one of the others".
  index2varp(3, s.cm.get())->exist = 1;
  nnf_node* projected = clause2nnf_node(e, s.nm.get());
  expect_function(projected, 4, [](unsigned a) { return bit(a, 1) + !bit(a, 2) <= 1; });

  // With every member false there is no model; with one open member it must be true.
  index2varp(3, s.cm.get())->exist = 0;
  s.lit(1)->false_level = 1;
  s.lit(-2)->false_level = 1;
  EXPECT_EQ(clause2nnf_node(e, s.nm.get()), s.node(3));
  s.lit(3)->false_level = 1;
  EXPECT_EQ(clause2nnf_node(e, s.nm.get()), ZERO_NNF_NODE);
}

TEST(NnfManager, SuppressedNegativeLiteralsLeaveOnlyTheTrueNode) {
  SUPPRESS_AND_NL_EDGES = true;
  compiler_setup s = set_up(make_cnf(3, {{1, 2}, {2, 3}}));
  nnf_node* negatives[] = {s.node(-1), s.node(-2)};
  EXPECT_EQ(get_and_node(2, negatives, s.nm.get()), ONE_NNF_NODE);
  nnf_node* mixed[] = {s.node(-1), s.node(2)};
  nnf_node* kept = get_and_node(2, mixed, s.nm.get());
  ASSERT_EQ(kept->type(), NNF_AND);
  EXPECT_EQ(kept->size, 1u);
  EXPECT_EQ(kept->children()[0], s.node(2));
}

TEST(NnfManager, MinimumCardinalityKeepsTheLighterBranchWithoutAnOrNode) {
  MIN_CARD = true;
  compiler_setup s = set_up(make_cnf(3, {{1, 2}, {2, 3}}));
  EXPECT_EQ(ZERO_NNF_NODE->cardinality(), 0xFFFFFFu);
  nnf_node* pair[] = {s.node(1), s.node(2)};
  nnf_node* two = get_and_node(2, pair, s.nm.get());
  EXPECT_EQ(two->cardinality(), 2u);
  unsigned or_nodes = s.nm->or_count;
  EXPECT_EQ(get_or_node(1, two, s.node(-1), s.nm.get()), s.node(-1));
  EXPECT_EQ(s.nm->or_count, or_nodes);
}

TEST(NnfManager, SavingAndExtractingWriteTheSameCircuitFileAndAFalseRootAsOneNode) {
  compiler_setup s = set_up(make_cnf(3, {{1, 2}, {2, 3}}));
  nnf_manager* nm = s.nm.get();
  nnf_node* left[] = {s.node(1), s.node(-2)};
  nnf_node* right[] = {s.node(-1), s.node(3)};
  nnf_node* shared = get_and_node(2, left, nm);
  nnf_node* top[] = {shared, get_or_node(1, shared, get_and_node(2, right, nm), nm)};
  nm->root = get_and_node(2, top, nm);
  tarn_test::temp_dir dir;
  save_nnf_manager_to_file(dir.file("saved.nnf").c_str(), nm);
  std::unique_ptr<nnf> circuit = extract_nnf_from_manager(nm);
  save_nnf_to_file(dir.file("extracted.nnf").c_str(), *circuit);
  EXPECT_EQ(tarn_test::read_file(dir.file("saved.nnf")), tarn_test::read_file(dir.file("extracted.nnf")));
  EXPECT_EQ(tarn_test::read_file(dir.file("saved.nnf")),
            "nnf 8 8 3\nL 1\nL -2\nA 2 0 1\nL -1\nL 3\nA 2 3 4\nO 1 2 2 5\n"
            "A 2 2 6\n");
  nm->root = ZERO_NNF_NODE;
  save_nnf_manager_to_file(dir.file("false.nnf").c_str(), nm);
  EXPECT_EQ(tarn_test::read_file(dir.file("false.nnf")), "nnf 1 0 3\nO 0 0\n");
}

TEST(NnfManager, ABlockSizeOfZeroIsOutOfMemory) {
  MAX_NNF_MEMORY_BLOCK = 0;
  auto formula = make_cnf(2, {{1, 2}});
  tarn_test::exit_outcome outcome = capture_exit([&] { compiler_setup s = set_up(std::move(formula)); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "\nOut of memory for storing NNF.");
}

// A conjunction longer than a block must not run past the end of any block.
TEST(NnfManager, ANodeLargerThanABlockGetsABlockOfItsOwn) {
  MAX_NNF_MEMORY_BLOCK = 1 << 20;
  const unsigned vars = 300000;
  compiler_setup s = set_up(make_cnf(vars, {{1, 2}}));
  std::vector<nnf_node*> literals;
  for (unsigned v = 1; v <= vars; ++v) literals.push_back(s.node(static_cast<int>(v)));
  nnf_node* all = get_and_node(vars, literals.data(), s.nm.get());
  ASSERT_EQ(all->size, vars);
  EXPECT_EQ(all->children()[vars - 1], s.node(static_cast<int>(vars)));
  nnf_node* pair[] = {s.node(1), s.node(2)};
  EXPECT_EQ(get_and_node(2, pair, s.nm.get())->size, 2u);
  EXPECT_EQ(all->children()[0], s.node(1));
}

namespace {

// The and-node of the pair-th distinct pair of a positive and a negative literal, 24 bytes.
nnf_node* pair_node(unsigned pair, compiler_setup& s) {
  int vars = static_cast<int>(s.nm->var_count);
  int positive = 1 + static_cast<int>(pair) % vars;
  int negative = 1 + static_cast<int>(pair) / vars;
  nnf_node* children[] = {s.node(positive), s.node(-negative)};
  return get_and_node(2, children, s.nm.get());
}

// Makes new pair nodes until the manager's node memory reaches `bytes`; returns what was printed.
std::string make_nodes_until(std::uint32_t bytes, unsigned* made, compiler_setup& s) {
  return tarn_test::verbose_output([&] {
    while (s.nm->memory < bytes) pair_node((*made)++, s);
  });
}

}  // namespace

// Blocks start small and grow, but a block is reported only when the nodes outgrow another block
// of the configured size; the small first blocks do not count as below the 1 MB minimum.
TEST(NnfManager, ReportsABlockEachTimeTheNodesOutgrowAnotherBlockOfTheConfiguredSize) {
  MAX_NNF_MEMORY_BLOCK = 1 << 20;
  compiler_setup s = set_up(make_cnf(600, {{1, 2}}));
  unsigned made = 0;
  EXPECT_EQ(make_nodes_until(900 << 10, &made, s), "");
  EXPECT_EQ(make_nodes_until(5 << 19, &made, s), " [1 MBs]  [1 MBs] ");
  // The nodes on both sides of every block boundary are intact and still found.
  unsigned nodes = s.nm->node_count;
  for (unsigned pair = 0; pair < made; ++pair) ASSERT_EQ(pair_node(pair, s)->size, 2u);
  EXPECT_EQ(s.nm->node_count, nodes);
}

TEST(NnfManager, ABlockSizeOfZeroEndsTheRunOutOfMemoryBeforeCompiling) {
  tarn_test::temp_dir dir;
  dir.write("f.cnf", "p cnf 2 1\n1 2 0\n");
  tarn_test::run_result run = tarn_test::run_tarn({"-in", "f.cnf", "-nnf_block_size", "0"}, dir.path());
  EXPECT_EQ(run.status, 1);
  const std::string message = "\nOut of memory for storing NNF.\n";
  ASSERT_GE(run.out.size(), message.size());
  EXPECT_EQ(run.out.substr(run.out.size() - message.size()), message);
  EXPECT_EQ(run.out.find("Compiling"), std::string::npos);
  EXPECT_FALSE(tarn_test::file_exists(dir.file("f.cnf.nnf")));
}
