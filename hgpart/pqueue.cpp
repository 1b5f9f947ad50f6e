#include "hgpart/pqueue.h"

#include <cassert>

void init_pqueue(int maxnodes, int maxgain, pqueue& queue) {
  queue.kind = maxgain > 3L * maxnodes ? pqueue_kind::heap : pqueue_kind::buckets;
  queue.nnodes = 0;
  queue.maxgain = maxgain;
  queue.maxbucket = -1;
  queue.nodes = hgp_array<pqueue_node>(maxnodes, pqueue_node{-1, -1, -1}, "HGP: queue->nodes");
  if (queue.kind == pqueue_kind::buckets) {
    queue.buckets = hgp_array<int>(2 * static_cast<std::size_t>(maxgain) + 1, -1, "HGP: queue->buckets");
  } else {
    queue.heap = hgp_array<pqueue_entry>(maxnodes, "HGP: queue->heap");
    queue.stack = hgp_array<int>(maxnodes, "HGP: queue->stack");
  }
}

// ---------------------------------------------------------------------------------------------
// Heap form
// ---------------------------------------------------------------------------------------------
namespace {

void heap_place(int slot, pqueue_entry entry, pqueue& queue) {
  queue.heap[slot] = entry;
  queue.nodes[entry.vertex].locator = slot;
}

// A key climbs only past parents with strictly smaller keys.
void heap_sift_up(int slot, pqueue_entry entry, pqueue& queue) {
  while (slot > 0) {
    const int parent = (slot - 1) / 2;
    if (queue.heap[parent].key >= entry.key) break;
    heap_place(slot, queue.heap[parent], queue);
    slot = parent;
  }
  heap_place(slot, entry, queue);
}

// A key sinks below the larger child (the left one on a tie) only when that child is larger.
void heap_sift_down(int slot, pqueue_entry entry, pqueue& queue) {
  for (;;) {
    int child = 2 * slot + 1;
    if (child >= queue.nnodes) break;
    if (child + 1 < queue.nnodes && queue.heap[child + 1].key > queue.heap[child].key) ++child;
    if (queue.heap[child].key <= entry.key) break;
    heap_place(slot, queue.heap[child], queue);
    slot = child;
  }
  heap_place(slot, entry, queue);
}

// Puts an entry into a vacant slot, moving it up or down as its key asks.
void heap_settle(int slot, pqueue_entry entry, pqueue& queue) {
  if (slot > 0 && queue.heap[(slot - 1) / 2].key < entry.key)
    heap_sift_up(slot, entry, queue);
  else
    heap_sift_down(slot, entry, queue);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------
void pqueue_reset(pqueue& queue) {
  if (queue.kind == pqueue_kind::buckets) {
    for (int b = queue.maxbucket; b >= 0; --b) {
      for (int v = queue.buckets[b]; v != -1; v = queue.nodes[v].next) queue.nodes[v].locator = -1;
      queue.buckets[b] = -1;
    }
    queue.maxbucket = -1;
  } else {
    for (int i = 0; i < queue.nnodes; ++i) queue.nodes[queue.heap[i].vertex].locator = -1;
  }
  queue.nnodes = 0;
}

void heap_pqueue_insert(int vertex, int gain, pqueue& queue) {
  heap_sift_up(queue.nnodes++, pqueue_entry{gain, vertex}, queue);
}

void heap_pqueue_delete(int vertex, pqueue& queue) {
  const int slot = queue.nodes[vertex].locator;
  queue.nodes[vertex].locator = -1;
  const pqueue_entry last = queue.heap[--queue.nnodes];
  if (slot < queue.nnodes) heap_settle(slot, last, queue);
}

void heap_pqueue_update(int vertex, int newgain, pqueue& queue) {
  const int slot = queue.nodes[vertex].locator;
  const int oldgain = queue.heap[slot].key;
  if (newgain == oldgain) return;
  if (newgain > oldgain)
    heap_sift_up(slot, pqueue_entry{newgain, vertex}, queue);
  else
    heap_sift_down(slot, pqueue_entry{newgain, vertex}, queue);
}

int pqueue_see_max_lighter(int limit, const int* cellwgt, pqueue& queue) {
  if (queue.kind == pqueue_kind::buckets) {
    for (int b = queue.maxbucket; b >= 0; --b)
      for (int v = queue.buckets[b]; v != -1; v = queue.nodes[v].next)
        if (cellwgt[v] <= limit) return v;
    return -1;
  }
  // Depth-first, left child first; a subtree whose root cannot beat the best found is skipped,
  // as no key below a slot exceeds the slot's own.
  int best = -1, depth = 0;
  if (queue.nnodes > 0) queue.stack[depth++] = 0;
  while (depth > 0) {
    const int slot = queue.stack[--depth];
    const pqueue_entry& entry = queue.heap[slot];
    if (best != -1 && entry.key <= queue.heap[best].key) continue;
    if (cellwgt[entry.vertex] <= limit) {
      best = slot;
      continue;
    }
    for (int child = 2 * slot + 2; child >= 2 * slot + 1; --child)
      if (child < queue.nnodes) queue.stack[depth++] = child;
  }
  return best == -1 ? -1 : queue.heap[best].vertex;
}
