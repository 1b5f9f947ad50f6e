#include "base/utility.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <exception>
#include <new>

#include <gmp.h>
#include <pthread.h>
#include <sched.h>

#include <mutex>
#include <thread>

#include "base/output_lines.h"

int HDTREE_TYPE = 0;
int HDTREE_TRIES = 25;
int FIRST_UBF = 25;
int LAST_UBF = 25;
std::uint32_t MAX_NNF_CACHE_MEMORY = 536870912;
std::uint32_t MAX_NNF_MEMORY_BLOCK = 67108864;
bool SUPPRESS_AND_NL_EDGES = false;
bool DD_BACKTRACK = true;
bool CACHING_ON = true;
bool SKIP_BINARY_TRIVIAL_CLAUSES = true;
bool REMOVE_SUBSUMED_CLAUSES = false;
bool SAVE_AS_VCG = false;
bool MIN_CARD = false;
bool VERBOSE = false;
std::int64_t RUN_SEED = -1;
std::int64_t DTREE_SEED_USED = -1;
int PROGRESS_SECONDS = 5;
unsigned THREAD_COUNT = 0;
bool DECIDE_SHOWN_FIRST = false;
std::vector<char> DETERMINED_VARS;
std::vector<char> DECOMPOSE_EXCEPT_VARS;

const char HELP_MSG[] = "\nIncorrect usage, check manual!";

void set_tarn_defaults() {
  HDTREE_TYPE = 0;
  HDTREE_TRIES = 25;
  FIRST_UBF = 25;
  LAST_UBF = 25;
  MAX_NNF_CACHE_MEMORY = 536870912;
  MAX_NNF_MEMORY_BLOCK = 67108864;
  SUPPRESS_AND_NL_EDGES = false;
  DD_BACKTRACK = true;
  CACHING_ON = true;
  SKIP_BINARY_TRIVIAL_CLAUSES = true;
  REMOVE_SUBSUMED_CLAUSES = false;
  SAVE_AS_VCG = false;
  MIN_CARD = false;
  VERBOSE = false;
  RUN_SEED = -1;
  PROGRESS_SECONDS = 5;
  THREAD_COUNT = 0;
  DECIDE_SHOWN_FIRST = false;
  DETERMINED_VARS.clear();
  DECOMPOSE_EXCEPT_VARS.clear();
}

namespace {
exit_hook current_exit_hook = nullptr;

[[noreturn]] void vfatal(std::FILE* stream, int status, const char* format, std::va_list args) {
  std::vfprintf(stream, format, args);
  tarn_exit(status);
}

// GMP allocates with malloc and by default aborts when that fails; its allocations end the run
// with the same message as operator new's. A zero-byte request may return nothing.
void* gmp_allocate(std::size_t size) {
  void* p = std::malloc(size);
  if (!p && size != 0) report_out_of_memory();
  return p;
}

void* gmp_reallocate(void* old, std::size_t, std::size_t size) {
  void* p = std::realloc(old, size);
  if (!p && size != 0) report_out_of_memory();
  return p;
}

void gmp_free(void* p, std::size_t) { std::free(p); }
}  // namespace

exit_hook set_exit_hook(exit_hook hook) {
  exit_hook previous = current_exit_hook;
  current_exit_hook = hook;
  return previous;
}

void tarn_exit(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  if (current_exit_hook) current_exit_hook(status);
  // Threads that fail together must not run exit() twice: the first one ends the process, and
  // the others wait here until it has.
  static std::mutex exiting;
  exiting.lock();
  end_open_line();
  std::exit(status);
}

void fatal(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  vfatal(stdout, 1, format, args);
}

void fatal_to(std::FILE* stream, int status, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  vfatal(stream, status, format, args);
}

void report_out_of_memory() { fatal("\nOut of memory."); }

void install_out_of_memory_handler() {
  std::set_new_handler(report_out_of_memory);
  mp_set_memory_functions(gmp_allocate, gmp_reallocate, gmp_free);
}

namespace {
struct stack_task {
  std::function<void()> body;
  std::exception_ptr failure;
};

void* run_stack_task(void* argument) {
  auto* task = static_cast<stack_task*>(argument);
  try {
    task->body();
  } catch (...) {
    task->failure = std::current_exception();
  }
  return nullptr;
}

// Starts the task on a thread with the largest stack the system grants, from 16 GB down (the
// pages are only touched as used). False when no thread could be made.
bool start_with_large_stack(stack_task* task, pthread_t* thread) {
  for (std::size_t size = std::size_t{16} << 30; size >= (std::size_t{64} << 20); size /= 2) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, size);
    const int failed = pthread_create(thread, &attributes, run_stack_task, task);
    pthread_attr_destroy(&attributes);
    if (!failed) return true;
  }
  return false;
}
}  // namespace

void run_with_large_stack(const std::function<void()>& body) {
  stack_task task{body, nullptr};
  pthread_t thread;
  if (!start_with_large_stack(&task, &thread)) {
    body();
    return;
  }
  pthread_join(thread, nullptr);
  if (task.failure) std::rethrow_exception(task.failure);
}

