// The ground every subsystem stands on: the process-wide settings, the fatal-exit funnel, the
// threads with large stacks, and the small helpers the subsystems share (file names,
// variable-list readers, integers).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Global settings. set_tarn_defaults() assigns the defaults; the initial values are the same.
// ---------------------------------------------------------------------------------------------
extern int HDTREE_TYPE;                   // dtree method: 0/1/>5 bisection, 2/3 simple orders, 4 min-fill, 5 block order
extern int HDTREE_TRIES;                  // bisection rounds of the default dtree
extern int FIRST_UBF;                     // balance-factor sweep of method 1: first value
extern int LAST_UBF;                      // ... and last value (inclusive)
extern std::uint32_t MAX_NNF_CACHE_MEMORY; // bytes the component cache may charge
extern std::uint32_t MAX_NNF_MEMORY_BLOCK; // bytes per NNF node block
extern bool SUPPRESS_AND_NL_EDGES;        // and-nodes drop their negative-literal children
extern bool DD_BACKTRACK;                 // conflict analysis and backjumping
extern bool CACHING_ON;                   // component caching
extern bool SKIP_BINARY_TRIVIAL_CLAUSES;  // drop the two-literal clauses x or not x too
extern bool REMOVE_SUBSUMED_CLAUSES;      // accepted for compatibility; no step consults it
extern bool SAVE_AS_VCG;                  // write the VCG pictures
extern bool MIN_CARD;                     // keep only minimum-cardinality models
extern bool VERBOSE;                      // progress and statistics lines
extern int PROGRESS_SECONDS;              // wall seconds between progress lines while compiling
extern std::int64_t RUN_SEED;             // seed of the randomised dtree tries; negative: from the clock
extern std::int64_t DTREE_SEED_USED;      // the seed the last bisection dtree drew its tries from; -1: none
extern bool DECIDE_SHOWN_FIRST;           // forgotten variables are decided after the shown ones (exact projected counts)
extern unsigned THREAD_COUNT;             // threads for the dtree tries; 0: one per available core

// One flag per variable (entry v - 1 for variable v), or empty when no list was given.
extern std::vector<char> DETERMINED_VARS;
extern std::vector<char> DECOMPOSE_EXCEPT_VARS;

extern const char HELP_MSG[];

void set_tarn_defaults();

// ---------------------------------------------------------------------------------------------
// Fatal exits. Every user-facing error ends the process through tarn_exit, so that tests and
// fuzz targets can install a hook that unwinds instead of exiting.
// ---------------------------------------------------------------------------------------------
using exit_hook = void (*)(int status); // must not return: it exits, throws or longjmps
exit_hook set_exit_hook(exit_hook hook); // returns the previous hook; nullptr restores exit()

// Ends the process with the given status; the program's last line of output is terminated first.
[[noreturn]] void tarn_exit(int status);
// Prints the message on standard output (printf format) and ends with status 1.
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints the message on the given stream and ends with the given status.
[[noreturn]] void fatal_to(std::FILE* stream, int status, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Out of memory anywhere in the program, in operator new or in GMP's allocations, ends it with
// a message instead of an abort.
void install_out_of_memory_handler();
// The same end for an allocation failure that a library reports by status.
[[noreturn]] void report_out_of_memory();

// Runs `body` to completion on a thread with a stack of gigabytes (reserved, not committed):
// the compiler and the dtree code recurse as deep as the dtree plus the decision path, which
// real formulas can take far beyond the usual 8 MB. An exception thrown by `body` (a test's
// exit hook) is rethrown to the caller.
void run_with_large_stack(const std::function<void()>& body);

// Runs body(0) on the calling thread and body(1) .. body(count - 1) on threads of their own, with
// stacks as large as run_with_large_stack's, and waits for all of them. The first exception a
// body throws is rethrown once every thread has ended.
void run_on_threads(unsigned count, const std::function<void(unsigned)>& body);

// The cores this process may run on.
unsigned available_cores();

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------
// A FILE that closes itself.
struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using owned_file = std::unique_ptr<std::FILE, file_closer>;

void print_bytes(const char* label, std::uint32_t bytes);
bool ignore_index(unsigned var);
bool decompose_except_index(unsigned var);

std::string fname_with_added_extension(const std::string& name, const char* ext);

// A variable-list file: a count N, then N variable indices. Ends the process when the file
// cannot be opened, holds fewer than N integers, or an integer beyond the range of int.
std::vector<unsigned> read_unsigned(const char* path);
// Exactly `count` whitespace-separated integers from the file (the block-order file), under the
// same rules.
std::vector<unsigned> read_unsigned_given_count(unsigned count, const char* path);
// The entries of a 0-terminated list, without the terminator.
std::vector<unsigned> read_unsigned_array(const unsigned* list);

int int_cmp(const void* a, const void* b);
void sort_int(int* a, unsigned n);
constexpr unsigned bits2bytes(unsigned n) { return n / 8 + (n % 8 != 0); }
constexpr unsigned min2(unsigned a, unsigned b) { return a < b ? a : b; }
constexpr unsigned max2(unsigned a, unsigned b) { return a > b ? a : b; }
constexpr unsigned max3(unsigned a, unsigned b, unsigned c) { return max2(max2(a, b), c); }

// Seconds of processor time between two clock() readings, as every timing line prints them.
double seconds_between(std::clock_t start, std::clock_t end);

// Partitions the first n entries so that those failing `passes` come first and returns their
// number. The swap order is fixed: the entries that pass keep their relative order, and the
// callers (hypergraph reduction, separator elimination) depend on the resulting layout.
template <typename T, typename Test>
unsigned push_items_to_end(T* items, unsigned n, Test passes) {
  long k = static_cast<long>(n) - 1;
  while (k >= 0 && passes(items[k])) --k;
  if (k < 0) return 0;
  for (long j = k - 1; j >= 0; --j) {
    if (passes(items[j])) {
      T tmp = items[j];
      items[j] = items[k];
      items[k] = tmp;
      --k;
    }
  }
  return static_cast<unsigned>(k + 1);
}

// Frees the subtrees of a binary tree whose children are unique_ptr members `left` and `right`
// without recursion: dtrees built from orders can be deeper than the stack allows.
template <typename Node>
void release_subtrees(Node& root) {
  std::vector<std::unique_ptr<Node>> pending;
  if (root.left) pending.push_back(std::move(root.left));
  if (root.right) pending.push_back(std::move(root.right));
  while (!pending.empty()) {
    std::unique_ptr<Node> node = std::move(pending.back());
    pending.pop_back();
    if (node->left) pending.push_back(std::move(node->left));
    if (node->right) pending.push_back(std::move(node->right));
  }
}
