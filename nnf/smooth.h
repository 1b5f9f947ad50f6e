// Smoothing: every child of an or-node that lacks some of the or-node's variables is conjoined
// with a tautology (x or not x) per missing variable; with `all`, the root is completed over
// every variable 1..V as well. Minimisation runs the same walk but fills each missing variable
// with its negative literal, so every partial model is completed with false; the root is
// completed over every variable except `forgotten`. Both rebuild the
// circuit into a new node array: the literals first (positive, then negative, one node per
// literal), then the tautologies, then the old internal nodes in their order, each or-node
// preceded by the and-nodes made for its children, and last the root's and-node if one is made.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "nnf/bit_set.h"
#include "nnf/nnf_operations.h"

void smooth_nnf(nnf& circuit, bool all);
// `forgotten`: variables a projection quantifies away. The projected circuit never mentions them,
// and its minimum-cardinality models are those of the shown variables, whatever the forgotten
// ones are; completing the root with their negative literals would make the count over the
// shown variables depend on them.
void smooth_min_nnf(nnf& circuit, const std::vector<unsigned>& forgotten = {});

// A pending and-node that will replace one or-node child (or the root).
struct smoothing_node {
  unsigned count = 0;                  // k + 1 for k missing variables
  std::unique_ptr<unsigned[]> items;   // [0]: old index of the child it conjoins; [1..k]: bit
                                       // positions (v - 1) of the missing variables, decreasing
};

// The records in the order the walk made them; the rebuild consumes them from the front.
using smoothing_list = std::deque<smoothing_node>;

smoothing_node get_smoothing_node(unsigned child, const bit_set& missing);

// The rebuilds. smoothing_count is the number of records, extra_edges the sum of their counts;
// pos and neg hold the variables that have a positive, resp. negative, literal node, and
// smoothed those missing somewhere. End the process with "\nOut of memory for storing smoothed
// NNF." (status 1) when the new node array cannot be had.
void smooth_nnf_aux(nnf& circuit, std::uint64_t smoothing_count, std::uint64_t extra_edges,
                    smoothing_list& list, const bit_set& pos, const bit_set& neg,
                    const bit_set& smoothed);
void smooth_min_nnf_aux(nnf& circuit, std::uint64_t smoothing_count, std::uint64_t extra_edges,
                        smoothing_list& list, const bit_set& pos, const bit_set& neg,
                        const bit_set& smoothed);
