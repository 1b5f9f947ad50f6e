// Any byte string as a variable-list file and as a block-order file.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  std::string path = fuzz::write_input("fuzz-vars", data, size);
  try {
    read_unsigned(path.c_str());
  } catch (const fuzz::rejected_input&) {
  }
  try {
    read_unsigned_given_count(size % 64, path.c_str());
  } catch (const fuzz::rejected_input&) {
  }
  return 0;
}
