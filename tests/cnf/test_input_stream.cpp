// Inputs read whole from files, plain or compressed, with their errors; and the names outputs
// take after an input.
#include <sys/stat.h>

#include "cnf/input_stream.h"
#include "compressed_text.h"
#include "test_support.h"

using tarn_test::capture_exit;
using tarn_test::exit_outcome;
using tarn_test::temp_dir;

namespace {

// More than one read chunk of text, of clauses that do not compress to nothing.
std::string long_text() {
  std::string text = "p cnf 900 30000\n";
  for (unsigned c = 0; c < 30000; ++c)
    text += std::to_string(1 + c * 7 % 900) + " -" + std::to_string(1 + c * 13 % 899) + " 0\n";
  return text;
}

exit_outcome read_failure(const std::string& path) {
  return capture_exit([&] { read_input_text(path.c_str()); });
}

}  // namespace

TEST(InputText, PlainAndEveryCompressionReadAsTheSameTextTellingTheFormatByItsBytes) {
  const std::string text = long_text();
  temp_dir dir;
  const std::string files[] = {
      dir.write("f.cnf", text),
      dir.write("f.cnf.gz", tarn_test::gzip_text(text)),
      dir.write("f.cnf.xz", tarn_test::xz_text(text)),
      dir.write("f.cnf.bz2", tarn_test::bzip2_text(text)),
      dir.write("gzip-named.cnf", tarn_test::gzip_text(text)),
      dir.write("plain-named.gz", text),
      dir.write("xz-named.bz2", tarn_test::xz_text(text)),
  };
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    EXPECT_TRUE(read_input_text(file.c_str()) == text);
  }
  EXPECT_EQ(read_input_text(dir.write("empty.cnf", "").c_str()), "");
  EXPECT_EQ(read_input_text(dir.write("short.cnf", "\x1f").c_str()), "\x1f");  // shorter than any magic
}

TEST(InputText, UnreadableInputsEndWithAMessageNamingThem) {
  temp_dir dir;
  const std::string text = "p cnf 2 1\n1 -2 0\n";
  std::string gz = tarn_test::gzip_text(text), xz = tarn_test::xz_text(text), bz2 = tarn_test::bzip2_text(text);
  std::string flipped_xz = xz;
  flipped_xz[xz.size() / 2] = static_cast<char>(flipped_xz[xz.size() / 2] ^ 0x55);
  mkdir(dir.file("folder").c_str(), 0700);
  const std::pair<std::string, std::string> inputs[] = {
      {dir.file("missing.cnf"), "\nCannot open file: PATH (No such file or directory)"},
      {dir.file("folder"), "\nCannot read PATH: it is a directory, not a CNF file."},
      {dir.write("cut.gz", gz.substr(0, gz.size() - 4)),
       "\nCannot decompress PATH: the gzip data is cut off before its end."},
      {dir.write("cut.bz2", bz2.substr(0, bz2.size() / 2)),
       "\nCannot decompress PATH: the bzip2 data is cut off before its end."},
      {dir.write("flipped.xz", flipped_xz), "\nCannot decompress PATH: the xz data is corrupt."},
      {dir.write("trailing.gz", gz + "\n"), "\nCannot decompress PATH: the gzip data is corrupt."},
  };
  for (const auto& [path, message] : inputs) {
    SCOPED_TRACE(path);
    exit_outcome outcome = read_failure(path);
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1);
    std::string expected = message;
    expected.replace(expected.find("PATH"), 4, path);
    EXPECT_EQ(outcome.output, expected);
  }
}

TEST(InputNames, MessagesCallStandardInputByNameAndOutputsFollowOnlyRegularFiles) {
  EXPECT_EQ(input_display_name("-"), "standard input");
  EXPECT_EQ(input_display_name("dir/f.cnf"), "dir/f.cnf");
  temp_dir dir;
  std::string file = dir.write("f.cnf", "p cnf 0 0\n");
  std::string fifo = dir.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(output_base_name(file.c_str()), file);
  for (const std::string& stream : {std::string("-"), fifo, dir.path(), std::string("/dev/stdin"),
                                    std::string("/dev/null"), std::string("/proc/self/fd/0")}) {
    SCOPED_TRACE(stream);
    EXPECT_EQ(output_base_name(stream.c_str()), "stdin");
  }
}
