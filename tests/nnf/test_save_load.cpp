#include "nnf/save_load.h"

#include "nnf/circuit_fixtures.h"

using fixtures::text_of;

namespace {

constexpr const char* EXAMPLE = "nnf 5 4 2\nL 1\nL -1\nL 2\nA 2 1 2\nO 1 2 0 3\n";

}  // namespace

TEST(NnfFile, TheExampleLoadsAndSavesBackLineForLineWithProgressWhenVerbose) {
  tarn_test::temp_dir dir;
  std::string path = dir.write("example.nnf", EXAMPLE), saved = dir.file("saved.nnf");
  std::unique_ptr<nnf> circuit;
  std::string printed = tarn_test::verbose_output([&] {
    circuit = load_nnf_from_file(path.c_str());
    save_nnf_to_file(saved.c_str(), *circuit);
  });
  EXPECT_EQ(printed, "\nLoading 5 nnf nodes and 4 edges...done.\nSaving 5 nnf nodes and 4 edges...done.");
  EXPECT_EQ(circuit->node_count, 5u);
  EXPECT_EQ(circuit->edge_count, 4u);
  EXPECT_EQ(circuit->var_count, 2u);
  EXPECT_EQ(text_of(*circuit), "L 1|L -1|L 2|A 2 1 2|O 1 2 0 3");
  EXPECT_EQ(tarn_test::read_file(saved), EXAMPLE);
  testing::internal::CaptureStdout();
  load_nnf_from_file(path.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Any white space separates the items, records after the last are ignored.
TEST(NnfFile, ConstantsWideOrNodesAndAnySpacingLoad) {
  const std::pair<const char*, const char*> cases[] = {
      {"nnf 1 0 0\nA 0\n", "A 0"},
      {"nnf 1 0 0\nO 0 0\n", "O 0 0"},
      {"nnf 1 0 3\nL -3\n", "L -3"},
      {"nnf 4 3 2\nL 1\nL 2\nL -1\nO 0 3 0 1 2\n", "L 1|L 2|L -1|O 0 3 0 1 2"},
      {"nnf   5\n4 2\n\n  L\n1 L -1\tL 2 A 2\n1\n2 O 1 2 0   3", "L 1|L -1|L 2|A 2 1 2|O 1 2 0 3"},
      {"nnf 1 0 0\nA 0\nthis is not a record\n", "A 0"},
  };
  tarn_test::temp_dir dir;
  for (const auto& [file, text] : cases) {
    auto circuit = load_nnf_from_file(dir.write("f.nnf", file).c_str());
    fixtures::expect_well_formed(*circuit);
    EXPECT_EQ(text_of(*circuit), text);
  }
}

TEST(NnfFile, SavedCircuitsLoadBackUnchanged) {
  const unsigned seed = 8;
  std::mt19937 rng(seed);
  tarn_test::temp_dir dir;
  for (unsigned round = 0; round < 40; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    unsigned vars = 1 + round % 9;
    auto circuit = fixtures::random_nnf(rng, vars, 3 + round);
    save_nnf_to_file(dir.file("round_trip.nnf").c_str(), *circuit);
    auto loaded = load_nnf_from_file(dir.file("round_trip.nnf").c_str());
    EXPECT_EQ(text_of(*loaded), text_of(*circuit));
    EXPECT_EQ(loaded->edge_count, circuit->edge_count);
    EXPECT_EQ(loaded->var_count, vars);
  }
}

TEST(NnfFileDeathTest, FilesThatCannotBeOpenedEndTheProgram) {
  EXPECT_FATAL(load_nnf_from_file("/nonexistent/none.nnf"), "^\nCannot open file: /nonexistent/none.nnf \\(No such file or directory\\)$");
  auto circuit = fixtures::circuit_from("A 0", 0);
  EXPECT_FATAL(save_nnf_to_file("/nonexistent/out.nnf", *circuit), "^\nCannot open file: /nonexistent/out.nnf \\(No such file or directory\\)$");
  EXPECT_EXIT(save_nnf_as_vcg("/nonexistent/nnf.vcg", *circuit), testing::ExitedWithCode(1),
              "^Cannot open file: /nonexistent/nnf.vcg \\(No such file or directory\\)\n$");
}

TEST(NnfFileDeathTest, EveryMalformedFileIsReportedAsCorrupt) {
  const std::pair<const char*, const char*> cases[] = {
      {"empty", ""},
      {"not a header", "cnf 1 0 0\nA 0\n"},
      {"header cut short", "nnf 1 0\nA 0\n"},
      {"negative node count", "nnf -1 0 0\nA 0\n"},
      {"negative edge count", "nnf 1 -1 0\nA 0\n"},
      {"negative variable count", "nnf 1 0 -2\nA 0\n"},
      {"count beyond int", "nnf 99999999999 0 0\nA 0\n"},
      {"no nodes", "nnf 0 0 0\n"},
      {"fewer records", "nnf 3 0 1\nL 1\n"},
      {"record cut short", "nnf 2 1 1\nL 1\nA 1"},
      {"unknown letter", "nnf 1 0 0\nX 0\n"},
      {"lower-case letter", "nnf 1 0 0\na 0\n"},
      {"literal zero", "nnf 1 0 1\nL 0\n"},
      {"literal above V", "nnf 1 0 1\nL 2\n"},
      {"negative literal above V", "nnf 1 0 1\nL -2\n"},
      {"literal of INT_MIN", "nnf 1 0 1\nL -2147483648\n"},
      {"or variable above V", "nnf 2 1 1\nL 1\nO 2 1 0\n"},
      {"negative or variable", "nnf 2 1 1\nL 1\nO -1 1 0\n"},
      {"negative and count", "nnf 2 0 1\nL 1\nA -1 0\n"},
      {"negative or count", "nnf 2 0 1\nL 1\nO 1 -1 0\n"},
      {"negative child", "nnf 2 1 1\nL 1\nA 1 -1\n"},
      {"child is itself", "nnf 2 1 1\nL 1\nA 1 1\n"},
      {"child after parent", "nnf 2 1 1\nL 1\nA 1 5\n"},
      {"edge total differs", "nnf 3 3 2\nL 1\nL 2\nA 2 0 1\n"},
      {"node the root does not reach", "nnf 3 1 2\nL 1\nL 2\nA 1 1\n"},
      {"absurd node count", "nnf 2000000000 0 5\nA 0\n"},
      {"absurd child count", "nnf 2 2000000000 1\nL 1\nA 2000000000 0\n"},
      {"not a number", "nnf 2 1 1\nL 1\nA 1 x\n"},
  };
  tarn_test::temp_dir dir;
  for (const auto& [name, contents] : cases) {
    SCOPED_TRACE(name);
    EXPECT_FATAL(load_nnf_from_file(dir.write("corrupt.nnf", contents).c_str()), "^\nCorrupt NNF file.$");
  }
}

TEST(NnfPicture, TheExampleIsPicturedWithTitlesFromOneAndEdgesFromTheLastChild) {
  tarn_test::temp_dir dir;
  auto circuit = load_nnf_from_file(dir.write("picture.nnf", EXAMPLE).c_str());
  save_nnf_as_vcg(dir.file("nnf.vcg").c_str(), *circuit);
  EXPECT_EQ(tarn_test::read_file(dir.file("nnf.vcg")),
            "graph: { title: \"obdd\"\n\nsmanhatten_edges: no\nscaling: 0.50\ntreefactor: 0.9\n"
            "color: darkmagenta\nedge.color: lightyellow\nedge.thickness: 1\nedge.arrowsize: 5\n"
            "node.borderwidth: 1\nnode.bordercolor: lightgreen\nnode.textcolor: blue\n"
            "node.color: lightgray\n"
            "\nnode: { title: \"1\" label: \"1\" shape: box}"
            "\nnode: { title: \"2\" label: \"-1\" shape: box}"
            "\nnode: { title: \"3\" label: \"2\" shape: box}"
            "\nnode: { title: \"4\" label: \"A\" shape: box}"
            "\nedge: { sourcename: \"4\" targetname: \"3\" }"
            "\nedge: { sourcename: \"4\" targetname: \"2\" }"
            "\nnode: { title: \"5\" label: \"O 1\" shape: circle}"
            "\nedge: { sourcename: \"5\" targetname: \"4\" }"
            "\nedge: { sourcename: \"5\" targetname: \"1\" }}");
}
