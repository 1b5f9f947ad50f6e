#include "cnf/cnf_read.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "base/output_file.h"
#include "base/printable.h"
#include "base/utility.h"
#include "cnf/input_stream.h"

namespace {

constexpr unsigned long MAX_LINE_LENGTH = 100000;
constexpr unsigned MAX_CLAUSE_SIZE = 10000;

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The literals of one clause, in an open-addressing table sized for the longest clause, so
// that duplicate and complement tests are constant time whatever the variable numbers are.
class literal_set {
 public:
  literal_set() : slots_(2 * 16384, 0) {}  // twice the largest clause, a power of two
  bool contains(int literal) const { return slots_[find(literal)] == literal; }
  void insert(int literal) {
    std::size_t slot = find(literal);
    if (slots_[slot] == literal) return;
    slots_[slot] = literal;
    used_.push_back(slot);
  }
  void clear() {
    for (std::size_t slot : used_) slots_[slot] = 0;
    used_.clear();
  }

 private:
  std::size_t find(int literal) const {
    std::size_t mask = slots_.size() - 1;
    std::size_t slot = (static_cast<unsigned>(literal) * 2654435761u) & mask;
    while (slots_[slot] != 0 && slots_[slot] != literal) slot = (slot + 1) & mask;
    return slot;
  }
  std::vector<int> slots_;          // 0 marks an empty slot
  std::vector<std::size_t> used_;   // the slots filled since the last clear
};

// One pass over the file text. The reader works on the whole text in memory but keeps the
// observable behaviour of a line-and-integer reader: the line counter counts the lines read
// whole (p, eclauses and comment lines, and the rest of each clause line), and the same
// limits on line length and clause size apply.
class cnf_reader {
 public:
  cnf_reader(std::string text, const char* path, bool skip_trivial)
      : text_(std::move(text)), skip_trivial_(skip_trivial), result_(std::make_unique<cnf>()) {
    result_->file_name = path;
  }

  std::unique_ptr<cnf> read() {
    int c;
    while ((c = peek()) != EOF) {
      if (std::isspace(c)) {
        advance();
        continue;
      }
      if (c == 'p') {
        read_problem_line();
      } else if (c == 'e') {
        read_eclauses_line();
      } else if (c == 'c') {
        read_line_as_directive();  // else an ordinary comment
      } else if (c == '%' || c == '0') {
        read_line();
      } else if (c == '-' || std::isdigit(c)) {
        read_clause();
      } else if (c == 'w' || c == 'v') {
        read_directive_or_unknown_line();
      } else {
        read_line();
        unknown_line();
      }
    }
    finish();
    return std::move(result_);
  }

 private:
  int peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : EOF; }

  void advance() {
    if (text_[pos_] == '\n') ++physical_line_;
    ++pos_;
  }

  // The rest of the current line, newline included, as one fixed-size line buffer would hold it.
  void read_line() {
    ++line_counter_;
    std::size_t end = text_.find('\n', pos_);
    end = end == std::string::npos ? text_.size() : end + 1;
    if (end - pos_ > MAX_LINE_LENGTH)
      fatal("Line %lu exceeds max length of %lu!\n", line_counter_, MAX_LINE_LENGTH);
    line_.assign(text_, pos_, end - pos_);
    while (pos_ < end) advance();
  }

  // Directives name their physical line, as an editor shows it: the line counter skips blank
  // lines and counts a clause spanning lines once.
  bool read_line_as_directive() {
    unsigned long line_number = physical_line_;
    read_line();
    std::string line = line_.back() == '\n' ? line_.substr(0, line_.size() - 1) : line_;
    return read_directive_line(line, line_number, result_->directives);
  }

  void read_directive_or_unknown_line() {
    if (!read_line_as_directive()) unknown_line();
  }

  [[noreturn]] void unknown_line() const {
    std::string_view line = line_;
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    fatal("Unknown Line %lu: %s\n", line_counter_, printable(line).c_str());
  }

  void read_problem_line() {
    read_line();
    long long vars, clauses;
    if (std::sscanf(line_.c_str(), "p cnf %lld %lld", &vars, &clauses) != 2) unknown_line();
    if (seen_problem_line_) fatal("\nSecond \"p cnf\" line at line %lu.", line_counter_);
    if (vars < 0 || vars > INT_MAX || clauses < 0 || clauses > INT_MAX)
      fatal("\nThe \"p cnf\" line %lu declares %lld variables and %lld clauses; both must be 0 to %d.",
            line_counter_, vars, clauses, INT_MAX);
    seen_problem_line_ = true;
    result_->var_count = static_cast<unsigned>(vars);
    declared_clauses_ = static_cast<unsigned long>(clauses);
    // The declared count is only a promise; reserve no more than the text can hold.
    result_->clauses.reserve(std::min<std::size_t>(declared_clauses_, text_.size() / 2 + 1));
  }

