// Files that appear whole or not at all. The bytes go to a hidden temporary file in the target's
// folder, which replaces the target only after a checked flush and close: a reader never sees a
// partial file, and a run that fails or is stopped leaves the earlier file, or none, in place.
// A target that is a device or a pipe is written in place, and "-" is standard output.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

class output_file {
 public:
  // Opens the temporary file; is_open() says whether that worked and reason() why not.
  explicit output_file(std::string target);
  ~output_file();  // removes the temporary file unless it was committed
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  bool is_open() const { return file_ != nullptr; }
  // Written to a temporary file (else in place: standard output, a device or a pipe), which can be
  // read back after finish().
  bool is_staged() const { return !staged_.empty(); }
  std::FILE* get() const { return file_; }
  // Flushes and closes the temporary file, which can then be read back under staged_path().
  // False when a write, the flush or the close failed.
  bool finish();
  // finish(), then renames the temporary file over the target. False on failure; the temporary
  // file is then removed.
  bool commit();
  const std::string& staged_path() const { return staged_; }
  // Why the last step failed, from the system's error number.
  const char* reason() const;

 private:
  std::string target_;
  std::string staged_;
  std::FILE* file_ = nullptr;
  bool staged_exists_ = false;
  int error_ = 0;

  void open_in_place();
  void open_staged();
  void remove_staged();
};

// Sends what the program prints on standard output to standard error from now on, and keeps the
// real standard output for the output file named "-".
void route_messages_to_standard_error();

// Removes every temporary file not yet committed; safe to call while other threads run and
// from a signal handler.
void discard_staged_files();

// An interrupt, a termination or a hang-up removes the temporary files before the signal ends
// the process as it would have.
void discard_staged_files_on_signals();

// How a writer reports failures: the stream (standard error or output, taken when reporting, as
// standard output may have been replaced by then), and printf formats taking the path and the
// reason.
struct output_failure {
  bool on_standard_error;
  const char* cannot_open;
  const char* cannot_write;
};

// Circuits and formulas report on standard output; pictures on standard error.
extern const output_failure DATA_FILE_FAILURE;
extern const output_failure PICTURE_FILE_FAILURE;

// Each step of an output_file for `path`, ending the run with the failure's message, status 1,
// when the step fails.
void require_open(const output_file& out, const char* path, const output_failure& failure);
void require_finished(output_file& out, const char* path, const output_failure& failure);
void require_committed(output_file& out, const char* path, const output_failure& failure);

// Writes `path` through `write` as an output_file; any failure ends the run with status 1 and
// the message, leaving no file behind.
void save_whole_file(const char* path, const std::function<void(std::FILE*)>& write, const output_failure& failure);
