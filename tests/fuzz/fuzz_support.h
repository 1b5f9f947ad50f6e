// Shared pieces of the fuzz targets: the input as a file, fatal exits turned into exceptions so
// that a rejected input ends one run instead of the fuzzing process, invariant checks that stop
// the fuzzer on a wrongly accepted input, and an integer scanner that the readers of integer
// lists are compared with.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/utility.h"

namespace fuzz {

struct rejected_input {
  int status;
};

[[noreturn]] inline void throw_rejection(int status) { throw rejected_input{status}; }

// Installs the hook and silences the readers' messages once per process: they go to standard
// output, which would otherwise flood the fuzzer's log.
inline void prepare() {
  static bool done = false;
  if (done) return;
  done = true;
  set_exit_hook(throw_rejection);
  VERBOSE = false;
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
}

// A broken invariant is a finding: the fuzzer keeps the input that led here.
inline void expect(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "\nBroken invariant: %s\n", what);
  std::abort();
}

// Scratch files live in memory when /dev/shm is there: a file per input on disk would make
// the file-based readers several times slower to fuzz.
inline std::string temp_path(const char* stem) {
  static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/";
  return folder + stem + "-" + std::to_string(getpid());
}

inline void write_file(const std::string& path, const void* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  expect(f != nullptr, "the scratch file can be written");
  expect(size == 0 || std::fwrite(data, 1, size, f) == size, "the scratch file takes the input");
  std::fclose(f);
}

inline std::string write_input(const char* stem, const std::uint8_t* data, std::size_t size) {
  std::string path = temp_path(stem);
  write_file(path, data, size);
  return path;
}

inline std::string read_file(const std::string& path) {
  std::string text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  expect(f != nullptr, "a file just written can be read");
  char chunk[1 << 14];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, got);
  std::fclose(f);
  return text;
}

// What a run of "%d" conversions reads from the text, by the independent route of strtoll: each
// integer is white space, an optional sign and digits. Stops before the first item that is no
// integer, or after `limit` integers. An integer beyond int's range is kept as read (saturated at
// the range of long long) so that the caller sees it; the text ends at its first NUL, as a
// reader that stops at a non-digit does.
inline std::vector<long long> integers_as_scanned(const std::string& text, std::size_t limit) {
  std::vector<long long> values;
  const char* p = text.c_str();
  while (values.size() < limit) {
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(p, &end, 10);
    if (end == p) break;
    values.push_back(value);
    p = end;
  }
  return values;
}

inline bool in_int_range(long long value) { return value >= INT_MIN && value <= INT_MAX; }

}  // namespace fuzz
