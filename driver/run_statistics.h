// The statistics file of -stats: one JSON object with what a run read, built, measured and
// answered, for scripts. Times are wall seconds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "driver/library.h"

struct run_statistics {
  std::string input;  // the name given with -in
  unsigned variables = 0, clauses = 0, eclauses = 0;
  int dtree_method = 0;
  std::int64_t seed = -1;  // of the dtree tries; -1 when no bisection drew one
  compile_report compiling;
  double read_seconds = 0, post_processing_seconds = 0, total_seconds = 0, cpu_seconds = 0;
  std::size_t peak_megabytes = 0;
  unsigned circuit_nodes = 0, circuit_edges = 0;
  bool counted = false;
  std::string count_type;  // mc, wmc, pmc or pwmc
  bool satisfiable = false;
  std::string count;       // exact: an integer, or P/Q when weighted
};

// The JSON text of the statistics.
std::string statistics_json(const run_statistics& stats);

// The statistics file, opened before the run's work so that a location it cannot be written to
// ends the run at once; written whole or not at all; a failure ends the run with status 1.
class output_file;
std::unique_ptr<output_file> open_statistics_file(const char* path);
void save_statistics(output_file& file, const char* path, const run_statistics& stats);
