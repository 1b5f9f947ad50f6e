#include "driver/library.h"

#include <cstdio>
#include <algorithm>
#include <ctime>

#include "base/run_limits.h"
#include "base/utility.h"
#include "cnf/cnf_manager.h"
#include "cnf/cnf_read.h"
#include "compiler/cache.h"
#include "compiler/compile.h"
#include "compiler/dynamic_compile.h"
#include "compiler/nnf_manager.h"
#include "dtree/dtree_manager.h"
#include "dtree/elm_orders.h"
#include "dtree/hdtree.h"
#include "dtree/hgr.h"
#include "dtree/minfill.h"
#include "nnf/nnf_operations.h"

namespace {

constexpr unsigned TABLE_SIZE = 2015179;  // a prime: the most buckets the cache and the unique table grow to

std::unique_ptr<hdtree> hdtree_from_block_order_file(cnf* formula, hgr* h, const char* path) {
  std::vector<unsigned> blocks = read_unsigned_given_count(formula->var_count, path);
  std::printf("\n===>");
  std::fflush(stdout);
  std::vector<unsigned> order = cnf2minfill_order(formula, blocks);
  std::printf("<====");
  return cnf2hdtree(formula, h, HDTREE_TYPE, &order);
}

// Forgotten variables form block 0, so the min-fill order eliminates them first and the dtree
// decides them below the shown ones.
std::vector<unsigned> forgotten_first_blocks(const std::vector<unsigned>& forgotten, unsigned var_count) {
  std::vector<unsigned> blocks(var_count, 1);
  for (unsigned v : forgotten) blocks[v - 1] = 0;
  return blocks;
}

std::unique_ptr<hdtree> build_hdtree(cnf* formula, hgr* h, const char* block_order_file,
                                     const std::vector<unsigned>& forgotten) {
  if (block_order_file) return hdtree_from_block_order_file(formula, h, block_order_file);
  if (HDTREE_TYPE == 5) {
    std::vector<unsigned> order = cnf2minfill_order(formula, forgotten_first_blocks(forgotten, formula->var_count));
    return cnf2hdtree(formula, h, HDTREE_TYPE, &order);
  }
  return cnf2hdtree(formula, h, HDTREE_TYPE, nullptr);
}

void save_dtree(const char* path, const hdtree* tree, const hgr* h) {
  if (tree)
    save_hdtree_to_file(path, tree, h);
  else
    std::printf("\nThe CNF has no clauses, so it has no dtree: %s is not written.", path);
}

// Records of the CNF manager laid out in the dtree's variable and clause orders.
std::unique_ptr<cnf_manager> lay_out_cnf(const cnf& formula, const hdtree* tree, const hgr* h) {
  std::vector<unsigned> var_order = hdtree2edge_order(tree, h);
  std::vector<unsigned> clause_order = hdtree2node_order(tree, h);
  return construct_cnf_manager(var_order.data(), clause_order.data(), formula);
}

// The structures the compiler works with, built after the CNF manager; the hdtree and the
// hypergraph are no longer needed once the dtree manager exists.
struct compiler_stages {
  std::unique_ptr<dtree_manager> dtrees;
  std::unique_ptr<cnf_cache_manager> cache;
  std::unique_ptr<nnf_manager> nodes;
};

compiler_stages build_compiler_stages(std::unique_ptr<hdtree>& tree, std::unique_ptr<hgr>& h, cnf_manager* cm) {
  compiler_stages stages;
  stages.dtrees = construct_dtree_manager(tree.get(), cm);
  free_hdtree(tree);
  free_hgr(h);
  stages.cache = construct_cnf_cache_manager(TABLE_SIZE, cm, stages.dtrees.get());
  stages.nodes = construct_nnf_manager(cm, TABLE_SIZE);
  return stages;
}

// Decompose-except and determined variables are left out of the dtree, so components share them.
// A literal asserted after a conflict stays set above the component being compiled, and its
// propagation runs through a shared variable into a sibling's clauses and sets its variables,
// whose literals then belong to no component's term: the circuit loses those clauses. A cache
// key holds the values of the decompose-except variables but not of the determined ones, so an
// entry made under one value of a determined variable would be reused under another. Propagation
// through a decompose-except variable also reaches clauses outside the component, whose state
// its key leaves out: the compiler tracks where propagation acts and caches no result that
// depended on such clauses. Searching without backjumping, and with determined variables without
// the cache, keeps all of this sound.
void search_soundly_with_shared_variables(cnf_manager* cm) {
  for (unsigned i = 1; i <= cm->var_count; ++i) {
    const var* x = index2varp(i, cm);
    if (x->decompose_except || x->determined) DD_BACKTRACK = false;
    if (x->decompose_except) cm->track_effects = 1;
    if (x->determined) CACHING_ON = false;
  }
}

void report_dtree(const dtree_manager& dm, compile_report& report) {
  report.max_cluster = dm.max_cluster;
  report.max_cutset = dm.max_cutset;
  report.max_context = dm.max_context;
  report.max_separator = dm.max_separator;
  report.dtree_height = dm.root ? dm.root->height : 0;
}

void report_search(const cnf_cache_manager& cache, const cnf_manager& cm, compile_report& report) {
  report.cache_hits = cache.hits;
  report.cache_misses = cache.misses;
  report.cache_entries = cache.count;
  report.learned_clauses = cm.learned_count;
}

void compile(compiler_stages& stages, cnf_manager* cm) {
  if (VERBOSE) {
    std::printf("\nCompiling...");
    std::fflush(stdout);
  }
  comp_dtree(stages.dtrees.get(), cm, stages.nodes.get(), stages.cache.get());
  if (VERBOSE) std::printf("done.");
}

void release_search_structures(compiler_stages& stages, std::unique_ptr<cnf_manager>& cm) {
  free_cnf_cache_manager(stages.cache);
  free_dtree_manager(stages.dtrees);
  free_cnf_manager(cm);
}

std::uint32_t megabytes_setting(int value, const char* what) {
  if (value < 0 || value > 4095) fatal("\n%s of %d MB is out of range (0 to 4095).", what, value);
  return static_cast<std::uint32_t>(value) << 20;
}

void apply_library_settings(const int* settings) {
  if (!settings) return;
  MIN_CARD = settings[0];
  SUPPRESS_AND_NL_EDGES = settings[1];
  MAX_NNF_CACHE_MEMORY = megabytes_setting(settings[2], "Cache size");
  MAX_NNF_MEMORY_BLOCK = megabytes_setting(settings[3], "NNF block size");
  VERBOSE = settings[4];
}

// The exist file's variables and the forgotten ones.
std::vector<std::uint8_t> forgotten_flags(const cnf& formula, const char* exist_file,
                                          const std::vector<unsigned>& forgotten) {
  std::vector<std::uint8_t> flags = read_exist_flags(exist_file, formula.var_count);
  for (unsigned v : forgotten) flags[v] = 1;
  return flags;
}

void report_dynamic_search(const dynamic_statistics& search, compile_report& report) {
  report.cache_hits = static_cast<unsigned>(search.cache_hits);
  report.cache_misses = static_cast<unsigned>(search.cache_misses);
  report.cache_entries = static_cast<unsigned>(search.cache_entries);
  report.learned_clauses = static_cast<unsigned>(search.learned_clauses);
}

void print_dynamic_search(const dynamic_statistics& search, const nnf_manager& nodes) {
  print_bytes("\nCache memory:", static_cast<std::uint32_t>(std::min<std::uint64_t>(search.cache_bytes, UINT32_MAX)));
  std::printf(" / Cache count: %llu", static_cast<unsigned long long>(search.cache_entries));
  print_bytes("\nNNF memory:", nodes.memory);
  if (search.elimination_width)
    std::printf("\nElimination width: %zu%s", search.elimination_width, search.guided ? " (guides the decisions)" : "");
  std::printf("\nDecisions: %llu / Conflicts: %llu / Learned clauses: %llu",
              static_cast<unsigned long long>(search.decisions), static_cast<unsigned long long>(search.conflicts),
              static_cast<unsigned long long>(search.learned_clauses));
}

}  // namespace