void run_on_threads(unsigned count, const std::function<void(unsigned)>& body) {
  std::vector<stack_task> tasks(count);
  std::vector<pthread_t> threads(count);
  std::vector<char> started(count, 0);
  for (unsigned i = 1; i < count; ++i) {
    tasks[i].body = [&body, i] { body(i); };
    started[i] = start_with_large_stack(&tasks[i], &threads[i]);
  }
  tasks[0].body = [&body] { body(0); };
  run_stack_task(&tasks[0]);
  // A body that could not get a thread of its own runs here, after the others.
  for (unsigned i = 1; i < count; ++i) {
    if (started[i])
      pthread_join(threads[i], nullptr);
    else
      run_stack_task(&tasks[i]);
  }
  for (const stack_task& task : tasks)
    if (task.failure) std::rethrow_exception(task.failure);
}

unsigned available_cores() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0)
    return static_cast<unsigned>(CPU_COUNT(&cores));
  const unsigned reported = std::thread::hardware_concurrency();
  return reported > 0 ? reported : 1;
}

void print_bytes(const char* label, std::uint32_t bytes) { std::printf("%s %0.1f MB", label, bytes / 1048576.0); }

static bool listed(const std::vector<char>& flags, unsigned var) {
  return var >= 1 && var <= flags.size() && flags[var - 1];
}

bool ignore_index(unsigned var) { return listed(DETERMINED_VARS, var); }

bool decompose_except_index(unsigned var) { return listed(DECOMPOSE_EXCEPT_VARS, var); }

std::string fname_with_added_extension(const std::string& name, const char* ext) { return name + ext; }

namespace {

owned_file open_list_file(const char* path) {
  owned_file file(std::fopen(path, "r"));
  if (!file) fatal("\nCannot open file: %s (%s)\n", path, std::strerror(errno));
  return file;
}

enum class scan_result { integer, no_integer, out_of_range };

// One integer the way "%d" reads it: white space, an optional sign, digits, the character after
// them left unread. An integer beyond int is out of range: "%d" would make up a value for it
// (undefined behaviour that in practice wraps, so 4294967297 would read as 1).
scan_result scan_int(std::FILE* file, int& value) {
  int c = std::getc(file);
  while (c != EOF && std::isspace(c)) c = std::getc(file);
  bool negative = c == '-';
  if (c == '-' || c == '+') c = std::getc(file);
  if (c == EOF || !std::isdigit(c)) return scan_result::no_integer;
  // Past 10^10 the magnitude stops growing: it is beyond int either way, and cannot overflow.
  constexpr long long beyond_int = 10000000000;
  long long magnitude = 0;
  for (; c != EOF && std::isdigit(c); c = std::getc(file))
    if (magnitude < beyond_int) magnitude = magnitude * 10 + (c - '0');
  if (c != EOF) std::ungetc(c, file);
  long long signed_value = negative ? -magnitude : magnitude;
  if (signed_value < INT_MIN || signed_value > INT_MAX) return scan_result::out_of_range;
  value = static_cast<int>(signed_value);
  return scan_result::integer;
}

// Reads `count` integers; a file that ends early or holds something else is reported, since
// the entries that follow would otherwise be made up.
std::vector<unsigned> read_integers(std::FILE* file, unsigned count, const char* path) {
  std::vector<unsigned> values;
  values.reserve(count < 1u << 20 ? count : 1u << 20);
  for (unsigned i = 0; i < count; ++i) {
    int value;
    scan_result result = scan_int(file, value);
    if (result == scan_result::out_of_range)
      fatal("\nFile %s holds an integer out of range (%d to %d) as integer %u of %u.\n", path, INT_MIN, INT_MAX,
            i + 1, count);
    if (result == scan_result::no_integer)
      fatal("\nFile %s holds %u of the %u integers it should hold.\n", path, i, count);
    values.push_back(static_cast<unsigned>(value));
  }
  return values;
}
}  // namespace

std::vector<unsigned> read_unsigned(const char* path) {
  owned_file file = open_list_file(path);
  int count;
  if (scan_int(file.get(), count) != scan_result::integer || count < 0)
    fatal("\nFile %s does not begin with the number of variables it lists.\n", path);
  return read_integers(file.get(), static_cast<unsigned>(count), path);
}

std::vector<unsigned> read_unsigned_given_count(unsigned count, const char* path) {
  owned_file file = open_list_file(path);
  return read_integers(file.get(), count, path);
}

std::vector<unsigned> read_unsigned_array(const unsigned* list) {
  std::vector<unsigned> values;
  if (list)
    for (; *list; ++list) values.push_back(*list);
  return values;
}

int int_cmp(const void* a, const void* b) {
  int x = *static_cast<const int*>(a);
  int y = *static_cast<const int*>(b);
  return (x > y) - (x < y);
}

void sort_int(int* a, unsigned n) { std::qsort(a, n, sizeof(int), int_cmp); }

double seconds_between(std::clock_t start, std::clock_t end) { return (end - start) / 1000000.0; }
