// Shared pieces of the fuzz targets: the input as a file, and fatal exits turned into
// exceptions so that a rejected input ends one run instead of the fuzzing process.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/utility.h"

namespace fuzz {

struct rejected_input {
  int status;
};

[[noreturn]] inline void throw_rejection(int status) { throw rejected_input{status}; }

// Installs the hook and silences progress output once per process.
inline void prepare() {
  static bool done = false;
  if (done) return;
  done = true;
  set_exit_hook(throw_rejection);
  VERBOSE = false;
  std::freopen("/dev/null", "w", stdout);
}

inline std::string temp_path(const char* stem) {
  return "/tmp/" + std::string(stem) + "-" + std::to_string(getpid());
}

inline std::string write_input(const char* stem, const std::uint8_t* data, std::size_t size) {
  std::string path = temp_path(stem);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path;
}

}  // namespace fuzz
