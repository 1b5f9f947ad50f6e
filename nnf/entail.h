// The entailment check: does the circuit entail every clause of its CNF? The answer "yes" is
// always right; "no" is exact only for a decomposable circuit.
#pragma once

#include <memory>

#include "cnf/cnf_read.h"
#include "nnf/bit_set.h"
#include "nnf/nnf_operations.h"

struct evaluation {
  bit_set values;  // bit i: the value of node i under the current literal values
  bit_set pos;     // bit v - 1: the positive literal of v is true
  bit_set neg;     // bit v - 1: the negative literal of v is true

  evaluation(unsigned node_count, unsigned var_count) : values(node_count), pos(var_count), neg(var_count) {}
};

std::unique_ptr<evaluation> construct_evaluation(const nnf& circuit);
void free_evaluation(std::unique_ptr<evaluation>& e);
// Every literal true: both sets become all ones.
void init_evaluation_1(evaluation& e);

// The root's value under the literal values of e.
bool evaluate_nnf(const nnf& circuit, evaluation& e);
// clause: signed variables ended by 0. The clause's literals are made false and every other
// literal true, which gives each node the largest value it can have under the clause's negation.
// A clause with a literal and its complement (kept by -keep_trivial_cls) is always entailed.
bool nnf_entails_clause(const nnf& circuit, const int* clause, evaluation& e);
bool nnf_entails_cnf(const nnf& circuit, const cnf& formula);
