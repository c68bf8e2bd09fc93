#pragma once

// Edge i (0..count) of a family of count bands over bins bins, quadratically warped:
// trunc((i/count)^2 * (bins - count) + i).
int bandEdge(int i, int count, int bins);
