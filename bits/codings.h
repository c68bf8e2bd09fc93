#pragma once

// Number of base-2 digits of n; 0 for n <= 0.
int bitLength(int n);

// Turns values[0..count-1] (each in [0, modulus)) into folded cyclic
// differences to their successor, in place, and back.
void toCyclicDeltas(int* values, int count, int modulus);
void fromCyclicDeltas(int* values, int count, int modulus);