  void read_eclauses_line() {
    read_line();
    long long eclauses;
    if (std::sscanf(line_.c_str(), "eclauses %lld", &eclauses) != 1) unknown_line();
    if (!seen_problem_line_) fatal("\nThe \"eclauses\" line %lu comes before the \"p cnf\" line.", line_counter_);
    if (seen_eclauses_line_) fatal("\nSecond \"eclauses\" line at line %lu.", line_counter_);
    if (eclauses < 0 || static_cast<unsigned long long>(eclauses) > declared_clauses_)
      fatal("\nThe \"eclauses\" line %lu declares %lld eclauses of %lu clauses.", line_counter_, eclauses,
            declared_clauses_);
    seen_eclauses_line_ = true;
    result_->eclause_count = static_cast<unsigned>(eclauses);
    first_eclause_ = declared_clauses_ - static_cast<unsigned long>(eclauses);
  }

  // One integer the way "%d" reads it: white space, an optional sign, digits.
  int read_literal(unsigned long clause_line) {
    while (peek() != EOF && std::isspace(peek())) advance();
    if (peek() == EOF) fatal("\nClause at line %lu is cut off by the end of the file (no terminating 0).", clause_line);
    std::size_t start = pos_;
    bool negative = peek() == '-';
    if (peek() == '-' || peek() == '+') advance();
    long long magnitude = 0;
    bool digits = false;
    while (peek() != EOF && std::isdigit(peek())) {
      digits = true;
      if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (peek() - '0');
      advance();
    }
    if (!digits) {
      std::size_t end = start;
      while (end < text_.size() && !std::isspace(static_cast<unsigned char>(text_[end])) && end - start < 32) ++end;
      fatal("\nClause at line %lu holds \"%s\", which is not a literal.", clause_line,
            printable(std::string_view(text_).substr(start, end - start)).c_str());
    }
    long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX || value < -static_cast<long long>(INT_MAX))
      fatal("\nLiteral %s references undeclared variable.\nMax variable index declared is %u.",
            text_.substr(start, pos_ - start).c_str(), result_->var_count);
    return static_cast<int>(value);
  }

  void read_clause() {
    unsigned long clause_line = physical_line_;
    if (!seen_problem_line_)
      fatal("\nNo \"p cnf\" line in %s before the clause at line %lu.", result_->file_name.c_str(), clause_line);
    std::size_t start = pos_;
    literals_.clear();
    for (;;) {
      int literal = read_literal(clause_line);
      if (literal == 0 && literals_.empty()) empty_clause(clause_line, start);
      if (literal == 0) break;
      if (literals_.size() == MAX_CLAUSE_SIZE)
        fatal("Clause at Line %lu exceeds maximum size of %u!\n", line_counter_ + 1, MAX_CLAUSE_SIZE);
      literals_.push_back(literal);
    }
    unsigned written_size = static_cast<unsigned>(literals_.size());
    max_clause_size_ = std::max(max_clause_size_, written_size);
    if (++clause_lines_ > declared_clauses_) fatal("\nMore clauses in cnf file than has been declared.");
    bool trivial = remove_duplicates_and_detect_tautology(written_size);
    bool eclause = clause_lines_ > first_eclause_ && seen_eclauses_line_;
    if (trivial && eclause && literals_.size() > 2)
      // At most one literal of an eclause may be true, and one of x, not x always is: the clause
      // forces its other literals false. Dropping it like a tautology would add models.
      fatal("\nEclause at line %lu holds a literal and its complement besides other literals.", clause_line);
    if (trivial) {
      if (eclause) --result_->eclause_count;
    } else {
      keep_clause();
    }
    read_line();
  }

  // A clause line starts with '-' or a digit other than 0 (a line "0" is no clause), so a clause
  // that ends before its first literal was written "-0". Kept, it could not be written back: the
  // writer's "0" line for it would read as no clause at all.
  [[noreturn]] void empty_clause(unsigned long clause_line, std::size_t start) const {
    fatal("\nClause at line %lu is empty: \"%s\" ends it before any literal.", clause_line,
          text_.substr(start, pos_ - start).c_str());
  }

  // Removes repeated literals (a repeat takes the last literal's place, which fixes the literal
  // order of the kept clause) and reports whether the clause holds a literal and its complement.
  // Every literal is checked against the declared variables. Marks per literal make this linear.
  bool remove_duplicates_and_detect_tautology(unsigned written_size) {
    bool tautology_counts = skip_trivial_ || written_size != 2;
    bool trivial = false;
    std::size_t n = literals_.size();
    std::size_t j = 0;
    while (j <= n) {
      int literal = j < n ? literals_[j] : 0;
      if (literal != 0 && in_range(literal) && marked(literal)) {
        drop_duplicate(j, n);
        continue;
      }
      if (j > 0) {
        int previous = literals_[j - 1];
        if (!in_range(previous))
          fatal("\nLiteral %d references undeclared variable.\nMax variable index declared is %u.", previous,
                result_->var_count);
        if (literal == previous) {
          drop_duplicate(j, n);
          continue;
        }
        mark(previous);
      }
      if (literal != 0 && tautology_counts && (marked(-literal) || (j > 0 && literals_[j - 1] == -literal)))
        trivial = true;
      ++j;
    }
    literals_.resize(n);
    marks_.clear();
    return trivial;
  }

  void drop_duplicate(std::size_t j, std::size_t& n) {
    ++duplicates_;
    literals_[j] = literals_[n - 1];
    literals_[n - 1] = 0;
    --n;
  }

  bool in_range(int literal) const { return static_cast<unsigned>(std::abs(literal)) <= result_->var_count; }

  bool marked(int literal) const { return marks_.contains(literal); }
  void mark(int literal) { marks_.insert(literal); }

  void keep_clause() {
    std::vector<int> clause(literals_);
    clause.push_back(0);
    if (literals_.size() == 2) ++binary_clauses_;
    if (literals_.size() == 1) ++unit_clauses_;
    result_->clauses.push_back(std::move(clause));
  }

  void finish() {
    if (!seen_problem_line_) no_problem_line();
    if (VERBOSE) {
      std::printf("\nLoaded cnf: %u vars %lu clauses (%u eclauses)", result_->var_count, declared_clauses_,
                  result_->eclause_count);
      std::printf("\n%u unit clauses, %u binary clauses, max clause size: %u", unit_clauses_, binary_clauses_,
                  max_clause_size_);
      if (duplicates_) std::printf("\nSkipped %lu duplicate literals.\n", duplicates_);
    }
    if (clause_lines_ < declared_clauses_) fatal("\nFewer clauses in cnf file than declared.");
    unsigned long kept = result_->clauses.size();
    if (kept < declared_clauses_) {
      if (VERBOSE) std::printf("\nSkipped %lu trivial clauses.\n", declared_clauses_ - kept);
      result_->clauses.shrink_to_fit();
    }
    complete_legacy_weights(result_->directives);
    check_directives(result_->directives, result_->var_count, result_->file_name.c_str());
  }

  // Blank text is most likely an empty file or a producer that failed before writing.
  [[noreturn]] void no_problem_line() const {
    bool blank = std::all_of(text_.begin(), text_.end(), is_blank);
    fatal("\nNo \"p cnf\" line in %s%s", result_->file_name.c_str(), blank ? ": it is empty." : ".");
  }

  std::string text_;
  std::size_t pos_ = 0;
  bool skip_trivial_;
  std::unique_ptr<cnf> result_;

  std::string line_;                 // the last line read whole
  unsigned long line_counter_ = 0;   // lines read whole, as the messages of the format count them
  unsigned long physical_line_ = 1;  // the line the reader stands on, for messages of its own
  bool seen_problem_line_ = false;
  bool seen_eclauses_line_ = false;
  unsigned long declared_clauses_ = 0;
  unsigned long first_eclause_ = 0;  // clause lines after this many are eclauses
  unsigned long clause_lines_ = 0;
  unsigned unit_clauses_ = 0;
  unsigned binary_clauses_ = 0;
  unsigned max_clause_size_ = 0;
  unsigned long duplicates_ = 0;
  std::vector<int> literals_;        // the clause being read
  literal_set marks_;                // the clause's literals checked so far
};

}  // namespace

