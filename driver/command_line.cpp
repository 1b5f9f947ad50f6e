#include "driver/command_line.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/utility.h"
#include "driver/version.h"

const char USAGE_TEXT[] =
    "Usage: tarn -in FILE.cnf [options]\n"
    "       tarn -nnf FILE.nnf -count [-weights FILE] [-assume \"LITERALS\"]\n"
    "       tarn -help | -version\n"
    "\n"
    "  -in FILE                the CNF file to compile (\"-\": standard input; gzip, xz, bzip2 read too);\n"
    "                          the circuit goes to FILE.nnf\n"
    "  -out PATH               write the circuit to PATH instead (\"-\": standard output, messages to\n"
    "                          standard error)\n"
    "  -timeout SECONDS        stop the run after this wall time (exit status 3, no circuit file)\n"
    "  -mem_limit MB           stop the run when its memory passes this (exit status 3, no circuit file)\n"
    "  -stats FILE             write the run's statistics as one JSON object to FILE\n"
    "  -progress SECONDS       wall seconds between progress lines while compiling (default 5)\n"
    "  -count                  print the number of models (weighted and projected when the CNF says so)\n"
    "  -count_only             count without keeping a circuit of every variable: variables that the\n"
    "                          others define are projected away first (plain counts); no .nnf file\n"
    "  -weights FILE           count with this weight file's weights and projection instead of the CNF's\n"
    "  -assume \"LITERALS\"      count under these literals, e.g. \"3 -7\"; needs -count\n"
    "  -nnf FILE               count this saved circuit instead of compiling (with -count)\n"
    "  -reduce                 shrink the circuit without changing its function\n"
    "  -smooth                 make every or-node's children mention the same variables\n"
    "  -smooth_all             smooth, and make the root mention every variable of the CNF\n"
    "  -minimize               keep only the minimum-cardinality models (fewest true variables)\n"
    "  -check_entailment       check that the circuit is decomposable and entails every clause\n"
    "  -in_memory              keep the circuit in memory: no .nnf file is written or read\n"
    "  -exist FILE             variable list: forget these variables\n"
    "  -force FILE             variable list: decision candidates until all their clauses are satisfied\n"
    "  -determined FILE        variable list: left out of the dtree (not with -count or -minimize)\n"
    "  -decompose_except FILE  variable list: never decided on (not with -count or -minimize)\n"
    "  -dt_method N            dtree method: 0 bisection (default), 1 bisection sweeping balance factors,\n"
    "                          2 ascending variable order, 3 descending, 4 min-fill, 5 block order\n"
    "  -dt_count N             bisection rounds of the default dtree (default 25, at least 1)\n"
    "  -seed N                 run seed of the dtree tries, 0 to 4294967295 (default: from the clock)\n"
    "  -threads N              threads that make the dtree tries, 1 to 1024 (default: one per core)\n"
    "  -ubfs FIRST LAST        first and last balance factor of method 1, 1 to 49 (default 25 25)\n"
    "  -block_order_in FILE    block number per variable; min-fill within blocks (sets method 5)\n"
    "  -dt_in FILE             read the dtree from this file instead of building one\n"
    "  -dt_out                 write the dtree to FILE.dtree\n"
    "  -dynamic                compile by components found during the search instead of the dtree's\n"
    "  -preprocess             simplify the CNF first (backbones, equivalent literals, vivification,\n"
    "                          subsumption), keeping its models over every variable; with a\n"
    "                          projection, resolving away forgotten variables\n"
    "  -no_ddb                 no conflict analysis: chronological backtracking\n"
    "  -no_cache               no component cache\n"
    "  -cache_size MB          component cache limit (default 512, at most 4095)\n"
    "  -nnf_block_size MB      circuit node block size (default 64, at most 4095)\n"
    "  -suppress_ane           and-nodes drop negative-literal children (not with -count or -minimize)\n"
    "  -keep_trivial_cls       keep two-literal clauses x -x instead of dropping them\n"
    "  -remove_subsumed_cls    accepted for compatibility; has no effect\n"
    "  -simplify               write the CNF simplified by unit and binary resolution to FILE_simplified\n"
    "                          and stop\n"
    "  -simplify_s             the same, also removing subsumed clauses\n"
    "  -visualize              write VCG pictures (cnf.vcg, dtree.vcg, nnf.vcg, ...) here\n"
    "  -silent                 progress and statistics off\n"
    "  -help, -h, --help       print this text\n"
    "  -version, --version     print the version\n";

