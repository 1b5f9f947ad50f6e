// The compile pipeline behind the command line, and the library entries.
#pragma once

#include <ctime>
#include <memory>

#include "dtree/hdtree.h"
#include "dtree/hgr.h"

struct cnf;

// What the dtree stages of the pipeline hand to the stages after them.
struct dtree_stage {
  std::clock_t start;                 // start of pre-processing
  std::unique_ptr<hgr> hypergraph;    // the clause hypergraph, as cnf2hgr made it
  std::unique_ptr<hdtree> tree;       // none for a CNF without clauses
};

// Builds the hypergraph and the dtree: loaded from dtree_in_file, else built with HDTREE_TYPE
// (from the min-fill order of the blocks in block_order_file, when given); then saved under
// dtree_out_file when given. Every file argument may be null.
dtree_stage dez2irivi_cmd_line(cnf* formula, const char* block_order_file, const char* dtree_in_file,
                               const char* dtree_out_file);
