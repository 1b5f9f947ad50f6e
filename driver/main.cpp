// The tarn program: command line, loading of the CNF, and the run it asks for.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cnf/cnf_read.h"
#include "cnf/preprocessing.h"
#include "compiler/nnf_manager.h"
#include "driver/library.h"
#include "driver/utility.h"
#include "nnf/count.h"
#include "nnf/decomposable.h"
#include "nnf/entail.h"
#include "nnf/nnf-operations.h"
#include "nnf/save_load.h"
#include "nnf/smooth.h"

namespace {

constexpr double TARN_VERSION = 2.2;

// What the command line asks of this run beyond the global settings.
struct command_line {
  const char* in = nullptr;
  int simplify_mode = 0;  // 0 none, 1 "-simplify", 2 "-simplify_s"
  bool count = false;
  bool reduce = false;
  bool in_memory = false;
  bool check_entailment = false;
  bool dt_out = false;
  int smooth_mode = 0;  // 0 none, 1 "-smooth", 2 "-smooth_all"
  const char* force_file = nullptr;
  const char* exist_file = nullptr;
  const char* determined_file = nullptr;
  const char* decompose_except_file = nullptr;
  const char* dt_in_file = nullptr;
  const char* block_order_file = nullptr;
};

enum class option_status { ok, not_a_number, out_of_range };

using option_action = option_status (*)(command_line&, char* const* args);

struct option_row {
  const char* name;
  int arguments;
  option_action apply;
};

bool read_int(const char* text, int* value) { return std::sscanf(text, "%d", value) == 1; }

option_status set_int(const char* text, int* target, int min, int max) {
  int value;
  if (!read_int(text, &value)) return option_status::not_a_number;
  if (value < min || value > max) return option_status::out_of_range;
  *target = value;
  return option_status::ok;
}

// A whole decimal number in [min, max], nothing before or after it.
option_status set_whole_number(const char* text, long long min, long long max, long long* target) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || std::isspace(static_cast<unsigned char>(*text)))
    return option_status::not_a_number;
  if (errno == ERANGE || value < min || value > max) return option_status::out_of_range;
  *target = value;
  return option_status::ok;
}

option_status set_seed(const char* text) {
  long long seed;
  const option_status status = set_whole_number(text, 0, UINT32_MAX, &seed);
  if (status == option_status::ok) RUN_SEED = seed;
  return status;
}

constexpr long long MAX_THREADS = 1024;

option_status set_threads(const char* text) {
  long long threads;
  const option_status status = set_whole_number(text, 1, MAX_THREADS, &threads);
  if (status == option_status::ok) THREAD_COUNT = static_cast<unsigned>(threads);
  return status;
}

// Cache and block sizes are given in MB and held as 32-bit byte counts.
option_status set_megabytes(const char* text, std::uint32_t* target) {
  int megabytes;
  option_status status = set_int(text, &megabytes, 0, 4095);
  if (status == option_status::ok) *target = static_cast<std::uint32_t>(megabytes) << 20;
  return status;
}

