// Runs a program in a directory with a time limit, capturing what it prints.
#pragma once

#include <string>
#include <vector>

namespace diff_fuzz {

struct run_result {
  int status = -1;         // exit status; -1 when the program did not exit by itself
  int signal = 0;          // the signal that ended it, 0 for none
  bool timed_out = false;  // killed at the time limit
  std::string out, err;
};

run_result run_program(const std::string& program, const std::vector<std::string>& args, const std::string& workdir,
                       int seconds);

// The arguments quoted for a POSIX shell.
std::string shell_command(const std::string& program, const std::vector<std::string>& args);

}  // namespace diff_fuzz