namespace {

constexpr int MOST_ARGUMENTS = 2;

// What an option is given: its argument texts, and their values when they are numbers.
struct option_arguments {
  char* const* texts;
  long long numbers[MOST_ARGUMENTS];
};

using option_action = void (*)(command_line&, const option_arguments&);

struct number_range {
  long long min, max;
};

struct option_row {
  const char* name;
  int arguments;
  const number_range* numbers;  // the range of every argument, or nullptr when they are texts
  option_action apply;
};

constexpr number_range DTREE_METHODS{0, 5};
constexpr number_range BISECTION_ROUNDS{1, INT32_MAX};
constexpr number_range SEEDS{0, UINT32_MAX};
constexpr number_range THREAD_COUNTS{1, 1024};
constexpr number_range BALANCE_FACTORS{1, 49};  // the partitioner's own bounds
constexpr number_range MEGABYTES{0, 4095};      // held as 32-bit byte counts
constexpr number_range LIMIT_SECONDS{1, 1000000000};
constexpr number_range PROGRESS_INTERVALS{0, 3600};
constexpr number_range LIMIT_MEGABYTES{1, 1000000000};

std::uint32_t bytes_of(long long megabytes) { return static_cast<std::uint32_t>(megabytes) << 20; }

[[noreturn]] void print_usage() {
  std::fputs(USAGE_TEXT, stdout);
  tarn_exit(0);
}

[[noreturn]] void print_version() {
  std::printf("tarn %s\n", TARN_VERSION);
  tarn_exit(0);
}

constexpr option_row OPTIONS[] = {
    {"-in", 1, nullptr, [](command_line& cl, const option_arguments& a) { cl.in = a.texts[0]; }},
    {"-simplify", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.simplify_mode = 1; }},
    {"-simplify_s", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.simplify_mode = 2; }},
    {"-count", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.count = true; }},
    {"-count_only", 0, nullptr,
     [](command_line& cl, const option_arguments&) { cl.count = cl.count_only = cl.in_memory = true; }},
    {"-in_memory", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.in_memory = true; }},
    {"-reduce", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.reduce = true; }},
    {"-smooth", 0, nullptr,
     [](command_line& cl, const option_arguments&) {
       if (cl.smooth_mode == 0) cl.smooth_mode = 1;
     }},
    {"-smooth_all", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.smooth_mode = 2; }},
    {"-minimize", 0, nullptr, [](command_line&, const option_arguments&) { MIN_CARD = true; }},
    {"-force", 1, nullptr, [](command_line& cl, const option_arguments& a) { cl.force_file = a.texts[0]; }},
    {"-exist", 1, nullptr, [](command_line& cl, const option_arguments& a) { cl.exist_file = a.texts[0]; }},
    {"-determined", 1, nullptr,
     [](command_line& cl, const option_arguments& a) { cl.determined_file = a.texts[0]; }},
    {"-decompose_except", 1, nullptr,
     [](command_line& cl, const option_arguments& a) { cl.decompose_except_file = a.texts[0]; }},
    {"-visualize", 0, nullptr, [](command_line&, const option_arguments&) { SAVE_AS_VCG = true; }},
    {"-dt_method", 1, &DTREE_METHODS,
     [](command_line& cl, const option_arguments& a) {
       cl.dtree_chosen = true;
       HDTREE_TYPE = static_cast<int>(a.numbers[0]);
     }},
    {"-dt_in", 1, nullptr,
     [](command_line& cl, const option_arguments& a) {
       cl.dt_in_file = a.texts[0];
       cl.dtree_chosen = true;
     }},
    {"-dt_out", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.dt_out = true; }},
    {"-ubfs", 2, &BALANCE_FACTORS,
     [](command_line&, const option_arguments& a) {
       FIRST_UBF = static_cast<int>(a.numbers[0]);
       LAST_UBF = static_cast<int>(a.numbers[1]);
     }},
    {"-dt_count", 1, &BISECTION_ROUNDS,
     [](command_line&, const option_arguments& a) { HDTREE_TRIES = static_cast<int>(a.numbers[0]); }},
    {"-seed", 1, &SEEDS, [](command_line&, const option_arguments& a) { RUN_SEED = a.numbers[0]; }},
    {"-threads", 1, &THREAD_COUNTS,
     [](command_line&, const option_arguments& a) { THREAD_COUNT = static_cast<unsigned>(a.numbers[0]); }},
    {"-block_order_in", 1, nullptr,
     [](command_line& cl, const option_arguments& a) {
       cl.block_order_file = a.texts[0];
       cl.dtree_chosen = true;
       HDTREE_TYPE = 5;
     }},
    {"-dynamic", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.dynamic = true; }},
    {"-preprocess", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.preprocess = true; }},
    {"-no_ddb", 0, nullptr, [](command_line&, const option_arguments&) { DD_BACKTRACK = false; }},
    {"-no_cache", 0, nullptr, [](command_line&, const option_arguments&) { CACHING_ON = false; }},
    {"-suppress_ane", 0, nullptr, [](command_line&, const option_arguments&) { SUPPRESS_AND_NL_EDGES = true; }},
    {"-cache_size", 1, &MEGABYTES,
     [](command_line&, const option_arguments& a) { MAX_NNF_CACHE_MEMORY = bytes_of(a.numbers[0]); }},
    {"-nnf_block_size", 1, &MEGABYTES,
     [](command_line&, const option_arguments& a) { MAX_NNF_MEMORY_BLOCK = bytes_of(a.numbers[0]); }},
    {"-keep_trivial_cls", 0, nullptr,
     [](command_line&, const option_arguments&) { SKIP_BINARY_TRIVIAL_CLAUSES = false; }},
    {"-remove_subsumed_cls", 0, nullptr,
     [](command_line&, const option_arguments&) { REMOVE_SUBSUMED_CLAUSES = true; }},
    {"-check_entailment", 0, nullptr, [](command_line& cl, const option_arguments&) { cl.check_entailment = true; }},
    {"-silent", 0, nullptr, [](command_line&, const option_arguments&) { VERBOSE = false; }},
    {"-nnf", 1, nullptr, [](command_line& cl, const option_arguments& a) { cl.nnf_in = a.texts[0]; }},
    {"-weights", 1, nullptr, [](command_line& cl, const option_arguments& a) { cl.weights_file = a.texts[0]; }},
    {"-assume", 1, nullptr, [](command_line& cl, const option_arguments& a) { cl.assume = a.texts[0]; }},
    {"-out", 1, nullptr, [](command_line& cl, const option_arguments& a) { cl.out = a.texts[0]; }},
    {"-timeout", 1, &LIMIT_SECONDS,
     [](command_line& cl, const option_arguments& a) { cl.timeout_seconds = a.numbers[0]; }},
    {"-mem_limit", 1, &LIMIT_MEGABYTES,
     [](command_line& cl, const option_arguments& a) { cl.mem_limit_megabytes = a.numbers[0]; }},
    {"-progress", 1, &PROGRESS_INTERVALS,
     [](command_line&, const option_arguments& a) { PROGRESS_SECONDS = static_cast<int>(a.numbers[0]); }},
    {"-stats", 1, nullptr, [](command_line& cl, const option_arguments& a) { cl.stats_file = a.texts[0]; }},
    {"-help", 0, nullptr, [](command_line&, const option_arguments&) { print_usage(); }},
    {"-h", 0, nullptr, [](command_line&, const option_arguments&) { print_usage(); }},
    {"--help", 0, nullptr, [](command_line&, const option_arguments&) { print_usage(); }},
    {"-version", 0, nullptr, [](command_line&, const option_arguments&) { print_version(); }},
    {"--version", 0, nullptr, [](command_line&, const option_arguments&) { print_version(); }},
};