constexpr option_row OPTIONS[] = {
    {"-in", 1, [](command_line& cl, char* const* a) { cl.in = a[0]; return option_status::ok; }},
    {"-simplify", 0, [](command_line& cl, char* const*) { cl.simplify_mode = 1; return option_status::ok; }},
    {"-simplify_s", 0, [](command_line& cl, char* const*) { cl.simplify_mode = 2; return option_status::ok; }},
    {"-count", 0, [](command_line& cl, char* const*) { cl.count = true; return option_status::ok; }},
    {"-in_memory", 0, [](command_line& cl, char* const*) { cl.in_memory = true; return option_status::ok; }},
    {"-reduce", 0, [](command_line& cl, char* const*) { cl.reduce = true; return option_status::ok; }},
    {"-smooth", 0,
     [](command_line& cl, char* const*) {
       if (cl.smooth_mode == 0) cl.smooth_mode = 1;
       return option_status::ok;
     }},
    {"-smooth_all", 0, [](command_line& cl, char* const*) { cl.smooth_mode = 2; return option_status::ok; }},
    {"-minimize", 0, [](command_line&, char* const*) { MIN_CARD = true; return option_status::ok; }},
    {"-force", 1, [](command_line& cl, char* const* a) { cl.force_file = a[0]; return option_status::ok; }},
    {"-exist", 1, [](command_line& cl, char* const* a) { cl.exist_file = a[0]; return option_status::ok; }},
    {"-determined", 1, [](command_line& cl, char* const* a) { cl.determined_file = a[0]; return option_status::ok; }},
    {"-decompose_except", 1,
     [](command_line& cl, char* const* a) { cl.decompose_except_file = a[0]; return option_status::ok; }},
    {"-visualize", 0, [](command_line&, char* const*) { SAVE_AS_VCG = true; return option_status::ok; }},
    {"-dt_method", 1, [](command_line&, char* const* a) { return set_int(a[0], &HDTREE_TYPE, 0, INT32_MAX); }},
    {"-dt_in", 1, [](command_line& cl, char* const* a) { cl.dt_in_file = a[0]; return option_status::ok; }},
    {"-dt_out", 0, [](command_line& cl, char* const*) { cl.dt_out = true; return option_status::ok; }},
    {"-ubfs", 2,
     [](command_line&, char* const* a) {
       option_status first = set_int(a[0], &FIRST_UBF, INT32_MIN, INT32_MAX);
       return first != option_status::ok ? first : set_int(a[1], &LAST_UBF, INT32_MIN, INT32_MAX);
     }},
    {"-dt_count", 1, [](command_line&, char* const* a) { return set_int(a[0], &HDTREE_TRIES, 1, INT32_MAX); }},
    {"-seed", 1, [](command_line&, char* const* a) { return set_seed(a[0]); }},
    {"-threads", 1, [](command_line&, char* const* a) { return set_threads(a[0]); }},
    {"-block_order_in", 1,
     [](command_line& cl, char* const* a) {
       cl.block_order_file = a[0];
       HDTREE_TYPE = 5;
       return option_status::ok;
     }},
    {"-no_ddb", 0, [](command_line&, char* const*) { DD_BACKTRACK = false; return option_status::ok; }},
    {"-no_cache", 0, [](command_line&, char* const*) { CACHING_ON = false; return option_status::ok; }},
    {"-suppress_ane", 0, [](command_line&, char* const*) { SUPPRESS_AND_NL_EDGES = true; return option_status::ok; }},
    {"-cache_size", 1, [](command_line&, char* const* a) { return set_megabytes(a[0], &MAX_NNF_CACHE_MEMORY); }},
    {"-nnf_block_size", 1, [](command_line&, char* const* a) { return set_megabytes(a[0], &MAX_NNF_MEMORY_BLOCK); }},
    {"-keep_trivial_cls", 0,
     [](command_line&, char* const*) { SKIP_BINARY_TRIVIAL_CLAUSES = false; return option_status::ok; }},
    {"-remove_subsumed_cls", 0,
     [](command_line&, char* const*) { REMOVE_SUBSUMED_CLAUSES = true; return option_status::ok; }},
    {"-check_entailment", 0, [](command_line& cl, char* const*) { cl.check_entailment = true; return option_status::ok; }},
    {"-silent", 0, [](command_line&, char* const*) { VERBOSE = false; return option_status::ok; }},
};

const option_row* find_option(const char* name) {
  for (const option_row& row : OPTIONS)
    if (std::strcmp(row.name, name) == 0) return &row;
  return nullptr;
}

[[noreturn]] void usage_failure() { fatal("%s", HELP_MSG); }

// Walks the arguments as the option table says. Every usage failure ends the process here,
// before the banner.
command_line parse_command_line(int argc, char** argv) {
  command_line cl;
  int i = 1;
  int n = argc;
  while (n >= 2 && argv[i][0] == '-') {
    const char* name = argv[i];
    if (std::strcmp(name, "-help") == 0) {
      std::printf("%s", HELP_MSG);
      tarn_exit(0);
    }
    const option_row* row = find_option(name);
    if (!row) fatal("\nIllegal option %s%s", name, HELP_MSG);
    if (n - 2 < row->arguments) usage_failure();
    option_status status = row->apply(cl, argv + i + 1);
    if (status == option_status::out_of_range)
      fatal("\nValue \"%s\" of %s is out of range.%s", argv[i + 1], name, HELP_MSG);
    if (status == option_status::not_a_number) usage_failure();
    i += 1 + row->arguments;
    n -= 1 + row->arguments;
  }
  if (n != 1) usage_failure();
  if (HDTREE_TYPE == 5 && !cl.block_order_file)
    fatal("\nDtree method 5 needs a block order: give it with -block_order_in.%s", HELP_MSG);
  return cl;
}

