// The model-counting directives a CNF file or a weight file carries in its comment lines: the
// problem type ("c t"), literal weights ("c p weight", legacy "w") and the projection
// ("c p show", "c ind", "vp").
#pragma once

#include <gmpxx.h>

#include <string>
#include <utility>
#include <vector>

enum class count_type { mc, wmc, pmc, pwmc };
const char* count_type_name(count_type type);  // "mc", "wmc", "pmc", "pwmc"

struct literal_weight {
  int literal;               // non-zero, |literal| is the variable
  mpq_class weight;          // exact
  unsigned long line;        // line number in its file, for messages
  bool from_w_line = false;  // read from a legacy "w" line: only those get the legacy completion
};

// What a file's directives say, as read (not yet checked against the variable count).
struct count_directives {
  bool type_given = false;              // a "c t" line was read
  count_type type = count_type::mc;     // its value when type_given
  std::vector<literal_weight> weights;  // "c p weight" and "w" lines, file order
  bool projection_given = false;        // at least one "c p show", "c ind" or "vp" line
  std::vector<unsigned> shown;          // the shown variables, each once, ascending
  // Every variable a directive named, with its line, for the range check.
  std::vector<std::pair<unsigned, unsigned long>> named;
};

// Exact value of a decimal ("0.3", "3e-5", "-1.5", "+2", ".5", "5.", "1E+3") or a fraction
// ("1/4", "-3/8"). False for anything else (empty, "inf", "nan", hex, "1/0", "1.5/2", trailing junk,
// an exponent beyond +-10000 so that no input can ask for a huge power of ten).
bool parse_exact_number(const std::string& text, mpq_class& value);

// Reads one line (without its newline; may end in '\r'); tokens are separated by white space.
// Returns true when the line is a directive and was taken into `d`; false when it is anything
// else (an ordinary comment, or a line that is no directive at all). A malformed directive ends
// the process with a message naming the line number, through fatal() (status 1).
// A legacy "w LITERAL -1" line is kept as read, with weight -1, until complete_legacy_weights.
bool read_directive_line(const std::string& line, unsigned long line_number, count_directives& d);

// The convention of the legacy "w" format, applied to d.weights:
// - "w V W" with W in [0,1], when no line weighs the literal -V, makes -V weigh 1 - W;
// - "w V -1" (or "w -V -1") marks V unweighted: it stands for the weight 1 of both V and -V, so
//   it agrees with another line weighing either literal 1 and contradicts any other weight.
// Applying it twice changes nothing.
void complete_legacy_weights(count_directives& d);

// After the whole file: every named variable must be in 1..var_count, a literal given twice with
// different weights is an error (the same weight twice is fine), and a "c t" must agree with what
// the directives hold. Ends the process through fatal() with a clear message otherwise.
// Weights are compared as complete_legacy_weights makes them. `source` names the file in messages.
void check_directives(const count_directives& d, unsigned var_count, const char* source);

// The type the file asks for: the "c t" value when given, else wmc/pmc/pwmc/mc from whether
// weights and/or a projection were given.
count_type resolved_count_type(const count_directives& d);

// A weight file: lines that are directives ("c p weight", "w", "c p show", "c ind", "vp", "c t"),
// ordinary comment lines ("c ..."), and blank lines. Any other line (a "p" line, a clause...) is an
// error naming the line. "Cannot open file: %s" when it cannot be opened, "Cannot read file: %s"
// when it cannot be read (a directory). The legacy weights are completed; the caller checks the
// result against a variable count (check_directives).
count_directives read_weight_file(const char* path);
