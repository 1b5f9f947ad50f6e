// The compile pipeline: the command line's, which returns the NNF manager holding the circuit,
// and the library entry, which takes a CNF and a dtree in memory and returns the circuit.
#pragma once

#include <memory>
#include <vector>

struct cnf;
struct nnf;
struct nnf_manager;

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
                                                const std::vector<unsigned>& forgotten = {});

// settings: null or five ints: MIN_CARD, SUPPRESS_AND_NL_EDGES, cache size in MB, NNF block size
// in MB, VERBOSE. Each variable list is null or 0-terminated. Every setting is back at its
// default afterwards.
std::unique_ptr<nnf> dez2irivi(cnf* formula, const int* settings, const std::vector<unsigned>& dtree_skeleton,
                               const unsigned* exist_vars, const unsigned* force_vars, const unsigned* determined_vars,
                               const unsigned* decompose_except_vars);
