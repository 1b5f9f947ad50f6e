#include "base/output_lines.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "base/utility.h"

namespace {

std::FILE* remembering = nullptr;
// Nothing written yet counts as a terminated line. Written under the stream's lock, read at exit.
std::atomic<char> last_written{'\n'};

// Writes all of it to file descriptor 1, as the stream standard output replaces would.
ssize_t write_through(void*, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t written = ::write(STDOUT_FILENO, data + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
    done += static_cast<std::size_t>(written);
  }
  if (size > 0) last_written = data[size - 1];
  return static_cast<ssize_t>(size);
}

}  // namespace

void remember_output_lines() {
  std::fflush(stdout);
  cookie_io_functions_t functions{nullptr, write_through, nullptr, nullptr};
  remembering = fopencookie(nullptr, "w", functions);
  if (!remembering) fatal("\nOut of memory.\n");
  // The buffering standard output would have had: by lines on a terminal, in blocks otherwise.
  std::setvbuf(remembering, nullptr, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, BUFSIZ);
  stdout = remembering;
}

void end_open_line() {
  std::fflush(stdout);
  if (stdout != remembering || last_written == '\n') return;
  std::fputc('\n', stdout);
  std::fflush(stdout);
}
