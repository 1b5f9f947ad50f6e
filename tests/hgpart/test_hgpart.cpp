#include "hgpart/hgpart.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "hgpart/basics.h"
#include "hgpart/memory.h"
#include "hgpart/util.h"
#include "hgpart_testing.h"

// The allocation-failure test asks for more memory than exists: AddressSanitizer must then return
// null like malloc does instead of stopping the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {
using namespace hgp_testing;

constexpr int kProgramOptions[9] = {1, 2, 1, 2, 3, 0, 0, -1, 0};

// The program's options with a fixed seed.
std::vector<int> options_with_seed(int seed) {
  std::vector<int> options(kProgramOptions, kProgramOptions + 9);
  options[7] = seed;
  return options;
}

struct bisection {
  std::vector<int> part;
  int cut = -1;
  int returned = -1;
};

bisection bisect(const net_list& nets, const std::vector<int>& options, int ubfactor = 25) {
  bisection result;
  result.part.assign(nets.nvtxs, -1);
  result.returned = HGP_PartRecursive(nets.nvtxs, nets.nedges(), or_null(nets.vwgts), nets.eptr.data(),
                                      nets.eind.data(), or_null(nets.hewgts), 2, ubfactor, options.data(),
                                      result.part.data(), &result.cut);
  return result;
}

int recount_cut(const net_list& nets, const std::vector<int>& part) {
  int cut = 0;
  for (int e = 0; e < nets.nedges(); ++e) {
    bool side[2] = {false, false};
    for (int i = nets.eptr[e]; i < nets.eptr[e + 1]; ++i) side[part[nets.eind[i]]] = true;
    if (side[0] && side[1]) cut += nets.hewgts.empty() ? 1 : nets.hewgts[e];
  }
  return cut;
}

