// The tarn program's command line: the option table, the checks on option values and on
// combinations of options, and the usage text that -help prints.
#pragma once

#include <vector>

// What the command line asks of this run beyond the global settings, which the options set
// directly.
struct command_line {
  const char* in = nullptr;
  int simplify_mode = 0;  // 0 none, 1 "-simplify", 2 "-simplify_s"
  bool count = false;
  bool count_only = false;  // "-count_only": no circuit of every variable is kept, defined ones go
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
  const char* out = nullptr;           // "-out": the circuit file, "-" for standard output
  long long timeout_seconds = 0;       // "-timeout": 0 for none
  long long mem_limit_megabytes = 0;   // "-mem_limit": 0 for none
  const char* stats_file = nullptr;    // "-stats": the JSON statistics file
  bool dynamic = false;                // "-dynamic": the component search instead of the dtree's
  bool preprocess = false;             // "-preprocess": the equivalence-preserving simplification first
};

// Walks the arguments as the option table says. A usage failure ends the process with status 1,
// -help and -version with status 0, all before the banner.
command_line parse_command_line(int argc, char** argv);

// Every option of the table, aliases included, in table order.
std::vector<const char*> option_names();

// What -help prints: the forms of the command and every option.
extern const char USAGE_TEXT[];
