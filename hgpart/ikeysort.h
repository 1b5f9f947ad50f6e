// Stable ascending sort of (key, value) pairs by key: equal keys keep their order, which the visit
// orders of the matchings and the merging of identical nets rely on.
#pragma once

#include "hgpart/memory.h"

struct KeyValueType {
  int key; // sort key
  int val; // payload (a vertex or a net number)
};

void ikeysort(int n, KeyValueType* items);
