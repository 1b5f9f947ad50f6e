// The orders trailer of the dtree file: a saved tree loads back with every set in the order it
// had, a file of records alone loads as before, and a bad trailer makes the file corrupt.
#include "dtree/elm_orders.h"
#include "dtree/hdtree.h"
#include "dtree/minfill.h"
#include "dtree_test_support.h"

using namespace dtree_test;

namespace {

std::unique_ptr<cnf> three_clauses() { return make_cnf(4, {{1, 2}, {2, 3}, {3, 4}}); }

void list_set(std::string& text, const char* name, const hgr_edges* set) {
  text += " ";
  text += name;
  for (unsigned v : indices(set)) text += " " + std::to_string(v);
}

// One line per node in pre-order: number, clause, and every set in its order.
std::string listing(const hdtree* t) {
  std::string text;
  std::vector<const hdtree*> pending{t};
  while (!pending.empty()) {
    const hdtree* node = pending.back();
    pending.pop_back();
    text += std::to_string(node->index) + " L" + std::to_string(node->clause);
    list_set(text, "cut", node->cutset.get());
    list_set(text, "sep", node->separator.get());
    list_set(text, "ctx", node->context.get());
    text += "\n";
    if (node->left) pending.insert(pending.end(), {node->right.get(), node->left.get()});
  }
  return text;
}

std::unique_ptr<hdtree> build(const cnf* f, hgr* h, int method, std::mt19937& rng) {
  if (method != 5) return cnf2hdtree(f, h, method, nullptr);
  std::vector<unsigned> blocks(f->var_count);
  for (unsigned& b : blocks) b = rng() % 3;
  std::vector<unsigned> order = cnf2minfill_order(f, blocks);
  return cnf2hdtree(f, h, method, &order);
}

std::unique_ptr<hdtree> load_text(const temp_dir& dir, const std::string& text, hgr* h) {
  return load_hdtree_from_file(dir.write("t.dtree", text).c_str(), h);
}

}  // namespace

// Built trees list their sets in orders of their own (bisection: cut edges first; vines of
// duplicate clauses: the clause's variables; elimination orders: unions with variables taken
// out), which the records alone do not give back; the trailer does, and with it the variable
// order that lays out the CNF manager.
TEST(DtreeFileOrders, GiveBackEverySetOfABuiltTreeInItsOrder) {
  const unsigned seed = 7;
  std::mt19937 rng(seed);
  temp_dir dir;
  std::string path = dir.file("t.dtree");
  HDTREE_TRIES = 3;
  RUN_SEED = seed;
  for (int method : {0, 1, 2, 3, 4, 5}) {
    int needed_trailer = 0;
    for (int round = 0; round < 60; ++round) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " method " + std::to_string(method) + " round " +
                   std::to_string(round));
      auto f = random_cnf(rng, 12, 18);
      std::unique_ptr<hgr> h = cnf2hgr(f.get());
      std::unique_ptr<hdtree> built = build(f.get(), h.get(), method, rng);
      save_hdtree_to_file(path.c_str(), built.get(), h.get());
      std::unique_ptr<hgr> fresh = cnf2hgr(f.get());
      std::unique_ptr<hdtree> loaded = load_hdtree_from_file(path.c_str(), fresh.get());
      ASSERT_EQ(listing(loaded.get()), listing(built.get()));
      EXPECT_EQ(hdtree2edge_order(loaded.get(), fresh.get()), hdtree2edge_order(built.get(), h.get()));
      EXPECT_EQ(hdtree2node_order(loaded.get(), fresh.get()), hdtree2node_order(built.get(), h.get()));

      std::unique_ptr<hgr> plain_h = cnf2hgr(f.get());
      std::unique_ptr<hdtree> plain = dtree_skeleton2hdtree(load_dtree_skeleton_from_file(path.c_str()), plain_h.get());
      needed_trailer += listing(plain.get()) != listing(built.get());
    }
    EXPECT_GT(needed_trailer, 0) << "no round of method " << method << " had orders the records miss";
  }
}

TEST(DtreeFileOrders, SavingALoadedTreeWritesTheSameFile) {
  temp_dir dir;
  auto f = three_clauses();
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  const std::string reordered = "orders\ncut 1 ctx 2\ncut ctx 2 3\ncut 2 sep 2 ctx 3\ncut 4 ctx 3\ncut 3 sep 3 ctx\n";
  std::unique_ptr<hdtree> t = load_text(dir, THREE_CLAUSE_FILE + reordered, h.get());
  check_hdtree(t.get(), h.get());
  EXPECT_EQ(indices(t->left->right->context.get()), (std::vector<unsigned>{2, 3}));
  save_hdtree_to_file(dir.file("out.dtree").c_str(), t.get(), h.get());
  EXPECT_EQ(read_file(dir.file("out.dtree")), THREE_CLAUSE_FILE + reordered);
}

TEST(DtreeFileOrders, AreReadAcrossAnyWhiteSpace) {
  temp_dir dir;
  auto f = three_clauses();
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = load_text(
      dir, std::string(THREE_CLAUSE_FILE) + "orders cut 1 ctx 2 cut ctx 2\t3\r\ncut\n2 sep 2 ctx 3 cut 4 ctx 3 cut 3 sep 3 ctx",
      h.get());
  EXPECT_EQ(indices(t->left->right->context.get()), (std::vector<unsigned>{2, 3}));
}