std::unique_ptr<nnf_manager> compile_dynamic_cmd_line(cnf* formula, const char* exist_file,
                                                      const std::vector<unsigned>& forgotten, bool forgotten_defined,
                                                      compile_report* report) {
  double wall_start = wall_seconds();
  std::vector<std::uint8_t> flags = forgotten_flags(*formula, exist_file, forgotten);
  std::unique_ptr<nnf_manager> nodes = construct_nnf_manager(formula->var_count, formula->clause_count(), TABLE_SIZE);
  double wall_compile_start = wall_seconds();
  if (VERBOSE) {
    std::printf("\nCompiling dynamically...");
    std::fflush(stdout);
  }
  dynamic_statistics search;
  compile_dynamically(*formula, flags, forgotten_defined, nodes.get(), &search);
  double wall_end = wall_seconds();
  if (VERBOSE) {
    std::printf("done.");
    print_dynamic_search(search, *nodes);
    std::printf("\nCompile Time: %0.3fs / Pre-Processing: %0.3fs\n", wall_end - wall_compile_start,
                wall_compile_start - wall_start);
  }
  if (report) {
    report_dynamic_search(search, *report);
    report->preprocessing_seconds = wall_compile_start - wall_start;
    report->compile_seconds = wall_end - wall_compile_start;
  }
  return nodes;
}

