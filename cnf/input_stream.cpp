#include "cnf/input_stream.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/utility.h"
#include "cnf/decompress.h"

namespace {

constexpr std::size_t READ_CHUNK = 1 << 16;

bool is_standard_input(const char* name) { return std::strcmp(name, "-") == 0; }

struct file_closer {
  void operator()(std::FILE* f) const {
    if (f != stdin) std::fclose(f);
  }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

file_handle open_input(const char* name) {
  if (is_standard_input(name)) return file_handle(stdin);
  file_handle file(std::fopen(name, "rb"));
  if (!file) fatal("\nCannot open file: %s (%s)", name, std::strerror(errno));
  return file;
}

// A directory opens like a file; a regular file, a pipe, a terminal or a socket can be read.
void check_readable_kind(std::FILE* file, const std::string& shown) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0) fatal("\nCannot read %s: %s", shown.c_str(), std::strerror(errno));
  if (S_ISDIR(status.st_mode)) fatal("\nCannot read %s: it is a directory, not a CNF file.", shown.c_str());
  if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode) && !S_ISCHR(status.st_mode) && !S_ISSOCK(status.st_mode))
    fatal("\nCannot read %s: it is neither a regular file nor a stream.", shown.c_str());
}

// The next piece of the input; empty at its end.
std::string read_chunk(std::FILE* file, const std::string& shown) {
  std::string chunk(READ_CHUNK, '\0');
  chunk.resize(std::fread(chunk.data(), 1, READ_CHUNK, file));
  if (chunk.empty() && std::ferror(file)) fatal("\nCannot read %s: %s", shown.c_str(), std::strerror(errno));
  return chunk;
}

void check_stream(stream_state state, compression format, const std::string& shown) {
  if (state == stream_state::corrupt)
    fatal("\nCannot decompress %s: the %s data is corrupt.", shown.c_str(), compression_name(format));
  if (state == stream_state::truncated)
    fatal("\nCannot decompress %s: the %s data is cut off before its end.", shown.c_str(), compression_name(format));
}

// A source under /dev or /proc is a device or a process's file descriptor even when it leads
// to a regular file (/dev/stdin redirected from one).
bool names_a_device(const std::string& path) { return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0; }

}  // namespace

std::string read_input_text(const char* name) {
  std::string shown = input_display_name(name);
  file_handle file = open_input(name);
  check_readable_kind(file.get(), shown);
  // fread fills the whole first chunk unless the input is shorter, so the magic bytes are in it.
  std::string chunk = read_chunk(file.get(), shown);
  compression format = compression_of(chunk);
  std::unique_ptr<decompressor> decoder = make_decompressor(format);
  std::string text;
  for (; !chunk.empty(); chunk = read_chunk(file.get(), shown))
    check_stream(decoder->decode(chunk, text), format, shown);
  check_stream(decoder->finish(text), format, shown);
  return text;
}

std::string input_display_name(const char* name) { return is_standard_input(name) ? "standard input" : name; }

std::string output_base_name(const char* name) {
  struct stat status;
  bool regular_file = !is_standard_input(name) && !names_a_device(name) && stat(name, &status) == 0 &&
                      S_ISREG(status.st_mode);
  return regular_file ? name : "stdin";
}
