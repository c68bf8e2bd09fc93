#!/usr/bin/env bash
# Checks that the generated sources in the tree are exactly what their
# generators write today:
#   lib/codec/generated/noise_checkpoints.cpp  from tools/make_noise_checkpoints.cpp
# Builds the generator, writes its output to a temporary file and compares
# it byte for byte with the committed file; on a difference it prints the
# first differing lines and the command that regenerates the file.
#
#   bash tools/check-generated.sh
# Environment: Q58_BUILD_DIR (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${Q58_BUILD_DIR:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

step() { printf '== check-generated: %s\n' "$1"; }
fail() { printf 'check-generated: FAILED: %s\n' "$1" >&2; exit 1; }

step "build q58_make_noise_checkpoints in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >"$work/configure.log" 2>&1 ||
  { tail -n 40 "$work/configure.log" >&2; fail "cmake configure"; }
cmake --build "$build" -j"$(nproc)" --target q58_make_noise_checkpoints >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; fail "building q58_make_noise_checkpoints"; }

committed=lib/codec/generated/noise_checkpoints.cpp
step "regenerate $committed"
"$build/q58_make_noise_checkpoints" >"$work/noise_checkpoints.cpp"
if ! cmp -s "$work/noise_checkpoints.cpp" "$committed"; then
  diff -u "$committed" "$work/noise_checkpoints.cpp" | head -n 40 >&2 || true
  fail "$committed is not what tools/make_noise_checkpoints.cpp writes; regenerate it with
  cmake --build $build --target q58_make_noise_checkpoints
  $build/q58_make_noise_checkpoints > $committed"
fi
echo "identical: $committed ($(wc -l <"$committed") lines)"
step "passed"
