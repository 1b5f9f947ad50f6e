// Output files appear whole or not at all, whatever goes wrong on the way.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "base/output_file.h"
#include "base/utility.h"
#include "test_support.h"

using tarn_test::capture_exit;
using tarn_test::file_exists;
using tarn_test::folder_entries;
using tarn_test::read_file;
using tarn_test::temp_dir;


TEST(OutputFile, AppearsOnlyOnCommitAndLeavesNothingElse) {
  temp_dir dir;
  std::string target = dir.file("out.nnf");
  {
    output_file out(target);
    ASSERT_TRUE(out.is_open()) << out.reason();
    std::fputs("nnf 0 0 0\n", out.get());
    EXPECT_FALSE(file_exists(target));
    ASSERT_TRUE(out.finish());
    EXPECT_EQ(read_file(out.staged_path()), "nnf 0 0 0\n");
    EXPECT_FALSE(file_exists(target));
    ASSERT_TRUE(out.commit());
  }
  EXPECT_EQ(read_file(target), "nnf 0 0 0\n");
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"out.nnf"});
}

TEST(OutputFile, AbandonedFileLeavesTheEarlierOneInPlace) {
  temp_dir dir;
  std::string target = dir.write("out.nnf", "earlier\n");
  {
    output_file out(target);
    std::fputs("later, never committed\n", out.get());
    ASSERT_TRUE(out.finish());
  }
  EXPECT_EQ(read_file(target), "earlier\n");
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"out.nnf"});
}

TEST(OutputFile, NewFileTakesTheUsualPermissions) {
  temp_dir dir;
  std::string target = dir.file("out.cnf");
  mode_t previous = umask(022);
  output_file out(target);
  ASSERT_TRUE(out.commit());
  umask(previous);
  struct stat status;
  ASSERT_EQ(stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST(OutputFile, UnwritableLocationsAreReportedWithTheirReason) {
  temp_dir dir;
  output_file missing_folder(dir.file("no/such/folder.nnf"));
  EXPECT_FALSE(missing_folder.is_open());
  EXPECT_STREQ(missing_folder.reason(), std::strerror(ENOENT));

  std::string folder = dir.file("a.nnf");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  output_file folder_in_the_way(folder);
  EXPECT_FALSE(folder_in_the_way.is_open());
  EXPECT_FALSE(folder_in_the_way.commit());
  EXPECT_STREQ(folder_in_the_way.reason(), std::strerror(EISDIR));
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"a.nnf"});
}

TEST(OutputFile, AFullDeviceFailsTheCommit) {
  output_file out("/dev/full");
  ASSERT_TRUE(out.is_open()) << out.reason();
  std::fputs("nnf 0 0 0\n", out.get());
  EXPECT_FALSE(out.commit());
  EXPECT_STREQ(out.reason(), std::strerror(ENOSPC));
}

TEST(OutputFile, FailedWriteEndsTheRunWithTheMessageAndNoFile) {
  temp_dir dir;
  std::string target = dir.file("x.nnf");
  tarn_test::exit_outcome outcome = capture_exit([&] {
    save_whole_file(target.c_str(), [](std::FILE*) { fatal("\nOut of memory."); }, DATA_FILE_FAILURE);
  });
  EXPECT_TRUE(outcome.exited);
  EXPECT_TRUE(folder_entries(dir.path()).empty());

  std::string missing = dir.file("none/x.nnf");
  outcome = capture_exit([&] { save_whole_file(missing.c_str(), [](std::FILE*) {}, DATA_FILE_FAILURE); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "\nCannot open file: " + missing + " (" + std::strerror(ENOENT) + ")");
}

// exit() runs no destructors: the temporary file of a run that ends mid-write goes at exit.
TEST(OutputFileDeathTest, ExitMidWriteLeavesNoFile) {
  temp_dir dir;
  std::string target = dir.file("x.nnf");
  EXPECT_EXIT(
      {
        output_file* out = new output_file(target);
        std::fputs("half a circuit", out->get());
        std::fflush(out->get());
        std::exit(1);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_TRUE(folder_entries(dir.path()).empty());
}
