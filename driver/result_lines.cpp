#include "driver/result_lines.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr int SIGNIFICANT_DIGITS = 17;

// log10 |value| for a non-zero value, as a double whatever the size of its parts.
double log10_magnitude(const mpq_class& value) {
  long numerator_exponent = 0, denominator_exponent = 0;
  double numerator = mpz_get_d_2exp(&numerator_exponent, value.get_num_mpz_t());
  double denominator = mpz_get_d_2exp(&denominator_exponent, value.get_den_mpz_t());
  return std::log10(std::fabs(numerator) / denominator) +
         static_cast<double>(numerator_exponent - denominator_exponent) * std::log10(2.0);
}

mpq_class times_power_of_ten(const mpq_class& value, long exponent) {
  mpz_class power;
  mpz_ui_pow_ui(power.get_mpz_t(), 10, static_cast<unsigned long>(std::labs(exponent)));
  return exponent >= 0 ? mpq_class(value * power) : mpq_class(value / power);
}

// The e with 10^e <= magnitude < 10^(e+1): the double estimate may be one off near a power of ten.
long decimal_exponent(const mpq_class& magnitude) {
  long exponent = static_cast<long>(std::floor(log10_magnitude(magnitude)));
  while (times_power_of_ten(magnitude, -exponent) < 1) --exponent;
  while (times_power_of_ten(magnitude, -exponent) >= 10) ++exponent;
  return exponent;
}

// magnitude * 10^shift rounded to the nearest integer, halves up.
mpz_class rounded_scaled(const mpq_class& magnitude, long shift) {
  mpq_class scaled = times_power_of_ten(magnitude, shift);
  mpz_class twice_numerator = 2 * scaled.get_num() + scaled.get_den();
  mpz_class twice_denominator = 2 * scaled.get_den();
  return twice_numerator / twice_denominator;
}

}  // namespace

std::string log10_estimate(const mpq_class& value) {
  if (value == 0) return "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", log10_magnitude(value));
  return text;
}

std::string scientific_decimal(const mpq_class& value) {
  if (value == 0) return "0.0000000000000000e+00";
  mpq_class magnitude = abs(value);
  long exponent = decimal_exponent(magnitude);
  mpz_class digits = rounded_scaled(magnitude, SIGNIFICANT_DIGITS - 1 - exponent);
  std::string text = digits.get_str();
  if (text.size() > static_cast<std::size_t>(SIGNIFICANT_DIGITS)) {  // rounded up to 10^17
    text.pop_back();
    ++exponent;
  }
  char exponent_text[32];
  std::snprintf(exponent_text, sizeof exponent_text, "e%+03ld", exponent);
  return (value < 0 ? "-" : "") + text.substr(0, 1) + "." + text.substr(1) + exponent_text;
}

void print_result_lines(std::FILE* out, bool satisfiable, const char* type_name, const mpq_class& answer,
                        bool weighted) {
  std::fprintf(out, "s %s\n", satisfiable ? "SATISFIABLE" : "UNSATISFIABLE");
  std::fprintf(out, "c s type %s\n", type_name);
  std::fprintf(out, "c s log10-estimate %s\n", log10_estimate(answer).c_str());
  if (weighted || answer.get_den() != 1)
    gmp_fprintf(out, "c s exact arb frac %Zd/%Zd\n", answer.get_num_mpz_t(), answer.get_den_mpz_t());
  else
    gmp_fprintf(out, "c s exact arb int %Zd\n", answer.get_num_mpz_t());
  if (weighted) std::fprintf(out, "c s exact double prec-sci %s\n", scientific_decimal(answer).c_str());
}