// The simplify modes write the simplified CNF under the input name followed by "_simplified"
// and end the run there: no dtree, no circuit.
[[noreturn]] void simplify_and_save(int mode, const char* input, std::unique_ptr<cnf>& formula) {
  if (VERBOSE) std::printf("\nSimplifying and saving cnf...");
  std::string output = fname_with_added_extension(input, "_simplified");
  std::unique_ptr<cnf> simplified = mode == 1 ? simplify_cnf(*formula) : simplify_cnf_s(*formula);
  free_cnf(formula);
  save_cnf_to_file(output.c_str(), *simplified);
  free_cnf(simplified);
  if (VERBOSE) std::printf("done.");
  tarn_exit(0);
}

// One flag per variable for the variables listed in the file; an index outside 1..V sets no
// flag (the declaration on the CNF manager reports it).
std::vector<char> variable_flags(const char* path, unsigned var_count, const char* label) {
  std::vector<unsigned> listed = read_unsigned(path);
  if (VERBOSE) std::printf("%s%u", label, static_cast<unsigned>(listed.size()));
  std::vector<char> flags(var_count, 0);
  for (unsigned v : listed)
    if (v >= 1 && v <= var_count) flags[v - 1] = 1;
  return flags;
}

// Times a post-processing step from just before its work.
class step_timer {
 public:
  step_timer() : start_(std::clock()) {}
  void print() const { std::printf("%0.3fs", seconds_between(start_, std::clock())); }

 private:
  std::clock_t start_;
};

void save_picture(const char* path, const nnf& circuit) {
  if (SAVE_AS_VCG) save_nnf_as_vcg(path, circuit);
}

void reduce_step(nnf& circuit) {
  if (VERBOSE) std::printf("\nReducing %u nodes, %u edges...", circuit.node_count, circuit.edge_count);
  step_timer timer;
  exist_quantify_nnf({}, circuit);
  if (VERBOSE) {
    std::printf("...%u nodes, %u edges: ", circuit.node_count, circuit.edge_count);
    timer.print();
  }
  save_picture("reduced_nnf.vcg", circuit);
}

void minimize_step(nnf& circuit) {
  if (VERBOSE) std::printf("\nMinimizing %u nodes, %u edges...", circuit.node_count, circuit.edge_count);
  step_timer timer;
  smooth_min_nnf(circuit);
  if (VERBOSE) {
    std::printf("%u nodes, %u edges / ", circuit.node_count, circuit.edge_count);
    timer.print();
  }
  save_picture("minimized_nnf.vcg", circuit);
}

void smooth_step(nnf& circuit, int smooth_mode) {
  if (VERBOSE) std::printf("\nSmoothing %u nodes, %u edges...", circuit.node_count, circuit.edge_count);
  step_timer timer;
  smooth_nnf(circuit, smooth_mode == 2);
  if (VERBOSE) {
    std::printf("%u nodes, %u edges / ", circuit.node_count, circuit.edge_count);
    timer.print();
  }
  save_picture("smoothed_nnf.vcg", circuit);
}

// Printed whatever VERBOSE is. A circuit smoothed over all variables counts with integers.
void count_step(const nnf& circuit, int smooth_mode, unsigned var_count) {
  std::printf("\nCounting...");
  step_timer timer;
  std::string count = smooth_mode == 2 || MIN_CARD ? count_smooth_nnf_models(circuit)
                                                   : count_nnf_models(var_count, circuit);
  std::printf("%s models / ", count.c_str());
  timer.print();
}