// Records alone, or followed by anything that does not start with the word "orders", give the
// tree that the skeleton gives, as before the trailer existed.
TEST(DtreeFileOrders, AreNotNeededByAFileOfRecordsAlone) {
  temp_dir dir;
  auto f = make_cnf(6, {{3, 1, 2}, {2, -3, 4}, {4, 5}, {-5, 1}, {5, 6, 2}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  const std::string records = "dtree 9\nL 0\nL 3\nI 0 1\nL 1\nL 2\nL 4\nI 4 5\nI 3 6\nI 2 7\n";
  std::vector<unsigned> skeleton = load_dtree_skeleton_from_file(dir.write("plain.dtree", records).c_str());
  const std::string expected = listing(dtree_skeleton2hdtree(skeleton, h.get()).get());
  for (const std::string& after : {std::string(), std::string("\n\n"), std::string("ordersX 1 2\n"),
                                   std::string("c a comment\n"), std::string("cut 1 ctx 2\n")}) {
    std::unique_ptr<hgr> fresh = cnf2hgr(f.get());
    EXPECT_EQ(listing(load_text(dir, records + after, fresh.get()).get()), expected) << after;
  }
}

TEST(DtreeFileOrders, AreSkippedByTheSkeletonReader) {
  temp_dir dir;
  std::string with_orders = dir.write("o.dtree", std::string(THREE_CLAUSE_FILE) + THREE_CLAUSE_ORDERS);
  std::string plain = dir.write("p.dtree", THREE_CLAUSE_FILE);
  EXPECT_EQ(load_dtree_skeleton_from_file(with_orders.c_str()), load_dtree_skeleton_from_file(plain.c_str()));
}

TEST(DtreeFileOrders, OfOneClauseListItsCutsetAndAnEmptyContext) {
  temp_dir dir;
  auto f = make_cnf(3, {{3, -1}});
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::unique_ptr<hdtree> t = load_text(dir, "dtree 1\nL 0\norders\ncut 1 3 ctx\n", h.get());
  EXPECT_EQ(indices(t->cutset.get()), (std::vector<unsigned>{1, 3}));
  EXPECT_FATAL(load_text(dir, "dtree 1\nL 0\norders\ncut 1 3 sep ctx\n", h.get()), "\nDtree file corrupt");
}

// Every line must list exactly the sets that the records imply, in the fixed order of words.
TEST(DtreeFileOrders, ThatDoNotListTheImpliedSetsMakeTheFileCorrupt) {
  temp_dir dir;
  auto f = three_clauses();
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  const std::string lines[] = {"cut 1 ctx 2", "cut ctx 3 2", "cut 2 sep 2 ctx 3", "cut 4 ctx 3", "cut 3 sep 3 ctx"};
  // The trailer with line i replaced (i = 5: one line more).
  auto trailer_with = [&](std::size_t i, const std::string& line) {
    std::string text = std::string(THREE_CLAUSE_FILE) + "orders\n";
    for (std::size_t k = 0; k < 5; ++k) text += (k == i ? line : lines[k]) + "\n";
    return i == 5 ? text + line + "\n" : text;
  };
  const std::vector<std::string> corrupt = {
      std::string(THREE_CLAUSE_FILE) + "orders\n",             // no line
      std::string(THREE_CLAUSE_FILE) + "orders\ncut 1 ctx 2\n",  // one line of five
      trailer_with(4, ""),                                     // the root's line missing
      trailer_with(5, "cut"),                                  // a line too many
      trailer_with(5, "junk"),                                 // text after the last line
      trailer_with(0, "ctx 2 cut 1"),                          // words out of order
      trailer_with(0, "cut 1 sep ctx 2"),                      // a separator for a leaf
      trailer_with(2, "cut 2 ctx 3"),                          // no separator for a node
      trailer_with(2, "cut 2 sep 2 ctx 3 sep 2"),              // a word twice
      trailer_with(4, "cut 3 sep 3 cxt"),                      // an unknown word
      trailer_with(0, "cut1 ctx 2"),                           // a word run into its number
      trailer_with(0, "cut 0 ctx 2"),                          // variable 0
      trailer_with(0, "cut 1 ctx 5"),                          // a variable beyond the CNF's 4
      trailer_with(0, "cut 1 ctx 4294967295"),                 // the largest number
      trailer_with(0, "cut 1 ctx 4294967296"),                 // a number beyond 32 bits
      trailer_with(0, "cut 1 ctx 99999999999999999999"),       // a number beyond any integer
      trailer_with(0, "cut -1 ctx 2"),                         // a negative variable
      trailer_with(0, "cut 1 ctx 3"),                          // a variable of another set
      trailer_with(1, "cut ctx 3 3"),                          // one variable twice, the other missing
      trailer_with(1, "cut ctx 3"),                            // a variable short
      trailer_with(1, "cut ctx 3 2 2"),                        // a variable too many
      trailer_with(1, "cut 2 ctx 3"),                          // a context variable as cutset
      trailer_with(2, "cut 2 sep ctx 3 2"),                    // the separator's variable elsewhere
  };
  for (const std::string& text : corrupt) EXPECT_FATAL(load_text(dir, text, h.get()), "\nDtree file corrupt") << text;
}

// The sets follow from the clauses' variables, so a trailer written while variable 2 took part
// does not fit a hypergraph without it.
TEST(DtreeFileOrders, WrittenForOtherExcludedVariablesMakeTheFileCorrupt) {
  temp_dir dir;
  auto f = three_clauses();
  DETERMINED_VARS = {0, 1, 0, 0};
  std::unique_ptr<hgr> h = cnf2hgr(f.get());
  std::string file = std::string(THREE_CLAUSE_FILE) + THREE_CLAUSE_ORDERS;
  EXPECT_FATAL(load_text(dir, file, h.get()), "\nDtree file corrupt");
  std::unique_ptr<hgr> h_again = cnf2hgr(f.get());
  EXPECT_NE(load_text(dir, THREE_CLAUSE_FILE, h_again.get()), nullptr);
}
