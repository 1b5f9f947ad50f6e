// The answer lines of the model counting competition, printed after a run.
#pragma once

#include <gmpxx.h>

#include <cstdio>
#include <string>

// Prints to `out`, each on a line of its own:
//   s SATISFIABLE | s UNSATISFIABLE
//   c s type T                          (T = type_name: mc, wmc, pmc or pwmc)
//   c s log10-estimate X                (log10_estimate of the answer)
//   c s exact arb int N                 (unweighted answers)
//   c s exact arb frac P/Q              (weighted answers, and any answer that is not an integer)
//   c s exact double prec-sci X         (weighted answers: scientific_decimal of the answer)
// A weighted answer that is an integer still prints as P/1, so that a script reading weighted
// results always finds the same P/Q form.
void print_result_lines(std::FILE* out, bool satisfiable, const char* type_name, const mpq_class& answer,
                        bool weighted);

// log10 of |value| to 15 significant digits, "-inf" for 0. A negative value gives the log of its
// magnitude. Numerator and denominator of any size are split into mantissa and power of two, so
// nothing overflows a double.
std::string log10_estimate(const mpq_class& value);

// value in scientific notation with 17 significant digits ("-1.2345678901234567e-05", "e+500"),
// rounded exactly (halves away from zero) from the rational, whatever its magnitude.
std::string scientific_decimal(const mpq_class& value);
