// The tarn program: loading of the CNF, and the run its command line asks for.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/output_file.h"
#include "base/output_lines.h"
#include "base/run_limits.h"
#include "base/utility.h"
#include "cnf/cnf_read.h"
#include "cnf/defined_variables.h"
#include "cnf/directives.h"
#include "cnf/equivalence_preprocessing.h"
#include "cnf/forgotten_elimination.h"
#include "cnf/input_stream.h"
#include "cnf/preprocessing.h"
#include "compiler/nnf_manager.h"
#include "driver/command_line.h"
#include "driver/count_query.h"
#include "driver/library.h"
#include "driver/result_lines.h"
#include "driver/run_statistics.h"
#include "driver/version.h"
#include "nnf/count.h"
#include "nnf/decomposable.h"
#include "nnf/entail.h"
#include "nnf/nnf_operations.h"
#include "nnf/save_load.h"
#include "nnf/smooth.h"

namespace {

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

// Each test assumes every untested variable, and one that finds a model has solved both copies of
// the formula, so those are bounded as well as the conflicts: each bound stands for a few seconds.
constexpr definability_budget DEFINABILITY_BUDGET = {100, 200000, 50000, 60000000, 300000000};

// The longest resolvent of a forgotten variable resolved away. Defined variables are mostly gate
// outputs, whose long resolvents join inputs that the gates kept apart: measured, shorter ones pay.
constexpr std::size_t FORGOTTEN_RESOLVENT_SIZE = 24;
constexpr std::size_t DEFINED_RESOLVENT_SIZE = 6;

// What a count asks for, and the variables it ranges without.
struct count_setup {
  std::vector<unsigned> forgotten;
  bool forgotten_defined = false;  // the others define them, so they may be decided in any order
  count_query query;
};

// The circuit file is opened before compiling, so that a location it cannot be written to ends
// the run before the work. It is written whole to a staged file, which post-processing reads
// back and replaces, and takes its name only once the run has printed its answers, so a run that
// fails on the way leaves no circuit file. Standard output, a device or a pipe is written once,
// at the end, from the circuit in memory.
struct circuit_file {
  std::string path;
  std::unique_ptr<output_file> file;
  bool written = false;

  bool read_back() const { return file && file->is_staged(); }

