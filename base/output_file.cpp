#include "base/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/utility.h"

namespace {

// Temporary files not yet committed. A run that ends through exit() (every fatal error does,
// out of memory included) skips destructors, so they are removed at exit instead. The list is
// fixed storage: an allocation that fails while it is held would exit and wait for it forever.
constexpr std::size_t STAGED_SLOTS = 16;
char staged_paths[STAGED_SLOTS][PATH_MAX];
std::mutex staged_lock;

// Where the output file "-" goes: standard output, or what it was before messages took its place.
std::FILE* standard_output_file = nullptr;

bool register_staged(const std::string& path) {
  static const bool removed_at_exit = std::atexit(discard_staged_files) == 0;
  if (!removed_at_exit || path.size() >= PATH_MAX) return false;
  std::lock_guard<std::mutex> guard(staged_lock);
  for (char* slot : staged_paths)
    if (!slot[0]) {
      std::memcpy(slot, path.c_str(), path.size() + 1);
      return true;
    }
  return false;
}

void unregister_staged(const std::string& path) {
  std::lock_guard<std::mutex> guard(staged_lock);
  for (char* slot : staged_paths)
    if (path == slot) slot[0] = '\0';
}

// ".NAME.PID.N.tmp" beside the target: the same file system, so that the rename is atomic.
std::string staged_name(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  std::size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  return folder + "." + name + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
}

std::FILE* stream_of(const output_failure& failure) { return failure.on_standard_error ? stderr : stdout; }

}  // namespace

// No lock: this may run at exit, or on a limit, while another thread holds it; the slots are
// plain characters, and unlink of a name half-written or gone does no harm.
void discard_staged_files() {
  for (const char* path : staged_paths)
    if (path[0]) unlink(path);
}

void route_messages_to_standard_error() {
  std::fflush(stdout);
  int circuit_fd = dup(STDOUT_FILENO);
  if (circuit_fd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
    fatal("\nCannot redirect standard output (%s)", std::strerror(errno));
  standard_output_file = fdopen(circuit_fd, "w");
  if (!standard_output_file) fatal("\nCannot redirect standard output (%s)", std::strerror(errno));
}

namespace {
void discard_and_reraise(int signal_number) {
  discard_staged_files();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}
}  // namespace

void discard_staged_files_on_signals() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal_number, discard_and_reraise);
}

const output_failure DATA_FILE_FAILURE = {false, "\nCannot open file: %s (%s)", "\nCannot write file: %s (%s)"};
const output_failure PICTURE_FILE_FAILURE = {true, "Cannot open file: %s (%s)\n", "Cannot write file: %s (%s)\n"};

output_file::output_file(std::string target) : target_(std::move(target)) {
  if (target_ == "-") {
    file_ = standard_output_file ? standard_output_file : stdout;
    return;
  }
  struct stat status;
  bool exists = stat(target_.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) {
    error_ = EISDIR;
    return;
  }
  // A device or a pipe is written in place: it cannot be replaced, nor read half-written.
  if (exists && !S_ISREG(status.st_mode))
    open_in_place();
  else
    open_staged();
}

void output_file::open_in_place() {
  file_ = std::fopen(target_.c_str(), "w");
  if (!file_) error_ = errno;
}

void output_file::open_staged() {
  staged_ = staged_name(target_);
  // Listed before it exists, so that a signal or a limit at any moment finds it.
  if (!register_staged(staged_)) {
    error_ = EMFILE;
    staged_.clear();
    return;
  }
  // O_EXCL: never write through a file or link someone else put there.
  int fd = open(staged_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    error_ = errno;
    unregister_staged(staged_);
    staged_.clear();
    return;
  }
  staged_exists_ = true;
  file_ = fdopen(fd, "w");
  if (!file_) {
    error_ = errno;
    close(fd);
    remove_staged();
  }
}

output_file::~output_file() {
  if (file_ && target_ != "-") std::fclose(file_);
  if (staged_exists_) remove_staged();
}

void output_file::remove_staged() {
  unlink(staged_.c_str());
  unregister_staged(staged_);
  staged_exists_ = false;
}

bool output_file::finish() {
  if (!file_) return error_ == 0;
  int cause = errno;  // a write that failed earlier left its cause here
  bool written = !std::ferror(file_);
  if (std::fflush(file_) != 0) {
    written = false;
    cause = errno;
  }
  if (target_ != "-" && std::fclose(file_) != 0) {
    if (written) cause = errno;
    written = false;
  }
  file_ = nullptr;
  if (!written) error_ = cause != 0 ? cause : EIO;
  return written;
}

bool output_file::commit() {
  bool done = finish();
  if (done && staged_exists_ && std::rename(staged_.c_str(), target_.c_str()) != 0) {
    error_ = errno;
    done = false;
  }
  if (done) {
    unregister_staged(staged_);
    staged_exists_ = false;
  } else if (staged_exists_) {
    remove_staged();
  }
  return done;
}

const char* output_file::reason() const { return std::strerror(error_ != 0 ? error_ : EIO); }

void require_open(const output_file& out, const char* path, const output_failure& failure) {
  if (!out.is_open()) fatal_to(stream_of(failure), 1, failure.cannot_open, path, out.reason());
}

void require_finished(output_file& out, const char* path, const output_failure& failure) {
  if (!out.finish()) fatal_to(stream_of(failure), 1, failure.cannot_write, path, out.reason());
}

void require_committed(output_file& out, const char* path, const output_failure& failure) {
  if (!out.commit()) fatal_to(stream_of(failure), 1, failure.cannot_write, path, out.reason());
}

void save_whole_file(const char* path, const std::function<void(std::FILE*)>& write, const output_failure& failure) {
  output_file out(path);
  require_open(out, path, failure);
  write(out.get());
  require_committed(out, path, failure);
}
