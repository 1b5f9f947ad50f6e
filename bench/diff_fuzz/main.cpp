// Differential fuzzing of the whole tarn pipeline against brute force: random small formulas
// (eclauses, units, repeats, tautologies, unsatisfiable cores, long clauses, unused variables,
// chains, weights, projections) run with random option sets, each run judged by the oracle.
// Stops at the first disagreement, shrinks it and prints how to reproduce it.
//
//   diff_fuzz SEED COUNT TARN [--keep-going] [--case INDEX]
//
// COUNT is a number of formulas, or of seconds with an "s" suffix ("600s"). Formula i of a seed
// is the same whatever COUNT is; --case runs that one formula alone. --keep-going reports each
// disagreement and goes on. Exit status 0 when every run agrees, 1 otherwise, 2 on bad usage.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "diff_fuzz/case.h"
#include "diff_fuzz/judge.h"
#include "diff_fuzz/oracle.h"
#include "diff_fuzz/runner.h"
#include "diff_fuzz/shrink.h"

using namespace diff_fuzz;

namespace {

constexpr int RUN_SECONDS = 60;
constexpr unsigned SHRINK_RUNS = 3000;

struct settings {
  unsigned long long seed = 0;
  unsigned long long count = 0;  // formulas, or seconds when `timed`
  bool timed = false;
  std::string tarn;
  bool keep_going = false;
  long long single = -1;  // --case
};

bool parse_number(const std::string& text, unsigned long long& value) {
  char* end = nullptr;
  value = std::strtoull(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0';
}

bool parse_settings(int argc, char** argv, settings& s) {
  if (argc < 4 || !parse_number(argv[1], s.seed)) return false;
  std::string count = argv[2];
  s.timed = !count.empty() && count.back() == 's';
  if (s.timed) count.pop_back();
  if (!parse_number(count, s.count)) return false;
  // Runs happen in a scratch directory, so a relative path is made absolute first.
  char* absolute = realpath(argv[3], nullptr);
  if (!absolute) return false;
  s.tarn = absolute;
  std::free(absolute);
  for (int i = 4; i < argc; ++i) {
    std::string option = argv[i];
    unsigned long long index;
    if (option == "--keep-going") {
      s.keep_going = true;
    } else if (option == "--case" && i + 1 < argc && parse_number(argv[i + 1], index)) {
      s.single = static_cast<long long>(index);
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

// Formula i of a seed comes from its own stream, so that any one can be run alone.
test_case case_of(unsigned long long seed, unsigned long long index) {
  std::seed_seq mixed{static_cast<unsigned>(seed), static_cast<unsigned>(seed >> 32), static_cast<unsigned>(index),
                      static_cast<unsigned>(index >> 32)};
  std::mt19937_64 random(mixed);
  return random_case(random);
}

std::string make_directory(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  return pattern;
}

// ---------------------------------------------------------------------------------------------
// Coverage
// ---------------------------------------------------------------------------------------------

class coverage {
 public:
  void add(const test_case& t, const expectation& e) {
    ++runs_;
    signatures_.insert(signature(t.options));
    std::istringstream words(signature(t.options));
    std::string word, option;
    while (words >> word) {
      if (word[0] == '-' && !option.empty()) ++options_[option];
      option = word[0] == '-' ? word : option + " " + word;
    }
    if (!option.empty() && option != "(none)") ++options_[option];
    add_formula(t.formula);
    ++outcomes_[e.fails ? "refused: " + e.message : e.count ? "compiled and counted" : "compiled"];
  }

  void print(double seconds) const {
    std::printf("%llu formulas in %.0f s, %zu distinct option sets\n", runs_, seconds, signatures_.size());
    print_table("options", options_);
    print_table("formulas", formulas_);
    print_table("outcomes", outcomes_);
  }

 private:
  void add_formula(const formula_case& f) {
    ++formulas_["variables " + std::string(f.vars == 0 ? "0" : f.vars <= 3 ? "1-3" : f.vars <= 9 ? "4-9" : "10-14")];
    if (f.eclauses) ++formulas_["with eclauses"];
    if (!f.weights.empty()) ++formulas_["weighted"];
    if (f.projected()) ++formulas_["projected"];
    if (!f.type.empty()) ++formulas_["with c t line"];
    bool unit = false, tautology = false, repeat = false, long_clause = false;
    for (const auto& c : f.clauses) {
      std::set<int> distinct(c.begin(), c.end());
      unit = unit || distinct.size() == 1;
      repeat = repeat || distinct.size() < c.size();
      long_clause = long_clause || c.size() >= 6;
      for (int l : distinct) tautology = tautology || distinct.count(-l);
    }
    if (unit) ++formulas_["with a unit clause"];
    if (tautology) ++formulas_["with a tautology"];
    if (repeat) ++formulas_["with a repeated literal"];
    if (long_clause) ++formulas_["with a clause of 6+ literals"];
    if (f.clauses.empty()) ++formulas_["without clauses"];
  }

  static void print_table(const char* title, const std::map<std::string, unsigned long long>& rows) {
    std::printf("%s:\n", title);
    for (const auto& [name, n] : rows) std::printf("  %-55s %llu\n", name.c_str(), n);
  }

  unsigned long long runs_ = 0;
  std::set<std::string> signatures_;
  std::map<std::string, unsigned long long> options_, formulas_, outcomes_;
};

// ---------------------------------------------------------------------------------------------
// Disagreements
// ---------------------------------------------------------------------------------------------

// Greedy: take any smaller case that still shows the same kind of disagreement, until none does.
test_case shrink(test_case t, const disagreement& original, const settings& s, const std::string& workdir) {
  unsigned runs = 0;
  bool progress = true;
  while (progress && runs < SHRINK_RUNS) {
    progress = false;
    for (std::size_t i = 0; runs < SHRINK_RUNS; ++i) {
      std::vector<test_case> candidates = smaller_cases(t);
      if (i >= candidates.size()) break;
      ++runs;
      if (check_case(candidates[i], s.tarn, workdir, RUN_SECONDS).kind == original.kind) {
        t = candidates[i];
        progress = true;
        --i;
      }
    }
  }
  return t;
}

std::string list_files_text(const option_case& o) {
  std::string text;
  const std::pair<const var_list*, const char*> lists[] = {{&o.exist, "exist.txt"},
                                                           {&o.force, "force.txt"},
                                                           {&o.determined, "determined.txt"},
                                                           {&o.decompose_except, "except.txt"}};
  for (const auto& [list, name] : lists)
    if (list->given) text += std::string("  ") + name + ": " + list_text(*list);
  if (!o.block_order.empty()) {
    text += "  blocks.txt:";
    for (unsigned b : o.block_order) text += " " + std::to_string(b);
    text += "\n";
  }
  return text;
}

void report(const settings& s, unsigned long long index, const test_case& t, const disagreement& d) {
  std::string kept = make_directory("tarn-diff-fuzz-failure");
  write_case_files(t, kept);
  std::string command = shell_command(s.tarn, arguments(t.options));
  std::printf("\nDISAGREEMENT: %s\n  %s\n", d.kind.c_str(), d.detail.c_str());
  std::printf("  seed %llu, formula %llu (again: diff_fuzz %llu 1 %s --case %llu)\n", s.seed, index, s.seed,
              s.tarn.c_str(), index);
  std::printf("  reproduce (shrunk case, files kept): cd %s && %s\n", kept.c_str(), command.c_str());
  std::printf("  f.cnf:\n%s%s", cnf_text(t.formula, !t.options.weight_file).c_str(),
              list_files_text(t.options).c_str());
  if (t.options.weight_file || t.options.saved_query) std::printf("  w.txt:\n%s", weight_file_text(t.formula).c_str());
  if (t.options.saved_query)
    std::printf("  then (saved circuit query): %s\n", shell_command(s.tarn, saved_query_arguments(t.options)).c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  settings s;
  if (!parse_settings(argc, argv, s)) {
    std::fprintf(stderr, "usage: diff_fuzz SEED COUNT[s] TARN [--keep-going] [--case INDEX]\n");
    return 2;
  }
  std::string workdir = make_directory("tarn-diff-fuzz");
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  coverage seen;
  unsigned long long ran = 0, failures = 0, index = s.single >= 0 ? static_cast<unsigned long long>(s.single) : 0;
  unsigned long long last = s.single >= 0 ? index + 1 : s.timed ? ~0ull : s.count;
  for (; index < last && (!s.timed || elapsed() < static_cast<double>(s.count)); ++index) {
    test_case t = case_of(s.seed, index);
    ++ran;
    seen.add(t, expect(t));
    disagreement d = check_case(t, s.tarn, workdir, RUN_SECONDS);
    if (d.found()) {
      ++failures;
      test_case small = shrink(t, d, s, workdir);
      report(s, index, small, check_case(small, s.tarn, workdir, RUN_SECONDS));
      if (!s.keep_going) break;
    }
    if ((index + 1) % 5000 == 0)
      std::fprintf(stderr, "%llu formulas, %llu disagreements, %.0f s\n", index + 1, failures, elapsed());
  }
  std::system(("rm -rf '" + workdir + "'").c_str());
  seen.print(elapsed());
  std::printf("%llu passed, %llu failed\n", ran - failures, failures);
  return failures ? 1 : 0;
}
