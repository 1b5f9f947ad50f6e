// Any byte string as a block-order file (one block number per variable) for a CNF, then the
// min-fill order by blocks that the driver builds from it. An input that opens with "p cnf"
// carries its own CNF up to the first line "%", and the block order after it; any other input
// is the block order of a fixed small CNF. The reader must take exactly the first V integers,
// as strtoll reads them, and reject the file when there are fewer or one is beyond int; the
// order must list every variable once, lower blocks first.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "cnf/cnf_read.h"
#include "dtree/minfill.h"
#include "fuzz_support.h"

namespace {

const char* const FIXED_CNF = "p cnf 7 5\n1 2 0\n-2 3 0\n3 -4 5 0\n1 0\n-1 -3 -6 0\n";
// Min-fill orders of larger formulas cost more than a run should take.
constexpr unsigned MAX_VARIABLES = 2000;

std::pair<std::string, std::string> split_input(const std::string& input) {
  if (input.compare(0, 5, "p cnf") != 0) return {FIXED_CNF, input};
  std::size_t marker = input.find("\n%\n");
  if (marker == std::string::npos) return {input, ""};
  return {input.substr(0, marker + 1), input.substr(marker + 3)};
}

bool expected_blocks(const std::string& text, unsigned count, std::vector<unsigned>& blocks) {
  std::vector<long long> values = fuzz::integers_as_scanned(text, count);
  if (values.size() < count || !std::all_of(values.begin(), values.end(), fuzz::in_int_range)) return false;
  for (long long value : values) blocks.push_back(static_cast<unsigned>(static_cast<int>(value)));
  return true;
}

void check_order(const std::vector<unsigned>& order, const std::vector<unsigned>& blocks) {
  std::vector<unsigned> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  fuzz::expect(sorted.size() == blocks.size(), "the order misses variables");
  for (std::size_t i = 0; i < sorted.size(); ++i) fuzz::expect(sorted[i] == i + 1, "the order is no permutation");
  for (std::size_t i = 1; i < order.size(); ++i)
    fuzz::expect(blocks[order[i - 1] - 1] <= blocks[order[i] - 1], "a variable of a higher block comes first");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  auto [cnf_text, order_text] = split_input(std::string(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<cnf> formula;
  try {
    formula = get_cnf_from_text(cnf_text, "fuzz.cnf", true);
  } catch (const fuzz::rejected_input&) {
    return 0;
  }
  if (formula->var_count > MAX_VARIABLES) return 0;
  std::string path = fuzz::temp_path("fuzz-blocks");
  fuzz::write_file(path, order_text.data(), order_text.size());
  std::vector<unsigned> expected;
  bool valid = expected_blocks(order_text, formula->var_count, expected);
  std::vector<unsigned> blocks;
  try {
    blocks = read_unsigned_given_count(formula->var_count, path.c_str());
  } catch (const fuzz::rejected_input&) {
    fuzz::expect(!valid, "a valid block order is rejected");
    return 0;
  }
  fuzz::expect(valid, "an invalid block order is accepted");
  fuzz::expect(blocks == expected, "the block numbers are read otherwise");
  check_order(cnf2minfill_order(formula.get(), blocks), blocks);
  return 0;
}