std::unique_ptr<nnf_manager> dez2irivi_cmd_line(cnf* formula, const char* block_order_file, const char* dtree_in_file,
                                                const char* dtree_out_file, const char* exist_file,
                                                const char* force_file, const char* determined_file,
                                                const char* decompose_except_file,
                                                const std::vector<unsigned>& forgotten, compile_report* report) {
  double wall_start = wall_seconds();
  std::clock_t start = std::clock();
  std::unique_ptr<hgr> h = cnf2hgr(formula);
  std::unique_ptr<hdtree> tree =
      dtree_in_file ? load_hdtree_from_file(dtree_in_file, h.get()) : build_hdtree(formula, h.get(), block_order_file, forgotten);
  if (dtree_out_file) save_dtree(dtree_out_file, tree.get(), h.get());

  std::unique_ptr<cnf_manager> cm = lay_out_cnf(*formula, tree.get(), h.get());
  declare_force_order_vars_file(force_file, cm.get());
  declare_exist_quantify_vars_file(exist_file, cm.get());
  declare_exist_quantify_vars(static_cast<unsigned>(forgotten.size()), forgotten.data(), cm.get());
  declare_determined_vars_file(determined_file, cm.get());
  declare_decompose_except_vars_file(decompose_except_file, cm.get());
  search_soundly_with_shared_variables(cm.get());
  compiler_stages stages = build_compiler_stages(tree, h, cm.get());
  std::clock_t preprocessing = std::clock() - start;
  double wall_compile_start = wall_seconds();

  start = std::clock();
  compile(stages, cm.get());
  std::clock_t compiling = std::clock() - start;
  double wall_release_start = wall_seconds();
  if (report) {
    report_dtree(*stages.dtrees, *report);
    report_search(*stages.cache, *cm, *report);
    report->preprocessing_seconds = wall_compile_start - wall_start;
    report->compile_seconds = wall_release_start - wall_compile_start;
  }
  if (VERBOSE) {
    print_bytes("\nCache memory:", stages.cache->memory);
    std::printf(" / Cache count: %u", stages.cache->count);
    print_bytes("\nNNF memory:", stages.nodes->memory);
    std::printf("\nLearned clauses: %u", cm->learned_count);
  }
  start = std::clock();
  release_search_structures(stages, cm);
  std::clock_t postprocessing = std::clock() - start;
  if (report) report->release_seconds = wall_seconds() - wall_release_start;
  if (VERBOSE)
    std::printf("\nCompile Time: %0.3fs / Pre-Processing: %0.3fs / Post-Processing: %0.3fs\n",
                seconds_between(0, compiling), seconds_between(0, preprocessing), seconds_between(0, postprocessing));
  return std::move(stages.nodes);
}

std::unique_ptr<nnf> dez2irivi(cnf* formula, const int* settings, const std::vector<unsigned>& dtree_skeleton,
                               const unsigned* exist_vars, const unsigned* force_vars, const unsigned* determined_vars,
                               const unsigned* decompose_except_vars) {
  std::unique_ptr<nnf> circuit;
  run_with_large_stack([&] {
    apply_library_settings(settings);
    std::unique_ptr<hgr> h = cnf2hgr(formula);
    std::unique_ptr<hdtree> tree = dtree_skeleton2hdtree(dtree_skeleton, h.get());
    std::unique_ptr<cnf_manager> cm = lay_out_cnf(*formula, tree.get(), h.get());
    declare_force_order_vars_array(force_vars, cm.get());
    declare_exist_quantify_vars_array(exist_vars, cm.get());
    declare_determined_vars_array(determined_vars, cm.get());
    declare_decompose_except_vars_array(decompose_except_vars, cm.get());
    search_soundly_with_shared_variables(cm.get());
    compiler_stages stages = build_compiler_stages(tree, h, cm.get());
    compile(stages, cm.get());
    release_search_structures(stages, cm);
    circuit = extract_nnf_from_manager(stages.nodes.get());
    free_nnf_manager(stages.nodes);
  });
  set_tarn_defaults();
  return circuit;
}
