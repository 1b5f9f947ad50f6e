// The tarn program: command line, loading of the CNF, and the run it asks for.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/output_file.h"
#include "cnf/cnf_read.h"
#include "cnf/directives.h"
#include "cnf/input_stream.h"
#include "cnf/preprocessing.h"
#include "compiler/nnf_manager.h"
#include "driver/count_query.h"
#include "driver/library.h"
#include "driver/result_lines.h"
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
  const char* nnf_in = nullptr;        // "-nnf": count a saved circuit instead of compiling
  const char* weights_file = nullptr;  // "-weights"
  const char* assume = nullptr;        // "-assume": literals to condition the count on
  bool dtree_chosen = false;           // the dtree method or file was given
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
    {"-dt_method", 1,
     [](command_line& cl, char* const* a) {
       cl.dtree_chosen = true;
       return set_int(a[0], &HDTREE_TYPE, 0, INT32_MAX);
     }},
    {"-dt_in", 1,
     [](command_line& cl, char* const* a) {
       cl.dt_in_file = a[0];
       cl.dtree_chosen = true;
       return option_status::ok;
     }},
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
       cl.dtree_chosen = true;
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
    {"-nnf", 1, [](command_line& cl, char* const* a) { cl.nnf_in = a[0]; return option_status::ok; }},
    {"-weights", 1, [](command_line& cl, char* const* a) { cl.weights_file = a[0]; return option_status::ok; }},
    {"-assume", 1, [](command_line& cl, char* const* a) { cl.assume = a[0]; return option_status::ok; }},
};

const option_row* find_option(const char* name) {
  for (const option_row& row : OPTIONS)
    if (std::strcmp(row.name, name) == 0) return &row;
  return nullptr;
}

[[noreturn]] void usage_failure() { fatal("%s", HELP_MSG); }

void check_query_options(const command_line& cl) {
  if (cl.nnf_in && cl.in) fatal("\nGive -in to compile a CNF or -nnf to count a saved circuit, not both.");
  if (cl.nnf_in && !cl.count) fatal("\n-nnf counts a saved circuit: give -count with it.");
  if ((cl.weights_file || cl.assume) && !cl.count) fatal("\n-weights and -assume apply to a count: give -count with them.");
  // Counting and minimisation add up the variables below an and-node's children, which is exact
  // only when the children share none.
  if ((cl.count || MIN_CARD) && (cl.determined_file || cl.decompose_except_file))
    fatal("\n-count and -minimize cannot be combined with -determined or -decompose_except: their variables are "
          "shared between the branches of and-nodes, which would make the count and the minimum cardinality inexact.");
}

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
  check_query_options(cl);
  return cl;
}

