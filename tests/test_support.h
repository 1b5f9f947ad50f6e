// Helpers shared by the test programs: default settings around every test, temporary files,
// fatal exits caught in-process or in a death test, runs of the tarn program, formulas in memory.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/utility.h"
#include "cnf/cnf_read.h"

namespace tarn_test {

// Every test starts and ends with the default settings, whatever the test before it changed.
class default_settings : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { set_tarn_defaults(); }
  void OnTestEnd(const testing::TestInfo&) override { set_tarn_defaults(); }
};
inline const bool default_settings_installed =
    (testing::UnitTest::GetInstance()->listeners().Append(new default_settings), true);

// A directory that lives as long as the object, for files a test writes or makes tarn write.
class temp_dir {
 public:
  temp_dir() {
    char pattern[] = "/tmp/tarn-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~temp_dir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string write(const std::string& name, const std::string& content) const {
    std::string p = file(name);
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

 private:
  std::string path_;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The outcome of code that may end the process through the fatal-exit funnel.
struct exit_outcome {
  bool exited = false;  // false: the code returned normally
  int status = 0;
  std::string output;   // what it printed on standard output
};

struct exit_signal {
  int status;
};

[[noreturn]] inline void throw_exit_signal(int status) { throw exit_signal{status}; }

// Runs `body` with the exit funnel turned into an exception, capturing standard output.
template <typename Body>
exit_outcome capture_exit(Body&& body) {
  exit_outcome outcome;
  exit_hook previous = set_exit_hook(throw_exit_signal);
  testing::internal::CaptureStdout();
  try {
    body();
  } catch (const exit_signal& signal) {
    outcome.exited = true;
    outcome.status = signal.status;
  }
  std::fflush(stdout);
  outcome.output = testing::internal::GetCapturedStdout();
  set_exit_hook(previous);
  return outcome;
}

// A death test of a fatal exit with status 1; fatal messages go to standard output, which the
// death test cannot see, so it is joined to standard error first.
#define EXPECT_FATAL(statement, message)        \
  EXPECT_EXIT(                                  \
      {                                         \
        dup2(fileno(stderr), fileno(stdout));   \
        statement;                              \
      },                                        \
      ::testing::ExitedWithCode(1), message)

// What printing code wrote on standard output, with VERBOSE on.
template <typename Body>
std::string verbose_output(Body&& body) {
  VERBOSE = true;
  testing::internal::CaptureStdout();
  body();
  VERBOSE = false;
  return testing::internal::GetCapturedStdout();
}

struct run_result {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command line: what it writes on standard output and its exit status (-1 when it
// could not run or a signal ended the shell).
inline run_result run_command(const std::string& command) {
  run_result result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The names in a folder, hidden ones included, sorted.
inline std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* d = opendir(folder.c_str());
  while (dirent* e = d ? readdir(d) : nullptr) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (d) closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// x1 or x2, x2 or x3, ...: a circuit file of about 130 bytes per variable, and a default dtree
// whose bisection tries take seconds for tens of thousands of variables.
inline std::string chain_cnf(unsigned vars) {
  std::string text = "p cnf " + std::to_string(vars) + " " + std::to_string(vars - 1) + "\n";
  for (unsigned v = 1; v < vars; ++v) text += std::to_string(v) + " " + std::to_string(v + 1) + " 0\n";
  return text;
}

// Runs the tarn program in `workdir` with the given arguments; with a `piped_file`, its content
// comes to tarn's standard input through a pipe.
inline run_result run_tarn(const std::vector<std::string>& args, const std::string& workdir,
                           const std::string& piped_file = "") {
  std::string err_file = workdir + "/.stderr";
  std::string command = "cd " + shell_quote(workdir) + " && ";
  if (!piped_file.empty()) command += "cat " + shell_quote(piped_file) + " | ";
  command += shell_quote(TARN_BINARY);
  for (const std::string& a : args) command += " " + shell_quote(a);
  command += " 2>" + shell_quote(err_file);
  run_result result = run_command(command);
  result.err = read_file(err_file);
  std::remove(err_file.c_str());
  return result;
}

// The same with the arguments given as one line, split at blanks (no argument may hold one).
inline run_result run_tarn_line(const std::string& workdir, const std::string& arguments) {
  std::istringstream words(arguments);
  std::vector<std::string> args;
  for (std::string word; words >> word;) args.push_back(word);
  return run_tarn(args, workdir);
}

// The output with every time "%0.3fs" replaced by "<t>", so that runs compare exactly.
inline std::string mask_times(const std::string& text) {
  auto digit = [&](std::size_t k) { return k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])); };
  std::string masked;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t j = i;
    while (digit(j)) ++j;
    if (j > i && text.compare(j, 1, ".") == 0 && digit(j + 1) && digit(j + 2) && digit(j + 3) &&
        text.compare(j + 4, 1, "s") == 0) {
      masked += "<t>";
      i = j + 5;
    } else {
      j = std::max(j, i + 1);
      masked.append(text, i, j - i);
      i = j;
    }
  }
  return masked;
}

// The count of the last "%s models / " line, or "" when there is none.
inline std::string count_printed(const std::string& out) {
  std::size_t end = out.rfind(" models / ");
  if (end == std::string::npos) return "";
  std::size_t start = end;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(out[start - 1]))) --start;
  return out.substr(start, end - start);
}

