#!/usr/bin/env bash
# Builds q58 (GoogleTest not needed), generates the project's own 5-second
# stereo sample and converts it both ways with the real console output:
# sample.wav -> sample.q58 -> sample.q58.wav; then q58info describes the result.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/prerequisites.sh
ensure_packages "${build_tools[@]}"

build=${Q58_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
echo "Building q58, q58info and the sample generator ..."
cmake --build "$build" -j"$(nproc)" --target q58 q58info q58_make_sample
mkdir -p out
"$build/q58_make_sample" out/sample.wav "${1:-5}"
cd out
"../$build/q58" sample.wav sample.q58
ls -l sample.wav sample.q58 sample.q58.wav
"../$build/q58info" sample.q58 | sed -n 1,13p
