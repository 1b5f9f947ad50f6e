// What a count asks for (plain, weighted, projected, under assumptions) and its answer, built
// from the directives of the CNF or of a weight file, the forgotten variables and "-assume".
#pragma once

#include <gmpxx.h>

#include <string>
#include <vector>

#include "cnf/directives.h"
#include "nnf/nnf_operations.h"
#include "nnf/weighted_count.h"

struct count_query {
  count_type type = count_type::mc;
  std::vector<int> assumed;  // literals conditioned on
  weight_table weights;      // counted variables, weights, assumptions as zero weights
  bool plain = true;         // a model count over all variables: the integer counters answer it
};

// The directives that hold: the weight file's take the place of the CNF's where it gives them.
count_directives effective_directives(const count_directives& from_cnf, const count_directives* from_weight_file);

// The shown variables' complement when a projection is given, else nothing.
std::vector<unsigned> projected_away(const count_directives& directives, unsigned var_count);

// The literals of an "-assume" list such as "3 -7": whitespace-separated non-zero integers whose
// variables are in 1..var_count and not forgotten. Anything else ends the run with a message.
std::vector<int> parse_assumptions(const char* text, unsigned var_count, const std::vector<unsigned>& forgotten);

count_query make_count_query(const count_directives& directives, bool weights_given, unsigned var_count,
                             const std::vector<unsigned>& forgotten, std::vector<int> assumed);

struct count_answer {
  mpq_class value;
  bool satisfiable = false;
};

// smooth_count: the circuit is smooth over every variable (after "-smooth_all" or "-minimize").
count_answer answer_count_query(const count_query& query, const nnf& circuit, bool smooth_count);

// The answer as the "Counting..." line prints it: an integer, or P/Q.
std::string answer_text(const mpq_class& value);

bool weighted_type(count_type type);