using clause_list = std::vector<std::vector<int>>;

// A formula built in memory; the last `eclauses` clauses are eclauses.
inline std::unique_ptr<cnf> make_cnf(unsigned vars, const clause_list& clauses, unsigned eclauses = 0) {
  auto f = std::make_unique<cnf>();
  f->var_count = vars;
  f->eclause_count = eclauses;
  for (const std::vector<int>& c : clauses) {
    f->clauses.push_back(c);
    f->clauses.back().push_back(0);
  }
  return f;
}

// The clauses of a formula without their terminating 0.
inline clause_list clauses_of(const cnf& f) {
  clause_list result;
  for (unsigned i = 0; i < f.clause_count(); ++i) result.emplace_back(f.clause(i), f.clause(i) + f.clause_size(i));
  return result;
}

// Random clauses of one to three distinct variables over 1..vars, `count` of them.
inline clause_list random_clauses(std::mt19937& random, unsigned vars, unsigned count) {
  clause_list clauses;
  for (unsigned c = 0; c < count; ++c) {
    std::vector<int> clause;
    for (unsigned k = 0, width = 1 + random() % 3; k < width; ++k) {
      int v = static_cast<int>(1 + random() % vars);
      if (std::none_of(clause.begin(), clause.end(), [v](int l) { return std::abs(l) == v; }))
        clause.push_back(random() % 2 ? v : -v);
    }
    clauses.push_back(clause);
  }
  return clauses;
}

// Brute force: bit v - 1 of an assignment is the value of variable v.
inline bool literal_holds(int literal, unsigned long long assignment) {
  return ((assignment >> (std::abs(literal) - 1)) & 1) == (literal > 0);
}

// The models of f by enumeration: a clause needs a true literal, an eclause exactly one.
inline std::vector<std::uint32_t> models(const cnf& f) {
  std::vector<std::uint32_t> result;
  for (std::uint32_t a = 0; a < (1u << f.var_count); ++a) {
    bool model = true;
    for (unsigned i = 0; i < f.clause_count() && model; ++i) {
      unsigned true_literals = 0;
      for (const int* l = f.clause(i); *l; ++l) true_literals += literal_holds(*l, a);
      model = true_literals == 1 || (true_literals > 1 && i < f.clause_count() - f.eclause_count);
    }
    if (model) result.push_back(a);
  }
  return result;
}

// The number of models projected on the variables not in `forget`, over all variables.
inline unsigned long long brute_force_count(const cnf& f, const std::vector<unsigned>& forget = {}) {
  std::uint32_t forgotten = 0;
  for (unsigned v : forget) forgotten |= 1u << (v - 1);
  std::set<std::uint32_t> projected;
  for (std::uint32_t a : models(f)) projected.insert(a & ~forgotten);
  return projected.size() << __builtin_popcount(forgotten);
}

}  // namespace tarn_test
