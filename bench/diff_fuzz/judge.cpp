#include "diff_fuzz/judge.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "diff_fuzz/oracle.h"
#include "diff_fuzz/runner.h"

namespace diff_fuzz {

namespace {

using brute_force::table;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// ---------------------------------------------------------------------------------------------
// The circuit
// ---------------------------------------------------------------------------------------------

struct circuit_facts {
  std::string problem;  // a structural fault; empty when the records are well formed
  table function{0};
  std::vector<bool> shared;       // entry v: some and-node has two children that mention v
  int overlapping_decision = -1;  // the first or-node with a decision variable whose children overlap
  int overlapping_or = -1;        // the first or-node of any kind whose children overlap
  bool decomposable() const {
    for (bool s : shared)
      if (s) return false;
    return true;
  }
};

// Children before parents, literals and decisions within 1..V, header counts as the records.
std::string structure_problem(const brute_force::circuit& c, unsigned vars) {
  if (c.vars != vars) return "header declares " + std::to_string(c.vars) + " variables";
  if (c.nodes.empty()) return "no nodes";
  if (c.nodes.size() != c.declared_nodes) return "header node count differs from the records";
  unsigned edges = 0;
  for (std::size_t i = 0; i < c.nodes.size(); ++i) {
    const brute_force::node& n = c.nodes[i];
    if (n.kind == 'L' && (n.value == 0 || static_cast<unsigned>(std::abs(n.value)) > vars))
      return "literal out of range at node " + std::to_string(i);
    if (n.kind == 'O' && (n.value < 0 || static_cast<unsigned>(n.value) > vars))
      return "decision variable out of range at node " + std::to_string(i);
    for (unsigned child : n.children)
      if (child >= i) return "child not before its parent at node " + std::to_string(i);
    edges += static_cast<unsigned>(n.children.size());
  }
  if (edges != c.declared_edges) return "header edge count differs from the records";
  return "";
}

// Tables and variable sets of every node, children first.
circuit_facts inspect(const brute_force::circuit& c, unsigned vars) {
  circuit_facts facts;
  facts.problem = structure_problem(c, vars);
  if (!facts.problem.empty()) return facts;
  facts.shared.assign(vars + 1, false);
  std::vector<table> tables;
  std::vector<std::vector<bool>> mentions;
  for (std::size_t i = 0; i < c.nodes.size(); ++i) {
    const brute_force::node& n = c.nodes[i];
    std::vector<bool> mentioned(vars + 1, false);
    if (n.kind == 'L') {
      mentioned[std::abs(n.value)] = true;
      tables.push_back(table::literal(vars, n.value));
      mentions.push_back(mentioned);
      continue;
    }
    table t(vars, n.kind == 'A');
    bool overlap = false;
    for (unsigned child : n.children) {
      for (unsigned v = 1; v <= vars; ++v) {
        if (n.kind == 'A' && mentioned[v] && mentions[child][v]) facts.shared[v] = true;
        mentioned[v] = mentioned[v] || mentions[child][v];
      }
      if (n.kind == 'A') {
        t &= tables[child];
      } else {
        overlap = overlap || t.intersects(tables[child]);
        t |= tables[child];
      }
    }
    if (overlap && facts.overlapping_or < 0) facts.overlapping_or = static_cast<int>(i);
    if (overlap && n.value != 0 && facts.overlapping_decision < 0) facts.overlapping_decision = static_cast<int>(i);
    tables.push_back(t);
    mentions.push_back(mentioned);
  }
  facts.function = tables.back();
  return facts;
}

table difference(const table& a, const table& b) {
  table d = a;
  d &= ~b;
  return d;
}

bool subset(const table& a, const table& b) { return difference(a, b).count() == 0; }

std::string assignments_text(const table& t, unsigned vars, std::size_t limit = 8) {
  std::string text;
  std::size_t shown = 0;
  for (std::size_t a = 0; a < t.size() && shown < limit; ++a) {
    if (!t.get(a)) continue;
    text += "\n      ";
    for (unsigned v = 1; v <= vars; ++v)
      text += ((a >> (v - 1)) & 1) ? " " + std::to_string(v) : " -" + std::to_string(v);
    ++shown;
  }
  return text.empty() ? " (none)" : text;
}

disagreement function_disagreement(const circuit_facts& facts, const expectation& e) {
  if (subset(e.lower, facts.function) && subset(facts.function, e.upper)) return {};
  table missing = difference(e.lower, facts.function);
  table extra = difference(facts.function, e.upper);
  return {"circuit function differs", "models missing:" + assignments_text(missing, e.vars) +
                                          "\n    models too many:" + assignments_text(extra, e.vars)};
}

disagreement circuit_disagreement(const brute_force::circuit& c, const circuit_facts& facts, const expectation& e) {
  if (!facts.problem.empty()) return {"malformed circuit", facts.problem};
  if (disagreement d = function_disagreement(facts, e); d.found()) return d;
  if (e.decomposable && !facts.decomposable()) return {"circuit not decomposable", ""};
  if (e.disjoint == determinism::all && facts.overlapping_or >= 0)
    return {"circuit not deterministic", "or-node " + std::to_string(facts.overlapping_or)};
  if (e.disjoint == determinism::decisions && facts.overlapping_decision >= 0)
    return {"circuit not deterministic", "decision node " + std::to_string(facts.overlapping_decision)};
  for (const brute_force::node& n : c.nodes) {
    unsigned v = n.kind == 'A' ? 0 : static_cast<unsigned>(std::abs(n.value));
    if (v > 0 && ((e.unmentioned >> (v - 1)) & 1))
      return {"circuit mentions a forgotten variable", "variable " + std::to_string(v)};
  }
  if (e.smooth && !brute_force::smooth(c, false)) return {"circuit not smooth", ""};
  std::vector<bool> root = brute_force::mentions(c).back();
  for (unsigned v = 1; v <= e.vars; ++v)
    if (((e.complete_over >> (v - 1)) & 1) && !root[v])
      return {"root misses a variable", "variable " + std::to_string(v)};
  return {};
}

// ---------------------------------------------------------------------------------------------
// The printed answers
// ---------------------------------------------------------------------------------------------

// The text between `prefix` and the next `end`; false when the prefix is not printed.
bool printed(const std::string& out, const std::string& prefix, const std::string& end, std::string& text) {
  std::size_t at = out.find(prefix);
  if (at == std::string::npos) return false;
  at += prefix.size();
  std::size_t stop = out.find(end, at);
  text = out.substr(at, stop == std::string::npos ? std::string::npos : stop - at);
  return true;
}

std::string answer_text(const mpq_class& value) {
  return value.get_den() == 1 ? value.get_num().get_str() : value.get_str();
}

disagreement value_lines_disagreement(const std::string& out, const expectation& e) {
  std::string counted, exact;
  printed(out, "\nCounting...", " models / ", counted);
  if (counted != answer_text(e.value))
    return {"count differs", "printed " + counted + ", expected " + answer_text(e.value)};
  std::string exact_prefix = e.weighted ? "\nc s exact arb frac " : "\nc s exact arb int ";
  std::string expected_exact =
      e.weighted ? e.value.get_num().get_str() + "/" + e.value.get_den().get_str() : e.value.get_num().get_str();
  if (!printed(out, exact_prefix, "\n", exact) || exact != expected_exact)
    return {"exact answer line differs", "expected " + exact_prefix.substr(1) + expected_exact};
  std::string log10;
  printed(out, "\nc s log10-estimate ", "\n", log10);
  double magnitude = std::fabs(e.value.get_d());
  bool log_ok = e.value == 0 ? log10 == "-inf" : std::fabs(std::atof(log10.c_str()) - std::log10(magnitude)) < 1e-9;
  if (!log_ok) return {"log10 estimate differs", "printed " + log10};
  if (!e.weighted) return {};
  std::string decimal;
  if (!printed(out, "\nc s exact double prec-sci ", "\n", decimal)) return {"double answer line missing", ""};
  double value = std::atof(decimal.c_str());
  if (std::fabs(value - e.value.get_d()) > 1e-14 * std::fabs(e.value.get_d()))
    return {"double answer differs", decimal};
  return {};
}

disagreement count_disagreement(const std::string& out, const expectation& e, bool value_judged) {
  std::string type;
  if (!e.count) {
    if (printed(out, "\nc s type ", "\n", type)) return {"answer lines without -count", ""};
    return {};
  }
  if (!printed(out, "\nc s type ", "\n", type) || type != e.type)
    return {"count type differs", "printed " + type + ", expected " + e.type};
  bool sat = out.find("\ns SATISFIABLE\n") != std::string::npos;
  bool unsat = out.find("\ns UNSATISFIABLE\n") != std::string::npos;
  if (sat == unsat) return {"satisfiability line missing", ""};
  if (value_judged && sat != e.satisfiable)
    return {"satisfiability differs", e.satisfiable ? "expected SATISFIABLE" : "expected UNSATISFIABLE"};
  if (value_judged) return value_lines_disagreement(out, e);
  return {};
}

std::vector<bool> printed_shared(const std::string& verdict, unsigned vars) {
  std::vector<bool> shared(vars + 1, false);
  std::istringstream words(verdict.substr(std::string("shared vars: ").size()));
  unsigned v;
  while (words >> v)
    if (v <= vars) shared[v] = true;
  return shared;
}

// The check prints whether the circuit is decomposable, and whether it entails every clause:
// exact on decomposable circuits, and on others only a sound "OK" or "Cannot decide".
disagreement entailment_disagreement(const std::string& out, const expectation& e, const circuit_facts* facts) {
  std::string decomposition, entailment;
  if (!printed(out, "\nChecking decomposability...", " / ", decomposition) ||
      !printed(out, "\nChecking entailment...", "/ ", entailment))
    return {"check lines missing", ""};
  if (!facts) return {};
  bool decomposable = facts->decomposable();
  std::string expected_decomposition = decomposable ? "OK" : "shared vars: ";
  if (decomposition.rfind(expected_decomposition, 0) != 0 ||
      (!decomposable && printed_shared(decomposition, e.vars) != facts->shared))
    return {"decomposability check differs", "printed " + decomposition};
  bool entails = subset(facts->function, e.clauses);
  bool agrees = decomposable ? entailment == (entails ? "OK  " : "Failed!!!  ")
                             : entailment == "Cannot decide!!! " || (entails && entailment == "OK  ");
  if (!agrees)
    return {"entailment check differs", "printed " + entailment + (entails ? ", entailed" : ", not entailed")};
  return {};
}

disagreement failure_disagreement(const run_result& r, const expectation& e, const std::string& nnf_path) {
  if (r.status != 1) return {"should have failed", "expected exit 1 with \"" + e.message + "\""};
  if (r.out.find(e.message) == std::string::npos)
    return {"failed with another message", "expected \"" + e.message + "\""};
  if (file_exists(nnf_path)) return {"failed run left a circuit file", ""};
  return {};
}

disagreement run_disagreement(const run_result& r) {
  if (r.timed_out) return {"timed out", ""};
  if (r.signal) return {"killed by a signal", "signal " + std::to_string(r.signal)};
  if (!r.err.empty()) return {"wrote to standard error", r.err.substr(0, 400)};
  return {};
}

disagreement success_disagreement(const run_result& r, const expectation& e, const std::string& workdir) {
  if (r.status != 0) return {"exit status", "status " + std::to_string(r.status) + "\n" + r.out.substr(0, 400)};
  std::string nnf_path = workdir + "/f.cnf.nnf";
  if (file_exists(nnf_path) != e.nnf_file) return {e.nnf_file ? "circuit file missing" : "circuit file written", ""};
  circuit_facts facts;
  bool judged = false;
  if (e.nnf_file) {
    brute_force::circuit c;
    try {
      c = brute_force::parse_nnf(read_file(nnf_path));
    } catch (const std::exception& ex) {
      return {"malformed circuit", ex.what()};
    }
    facts = inspect(c, e.vars);
    if (disagreement d = circuit_disagreement(c, facts, e); d.found()) return d;
    judged = true;
  }
  // Counting and satisfiability assume decomposition; when it is waived, only a circuit seen
  // to be decomposable is held to the count.
  bool value_judged = e.decomposable || (judged && facts.decomposable());
  if (disagreement d = count_disagreement(r.out, e, value_judged); d.found()) return d;
  if (e.check_entailment) {
    // A circuit kept in memory is known only as expected: exactly, unless -suppress_ane.
    circuit_facts expected;
    bool known = judged || (e.lower == e.upper && e.decomposable);
    if (!judged && known) {
      expected.function = e.lower;
      expected.shared.assign(e.vars + 1, false);
    }
    return entailment_disagreement(r.out, e, judged ? &facts : known ? &expected : nullptr);
  }
  return {};
}

}  // namespace

void write_case_files(const test_case& t, const std::string& workdir) {
  const option_case& o = t.options;
  write_file(workdir + "/f.cnf", cnf_text(t.formula, !o.weight_file));
  if (o.weight_file || o.saved_query) write_file(workdir + "/w.txt", weight_file_text(t.formula));
  const std::pair<const var_list*, const char*> lists[] = {{&o.exist, "exist.txt"},
                                                           {&o.force, "force.txt"},
                                                           {&o.determined, "determined.txt"},
                                                           {&o.decompose_except, "except.txt"}};
  for (const auto& [list, name] : lists)
    if (list->given) write_file(workdir + "/" + name, list_text(*list));
  if (!o.block_order.empty()) {
    std::string blocks;
    for (unsigned b : o.block_order) blocks += std::to_string(b) + "\n";
    write_file(workdir + "/blocks.txt", blocks);
  }
}

namespace {

// The saved circuit counted again from its file, under the same directives and assumptions,
// gives the same answers; -exist changes what the first count ranges over, so it is left out.
bool saved_query_judged(const option_case& o, const expectation& e) {
  return o.saved_query && e.nnf_file && e.count && e.decomposable && !o.exist.given;
}

disagreement saved_query_disagreement(const test_case& t, const expectation& e, const std::string& tarn,
                                      const std::string& workdir, int seconds) {
  run_result r = run_program(tarn, saved_query_arguments(t.options), workdir, seconds);
  disagreement d = run_disagreement(r);
  if (!d.found() && r.status != 0)
    d = {"exit status", "status " + std::to_string(r.status) + "\n" + r.out.substr(0, 400)};
  // The query gives a weight file, which makes the count weighted.
  expectation weighted = e;
  weighted.weighted = true;
  weighted.type = std::string(e.type[0] == 'p' ? "p" : "") + "wmc";
  if (!d.found()) d = count_disagreement(r.out, weighted, true);
  if (d.found()) d.kind = "saved circuit query: " + d.kind;
  return d;
}

}  // namespace

disagreement check_case(const test_case& t, const std::string& tarn, const std::string& workdir, int seconds) {
  std::string nnf_path = workdir + "/f.cnf.nnf";
  std::remove(nnf_path.c_str());
  std::remove((workdir + "/f.cnf.dtree").c_str());
  write_case_files(t, workdir);
  expectation e = expect(t);
  run_result r = run_program(tarn, arguments(t.options), workdir, seconds);
  if (disagreement d = run_disagreement(r); d.found()) return d;
  if (e.fails) return failure_disagreement(r, e, nnf_path);
  if (disagreement d = success_disagreement(r, e, workdir); d.found()) return d;
  return saved_query_judged(t.options, e) ? saved_query_disagreement(t, e, tarn, workdir, seconds) : disagreement{};
}

}  // namespace diff_fuzz
