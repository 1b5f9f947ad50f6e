#include "base/utility.h"
#include "test_support.h"

using tarn_test::capture_exit;
using tarn_test::exit_outcome;
using tarn_test::temp_dir;

// Out-of-range indices are kept for the declaration to report.
TEST(VariableListReader, ReadsTheCountedIndicesAndIgnoresTheRest) {
  temp_dir dir;
  EXPECT_EQ(read_unsigned(dir.write("vars", "3\n4 1\n\t9 17 18\n").c_str()), (std::vector<unsigned>{4, 1, 9}));
  EXPECT_TRUE(read_unsigned(dir.write("none", "0\n").c_str()).empty());
  EXPECT_EQ(read_unsigned(dir.write("out", "2 0 -1\n").c_str()), (std::vector<unsigned>{0, 4294967295u}));
}

TEST(VariableListReader, RejectsMissingShortAndMalformedFiles) {
  temp_dir dir;
  struct bad_case {
    std::string content;
    std::string message;
  };
  std::string path = dir.file("vars");
  const bad_case cases[] = {
      {"5 1 2 3\n", "\nFile " + path + " holds 3 of the 5 integers it should hold.\n"},
      {"2 1 x\n", "\nFile " + path + " holds 1 of the 2 integers it should hold.\n"},
      {"", "\nFile " + path + " does not begin with the number of variables it lists.\n"},
      {"-1 3\n", "\nFile " + path + " does not begin with the number of variables it lists.\n"},
      {"4000000000 1\n", "\nFile " + path + " does not begin with the number of variables it lists.\n"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.content);
    dir.write("vars", c.content);
    exit_outcome outcome = capture_exit([&] { read_unsigned(path.c_str()); });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, c.message);
  }
  exit_outcome missing = capture_exit([] { read_unsigned("/nonexistent/vars"); });
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "\nCannot open file: /nonexistent/vars (No such file or directory)\n");
}

// "%d" made up a value for an integer beyond int (4294967297 read as 1); the lists now refuse
// one. The first two files are inputs the fuzzer flagged.
TEST(VariableListReader, RejectsIntegersBeyondIntAndKeepsThoseWithin) {
  temp_dir dir;
  std::string path = dir.file("vars");
  const std::pair<std::string, std::string> bad[] = {
      {"3 2147483647 -2147483648 4294967297\n",
       " holds an integer out of range (-2147483648 to 2147483647) as integer 3 of 3.\n"},
      {"1 -21474836480\n", " holds an integer out of range (-2147483648 to 2147483647) as integer 1 of 1.\n"},
      {"4294967297 5\n", " does not begin with the number of variables it lists.\n"},
  };
  for (const auto& [content, message] : bad) {
    SCOPED_TRACE(content);
    dir.write("vars", content);
    exit_outcome outcome = capture_exit([&] { read_unsigned(path.c_str()); });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, "\nFile " + path + message);
  }
  dir.write("vars", "3 -2147483648 +2147483647 -0x");
  EXPECT_EQ(read_unsigned(path.c_str()), (std::vector<unsigned>{2147483648u, 2147483647u, 0}));
}

TEST(BlockOrderReader, RejectsABlockNumberBeyondInt) {
  temp_dir dir;
  std::string path = dir.write("blocks", "2147483647 1 0 4294967296 1 1 1\n");
  exit_outcome outcome = capture_exit([&] { read_unsigned_given_count(7, path.c_str()); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output,
            "\nFile " + path + " holds an integer out of range (-2147483648 to 2147483647) as integer 4 of 7.\n");
}

TEST(BlockOrderReader, ReadsExactlyTheGivenCountAndRejectsAShortFile) {
  temp_dir dir;
  std::string path = dir.write("blocks", "0 1 1\n2 7");
  EXPECT_EQ(read_unsigned_given_count(3, path.c_str()), (std::vector<unsigned>{0, 1, 1}));
  exit_outcome outcome = capture_exit([&] { read_unsigned_given_count(6, path.c_str()); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "\nFile " + path + " holds 5 of the 6 integers it should hold.\n");
}

TEST(Utility, PushItemsToEndKeepsThePassingItemsInOrderBehindTheOthers) {
  int items[] = {1, 2, 3, 4, 5, 6};
  auto even = [](int x) { return x % 2 == 0; };
  EXPECT_EQ(push_items_to_end(items, 6, even), 3u);
  // Scanning down from the last failing entry, each passing entry swaps with it.
  EXPECT_EQ(std::vector<int>(items, items + 6), (std::vector<int>{1, 5, 3, 2, 4, 6}));

  int all_pass[] = {2, 4};
  EXPECT_EQ(push_items_to_end(all_pass, 2, even), 0u);
  int none_pass[] = {3, 1};
  EXPECT_EQ(push_items_to_end(none_pass, 2, even), 2u);
  EXPECT_EQ(push_items_to_end(none_pass, 0, even), 0u);
}

TEST(Utility, FlagListsAnswerOnlyForListedVariablesInRange) {
  DETERMINED_VARS = {0, 1, 0};
  EXPECT_TRUE(ignore_index(2));
  EXPECT_FALSE(ignore_index(1));
  EXPECT_FALSE(ignore_index(4));
  EXPECT_FALSE(ignore_index(0));
  EXPECT_FALSE(decompose_except_index(2));
}
