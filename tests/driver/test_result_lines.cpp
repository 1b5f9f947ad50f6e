// The competition's answer lines, character for character.
#include "driver/result_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string printed(bool satisfiable, const char* type, const mpq_class& answer, bool weighted) {
  std::FILE* file = std::tmpfile();
  print_result_lines(file, satisfiable, type, answer, weighted);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

mpq_class power_of_ten(long exponent) {
  mpz_class power;
  mpz_ui_pow_ui(power.get_mpz_t(), 10, static_cast<unsigned long>(std::labs(exponent)));
  return exponent >= 0 ? mpq_class(power) : mpq_class(1 / mpq_class(power));
}

}  // namespace

TEST(ResultLines, PrintsUnweightedCountsAsIntegersOfAnySize) {
  EXPECT_EQ(printed(false, "mc", 0, false),
            "s UNSATISFIABLE\nc s type mc\nc s log10-estimate -inf\nc s exact arb int 0\n");
  EXPECT_EQ(printed(true, "pmc", 8, false),
            "s SATISFIABLE\nc s type pmc\nc s log10-estimate 0.903089986991944\nc s exact arb int 8\n");
  mpq_class two_to_70(mpz_class(1) << 70);
  EXPECT_EQ(printed(true, "mc", two_to_70, false),
            "s SATISFIABLE\nc s type mc\nc s log10-estimate 21.0720996964787\n"
            "c s exact arb int 1180591620717411303424\n");
}

TEST(ResultLines, PrintsWeightedAnswersAsFractionsAndDecimals) {
  EXPECT_EQ(printed(true, "wmc", mpq_class(1, 3), true),
            "s SATISFIABLE\nc s type wmc\nc s log10-estimate -0.477121254719662\nc s exact arb frac 1/3\n"
            "c s exact double prec-sci 3.3333333333333333e-01\n");
  EXPECT_EQ(printed(true, "pwmc", 5, true),
            "s SATISFIABLE\nc s type pwmc\nc s log10-estimate 0.698970004336019\nc s exact arb frac 5/1\n"
            "c s exact double prec-sci 5.0000000000000000e+00\n");
  EXPECT_EQ(printed(true, "wmc", mpq_class(-7, 4), true),
            "s SATISFIABLE\nc s type wmc\nc s log10-estimate 0.243038048686294\nc s exact arb frac -7/4\n"
            "c s exact double prec-sci -1.7500000000000000e+00\n");
  EXPECT_EQ(printed(true, "wmc", 0, true),
            "s SATISFIABLE\nc s type wmc\nc s log10-estimate -inf\nc s exact arb frac 0/1\n"
            "c s exact double prec-sci 0.0000000000000000e+00\n");
}

TEST(ResultLines, EstimatesAndDecimalsReachFarBeyondTheRangeOfADouble) {
  mpq_class tiny = power_of_ten(-400), huge = power_of_ten(500);
  EXPECT_EQ(log10_estimate(tiny), "-400");
  EXPECT_EQ(scientific_decimal(tiny), "1.0000000000000000e-400");
  EXPECT_EQ(log10_estimate(-huge), "500");
  EXPECT_EQ(scientific_decimal(-huge), "-1.0000000000000000e+500");
  EXPECT_EQ(scientific_decimal(huge * mpq_class(2, 3)), "6.6666666666666667e+499");
  EXPECT_EQ(scientific_decimal(huge * (1 - 3 * power_of_ten(-16))), "9.9999999999999970e+499")
      << "a log10 that rounds up to 500";
  std::string tiny_fraction = "c s exact arb frac 1/1" + std::string(400, '0') + "\n";
  EXPECT_NE(printed(true, "wmc", tiny, true).find(tiny_fraction), std::string::npos);
}

TEST(ResultLines, RoundsTheSeventeenthDigitExactly) {
  EXPECT_EQ(scientific_decimal(1 - power_of_ten(-20)), "1.0000000000000000e+00") << "carry into a new digit";
  EXPECT_EQ(scientific_decimal(1 + 5 * power_of_ten(-17)), "1.0000000000000001e+00") << "half up";
  EXPECT_EQ(scientific_decimal(1 + 49 * power_of_ten(-18)), "1.0000000000000000e+00");
  EXPECT_EQ(scientific_decimal(mpq_class(1, 100000)), "1.0000000000000000e-05");
  EXPECT_EQ(scientific_decimal(mpq_class(99999, 10)), "9.9999000000000000e+03");
}
