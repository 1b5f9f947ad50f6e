// CaDiCaL with a count of its conflicts, so that every budget of a SAT-based step counts
// conflicts, never time, and the same clauses give the same answer on any machine and load.
#pragma once

#include <algorithm>

#include <cadical.hpp>

constexpr int SATISFIABLE = 10;
constexpr int UNSATISFIABLE = 20;

// Every conflict ends in a learned clause (units and the empty clause included), so counting the
// clauses CaDiCaL offers for export counts its conflicts; their literals are declined.
class conflict_counter : public CaDiCaL::Learner {
 public:
  bool learning(int) override {
    ++count;
    return false;
  }
  void learn(int) override {}
  long count = 0;
};

// The counter is declared first so that it outlives the solver that points at it. CaDiCaL stays
// quiet: standard output belongs to tarn.
struct counted_solver {
  conflict_counter counter;
  CaDiCaL::Solver solver;
  counted_solver() {
    solver.set("quiet", 1);
    solver.connect_learner(&counter);
  }
  // A solve cut short by the limit answers 0; `spent` grows by the conflicts it took.
  int solve_within(long conflicts, long& spent) {
    solver.limit("conflicts", static_cast<int>(std::min<long>(conflicts, 1L << 30)));
    long before = counter.count;
    int result = solver.solve();
    spent += counter.count - before;
    return result;
  }
};
