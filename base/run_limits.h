// Limits on a run's wall time and memory, and the measures they are taken on. A thread of their
// own watches them: a run that passes one stops at once with a message naming the limit, exit
// status LIMIT_EXIT_STATUS, and no output file (the temporary ones are removed).
#pragma once

#include <cstddef>

constexpr int LIMIT_EXIT_STATUS = 3;

// 0 leaves that limit off; with both off no thread is started.
void watch_run_limits(long long seconds, long long megabytes);

// Wall time since the process started watching its time (the first call to any of these).
double wall_seconds();
// Resident memory now, and the most the process has held.
std::size_t resident_megabytes();
std::size_t peak_resident_megabytes();
