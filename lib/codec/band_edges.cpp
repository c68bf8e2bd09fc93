#include "codec/band_edges.h"

#include <cmath>

int bandEdge(int i, int count, int bins)
{
    // The fraction is a float; the warp itself runs in double.
    const float fraction = static_cast<float>(i) / static_cast<float>(count);
    const double square = static_cast<double>(fraction) * fraction;
    const double edge = square * (static_cast<double>(bins) - count) + i;
    return static_cast<int>(std::trunc(edge));
}
