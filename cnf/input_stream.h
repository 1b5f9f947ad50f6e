// The inputs a CNF is read from: a named file or standard input ("-"), plain or compressed
// (gzip, xz, bzip2, told by their first bytes), and the names messages and outputs give them.
#pragma once

#include <string>

// The whole decompressed text of the input. Ends the process with a message and status 1 when
// the input cannot be opened or read, is neither a regular file nor a stream (a directory, for
// instance), or holds corrupt or truncated compressed data.
std::string read_input_text(const char* name);

// The input as messages name it: its path, or "standard input" for "-".
std::string input_display_name(const char* name);

// What outputs named after the input (NAME.nnf, NAME.dtree) start with: the path of a regular
// file, else "stdin" (in the current folder), for "-" as for a pipe or a device such as
// /dev/stdin, next to which nothing can be written.
std::string output_base_name(const char* name);
