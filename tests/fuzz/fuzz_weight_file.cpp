// Any byte string as a weight file. What the reader accepts must be consistent, must read back
// from the directives written as lines, and must be what the CNF reader makes of the same lines
// after a "p cnf" line: both readers share the directive parser but not the line handling, and
// a file of directives means the same whichever way it comes in. The variable count that the
// directives are checked against is the largest variable they name.
#include <algorithm>
#include <string>

#include "cnf/cnf_read.h"
#include "directive_checks.h"
#include "fuzz_support.h"

namespace {

// The CNF reader's limit on a line; longer inputs are not compared with it.
constexpr std::size_t CNF_LINE_LIMIT = 100000;

unsigned largest_named_variable(const count_directives& d) {
  unsigned largest = 0;
  for (const auto& named : d.named) largest = std::max(largest, named.first);
  return largest;
}

bool accepted_for(const count_directives& d, unsigned var_count) {
  try {
    check_directives(d, var_count, "fuzz.weights");
    return true;
  } catch (const fuzz::rejected_input&) {
    return false;
  }
}

void expect_reads_back(const count_directives& d) {
  std::string path = fuzz::temp_path("fuzz-weights-again");
  std::string lines = fuzz::directive_lines(d);
  fuzz::write_file(path, lines.data(), lines.size());
  try {
    fuzz::expect(fuzz::same_meaning(d, read_weight_file(path.c_str())), "the directives written back read otherwise");
  } catch (const fuzz::rejected_input&) {
    fuzz::expect(false, "the directives written back are rejected");
  }
}

// The CNF reader on "p cnf V 0" and the same lines: it must agree on acceptance and reading.
void expect_cnf_reader_agrees(const std::string& text, const count_directives& d, unsigned var_count,
                              bool accepted) {
  std::unique_ptr<cnf> formula;
  try {
    formula = get_cnf_from_text("p cnf " + std::to_string(var_count) + " 0\n" + text, "fuzz.cnf", true);
  } catch (const fuzz::rejected_input&) {
    fuzz::expect(!accepted, "the CNF reader rejects directives that the weight file reader accepts");
    return;
  }
  fuzz::expect(accepted, "the CNF reader accepts directives that the weight file reader rejects");
  fuzz::expect(fuzz::same_reading(d, formula->directives, 1), "the CNF reader reads the directives otherwise");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string path = fuzz::write_input("fuzz-weights", data, size);
  count_directives d;
  try {
    d = read_weight_file(path.c_str());
  } catch (const fuzz::rejected_input&) {
    return 0;
  }
  fuzz::check_directives_read(d, fuzz::physical_lines(text));
  unsigned var_count = largest_named_variable(d);
  bool accepted = accepted_for(d, var_count);
  if (accepted) fuzz::check_directives_accepted(d, var_count);
  expect_reads_back(d);
  if (size < CNF_LINE_LIMIT) expect_cnf_reader_agrees(text, d, var_count, accepted);
  return 0;
}
