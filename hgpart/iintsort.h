// Ascending sort of a short int array (the vertices of one net).
#pragma once

void iintsort(int n, int* a);