  template <typename Write>
  void write(Write write_circuit) {
    if (written) open();  // a staged file is replaced by a new one
    write_circuit(file->get());
    require_finished(*file, path.c_str(), DATA_FILE_FAILURE);
    written = true;
  }
  void open() {
    file = std::make_unique<output_file>(path);
    require_open(*file, path.c_str(), DATA_FILE_FAILURE);
  }
  void commit() {
    if (file) require_committed(*file, path.c_str(), DATA_FILE_FAILURE);
  }
};

// Reduce, minimise, smooth, count and check, in that order whatever the order of the options,
// then the circuit file is written again.
count_answer post_process(const command_line& cl, int smooth_mode, std::unique_ptr<nnf_manager>& manager,
                          circuit_file& output, std::unique_ptr<cnf>& formula, const count_setup& setup,
                          run_statistics& stats) {
  double start = wall_seconds();
  std::unique_ptr<nnf> circuit;
  if (output.read_back()) {
    circuit = load_nnf_from_file(output.file->staged_path().c_str());
  } else {
    circuit = extract_nnf_from_manager(manager.get());
    free_nnf_manager(manager);
  }
  if (!MIN_CARD) save_picture("nnf.vcg", *circuit);
  if (cl.reduce) reduce_step(*circuit);
  if (MIN_CARD) minimize_step(*circuit, setup.forgotten);
  if (smooth_mode) smooth_step(*circuit, smooth_mode);
  count_answer answer;
  if (cl.count) answer = count_step(*circuit, smooth_mode, setup.query);
  if (cl.check_entailment) check_step(*circuit, formula);
  if (output.file) output.write([&](std::FILE* out) { write_nnf(out, *circuit); });
  stats.circuit_nodes = circuit->node_count;
  stats.circuit_edges = circuit->edge_count;
  stats.post_processing_seconds = wall_seconds() - start;
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

void record_answer(const count_query& query, const count_answer& answer, run_statistics& stats) {
  stats.counted = true;
  stats.count_type = count_type_name(query.type);
  stats.satisfiable = answer.satisfiable;
  stats.count = answer_text(answer.value);
}

void record_end(std::clock_t t0, run_statistics& stats) {
  stats.total_seconds = wall_seconds();
  stats.cpu_seconds = seconds_between(t0, std::clock());
  stats.peak_megabytes = peak_resident_megabytes();
}

// A plain count is the count of the projection on the variables that define the others, which
// spares the search every defined variable.
void project_away_defined(const cnf& formula, count_setup& setup) {
  if (VERBOSE) {
    std::printf("\nFinding defined vars...");
    std::fflush(stdout);
  }
  double start = wall_seconds();
  definability_search search = find_defined_variables(formula.var_count, plain_clauses(formula), DEFINABILITY_BUDGET);
  for (unsigned v : search.defined) setup.query.weights.counted[v - 1] = 0;
  setup.query.plain = false;
  setup.forgotten = std::move(search.defined);
  setup.forgotten_defined = true;
  if (VERBOSE)
    std::printf("%zu of %u vars, %u tests / %0.3fs", setup.forgotten.size(), formula.var_count, search.tests,
                wall_seconds() - start);
}

// The formula compiled in the input's place: the same models over every variable, smaller. With
// forgotten variables, those that can go are resolved away, which keeps the models over the shown
// ones; equivalent literals then stay as they are, as rewriting them made the search on projected
// formulas slower, unless the forgotten variables are defined ones, where rewriting pays.
std::unique_ptr<cnf> preprocess_step(const cnf& formula, const std::vector<unsigned>& forgotten,
                                     bool forgotten_defined) {
  if (VERBOSE) {
    std::printf("\nPreprocessing...");
    std::fflush(stdout);
  }
  double start = wall_seconds();
  preprocess_summary summary;
  std::unique_ptr<cnf> result = preprocess_cnf(formula, &summary, forgotten.empty() || forgotten_defined);
  forgotten_elimination_summary elimination;
  if (!forgotten.empty() && !summary.unsatisfiable)
    result = eliminate_forgotten_variables(
        *result, forgotten, forgotten_defined ? DEFINED_RESOLVENT_SIZE : FORGOTTEN_RESOLVENT_SIZE, &elimination);
  if (VERBOSE) {
    std::printf("%u backbone literals, %u equivalent literals, %u clauses removed, %u literals removed",
                summary.backbone_literals, summary.equivalences, summary.subsumed_clauses, summary.vivified_literals);
    if (!forgotten.empty()) std::printf(", %u forgotten vars eliminated", elimination.eliminated);
    std::printf(": %u clauses left / %0.3fs", result->clause_count(), wall_seconds() - start);
  }
  return result;
}

// The entailment check reads the input formula, also when a preprocessed one is compiled.
void compile_and_post_process(const command_line& cl, std::unique_ptr<cnf>& formula, std::clock_t t0,
                              run_statistics& stats) {
  unsigned var_count = formula->var_count;
  count_setup setup = set_up_count(cl, formula->directives, var_count);
  if (cl.count_only && setup.query.plain) project_away_defined(*formula, setup);
  std::unique_ptr<cnf> preprocessed =
      cl.preprocess ? preprocess_step(*formula, setup.forgotten, setup.forgotten_defined) : nullptr;
  if (preprocessed && !cl.check_entailment) free_cnf(formula);
  cnf* compiled = preprocessed ? preprocessed.get() : formula.get();
  std::string output_base = output_base_name(cl.in);
  circuit_file output{cl.out ? cl.out : fname_with_added_extension(output_base, ".nnf"), nullptr};
  if (!cl.in_memory) output.open();
  std::unique_ptr<output_file> stats_file = cl.stats_file ? open_statistics_file(cl.stats_file) : nullptr;
  std::string dtree_out = cl.dt_out ? fname_with_added_extension(output_base, ".dtree") : std::string();
  if (!setup.forgotten.empty()) {
    if (!setup.forgotten_defined) decide_forgotten_last(cl);
    if (VERBOSE)
      std::printf("\nProjected on %u of %u vars", var_count - static_cast<unsigned>(setup.forgotten.size()), var_count);
  }
  if (cl.determined_file) DETERMINED_VARS = variable_flags(cl.determined_file, var_count, "\nDetermined vars: ");
  if (cl.decompose_except_file)
    DECOMPOSE_EXCEPT_VARS = variable_flags(cl.decompose_except_file, var_count, "\nDecompose except on vars: ");

  std::unique_ptr<nnf_manager> manager =
      cl.dynamic ? compile_dynamic_cmd_line(compiled, cl.exist_file, setup.forgotten, setup.forgotten_defined,
                                                  &stats.compiling)
                 : dez2irivi_cmd_line(compiled, cl.block_order_file, cl.dt_in_file,
                                      cl.dt_out ? dtree_out.c_str() : nullptr, cl.exist_file, cl.force_file,
                                      cl.determined_file, cl.decompose_except_file, setup.forgotten, &stats.compiling);
  stats.dtree_method = HDTREE_TYPE;
  stats.seed = DTREE_SEED_USED;
  free_cnf(preprocessed);
  if (!cl.check_entailment) free_cnf(formula);

  int smooth_mode = cl.smooth_mode;
  if (smooth_mode && MIN_CARD) smooth_mode = 0;  // minimisation smooths in its own way
  bool post_processing = SAVE_AS_VCG || smooth_mode || cl.count || MIN_CARD || cl.reduce || cl.check_entailment;
  if (output.read_back() || (output.file && !post_processing)) {
    output.write([&](std::FILE* out) {
      std::tie(stats.circuit_nodes, stats.circuit_edges) = write_nnf_manager(out, manager.get());
    });
    free_nnf_manager(manager);
  } else if (!post_processing) {
    count_nnf_nodes(manager->root, &stats.circuit_nodes, &stats.circuit_edges);
  }
  count_answer answer;
  if (post_processing) answer = post_process(cl, smooth_mode, manager, output, formula, setup, stats);
  record_end(t0, stats);
  if (VERBOSE) std::printf("\n\nTotal Time: %0.3fs / Wall Time: %0.3fs\n", stats.cpu_seconds, stats.total_seconds);
  if (cl.count) {
    print_answer(setup.query, answer);
    record_answer(setup.query, answer, stats);
  }
  if (stats_file) save_statistics(*stats_file, cl.stats_file, stats);
  output.commit();
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
  remember_output_lines();
  // Past a file-size limit a write then fails with EFBIG, which is reported, instead of the
  // signal killing the run.
  std::signal(SIGXFSZ, SIG_IGN);
  discard_staged_files_on_signals();
  set_tarn_defaults();
  VERBOSE = true;
  command_line cl = parse_command_line(argc, argv);
  if (cl.out && std::string(cl.out) == "-") route_messages_to_standard_error();
  watch_run_limits(cl.timeout_seconds, cl.mem_limit_megabytes);

  std::printf("\ntarn compiler version %s\n", TARN_VERSION);
  std::clock_t t0 = std::clock();
  if (cl.nnf_in) {
    count_saved_circuit(cl);
    tarn_exit(0);
  }
  if (!cl.in) fatal("\nMust specify a CNF filename using the -in directive.");

  std::unique_ptr<cnf> formula = get_cnf_from_file(cl.in, SKIP_BINARY_TRIVIAL_CLAUSES);
  run_statistics stats;
  stats.input = cl.in;
  stats.variables = formula->var_count;
  stats.clauses = formula->clause_count();
  stats.eclauses = formula->eclause_count;
  stats.read_seconds = wall_seconds();
  if (SAVE_AS_VCG) save_cnf_as_vcg("cnf.vcg", *formula);
  if (cl.simplify_mode) simplify_and_save(cl.simplify_mode, output_base_name(cl.in), formula);

  run_with_large_stack([&] { compile_and_post_process(cl, formula, t0, stats); });
  tarn_exit(0);
}
