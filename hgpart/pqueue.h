// Gain priority queue of one side for the FM refinements. Two forms: buckets indexed by gain when
// the gain range is small, a binary max-heap otherwise. Tie orders are part of the behaviour:
// among equal gains the bucket form yields the most recently queued vertex first, and in the heap
// a key rises only above strictly smaller keys.
#pragma once

#include "hgpart/memory.h"

enum class pqueue_kind {
  buckets, // largest gain at most three times the vertex count
  heap,    // larger gain ranges
};

struct pqueue_entry {
  int key;    // gain
  int vertex; // queued vertex
};

// What the queue keeps per vertex, together so that an update touches one place.
struct pqueue_node {
  int locator; // -1 when not queued; else its bucket or heap slot
  int next;    // buckets: next vertex of the same gain, or -1
  int prev;    // buckets: previous vertex of the same gain, or -1
};

struct pqueue {
  pqueue_kind kind = pqueue_kind::buckets;
  int nnodes = 0;                 // vertices queued
  int maxgain = 0;                // every gain lies in [-maxgain, maxgain]
  int maxbucket = -1;             // buckets: highest non-empty bucket, -1 when the queue is empty
  hgp_array<int> buckets;         // buckets: [0, 2 maxgain] first vertex of gain b - maxgain, or -1
  hgp_array<pqueue_entry> heap;   // heap: [0, nnodes) max-heap of (gain, vertex)
  hgp_array<int> stack;           // heap: scratch of the weight-limited search
  hgp_array<pqueue_node> nodes;   // [0, maxnodes) per vertex
};

// Sets up an empty queue for vertices 0 to maxnodes - 1 with gains in [-maxgain, maxgain].
void init_pqueue(int maxnodes, int maxgain, pqueue& queue);
void pqueue_reset(pqueue& queue);

inline bool pqueue_contains(int vertex, const pqueue& queue) { return queue.nodes[vertex].locator != -1; }
void pqueue_insert(int vertex, int gain, pqueue& queue);
void pqueue_delete(int vertex, pqueue& queue);
void pqueue_update(int vertex, int newgain, pqueue& queue);

// The vertex of largest gain, or -1 when the queue is empty; get_max also removes it.
int pqueue_see_max(const pqueue& queue);
int pqueue_get_max(pqueue& queue);

// The vertex of largest gain among those weighing at most limit, or -1; it stays queued.
int pqueue_see_max_lighter(int limit, const int* cellwgt, pqueue& queue);
