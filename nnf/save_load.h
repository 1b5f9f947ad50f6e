// The circuit file (header "nnf N E V", then one line per node, children first, root last) and
// the VCG picture of a circuit.
#pragma once

#include <cstdio>
#include <memory>

#include "nnf/nnf_operations.h"

// Writes the file whole or not at all; ends the process with "\nCannot open file: %s (reason)"
// or "\nCannot write file: %s (reason)" (status 1) when it cannot be written.
void save_nnf_to_file(const char* path, const nnf& circuit);
void write_nnf(std::FILE* out, const nnf& circuit);

// Reads a circuit file. The file is outside input: anything that is not a well-formed circuit
// (bad header, missing or unknown records, variables above V, child indices that are negative or
// not below their parent's, an edge total that differs from E, a node the root does not reach)
// ends the process with "\nCorrupt NNF file." and status 1; records after the N-th are ignored.
std::unique_ptr<nnf> load_nnf_from_file(const char* path);

// The same, with the messages on standard error.
void save_nnf_as_vcg(const char* path, const nnf& circuit);
void write_nnf_vcg(std::FILE* out, const nnf& circuit);
