// The compile pipeline: the command line's, which returns the NNF manager holding the circuit,
// and the library entry, which takes a CNF and a dtree in memory and returns the circuit.
#pragma once

#include <memory>
#include <vector>

struct cnf;
struct nnf;
struct nnf_manager;

// What a command-line compile measured, for the statistics file. Times are wall seconds.
struct compile_report {
  unsigned max_cluster = 0, max_cutset = 0, max_context = 0, max_separator = 0, dtree_height = 0;
  double preprocessing_seconds = 0, compile_seconds = 0, release_seconds = 0;
  unsigned cache_hits = 0, cache_misses = 0, cache_entries = 0;
  unsigned learned_clauses = 0;
};

// Builds every structure in order and compiles: hypergraph, dtree (loaded from dtree_in_file,
// else built with HDTREE_TYPE, from the block order when block_order_file is given), saved
// under dtree_out_file when given; the CNF manager with the declared variable lists; the dtree
// manager, the cache and the NNF manager; then the compiler. Every file argument may be null.
// The forgotten variables are existentially quantified besides those of exist_file; with
// HDTREE_TYPE 5 and no block-order file they make the blocks (forgotten first, then the rest).
std::unique_ptr<nnf_manager> dez2irivi_cmd_line(cnf* formula, const char* block_order_file, const char* dtree_in_file,
                                                const char* dtree_out_file, const char* exist_file,
                                                const char* force_file, const char* determined_file,
                                                const char* decompose_except_file,
                                                const std::vector<unsigned>& forgotten = {},
                                                compile_report* report = nullptr);

// The dynamic search instead of the dtree's: no hypergraph, dtree or dtree cache. The exist file's
// variables and the forgotten ones are forgotten; forgotten_defined says the others define them.
std::unique_ptr<nnf_manager> compile_dynamic_cmd_line(cnf* formula, const char* exist_file,
                                                      const std::vector<unsigned>& forgotten, bool forgotten_defined,
                                                      compile_report* report = nullptr);

// settings: null or five ints: MIN_CARD, SUPPRESS_AND_NL_EDGES, cache size in MB, NNF block size
// in MB, VERBOSE. Each variable list is null or 0-terminated. Every setting is back at its
// default afterwards.
std::unique_ptr<nnf> dez2irivi(cnf* formula, const int* settings, const std::vector<unsigned>& dtree_skeleton,
                               const unsigned* exist_vars, const unsigned* force_vars, const unsigned* determined_vars,
                               const unsigned* decompose_except_vars);
