// One differential test case: a small formula with its counting directives, and the options of
// one tarn run on it. Both are kept as structures, not text, so that the oracle reads their
// meaning directly and the shrinker can drop parts and render the rest again.
#pragma once

#include <gmpxx.h>

#include <random>
#include <string>
#include <vector>

namespace diff_fuzz {

struct weight_line {
  int literal = 0;
  std::string text;     // the weight as written: decimal, exponent or fraction
  mpq_class value;      // its exact value
  bool legacy = false;  // a "w LIT W" line instead of "c p weight LIT W 0"
};

struct formula_case {
  unsigned vars = 0;
  std::vector<std::vector<int>> clauses;  // as written: repeated literals and complements kept
  unsigned eclauses = 0;                  // the last ones are eclauses
  std::vector<weight_line> weights;
  std::vector<std::vector<unsigned>> show_lines;  // projection lines; none: no projection
  std::string show_spelling = "c p show";         // or "c ind", "vp"
  std::string type;                               // the "c t" value, empty for none
  unsigned layout = 0;                            // seeds how the text is laid out (split clauses, comments, blanks)

  bool projected() const { return !show_lines.empty(); }
};

// A variable list file; indices outside 1..V may be listed on purpose.
struct var_list {
  bool given = false;
  std::vector<unsigned> vars;
};

struct option_case {
  bool dynamic = false;     // "-dynamic": components found during the search, no dtree
  bool preprocess = false;  // "-preprocess": the CNF simplified before compiling
  int dt_method = -1;                 // -1: not given
  std::vector<unsigned> block_order;  // non-empty: "-block_order_in" (method 5)
  int dt_count = 0;                   // 0: not given
  int first_ubf = 0, last_ubf = 0;    // 0: "-ubfs" not given
  long long seed = -1;
  int threads = 0;
  bool no_ddb = false, no_cache = false, keep_trivial = false, suppress_ane = false;
  int cache_size = -1, nnf_block_size = -1;  // MB; -1: not given
  var_list exist, force, determined, decompose_except;
  bool reduce = false;
  int smooth = 0;  // 1 "-smooth", 2 "-smooth_all"
  bool minimize = false;
  bool count = false;
  bool count_only = false;  // the count given as "-count_only": no circuit file, defined variables projected
  bool assume_given = false;
  std::vector<int> assume;
  bool in_memory = false, check_entailment = false, dt_out = false;
  bool verbose = false;      // progress and statistics on (no "-silent")
  bool weight_file = false;  // the directives go to "w.txt", given with "-weights" (needs -count)
  bool saved_query = false;  // the saved circuit is counted again with "-nnf" and "w.txt"
  unsigned order = 0;        // seeds the order of the options on the command line
};

struct test_case {
  formula_case formula;
  option_case options;
};

test_case random_case(std::mt19937_64& random);

// The CNF text, laid out as formula.layout says, with its directive lines unless they go to a
// weight file.
std::string cnf_text(const formula_case& formula, bool with_directives = true);

// A weight file holding the formula's directive lines and a comment.
std::string weight_file_text(const formula_case& formula);

// The arguments of the count of the saved circuit "f.cnf.nnf" with "w.txt".
std::vector<std::string> saved_query_arguments(const option_case& options);

// The text of a variable list file: the count, then the indices.
std::string list_text(const var_list& list);

// The command-line arguments after the program name, reading the formula from "f.cnf" and the
// lists from "exist.txt", "force.txt", "determined.txt", "except.txt", "blocks.txt".
std::vector<std::string> arguments(const option_case& options);

// The option set's signature: its option names without values, in a fixed order.
std::string signature(const option_case& options);

}  // namespace diff_fuzz
