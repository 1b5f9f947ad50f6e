#include "base/run_limits.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/output_file.h"

namespace {

using clock_type = std::chrono::steady_clock;
const clock_type::time_point START = clock_type::now();

// Often enough that a run rarely grows far past its memory limit between two looks.
constexpr std::chrono::milliseconds WATCH_INTERVAL{20};

// Ends the process from the watching thread: the other threads are mid-work, so no exit handlers
// run, and the message is written straight to the file descriptor.
[[noreturn]] void stop_run(const char* message) {
  std::fflush(stdout);
  discard_staged_files();
  if (write(STDOUT_FILENO, message, std::strlen(message)) < 0) _exit(LIMIT_EXIT_STATUS);
  _exit(LIMIT_EXIT_STATUS);
}

void watch(long long seconds, long long megabytes) {
  char time_message[96], memory_message[96];
  std::snprintf(time_message, sizeof time_message, "\nTime limit of %lld s reached: the run stops.\n", seconds);
  std::snprintf(memory_message, sizeof memory_message, "\nMemory limit of %lld MB reached: the run stops.\n",
                megabytes);
  for (;;) {
    std::this_thread::sleep_for(WATCH_INTERVAL);
    if (seconds > 0 && wall_seconds() >= static_cast<double>(seconds)) stop_run(time_message);
    if (megabytes > 0 && resident_megabytes() >= static_cast<std::size_t>(megabytes)) stop_run(memory_message);
  }
}

}  // namespace

void watch_run_limits(long long seconds, long long megabytes) {
  if (seconds <= 0 && megabytes <= 0) return;
  std::thread(watch, seconds, megabytes).detach();
}

double wall_seconds() { return std::chrono::duration<double>(clock_type::now() - START).count(); }

std::size_t resident_megabytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return 0;
  unsigned long size = 0, resident = 0;
  int read = std::fscanf(statm, "%lu %lu", &size, &resident);
  std::fclose(statm);
  if (read != 2) return 0;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) >> 20;
}

std::size_t peak_resident_megabytes() {
  rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<std::size_t>(usage.ru_maxrss) >> 10;  // kilobytes on Linux
}
