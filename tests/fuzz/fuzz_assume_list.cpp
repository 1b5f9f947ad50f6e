// The "-assume" list parser against an independent reading of the same text. The first byte
// picks the variable count, the second the forgotten variables, and the rest, up to a NUL as on
// a command line, is the list. The parser must accept exactly the lists whose white-space
// separated tokens are all non-zero decimal integers (one optional sign) of declared variables
// that are not forgotten, and return those literals in order.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <string>
#include <vector>

#include "driver/count_query.h"
#include "fuzz_support.h"

namespace {

// Small counts as they come; the top selectors give the counts around the limits of int.
unsigned variable_count(std::uint8_t selector) {
  static const unsigned large[] = {INT_MAX, INT_MAX - 1, 65535, 65536, 1000000, 4096};
  return selector < 250 ? selector : large[selector - 250];
}

// Among the first 64 variables, those whose number modulo 8 is a bit of the mask.
std::vector<unsigned> forgotten_variables(std::uint8_t mask, unsigned var_count) {
  std::vector<unsigned> forgotten;
  for (unsigned v = 1; v <= var_count && v <= 64; ++v)
    if (mask >> (v % 8) & 1) forgotten.push_back(v);
  return forgotten;
}

std::vector<std::string> tokens_of(const std::string& text) {
  std::vector<std::string> tokens;
  std::string token;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  if (!token.empty()) tokens.push_back(token);
  return tokens;
}

// The literal a token stands for, or 0 when it is none that the list may hold.
int expected_literal(const std::string& token, unsigned var_count, const std::vector<unsigned>& forgotten) {
  std::size_t start = token[0] == '+' ? 1 : 0;
  if (start == 1 && (token.size() == 1 || !std::isdigit(static_cast<unsigned char>(token[1])))) return 0;
  long long value = 0;
  auto [end, error] = std::from_chars(token.data() + start, token.data() + token.size(), value);
  if (error != std::errc() || end != token.data() + token.size()) return 0;
  if (value == 0 || value < -INT_MAX || value > INT_MAX) return 0;
  unsigned long long variable = static_cast<unsigned long long>(value < 0 ? -value : value);
  if (variable > var_count) return 0;
  if (std::binary_search(forgotten.begin(), forgotten.end(), static_cast<unsigned>(variable))) return 0;
  return static_cast<int>(value);
}

// The literals the list must give, or nothing when it must be rejected.
bool expected_literals(const std::string& text, unsigned var_count, const std::vector<unsigned>& forgotten,
                       std::vector<int>& literals) {
  for (const std::string& token : tokens_of(text)) {
    int literal = expected_literal(token, var_count, forgotten);
    if (literal == 0) return false;
    literals.push_back(literal);
  }
  return true;
}

std::string joined(const std::vector<int>& literals) {
  std::string text;
  for (int literal : literals) text += std::to_string(literal) + " ";
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  if (size < 2) return 0;
  unsigned var_count = variable_count(data[0]);
  std::vector<unsigned> forgotten = forgotten_variables(data[1], var_count);
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  text = text.c_str();  // a command-line argument ends at its first NUL
  std::vector<int> expected;
  bool valid = expected_literals(text, var_count, forgotten, expected);
  std::vector<int> literals;
  try {
    literals = parse_assumptions(text.c_str(), var_count, forgotten);
  } catch (const fuzz::rejected_input&) {
    fuzz::expect(!valid, "a valid list is rejected");
    return 0;
  }
  fuzz::expect(valid, "an invalid list is accepted");
  fuzz::expect(literals == expected, "the list is read as other literals");
  fuzz::expect(parse_assumptions(joined(literals).c_str(), var_count, forgotten) == literals,
               "the literals written back read otherwise");
  return 0;
}
