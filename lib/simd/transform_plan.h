// FastTransformPlan: the roots of unity and window values of the fast
// transforms, laid out in the order their kernels read them.
#pragma once

// Every root of unity and window value the fast transforms read, copied
// from the shared tables into the order the fast kernels access them:
// split real and imaginary parts, contiguous per pass, so that each SIMD
// lane finds its factor with a plain load. The values are the very floats
// of the shared tables (same function, same arguments), so the fast path
// multiplies by exactly what the reference path multiplies by.
//
// A plain record; lib/transform builds the one plan of the process together
// with its tables.
struct FastTransformPlan {
    // 1764 = 4 x 441, first level: factor W1764^(p q) for row p = 1..3 and
    // column q = 0..440; columns 441..447 pad the last group of 4 or 8 and are 1.
    static constexpr int radix4Columns = 448;
    alignas(64) float radix4Re[3][radix4Columns];
    alignas(64) float radix4Im[3][radix4Columns];

    // 441 = 9 x 49: factor W441^(p q mod 441) for output p = 0..8 of the
    // 9-point transform in column q = 0..48, stored [q][p].
    alignas(64) float stage441Re[49][9];
    alignas(64) float stage441Im[49][9];
    // 49 = 7 x 7: factor W49^(p q) stored [q][p]; 9 = 3 x 3: W9^(p q) stored [q][p].
    float stage49Re[7][7];
    float stage49Im[7][7];
    float stage9Re[3][3];
    float stage9Im[3][3];
    // Kernel constants: roots3[1] and roots7[0..6].
    float dft3Cos;
    float dft3Sin;
    float dft7Re[7];
    float dft7Im[7];

    // The factors above widened to double, so that a kernel loads or
    // broadcasts them without a conversion (the values are the same):
    // radix4Re/Im, stage441Re/Im and stage49Re/Im as they are, and for the
    // eight-lane engine the 441 factors of the columns q, q + 1 (q even; the
    // column 49 beyond the last takes those of column 0) for output p, each
    // repeated over four lanes: stage441PairsRe[q / 2][p][lane].
    alignas(64) double radix4WideRe[3][radix4Columns];
    alignas(64) double radix4WideIm[3][radix4Columns];
    alignas(64) double stage441WideRe[49][9];
    alignas(64) double stage441WideIm[49][9];
    alignas(64) double stage441PairsRe[25][9][8];
    alignas(64) double stage441PairsIm[25][9][8];
    alignas(64) double stage49WideRe[7][7];
    alignas(64) double stage49WideIm[7][7];

    // Filter bank, natural order n (or k) = 0..1763.
    alignas(64) float window[1764];           // sineWindow
    alignas(64) float analysisPreRe[1764];    // invRoots3528[n]
    alignas(64) float analysisPreIm[1764];
    alignas(64) float analysisPostRe[1764];   // invRoots7056[2k + 1]
    alignas(64) float analysisPostIm[1764];
    alignas(64) float synthesisPreRe[1764];   // roots7056[2n + 1]
    alignas(64) float synthesisPreIm[1764];
    alignas(64) float synthesisPostRe[1764];  // roots3528[n]
    alignas(64) float synthesisPostIm[1764];
    // The bin rotation e^(-+ i pi (2k+1)/4) depends on k mod 4 only; repeated
    // twice so that a group of 4 or 8 consecutive bins loads it directly.
    alignas(64) float analysisTurnRe[8];      // roots7056[(1764 k + 882) mod 7056]
    alignas(64) float analysisTurnIm[8];
    alignas(64) float synthesisTurnRe[8];     // invRoots7056[(1764 k + 882) mod 7056]
    alignas(64) float synthesisTurnIm[8];
};
