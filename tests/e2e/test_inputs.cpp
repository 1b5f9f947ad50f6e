// Where the tarn program takes its CNF from: files, standard input, compressed data; and how it
// ends on an input that holds no formula.
#include <dirent.h>
#include <sys/stat.h>

#include "compressed_text.h"
#include "test_support.h"

using tarn_test::run_result;
using tarn_test::run_tarn;
using tarn_test::temp_dir;

namespace {

const std::string CORPUS_FORMULA = std::string(TARN_TEST_DATA) + "/known_counts/flat30-2.cnf";
const std::vector<std::string> RUN_OPTIONS = {"-count", "-seed", "7", "-dt_out"};

struct compiled {
  run_result run;
  std::string circuit;
  std::string dtree;
};

// Runs tarn on `input` (piping `piped` to its standard input when given) and reads the circuit
// and dtree written under `output_base`.
compiled compile(const temp_dir& dir, const std::string& input, const std::string& output_base,
                 const std::string& piped = "") {
  std::vector<std::string> args{"-in", input};
  args.insert(args.end(), RUN_OPTIONS.begin(), RUN_OPTIONS.end());
  compiled c{run_tarn(args, dir.path(), piped), "", ""};
  c.circuit = tarn_test::read_file(dir.file(output_base + ".nnf"));
  c.dtree = tarn_test::read_file(dir.file(output_base + ".dtree"));
  std::remove(dir.file(output_base + ".nnf").c_str());
  std::remove(dir.file(output_base + ".dtree").c_str());
  return c;
}

std::vector<std::string> files_ending_in(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> found;
  DIR* listing = opendir(folder.c_str());
  while (dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      found.push_back(name);
  }
  closedir(listing);
  return found;
}

bool only_printable(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7f); });
}

}  // namespace

TEST(Inputs, StandardInputAndEveryCompressionGiveTheCircuitDtreeAndCountOfThePlainFile) {
  temp_dir dir;
  const std::string text = tarn_test::read_file(CORPUS_FORMULA);
  dir.write("f.cnf", text);
  dir.write("f.cnf.gz", tarn_test::gzip_text(text));
  dir.write("f.cnf.xz", tarn_test::xz_text(text));
  dir.write("f.cnf.bz2", tarn_test::bzip2_text(text));
  dir.write("compressed.cnf", tarn_test::xz_text(text));
  compiled plain = compile(dir, "f.cnf", "f.cnf");
  ASSERT_EQ(plain.run.status, 0) << plain.run.out;
  ASSERT_EQ(tarn_test::count_printed(plain.run.out), "3636");
  ASSERT_NE(plain.circuit, "");
  ASSERT_NE(plain.dtree, "");
  struct source {
    std::string input, output_base, piped;
  };
  const source sources[] = {
      {"f.cnf.gz", "f.cnf.gz", ""},
      {"f.cnf.xz", "f.cnf.xz", ""},
      {"f.cnf.bz2", "f.cnf.bz2", ""},
      {"compressed.cnf", "compressed.cnf", ""},
      {"-", "stdin", dir.file("f.cnf")},
      {"-", "stdin", dir.file("f.cnf.bz2")},
      {"/dev/stdin", "stdin", dir.file("f.cnf.gz")},
  };
  for (const source& s : sources) {
    SCOPED_TRACE(s.input + " " + s.piped);
    compiled c = compile(dir, s.input, s.output_base, s.piped);
    EXPECT_EQ(c.run.status, 0) << c.run.out;
    EXPECT_EQ(c.run.err, "");
    EXPECT_EQ(tarn_test::count_printed(c.run.out), "3636");
    EXPECT_TRUE(c.circuit == plain.circuit);
    EXPECT_TRUE(c.dtree == plain.dtree);
  }
  run_result simplified = run_tarn({"-in", "-", "-simplify"}, dir.path(), dir.file("f.cnf.gz"));
  EXPECT_EQ(simplified.status, 0) << simplified.out;
  EXPECT_TRUE(tarn_test::file_exists(dir.file("stdin_simplified")));
}

TEST(Inputs, InputsWithoutAFormulaEndWithTheirMessageAndWriteNothing) {
  temp_dir dir;
  mkdir(dir.file("folder").c_str(), 0700);
  dir.write("empty.cnf", "");
  dir.write("comments.cnf", "c nothing but comments\n\nc here\n");
  dir.write("no-p.cnf", "1 2 0\n-1 0\n");
  dir.write("garbage.cnf", std::string("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x1b[31m", 20));
  std::string gz = tarn_test::gzip_text("p cnf 1 1\n1 0\n");
  dir.write("cut.cnf.gz", gz.substr(0, gz.size() - 3));
  struct bad_input {
    std::string input, piped, message;
  };
  const bad_input inputs[] = {
      {"folder", "", "\nCannot read folder: it is a directory, not a CNF file."},
      {"empty.cnf", "", "\nNo \"p cnf\" line in empty.cnf: it is empty."},
      {"comments.cnf", "", "\nNo \"p cnf\" line in comments.cnf."},
      {"no-p.cnf", "", "\nNo \"p cnf\" line in no-p.cnf before the clause at line 1."},
      {"garbage.cnf", "", "Unknown Line 1: \\x89PNG\n"},
      {"cut.cnf.gz", "", "\nCannot decompress cut.cnf.gz: the gzip data is cut off before its end."},
      {"-", dir.file("empty.cnf"), "\nNo \"p cnf\" line in standard input: it is empty."},
      {"-", dir.file("cut.cnf.gz"), "\nCannot decompress standard input: the gzip data is cut off before its end."},
  };
  for (const bad_input& b : inputs) {
    SCOPED_TRACE(b.input + " " + b.piped);
    run_result r = run_tarn({"-in", b.input, "-count"}, dir.path(), b.piped);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(b.message), std::string::npos) << r.out;
    EXPECT_TRUE(only_printable(r.out)) << r.out;
    EXPECT_EQ(files_ending_in(dir.path(), ".nnf"), std::vector<std::string>());
  }
}
