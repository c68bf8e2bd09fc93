#!/usr/bin/env bash
# Builds q58, generates the project's own 5-second stereo sample and converts
# it both ways with the real console output: sample.wav -> sample.q58 -> sample.q58.wav
set -euo pipefail
cd "$(dirname "$0")/.."
build=${Q58_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target q58 q58_make_sample >/dev/null
mkdir -p out
"$build/q58_make_sample" out/sample.wav "${1:-5}"
cd out
"../$build/q58" sample.wav sample.q58
ls -l sample.wav sample.q58 sample.q58.wav
