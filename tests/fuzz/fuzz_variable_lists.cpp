// Any byte string as a variable-list file (a count N, then N variable indices), compared with the
// integers strtoll reads from the same text: the reader must accept exactly the files that open
// with a count in 0..INT_MAX followed by that many integers within int, and return them.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

// The indices the file must give, or false when it must be rejected.
bool expected_list(const std::string& text, std::vector<unsigned>& list) {
  std::vector<long long> count = fuzz::integers_as_scanned(text, 1);
  if (count.empty() || count[0] < 0 || count[0] > INT_MAX) return false;
  std::vector<long long> values = fuzz::integers_as_scanned(text, static_cast<std::size_t>(count[0]) + 1);
  if (values.size() != static_cast<std::size_t>(count[0]) + 1) return false;
  if (!std::all_of(values.begin(), values.end(), fuzz::in_int_range)) return false;
  for (std::size_t i = 1; i < values.size(); ++i) list.push_back(static_cast<unsigned>(static_cast<int>(values[i])));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string path = fuzz::write_input("fuzz-vars", data, size);
  std::vector<unsigned> expected;
  bool valid = expected_list(text, expected);
  std::vector<unsigned> list;
  try {
    list = read_unsigned(path.c_str());
  } catch (const fuzz::rejected_input&) {
    fuzz::expect(!valid, "a valid variable list is rejected");
    return 0;
  }
  fuzz::expect(valid, "an invalid variable list is accepted");
  fuzz::expect(list == expected, "the variable list is read otherwise");
  return 0;
}