// The simplify modes write the simplified CNF under the output base followed by "_simplified"
// and end the run there: no dtree, no circuit.
[[noreturn]] void simplify_and_save(int mode, const std::string& output_base, std::unique_ptr<cnf>& formula) {
  if (VERBOSE) std::printf("\nSimplifying and saving cnf...");
  std::string output = fname_with_added_extension(output_base, "_simplified");
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

// A projected circuit is minimised over its shown variables: the forgotten ones stay free.
void minimize_step(nnf& circuit, const std::vector<unsigned>& forgotten) {
  if (VERBOSE) std::printf("\nMinimizing %u nodes, %u edges...", circuit.node_count, circuit.edge_count);
  step_timer timer;
  smooth_min_nnf(circuit, forgotten);
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
count_answer count_step(const nnf& circuit, int smooth_mode, const count_query& query) {
  std::printf("\nCounting...");
  step_timer timer;
  count_answer answer = answer_count_query(query, circuit, smooth_mode == 2 || MIN_CARD);
  std::printf("%s models / ", answer_text(answer.value).c_str());
  timer.print();
  return answer;
}

// The competition's answer lines, on standard output whatever VERBOSE is.
void print_answer(const count_query& query, const count_answer& answer) {
  std::printf("\n");
  print_result_lines(stdout, answer.satisfiable, count_type_name(query.type), answer.value, weighted_type(query.type));
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

// What a count asks for, and the variables it ranges without.
struct count_setup {
  std::vector<unsigned> forgotten;
  count_query query;
};

// The circuit is written whole to a staged file, which post-processing reads back and replaces;
// it takes the circuit file's name only once the run has printed its answers, so a run that
// fails on the way leaves no circuit file.
template <typename Write>
std::unique_ptr<output_file> stage_circuit(const std::string& nnf_out, Write write) {
  auto staged = std::make_unique<output_file>(nnf_out);
  require_open(*staged, nnf_out.c_str(), DATA_FILE_FAILURE);
  write(staged->get());
  require_finished(*staged, nnf_out.c_str(), DATA_FILE_FAILURE);
  return staged;
}

// Reduce, minimise, smooth, count and check, in that order whatever the order of the options,
// then the circuit file is written again.
count_answer post_process(const command_line& cl, int smooth_mode, std::unique_ptr<nnf_manager>& manager,
                          std::unique_ptr<output_file>& staged, const std::string& nnf_out, std::unique_ptr<cnf>& formula,
                          const count_setup& setup) {
  std::unique_ptr<nnf> circuit;
  if (cl.in_memory) {
    circuit = extract_nnf_from_manager(manager.get());
    free_nnf_manager(manager);
  } else {
    circuit = load_nnf_from_file(staged->staged_path().c_str());
  }
  if (!MIN_CARD) save_picture("nnf.vcg", *circuit);
  if (cl.reduce) reduce_step(*circuit);
  if (MIN_CARD) minimize_step(*circuit, setup.forgotten);
  if (smooth_mode) smooth_step(*circuit, smooth_mode);
  count_answer answer;
  if (cl.count) answer = count_step(*circuit, smooth_mode, setup.query);
  if (cl.check_entailment) check_step(*circuit, formula);
  if (!cl.in_memory) staged = stage_circuit(nnf_out, [&](std::FILE* out) { write_nnf(out, *circuit); });
  return answer;
}

// The variables the circuit forgets: those outside a projection, and those of "-exist" when the
// circuit is counted, since its count ranges over the variables it keeps.
std::vector<unsigned> forgotten_vars(const command_line& cl, const count_directives& directives, unsigned var_count) {
  std::vector<unsigned> forgotten = projected_away(directives, var_count);
  if (cl.count && cl.exist_file)
    for (unsigned v : read_unsigned(cl.exist_file))
      if (v >= 1 && v <= var_count) forgotten.push_back(v);
  std::sort(forgotten.begin(), forgotten.end());
  forgotten.erase(std::unique(forgotten.begin(), forgotten.end()), forgotten.end());
  return forgotten;
}

// A forgotten variable is decided only once the shown ones below it are set, so that the circuit
// stays deterministic over the shown variables; unless a dtree was asked for, the dtree comes
// from a min-fill order that eliminates the forgotten variables first.
void decide_forgotten_last(const command_line& cl) {
  if (cl.determined_file || cl.decompose_except_file)
    fatal("\nA projection, or -exist with -count, cannot be combined with -determined or -decompose_except: "
          "variables that are never decided would leave the count inexact.");
  DECIDE_SHOWN_FIRST = true;
  if (!cl.dtree_chosen) HDTREE_TYPE = 5;
}

count_directives weight_file_directives(const char* path, unsigned var_count) {
  count_directives directives = read_weight_file(path);
  check_directives(directives, var_count, path);
  return directives;
}

count_setup set_up_count(const command_line& cl, const count_directives& from_cnf, unsigned var_count) {
  count_directives from_file;
  if (cl.weights_file) from_file = weight_file_directives(cl.weights_file, var_count);
  count_directives directives = effective_directives(from_cnf, cl.weights_file ? &from_file : nullptr);
  count_setup setup;
  setup.forgotten = forgotten_vars(cl, directives, var_count);
  std::vector<int> assumed = cl.assume ? parse_assumptions(cl.assume, var_count, setup.forgotten) : std::vector<int>();
  setup.query = make_count_query(directives, cl.weights_file != nullptr, var_count, setup.forgotten, std::move(assumed));
  return setup;
}

void compile_and_post_process(const command_line& cl, std::unique_ptr<cnf>& formula, std::clock_t t0) {
  unsigned var_count = formula->var_count;
  std::string output_base = output_base_name(cl.in);
  std::string nnf_out = fname_with_added_extension(output_base, ".nnf");
  std::string dtree_out = cl.dt_out ? fname_with_added_extension(output_base, ".dtree") : std::string();
  count_setup setup = set_up_count(cl, formula->directives, var_count);
  if (!setup.forgotten.empty()) {
    decide_forgotten_last(cl);
    if (VERBOSE)
      std::printf("\nProjected on %u of %u vars", var_count - static_cast<unsigned>(setup.forgotten.size()), var_count);
  }
  if (cl.determined_file) DETERMINED_VARS = variable_flags(cl.determined_file, var_count, "\nDetermined vars: ");
  if (cl.decompose_except_file)
    DECOMPOSE_EXCEPT_VARS = variable_flags(cl.decompose_except_file, var_count, "\nDecompose except on vars: ");

  std::unique_ptr<nnf_manager> manager = dez2irivi_cmd_line(
      formula.get(), cl.block_order_file, cl.dt_in_file, cl.dt_out ? dtree_out.c_str() : nullptr, cl.exist_file,
      cl.force_file, cl.determined_file, cl.decompose_except_file, setup.forgotten);
  if (!cl.check_entailment) free_cnf(formula);

  int smooth_mode = cl.smooth_mode;
  if (smooth_mode && MIN_CARD) smooth_mode = 0;  // minimisation smooths in its own way
  if (SUPPRESS_AND_NL_EDGES) MIN_CARD = false;   // cardinalities without negative literals mean nothing
  std::unique_ptr<output_file> staged;
  if (!cl.in_memory) {
    staged = stage_circuit(nnf_out, [&](std::FILE* out) { write_nnf_manager(out, manager.get()); });
    free_nnf_manager(manager);
  }
  count_answer answer;
  if (SAVE_AS_VCG || smooth_mode || cl.count || MIN_CARD || cl.reduce || cl.check_entailment)
    answer = post_process(cl, smooth_mode, manager, staged, nnf_out, formula, setup);
  if (VERBOSE) std::printf("\n\nTotal Time: %0.3fs\n", seconds_between(t0, std::clock()));
  if (cl.count) print_answer(setup.query, answer);
  if (staged) require_committed(*staged, nnf_out.c_str(), DATA_FILE_FAILURE);
}

// "-nnf FILE -count": the saved circuit counted under the weight file and the assumptions.
void count_saved_circuit(const command_line& cl) {
  std::unique_ptr<nnf> circuit = load_nnf_from_file(cl.nnf_in);
  count_setup setup = set_up_count(cl, count_directives(), circuit->var_count);
  count_answer answer = count_step(*circuit, 0, setup.query);
  if (VERBOSE) std::printf("\n");
  print_answer(setup.query, answer);
}

}  // namespace

int main(int argc, char** argv) {
  install_out_of_memory_handler();
  // Past a file-size limit a write then fails with EFBIG, which is reported, instead of the
  // signal killing the run.
  std::signal(SIGXFSZ, SIG_IGN);
  set_tarn_defaults();
  VERBOSE = true;
  command_line cl = parse_command_line(argc, argv);

  std::printf("\ntarn compiler version %0.2f\n", TARN_VERSION);
  std::clock_t t0 = std::clock();
  if (cl.nnf_in) {
    count_saved_circuit(cl);
    return 0;
  }
  if (!cl.in) fatal("\nMust specify a CNF filename using the -in directive.");

  std::unique_ptr<cnf> formula = get_cnf_from_file(cl.in, SKIP_BINARY_TRIVIAL_CLAUSES);
  if (SAVE_AS_VCG) save_cnf_as_vcg("cnf.vcg", *formula);
  if (cl.simplify_mode) simplify_and_save(cl.simplify_mode, output_base_name(cl.in), formula);

  run_with_large_stack([&] { compile_and_post_process(cl, formula, t0); });
  return 0;
}
