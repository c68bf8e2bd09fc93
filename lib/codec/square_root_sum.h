// The noise measure's running sum of pow(|x|, 0.5), with sqrt doing the
// work of pow wherever that cannot change the sum.
#pragma once

// Returns what the loop
//     float sum = 0; for k: sum = float(sum + pow(fabs(double(x[k])), 0.5));
// returns, bit for bit, for any float values (and any libm whose pow is
// faithful, within one unit in the last place of the exact power; glibc's
// is, over every float, see the test). sqrt is correctly rounded, so pow's
// result is sqrt's or one of its two neighbours; when the sum rounds to the
// same float with either neighbour it is that float whatever pow gives, and
// only otherwise (about once in 2^28 terms) is pow called.
float sumOfSquareRootsAsPow(const float* x, int n);