// Numeric arguments are read into option_arguments::numbers.
constexpr bool numbers_fit() {
  for (const option_row& row : OPTIONS)
    if (row.numbers && row.arguments > MOST_ARGUMENTS) return false;
  return true;
}
static_assert(numbers_fit(), "an option takes more numbers than option_arguments holds");

const option_row* find_option(const char* name) {
  for (const option_row& row : OPTIONS)
    if (std::strcmp(row.name, name) == 0) return &row;
  return nullptr;
}

enum class number_status { ok, not_a_number, out_of_range };

// Decimal digits after an optional minus sign, and nothing else: no blanks, no plus sign, no
// fraction, exponent or other base. A minus sign where the range has no negatives gives a value
// out of range.
number_status read_whole_number(const char* text, const number_range& range, long long* value) {
  const char* digits = text[0] == '-' ? text + 1 : text;
  if (digits[0] == '\0' || digits[std::strspn(digits, "0123456789")] != '\0') return number_status::not_a_number;
  errno = 0;
  const long long number = std::strtoll(text, nullptr, 10);
  if (errno == ERANGE || number < range.min || number > range.max) return number_status::out_of_range;
  *value = number;
  return number_status::ok;
}

[[noreturn]] void refuse_value(const char* text, const char* option, const char* problem) {
  fatal("\nValue \"%s\" of %s is %s.%s", text, option, problem, HELP_MSG);
}