// Printed whatever VERBOSE is. Entailment is exact only for decomposable circuits.
void check_step(const nnf& circuit, std::unique_ptr<cnf>& formula) {
  step_timer decomposability_timer;
  std::printf("\nChecking decomposability...");
  bool decomposable = nnf_decomposable(circuit);
  std::printf(decomposable ? "OK / " : "Failed!!! / ");
  decomposability_timer.print();
  std::printf("\nChecking entailment...");
  step_timer entailment_timer;
  if (nnf_entails_cnf(circuit, *formula))
    std::printf("OK  / ");
  else
    std::printf(decomposable ? "Failed!!!  / " : "Cannot decide!!! / ");
  entailment_timer.print();
  free_cnf(formula);
}

// Reduce, minimise, smooth, count and check, in that order whatever the order of the options,
// then the circuit file is written again.
void post_process(const command_line& cl, int smooth_mode, std::unique_ptr<nnf_manager>& manager,
                  const std::string& nnf_out, std::unique_ptr<cnf>& formula, unsigned var_count) {
  std::unique_ptr<nnf> circuit;
  if (cl.in_memory) {
    circuit = extract_nnf_from_manager(manager.get());
    free_nnf_manager(manager);
  } else {
    circuit = load_nnf_from_file(nnf_out.c_str());
  }
  if (!MIN_CARD) save_picture("nnf.vcg", *circuit);
  if (cl.reduce) reduce_step(*circuit);
  if (MIN_CARD) minimize_step(*circuit);
  if (smooth_mode) smooth_step(*circuit, smooth_mode);
  if (cl.count) count_step(*circuit, smooth_mode, var_count);
  if (cl.check_entailment) check_step(*circuit, formula);
  if (!cl.in_memory) save_nnf_to_file(nnf_out.c_str(), *circuit);
}

void compile_and_post_process(const command_line& cl, std::unique_ptr<cnf>& formula, std::clock_t t0) {
  unsigned var_count = formula->var_count;
  std::string nnf_out = fname_with_added_extension(cl.in, ".nnf");
  std::string dtree_out = cl.dt_out ? fname_with_added_extension(cl.in, ".dtree") : std::string();
  if (cl.determined_file) DETERMINED_VARS = variable_flags(cl.determined_file, var_count, "\nDetermined vars: ");
  if (cl.decompose_except_file)
    DECOMPOSE_EXCEPT_VARS = variable_flags(cl.decompose_except_file, var_count, "\nDecompose except on vars: ");

  std::unique_ptr<nnf_manager> manager =
      dez2irivi_cmd_line(formula.get(), cl.block_order_file, cl.dt_in_file, cl.dt_out ? dtree_out.c_str() : nullptr,
                         cl.exist_file, cl.force_file, cl.determined_file, cl.decompose_except_file);
  if (!cl.check_entailment) free_cnf(formula);

  int smooth_mode = cl.smooth_mode;
  if (smooth_mode && MIN_CARD) smooth_mode = 0;  // minimisation smooths in its own way
  if (SUPPRESS_AND_NL_EDGES) MIN_CARD = false;   // cardinalities without negative literals mean nothing
  if (!cl.in_memory) {
    save_nnf_manager_to_file(nnf_out.c_str(), manager.get());
    free_nnf_manager(manager);
  }
  if (SAVE_AS_VCG || smooth_mode || cl.count || MIN_CARD || cl.reduce || cl.check_entailment)
    post_process(cl, smooth_mode, manager, nnf_out, formula, var_count);
  if (VERBOSE) std::printf("\n\nTotal Time: %0.3fs\n", seconds_between(t0, std::clock()));
}

}  // namespace

int main(int argc, char** argv) {
  install_out_of_memory_handler();
  set_tarn_defaults();
  VERBOSE = true;
  command_line cl = parse_command_line(argc, argv);

  std::printf("\ntarn compiler version %0.2f\n", TARN_VERSION);
  std::clock_t t0 = std::clock();
  if (!cl.in) fatal("\nMust specify a CNF filename using the -in directive.");

  std::unique_ptr<cnf> formula = get_cnf_from_file(cl.in, SKIP_BINARY_TRIVIAL_CLAUSES);
  if (SAVE_AS_VCG) save_cnf_as_vcg("cnf.vcg", *formula);
  if (cl.simplify_mode) simplify_and_save(cl.simplify_mode, cl.in, formula);

  run_with_large_stack([&] { compile_and_post_process(cl, formula, t0); });
  return 0;
}
