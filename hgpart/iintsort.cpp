#include "hgpart/iintsort.h"

#include <algorithm>

void iintsort(int n, int* a) {
  // Nets are mostly a handful of vertices: insertion sort wins there and std::sort takes the rest.
  if (n > 16) {
    std::sort(a, a + n);
    return;
  }
  for (int i = 1; i < n; ++i) {
    const int x = a[i];
    int j = i;
    for (; j > 0 && a[j - 1] > x; --j) a[j] = a[j - 1];
    a[j] = x;
  }
}