std::unique_ptr<cnf> get_cnf_from_file(const char* path, bool skip_trivial) {
  std::string text = read_input_text(path);
  return get_cnf_from_text(std::move(text), input_display_name(path).c_str(), skip_trivial);
}

std::unique_ptr<cnf> get_cnf_from_text(std::string text, const char* name, bool skip_trivial) {
  return cnf_reader(std::move(text), name, skip_trivial).read();
}

void save_cnf_to_file(const char* path, const cnf& formula) {
  save_whole_file(path, [&](std::FILE* out) { write_cnf(out, formula); }, DATA_FILE_FAILURE);
}

void write_cnf(std::FILE* out, const cnf& formula) {
  std::fprintf(out, "p cnf %u %u\n", formula.var_count, formula.clause_count());
  if (formula.eclause_count) std::fprintf(out, "eclauses %u\n", formula.eclause_count);
  for (const std::vector<int>& clause : formula.clauses) {
    for (const int* literal = clause.data(); *literal; ++literal) std::fprintf(out, "%d ", *literal);
    std::fputs("0\n", out);
  }
}

void free_cnf(std::unique_ptr<cnf>& formula) { formula.reset(); }

namespace {

// The eclause's clause, and for each pair of its positions the clause that not both are true;
// repeated literals thus count as often as they occur, as in the eclause.
void expand_eclause(const int* e, std::vector<std::vector<int>>& clauses) {
  const int* end = e;
  while (*end) ++end;
  clauses.emplace_back(e, end);
  for (const int* a = e; a != end; ++a)
    for (const int* b = a + 1; b != end; ++b) clauses.push_back({-*a, -*b});
}

}  // namespace

