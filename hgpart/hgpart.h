// The multilevel hypergraph partitioner's entry, as the dtree builder calls it.
#pragma once

// Splits vertices 0 to nvtxs - 1 of a hypergraph into nparts parts of nearly equal weight with a
// small weight of cut nets. Net e holds eind[eptr[e], eptr[e + 1]); vwgts and hewgts may be null
// (every weight 1). ubfactor (1 to 49) is the allowed deviation from an even split in percent of
// the total weight; options holds nine ints (slot 0 = 0: defaults; then Nruns, Ctype, Rtype,
// Vcycle, Reconst, Fixed, seed, debug level), null meaning the defaults. The caller's arrays are
// copied, not changed; on return part[v] is the part of v (0 or 1) and *edgecut (when edgecut is
// not null) the cut, which is also returned.
//
// Bad arguments, and memory that cannot be had, make it return HGP_ERROR, with the message
// (ended by a newline) in HGP_LastError() of the calling thread. Only bisection (nparts 2) with
// star matching (Ctype 1 to 3), FM refinement (Rtype 1 and 2) and no fixed vertices is
// available; other values fail the same way.
constexpr int HGP_ERROR = -1;
int HGP_PartRecursive(int nvtxs, int nhedges, const int* vwgts, const int* eptr, const int* eind,
                      const int* hewgts, int nparts, int ubfactor, const int* options, int* part, int* edgecut);
const char* HGP_LastError();