// Runs one bisection and checks what the dtree builder relies on.
void expect_sound_bisection(const net_list& nets, const std::vector<int>& options, int ubfactor) {
  const net_list copy = nets;
  testing::internal::CaptureStdout();
  const bisection result = bisect(nets, options, ubfactor);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no diagnostic (and no \"Wrong cut!\") at debug level 0";
  for (int v = 0; v < nets.nvtxs; ++v) ASSERT_TRUE(result.part[v] == 0 || result.part[v] == 1) << "vertex " << v;
  EXPECT_EQ(result.cut, recount_cut(nets, result.part));
  EXPECT_EQ(result.returned, result.cut);
  EXPECT_EQ(nets.eptr, copy.eptr);
  EXPECT_EQ(nets.eind, copy.eind);
  if (nets.vwgts.empty() && nets.nvtxs >= 2) {
    // With unit weights every level can be balanced, so both sides reach their least weights.
    const float fraction = 0.5f - static_cast<float>(ubfactor) / 100.0f;
    const int least = static_cast<int>(static_cast<float>(nets.nvtxs) * fraction);
    int part0 = 0;
    for (int p : result.part) part0 += p == 0;
    EXPECT_GE(part0, least);
    EXPECT_GE(nets.nvtxs - part0, least);
  }
}

TEST(HGPPartRecursive, BisectsRandomHypergraphsIntoSidesZeroAndOneWithTheReturnedCut) {
  struct shape {
    int n, nnets, max_size, nislands, max_vertex_weight, max_net_weight, ubfactor;
  };
  const shape shapes[] = {
      {2, 1, 2, 0, 1, 1, 25},      {3, 0, 2, 3, 1, 1, 25},       {12, 20, 4, 2, 1, 1, 5},
      {49, 60, 5, 0, 1, 1, 25},    {100, 150, 6, 5, 1, 1, 25},   {101, 150, 6, 0, 1, 1, 40},
      {400, 500, 70, 10, 1, 1, 25}, {600, 700, 8, 20, 4, 3, 25}, {1500, 2000, 6, 40, 1, 1, 15},
  };
  unsigned seed = 0;
  for (const shape& s : shapes) {
    for (int round = 0; round < 2; ++round) {
      ++seed;
      SCOPED_TRACE(::testing::Message() << "seed " << seed << ", " << s.n << " vertices");
      std::mt19937 rng(seed);
      const net_list nets =
          random_net_list(rng, s.n, s.nnets, s.max_size, s.nislands, s.max_vertex_weight, s.max_net_weight);
      expect_sound_bisection(nets, options_with_seed(static_cast<int>(seed)), s.ubfactor);
      if (HasFailure()) return;
    }
  }
}

TEST(HGPPartRecursive, EveryVcycleCoarseningAndRefinementPolicyGivesASoundBisection) {
  std::mt19937 rng(77);
  const net_list nets = random_net_list(rng, 1100, 1300, 6, 10); // above the V-cycles' 1000
  struct policy {
    int nruns, ctype, rtype, vcycle;
  };
  const policy policies[] = {{2, 1, 2, 3}, {2, 2, 2, 3}, {2, 3, 1, 3}, {2, 1, 1, 0},
                             {3, 1, 2, 2}, {2, 1, 2, 1}, {11, 2, 1, 1}};
  for (const policy& p : policies) {
    SCOPED_TRACE(::testing::Message() << "Nruns " << p.nruns << " Ctype " << p.ctype << " Rtype " << p.rtype
                                      << " Vcycle " << p.vcycle);
    const std::vector<int> options = {1, p.nruns, p.ctype, p.rtype, p.vcycle, 0, 0, p.ctype + p.vcycle, 0};
    expect_sound_bisection(nets, options, 25);
  }
}

TEST(HGPPartRecursive, FindsTheCutOfZeroBetweenTwoSeparateHalves) {
  net_list nets;
  nets.nvtxs = 600;
  std::mt19937 rng(5);
  for (int half = 0; half < 2; ++half)
    for (int e = 0; e < 900; ++e) {
      const int a = 300 * half + static_cast<int>(rng() % 300);
      int b = 300 * half + static_cast<int>(rng() % 300);
      if (b == a) b = 300 * half + (a + 1 - 300 * half) % 300;
      nets.add_net({a, b});
    }
  const bisection result = bisect(nets, options_with_seed(3));
  EXPECT_EQ(result.cut, 0);
}

TEST(HGPPartRecursive, RepeatsItselfWithTheSameSeedAndUsesTheDefaultsWithoutOptions) {
  std::mt19937 rng(8);
  const net_list nets = random_net_list(rng, 800, 900, 5);
  const bisection first = bisect(nets, options_with_seed(42));
  const bisection second = bisect(nets, options_with_seed(42));
  EXPECT_EQ(first.part, second.part);
  EXPECT_EQ(first.cut, second.cut);

  std::vector<int> part(nets.nvtxs, -1);
  int cut = -1;
  HGP_PartRecursive(nets.nvtxs, nets.nedges(), nullptr, nets.eptr.data(), nets.eind.data(), nullptr, 2, 25, nullptr,
                    part.data(), &cut);
  EXPECT_EQ(cut, recount_cut(nets, part));
}

TEST(HGPPartRecursive, HandlesEmptyAndSingleVertexHypergraphs) {
  int cut = -1;
  const int eptr[] = {0};
  EXPECT_EQ(HGP_PartRecursive(0, 0, nullptr, eptr, nullptr, nullptr, 2, 25, kProgramOptions, nullptr, &cut), 0);
  int part = -1;
  const int eptr1[] = {0, 1};
  const int eind1[] = {0};
  HGP_PartRecursive(1, 1, nullptr, eptr1, eind1, nullptr, 2, 25, kProgramOptions, &part, &cut);
  EXPECT_TRUE(part == 0 || part == 1);
  EXPECT_EQ(cut, 0);
}

// ---------------------------------------------------------------------------------------------
// Argument checks
// ---------------------------------------------------------------------------------------------
// The partitioner's message for a call that fails, "" for one that succeeds.
std::string failure_of(int result) {
  if (result != HGP_ERROR) return "";
  std::string message = HGP_LastError();
  EXPECT_FALSE(message.empty());
  return message;
}

std::string call_with(int nparts, int ubfactor, const std::vector<int>& options) {
  const int eptr[] = {0, 2};
  const int eind[] = {0, 1};
  int part[2];
  int cut;
  return failure_of(HGP_PartRecursive(2, 1, nullptr, eptr, eind, nullptr, nparts, ubfactor, options.data(), part, &cut));
}

std::vector<int> with_slot(int slot, int value) {
  std::vector<int> options(kProgramOptions, kProgramOptions + 9);
  options[slot] = value;
  return options;
}

bool starts_with(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

// Each bad setting, and each scheme that is not available, fails the call with its message;
// with slot 0 at 0 the option slots are ignored.
TEST(HGPPartRecursive, RejectsEachBadArgumentWithItsMessage) {
  struct argument_case {
    int nparts, ubfactor, slot, value;
    const char* message;
  };
  const argument_case cases[] = {
      {1, 25, 0, 1, "Nparts should be at least 2.\n"},
      {1, 0, 0, 1, "Nparts should be at least 2.\n"},
      {2, 0, 0, 1, "UBfactor should be between 1 and 49.\n"},
      {2, 50, 0, 1, "UBfactor should be between 1 and 49.\n"},
      {2, 25, 1, 0, "Nruns should be at least 1.\n"},
      {2, 25, 2, 0, "Ctype should be between 1 and 5.\n"},
      {2, 25, 2, 6, "Ctype should be between 1 and 5.\n"},
      {2, 25, 3, 4, "Rtype should be between 1 and 3.\n"},
      {2, 25, 4, -1, "Vcycle should be between 0 and 3.\n"},
      {2, 25, 5, 2, "Reconst should be between 0 and 1.\n"},
      {2, 25, 6, -1, "Fixed should be between 0 and 1.\n"},
      {3, 25, 0, 1, "Nparts 3 is not supported"},
      {2, 25, 2, 4, "Ctype 4 is not supported"},
      {2, 25, 2, 5, "Ctype 5 is not supported"},
      {2, 25, 3, 3, "Rtype 3 is not supported"},
      {2, 25, 6, 1, "Fixed vertices are not supported.\n"},
  };
  for (const argument_case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_TRUE(starts_with(call_with(c.nparts, c.ubfactor, with_slot(c.slot, c.value)), c.message));
  }
  EXPECT_EQ(call_with(2, 25, {0, -5, 99, 99, 99, 99, 99, 99, 0}), "");
}

TEST(HGPPartRecursive, RejectsHypergraphArraysItCannotIndexSafely) {
  int part[3];
  int cut;
  const int eptr[] = {0, 2, 4};
  const int eind[] = {0, 1, 2, 3};
  EXPECT_EQ(failure_of(HGP_PartRecursive(3, 2, nullptr, eptr, eind, nullptr, 2, 25, kProgramOptions, part, &cut)),
            "Net 1 has vertex 3, outside 0 to 2.\n");
  const int bad_eptr[] = {0, 2, 1};
  EXPECT_EQ(failure_of(HGP_PartRecursive(4, 2, nullptr, bad_eptr, eind, nullptr, 2, 25, kProgramOptions, part, &cut)),
            "Net 1 has an invalid range of vertices.\n");
  EXPECT_EQ(failure_of(HGP_PartRecursive(-1, 0, nullptr, eptr, eind, nullptr, 2, 25, kProgramOptions, part, &cut)),
            "The vertex and net counts should not be negative.\n");
  EXPECT_EQ(failure_of(HGP_PartRecursive(4, 2, nullptr, nullptr, eind, nullptr, 2, 25, kProgramOptions, part, &cut)),
            "The net pointers, net vertices and part array should be given.\n");
  const int negative[] = {1, -1, 1, 1};
  EXPECT_EQ(failure_of(HGP_PartRecursive(4, 2, negative, eptr, eind, nullptr, 2, 25, kProgramOptions, part, &cut)),
            "Vertex and net weights should not be negative.\n");
  const int huge[] = {INT_MAX / 2, INT_MAX / 2 + 5};
  EXPECT_EQ(failure_of(HGP_PartRecursive(4, 2, nullptr, eptr, eind, huge, 2, 25, kProgramOptions, part, &cut)),
            "The total vertex or net weight is too large.\n");
}

// An allocation the compiler may not leave out as unused.
void allocate_and_keep(std::size_t n) {
  hgp_array<int> array(n, "HGP: graph->cellwgt");
  const void* data = array.data();
  asm volatile("" : : "r"(data) : "memory");
}

TEST(HGPPartRecursive, ReportsAFailedAllocationWithTheArrayNameAndSize) {
  std::string message;
  try {
    allocate_and_keep(static_cast<std::size_t>(1) << 46);
  } catch (const hgp_error& error) {
    message = error.message;
  }
  EXPECT_EQ(message, "Memory allocation failed for HGP: graph->cellwgt. Requested size: 2147483647 bytes\n");
}

}  // namespace
