#include "diff_fuzz/runner.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace diff_fuzz {

namespace {

[[noreturn]] void exec_child(const std::string& program, const std::vector<std::string>& args,
                             const std::string& workdir, int out_pipe[2], int err_pipe[2]) {
  dup2(out_pipe[1], STDOUT_FILENO);
  dup2(err_pipe[1], STDERR_FILENO);
  for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
  if (chdir(workdir.c_str()) != 0) _exit(126);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

// Reads both pipes until they close or the deadline passes; false on the deadline.
bool drain(int out_fd, int err_fd, std::string& out, std::string& err, std::chrono::steady_clock::time_point deadline) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = 2;
  char buffer[65536];
  while (open_count > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  return true;
}

}  // namespace

run_result run_program(const std::string& program, const std::vector<std::string>& args, const std::string& workdir,
                       int seconds) {
  run_result result;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0) return result;
  if (pipe(err_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }
  pid_t child = fork();
  if (child == 0) exec_child(program, args, workdir, out_pipe, err_pipe);
  close(out_pipe[1]);
  close(err_pipe[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  if (child > 0 && !drain(out_pipe[0], err_pipe[0], result.out, result.err, deadline)) {
    result.timed_out = true;
    kill(child, SIGKILL);
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child) {
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  return result;
}

std::string shell_command(const std::string& program, const std::vector<std::string>& args) {
  auto quote = [](const std::string& s) {
    bool plain =
        !s.empty() &&
        s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./") == std::string::npos;
    if (plain) return s;
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  std::string command = quote(program);
  for (const std::string& a : args) command += " " + quote(a);
  return command;
}

}  // namespace diff_fuzz