std::vector<std::vector<int>> plain_clauses(const cnf& formula) {
  std::vector<std::vector<int>> clauses;
  unsigned first_eclause = formula.clause_count() - formula.eclause_count;
  for (unsigned i = 0; i < first_eclause; ++i)
    clauses.emplace_back(formula.clause(i), formula.clause(i) + formula.clause_size(i));
  for (unsigned i = first_eclause; i < formula.clause_count(); ++i) expand_eclause(formula.clause(i), clauses);
  return clauses;
}

std::unique_ptr<cnf> cnf_without_clauses(const cnf& formula) {
  auto result = std::make_unique<cnf>();
  result->var_count = formula.var_count;
  result->file_name = formula.file_name;
  result->directives = formula.directives;
  return result;
}

void append_clauses(const std::vector<std::vector<int>>& clauses, cnf& result) {
  for (const std::vector<int>& c : clauses) {
    if (c.empty()) continue;
    result.clauses.push_back(c);
    result.clauses.back().push_back(0);
  }
}

void append_contradiction(cnf& result) {
  result.clauses.push_back({1, 0});
  result.clauses.push_back({-1, 0});
}

void save_cnf_as_vcg(const char* path, const cnf& formula) {
  save_whole_file(path, [&](std::FILE* out) { write_cnf_vcg(out, formula); }, PICTURE_FILE_FAILURE);
}

void write_cnf_vcg(std::FILE* out, const cnf& formula) {
  static const char* const header[] = {
      "graph: { title: \"dtree\"", "\nscaling: 0.50",         "\ntreefactor: 0.9",       "\ncolor: darkmagenta",
      "\nedge.color: lightyellow", "\nedge.thickness: 1",     "\nedge.arrowsize: 0",     "\nnode.borderwidth: 1",
      "\nnode.bordercolor: lightgreen", "\nnode.textcolor: blue", "\nnode.color: lightgray", "\n"};
  for (const char* item : header) std::fputs(item, out);
  for (unsigned v = 1; v <= formula.var_count; ++v)
    std::fprintf(out, "\nnode: { title: \"%u\" label: \"v%u\" shape: ellipse }", v, v);
  // A set of variable pairs instead of a V x V matrix, so large formulas can be drawn too.
  std::unordered_set<unsigned long long> drawn;
  for (unsigned c = 0; c < formula.clause_count(); ++c) {
    const int* clause = formula.clause(c);
    for (const int* p = clause; *p; ++p) {
      for (const int* q = p + 1; *q; ++q) {
        unsigned a = static_cast<unsigned>(std::abs(*p));
        unsigned b = static_cast<unsigned>(std::abs(*q));
        unsigned long long pair = static_cast<unsigned long long>(std::min(a, b)) << 32 | std::max(a, b);
        if (drawn.insert(pair).second)
          std::fprintf(out, "\nedge: { sourcename: \"%u\" targetname: \"%u\" label: \"%u\" }", a, b, c + 1);
      }
    }
  }
  std::fputs("\n\n}", out);
}
