// Feeds arbitrary bytes to the circuit reader. A circuit that loads must keep the reader's
// promises (children before parents, literals and decisions of declared variables, the edge
// total, every node reached from the root) and save to a file that loads as the same circuit. It
// must survive every pass, and the passes that keep the Boolean function (reduction, smoothing)
// must keep it: for circuits of few variables the truth table is compared through the entailment
// check's evaluator. Every circuit that leaves a pass must also load again after being saved.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "nnf/count.h"
#include "nnf/decomposable.h"
#include "nnf/entail.h"
#include "nnf/save_load.h"
#include "nnf/smooth.h"

namespace {

constexpr unsigned MAX_TABLE_VARS = 8;
// Bit sets, literal maps and the 2^V factor grow with the variable count, which a header may
// declare in the billions; the passes that need them run on moderately many variables only.
constexpr unsigned MAX_PASS_VARS = 4096;

std::string scratch_path(const char* what) { return fuzz::temp_path(("fuzz-nnf-" + std::string(what)).c_str()); }

void check_loaded(const nnf& circuit) {
  fuzz::expect(circuit.node_count >= 1 && circuit.node_count == circuit.nodes.size(), "the node count is wrong");
  std::uint64_t edges = 0;
  std::vector<char> reached(circuit.node_count, 0);
  reached.back() = 1;
  for (unsigned i = circuit.node_count; i-- > 0;) {
    const nnfn& node = circuit.nodes[i];
    fuzz::expect(reached[i], "a node the root does not reach");
    if (literal_node(node)) {
      fuzz::expect(node.size >= 1 && node.size <= circuit.var_count, "a literal of an undeclared variable");
      continue;
    }
    fuzz::expect(node.type == nnfn_type::and_node || node.type == nnfn_type::or_node,
                 "a node that is neither a literal, an and-node nor an or-node");
    fuzz::expect(node.type != nnfn_type::or_node || node.var <= circuit.var_count, "a decision on an undeclared variable");
    for (unsigned k = 0; k < node.size; ++k) {
      fuzz::expect(node.children[k] < i, "a child that does not precede its parent");
      reached[node.children[k]] = 1;
    }
    edges += node.size;
  }
  fuzz::expect(edges == circuit.edge_count, "the edge count is not the sum of the child counts");
}

bool identical_nodes(const nnfn& a, const nnfn& b) {
  if (a.type != b.type || a.size != b.size || (a.type == nnfn_type::or_node && a.var != b.var)) return false;
  if (literal_node(a)) return true;
  for (unsigned k = 0; k < a.size; ++k)
    if (a.children[k] != b.children[k]) return false;
  return true;
}

bool identical_circuits(const nnf& a, const nnf& b) {
  if (a.node_count != b.node_count || a.edge_count != b.edge_count || a.var_count != b.var_count) return false;
  for (unsigned i = 0; i < a.node_count; ++i)
    if (!identical_nodes(a.nodes[i], b.nodes[i])) return false;
  return true;
}

// The root's value under every assignment of variables 1..var_count.
std::vector<bool> truth_table(const nnf& circuit) {
  std::vector<bool> table;
  auto e = construct_evaluation(circuit);
  for (unsigned a = 0; a < (1u << circuit.var_count); ++a) {
    mpz_set_ui(e->pos.get(), a);
    mpz_set_ui(e->neg.get(), ~a & ((1u << circuit.var_count) - 1));
    table.push_back(evaluate_nnf(circuit, *e));
  }
  return table;
}

// A circuit that no longer loads once saved, or a changed function, is a bug.
std::unique_ptr<nnf> expect_loads_again(const nnf& circuit) {
  std::string path = scratch_path("again");
  save_nnf_to_file(path.c_str(), circuit);
  try {
    return load_nnf_from_file(path.c_str());
  } catch (const fuzz::rejected_input&) {
    fuzz::expect(false, "a saved circuit is rejected");
  }
  return nullptr;
}

void expect_same_function(const std::vector<bool>& before, const nnf& circuit) {
  fuzz::expect(circuit.var_count > MAX_TABLE_VARS || truth_table(circuit) == before, "a pass changes the function");
}

void exercise(const std::string& path) {
  std::unique_ptr<nnf> circuit = load_nnf_from_file(path.c_str());
  check_loaded(*circuit);
  fuzz::expect(identical_circuits(*circuit, *expect_loads_again(*circuit)), "a saved circuit loads as another circuit");
  if (circuit->var_count > MAX_PASS_VARS) {
    exist_quantify_nnf({}, *circuit);
    expect_loads_again(*circuit);
    return;
  }
  std::vector<bool> function;
  if (circuit->var_count <= MAX_TABLE_VARS) function = truth_table(*circuit);
  count_nnf_models(circuit->var_count, *circuit);
  nnf_decomposable(*circuit);

  exist_quantify_nnf({}, *circuit);
  expect_same_function(function, *circuit);
  expect_loads_again(*circuit);

  smooth_nnf(*circuit, true);
  expect_same_function(function, *circuit);
  expect_loads_again(*circuit);
  count_smooth_nnf_models(*circuit);

  std::unique_ptr<nnf> fresh = load_nnf_from_file(path.c_str());
  smooth_nnf(*fresh, false);
  expect_same_function(function, *fresh);
  expect_loads_again(*fresh);

  fresh = load_nnf_from_file(path.c_str());
  smooth_min_nnf(*fresh);
  expect_loads_again(*fresh);
  count_smooth_nnf_models(*fresh);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare();
  std::string path = scratch_path("input");
  fuzz::write_file(path, data, size);
  try {
    exercise(path);
  } catch (const fuzz::rejected_input&) {
  }
  return 0;
}
