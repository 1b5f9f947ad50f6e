// Gain priority queue of one side for the FM refinements. Two forms: buckets indexed by gain when
// the gain range is small, a binary max-heap otherwise. Tie orders are part of the behaviour:
// among equal gains the bucket form yields the most recently queued vertex first, and in the heap
// a key rises only above strictly smaller keys.
#pragma once

#include <cassert>

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
// Insert, delete and update (inline below) are given a vertex in and out of the queue as stated.
// The vertex of largest gain among those weighing at most limit, or -1; it stays queued.
int pqueue_see_max_lighter(int limit, const int* cellwgt, pqueue& queue);

// ---------------------------------------------------------------------------------------------
// The heap form is out of line; the bucket form is inline, since every FM move updates the gains
// of several neighbours.
// ---------------------------------------------------------------------------------------------
void heap_pqueue_insert(int vertex, int gain, pqueue& queue);
void heap_pqueue_delete(int vertex, pqueue& queue);
void heap_pqueue_update(int vertex, int newgain, pqueue& queue);

namespace pqueue_buckets {
inline int bucket_of(int gain, const pqueue& queue) {
  assert(gain >= -queue.maxgain && gain <= queue.maxgain);
  return gain + queue.maxgain;
}

inline void link(int vertex, int bucket, pqueue& queue) {
  const int head = queue.buckets[bucket];
  queue.nodes[vertex] = pqueue_node{bucket, head, -1};
  if (head != -1) queue.nodes[head].prev = vertex;
  queue.buckets[bucket] = vertex;
  if (bucket > queue.maxbucket) queue.maxbucket = bucket;
}

inline void unlink(int vertex, pqueue& queue) {
  pqueue_node& node = queue.nodes[vertex];
  if (node.prev != -1)
    queue.nodes[node.prev].next = node.next;
  else
    queue.buckets[node.locator] = node.next;
  if (node.next != -1) queue.nodes[node.next].prev = node.prev;
  node.locator = -1;
}

// The top index only moves down here, after the bucket it named has emptied.
inline void settle_max(pqueue& queue) {
  if (queue.nnodes == 0) {
    queue.maxbucket = -1;
    return;
  }
  while (queue.buckets[queue.maxbucket] == -1) --queue.maxbucket;
}
}  // namespace pqueue_buckets

inline void pqueue_insert(int vertex, int gain, pqueue& queue) {
  assert(!pqueue_contains(vertex, queue));
  if (queue.kind == pqueue_kind::heap) {
    heap_pqueue_insert(vertex, gain, queue);
    return;
  }
  ++queue.nnodes;
  pqueue_buckets::link(vertex, pqueue_buckets::bucket_of(gain, queue), queue);
}

inline void pqueue_delete(int vertex, pqueue& queue) {
  assert(pqueue_contains(vertex, queue));
  if (queue.kind == pqueue_kind::heap) {
    heap_pqueue_delete(vertex, queue);
    return;
  }
  pqueue_buckets::unlink(vertex, queue);
  --queue.nnodes;
  pqueue_buckets::settle_max(queue);
}

inline void pqueue_update(int vertex, int newgain, pqueue& queue) {
  assert(pqueue_contains(vertex, queue));
  if (queue.kind == pqueue_kind::heap) {
    heap_pqueue_update(vertex, newgain, queue);
    return;
  }
  const int bucket = pqueue_buckets::bucket_of(newgain, queue);
  if (bucket == queue.nodes[vertex].locator) return;
  pqueue_buckets::unlink(vertex, queue);
  pqueue_buckets::link(vertex, bucket, queue);
  pqueue_buckets::settle_max(queue);
}

// The vertex of largest gain, or -1 when the queue is empty; get_max also removes it.
inline int pqueue_see_max(const pqueue& queue) {
  if (queue.nnodes == 0) return -1;
  return queue.kind == pqueue_kind::buckets ? queue.buckets[queue.maxbucket] : queue.heap[0].vertex;
}

inline int pqueue_get_max(pqueue& queue) {
  const int vertex = pqueue_see_max(queue);
  if (vertex != -1) pqueue_delete(vertex, queue);
  return vertex;
}
