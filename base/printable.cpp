#include "base/printable.h"

#include <cstdio>

namespace {

constexpr std::size_t MESSAGE_WIDTH = 80;
constexpr std::size_t CUT_MARK_WIDTH = 3;  // "..."

std::string shown_as(char c) {
  if (c == '\t') return " ";
  if (c >= 0x20 && c < 0x7f) return std::string(1, c);
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
  return escaped;
}

}  // namespace

std::string printable(std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  std::string shown;
  std::size_t fits = 0;  // the longest prefix of whole characters that leaves room for "..."
  for (char c : text) {
    shown += shown_as(c);
    if (shown.size() <= MESSAGE_WIDTH - CUT_MARK_WIDTH) fits = shown.size();
    if (shown.size() > MESSAGE_WIDTH) return shown.substr(0, fits) + "...";
  }
  return shown;
}
