#pragma once

// Number of base-2 digits of n; 0 for n <= 0.
int bitLength(int n);

// Turns values[0..count-1] (each in [0, modulus)) into folded cyclic
// differences to their successor, in place, and back. The last value stays
// as it is. A modulus below 1 leaves the array unchanged.
//
// Fold: d = (value - next) mod modulus goes to 2d when 2d < modulus, else to
// 2(modulus - 1 - d) + 1, so small steps either way give small codes.
void toCyclicDeltas(int* values, int count, int modulus);
void fromCyclicDeltas(int* values, int count, int modulus);
