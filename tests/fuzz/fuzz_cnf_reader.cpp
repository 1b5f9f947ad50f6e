// Any byte string as a CNF file: the reader either rejects it through the exit funnel or
// returns a formula that survives a write and a second read unchanged.
#include <cstdlib>

#include "cnf/cnf_read.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  bool skip_trivial = size == 0 || data[0] % 2;
  std::string path = fuzz::write_input("fuzz-cnf", data, size);
  try {
    std::unique_ptr<cnf> first = get_cnf_from_file(path.c_str(), skip_trivial);
    std::string copy = fuzz::temp_path("fuzz-cnf-copy");
    save_cnf_to_file(copy.c_str(), *first);
    std::unique_ptr<cnf> second = get_cnf_from_file(copy.c_str(), skip_trivial);
    if (second->var_count != first->var_count || second->eclause_count != first->eclause_count ||
        second->clauses != first->clauses)
      std::abort();
  } catch (const fuzz::rejected_input&) {
  }
  return 0;
}
