// The CNF as read from a DIMACS file (with the "eclauses" extension), its writer and picture.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cnf/directives.h"

struct cnf {
  unsigned var_count = 0;               // V from the "p cnf" line; variables are 1..V
  unsigned eclause_count = 0;           // how many of the last clauses are eclauses
  std::vector<std::vector<int>> clauses; // in file order; each holds non-zero literals and a final 0
  std::string file_name;                // the input as messages name it (empty when built in memory)
  count_directives directives;          // the model-counting directives of its comment lines, checked

  unsigned clause_count() const { return static_cast<unsigned>(clauses.size()); }
  const int* clause(unsigned i) const { return clauses[i].data(); } // 0-terminated
  unsigned clause_size(unsigned i) const { return static_cast<unsigned>(clauses[i].size() - 1); }
};

// Reads the file ("-": standard input; plain, or compressed as read_input_text tells) or ends the
// process with the reader's message and exit status 1.
// skip_trivial is SKIP_BINARY_TRIVIAL_CLAUSES: when false, a two-literal clause x or not x is kept.
std::unique_ptr<cnf> get_cnf_from_file(const char* path, bool skip_trivial);
// The same reader over the text of a file already in memory: `name` takes the path's place as the
// formula's file_name and in the messages. The fuzz target reads this way, without a file per input.
std::unique_ptr<cnf> get_cnf_from_text(std::string text, const char* name, bool skip_trivial);

// Writers: the file appears whole or not at all; a failure ends the process with status 1 and
// "\nCannot open file: %s (reason)" or "\nCannot write file: %s (reason)".
void save_cnf_to_file(const char* path, const cnf& formula);
void write_cnf(std::FILE* out, const cnf& formula);
void free_cnf(std::unique_ptr<cnf>& formula);

// The clauses without their final 0, each eclause as its clause and, for each pair of its
// literals, the clause that not both are true.
std::vector<std::vector<int>> plain_clauses(const cnf& formula);

// For the simplifiers: a formula with the variables, name and directives of `formula` and no
// clauses; clauses appended to it (literals without the final 0, an empty vector being a removed
// clause, skipped); and x1, not x1 for an unsatisfiable one, as the reader never holds the empty
// clause.
std::unique_ptr<cnf> cnf_without_clauses(const cnf& formula);
void append_clauses(const std::vector<std::vector<int>>& clauses, cnf& result);
void append_contradiction(cnf& result);

// The variable interaction graph: one edge per pair of variables sharing a clause.
// The same, with the messages on standard error.
void save_cnf_as_vcg(const char* path, const cnf& formula);
void write_cnf_vcg(std::FILE* out, const cnf& formula);
