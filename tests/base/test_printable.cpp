#include "base/printable.h"
#include "test_support.h"

TEST(Printable, QuotesEveryByteOutsidePrintableAsciiAndDropsTheLineEnd) {
  EXPECT_EQ(printable("p cnf 3 2"), "p cnf 3 2");
  EXPECT_EQ(printable("a\tb\r"), "a b");
  EXPECT_EQ(printable("a\rb"), "a\\x0Db");  // only a final '\r' belongs to the line end
  EXPECT_EQ(printable(std::string_view("\0\n\x1b\x7f\x80\xff", 6)), "\\x00\\x0A\\x1B\\x7F\\x80\\xFF");
  EXPECT_EQ(printable(""), "");
}

// The cut counts the characters shown, so escaped bytes cannot make a long line; an escape is
// never split.
TEST(Printable, CutsWhatIsShownNearEightyCharactersWithoutSplittingAnEscape) {
  EXPECT_EQ(printable(std::string(80, 'x')), std::string(80, 'x'));
  EXPECT_EQ(printable(std::string(81, 'x')), std::string(77, 'x') + "...");
  EXPECT_EQ(printable(std::string(75, 'x') + "\x01" + std::string(10, 'x')), std::string(75, 'x') + "...");
  std::string shown = printable(std::string(100000, '\x01'));
  EXPECT_EQ(shown, [] {
    std::string escapes;
    for (int i = 0; i < 19; ++i) escapes += "\\x01";
    return escapes + "...";
  }());
}