option_arguments arguments_of(const option_row& row, char* const* texts) {
  option_arguments arguments{texts, {}};
  for (int k = 0; row.numbers && k < row.arguments; ++k) {
    const number_status status = read_whole_number(texts[k], *row.numbers, &arguments.numbers[k]);
    if (status == number_status::not_a_number) refuse_value(texts[k], row.name, "not a whole number");
    if (status == number_status::out_of_range) refuse_value(texts[k], row.name, "out of range");
  }
  return arguments;
}

void check_query_options(const command_line& cl) {
  if (cl.nnf_in && cl.in) fatal("\nGive -in to compile a CNF or -nnf to count a saved circuit, not both.");
  if (cl.nnf_in && !cl.count) fatal("\n-nnf counts a saved circuit: give -count with it.");
  if (cl.out && (cl.in_memory || cl.nnf_in || cl.simplify_mode))
    fatal("\n-out names the circuit file, which -in_memory, -count_only, -nnf and the simplify modes do not write.");
  if ((cl.weights_file || cl.assume) && !cl.count) fatal("\n-weights and -assume apply to a count: give -count with them.");
  if (cl.count_only && (MIN_CARD || cl.check_entailment || cl.nnf_in || cl.simplify_mode))
    fatal("\n-count_only keeps no circuit of every variable: -minimize, -check_entailment, -nnf and the simplify "
          "modes do not apply to it.");
  if (cl.preprocess && (cl.simplify_mode || cl.nnf_in))
    fatal("\n-preprocess simplifies the CNF to compile: the simplify modes and -nnf compile none.");
}

// The dynamic search decides every variable it meets and keeps no dtree.
void check_dynamic_options(const command_line& cl) {
  if (!cl.dynamic) return;
  if (cl.force_file || cl.determined_file || cl.decompose_except_file)
    fatal("\n-dynamic cannot be combined with -force, -determined or -decompose_except: it finds components as it "
          "searches and has no dtree to keep those variables out of.");
  if (cl.dt_in_file || cl.dt_out || cl.block_order_file)
    fatal("\n-dynamic builds no dtree: -dt_in, -dt_out and -block_order_in do not apply to it.");
}

// Counts and minimum cardinalities are the formula's only on a decomposable circuit with the
// formula's models.
void check_counted_circuit(const command_line& cl) {
  if (!cl.count && !MIN_CARD) return;
  // Counting and minimisation add up the variables below an and-node's children, which is exact
  // only when the children share none.
  if (cl.determined_file || cl.decompose_except_file)
    fatal("\n-count and -minimize cannot be combined with -determined or -decompose_except: their variables are "
          "shared between the branches of and-nodes, which would make the count and the minimum cardinality inexact.");
  // -check_entailment stays allowed: on such a circuit it tells, truly, whether it still entails the CNF.
  if (SUPPRESS_AND_NL_EDGES)
    fatal("\n%s cannot be combined with -suppress_ane: and-nodes without their negative literals give the circuit "
          "models that the formula does not have, so its %s would not be the formula's.",
          cl.count ? "-count" : "-minimize", cl.count ? "count" : "minimum-cardinality models");
}

}  // namespace

command_line parse_command_line(int argc, char** argv) {
  command_line cl;
  int i = 1;
  while (i < argc && argv[i][0] == '-') {
    const option_row* row = find_option(argv[i]);
    if (!row) fatal("\nIllegal option %s%s", argv[i], HELP_MSG);
    if (argc - 1 - i < row->arguments)
      fatal("\nOption %s needs %d argument%s.%s", row->name, row->arguments, row->arguments > 1 ? "s" : "", HELP_MSG);
    row->apply(cl, arguments_of(*row, argv + i + 1));
    i += 1 + row->arguments;
  }
  if (i < argc) fatal("\nUnexpected argument \"%s\".%s", argv[i], HELP_MSG);
  if (HDTREE_TYPE == 5 && !cl.block_order_file)
    fatal("\nDtree method 5 needs a block order: give it with -block_order_in.%s", HELP_MSG);
  check_query_options(cl);
  check_dynamic_options(cl);
  check_counted_circuit(cl);
  return cl;
}

std::vector<const char*> option_names() {
  std::vector<const char*> names;
  for (const option_row& row : OPTIONS) names.push_back(row.name);
  return names;
}
