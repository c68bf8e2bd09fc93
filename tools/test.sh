#!/usr/bin/env bash
# Builds q58 with its tests and benchmarks and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/prerequisites.sh
ensure_packages "${build_tools[@]}" \
  "libgtest-dev=test -f /usr/include/gtest/gtest.h" \
  "libbenchmark-dev=test -f /usr/include/benchmark/benchmark.h"

build=${Q58_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQ58_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
