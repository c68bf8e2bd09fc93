#!/usr/bin/env bash
# Holds q58's results to one set of bits whatever the compiler and the
# optimisation level: builds q58 with GCC at -O2, GCC at -O3 (CMake's
# Release) and Clang at -O3, encodes a generated sample of music with each
# and decodes each build's file with every build, then requires
#   - identical .q58 files (every packet the same),
#   - identical decoded WAV files (every sample the same).
# q58 runs the fast paths; each build also runs the transform and codec
# tests that hold the fast paths to the literal ones, bit for bit.
#
# Installs what is missing (cmake, g++, clang) from Debian's packages.
# Environment: Q58_COMPILER_CHECK_DIR (work folder, default build-compilers),
# Q58_COMPILER_CHECK_SECONDS (length of the sample, default 75).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/${Q58_COMPILER_CHECK_DIR:-build-compilers}
seconds=${Q58_COMPILER_CHECK_SECONDS:-75}
jobs=$(nproc)
started=$SECONDS

step() { printf '== compiler-check: %s (%d s)\n' "$1" $((SECONDS - started)); }
fail() { printf 'compiler-check: FAILED: %s\n' "$1" >&2; exit 1; }
quietly() {
  local log=$1; shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    fail "$* (log: $log)"
  fi
}

step "tools"
mkdir -p "$work"
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v clang++ >/dev/null || need+=(clang)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  quietly "$work/apt.log" apt-get update -qq
  quietly "$work/apt.log" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# name, C++ compiler, flags of the Release build type
builds=(gcc-O2 gcc-O3 clang-O3)
compiler_of() { case $1 in gcc-*) echo g++ ;; clang-*) echo clang++ ;; esac; }
flags_of() { case $1 in *-O2) echo "-O2 -DNDEBUG" ;; *-O3) echo "-O3 -DNDEBUG" ;; esac; }

for b in "${builds[@]}"; do
  step "build $b"
  quietly "$work/$b-configure.log" cmake -S . -B "$work/$b" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER="$(compiler_of "$b")" -DCMAKE_CXX_FLAGS_RELEASE="$(flags_of "$b")" \
    -DQ58_BUILD_TESTS=ON -DQ58_BUILD_BENCHMARKS=OFF
  quietly "$work/$b-build.log" cmake --build "$work/$b" -j"$jobs" --target q58 q58_make_sample test_transform test_codec
  quietly "$work/$b-tests.log" "$work/$b/tests/test_transform" --gtest_brief=1
  quietly "$work/$b-tests.log" "$work/$b/tests/test_codec" --gtest_brief=1
done
compare=$work/compare_outputs
quietly "$work/compare-build.log" g++ -std=c++17 -O2 -Wall -Wextra tools/compare_outputs.cpp -o "$compare"

step "sample of $seconds s"
samples=$work/samples
rm -rf "$samples"
mkdir -p "$samples"
quietly "$work/sample.log" "$work/gcc-O2/q58_make_sample" "$samples/music.wav" "$seconds"
# Every build's generator must write the same sample too.
for b in "${builds[@]:1}"; do
  quietly "$work/sample.log" "$work/$b/q58_make_sample" "$samples/music-$b.wav" "$seconds"
  cmp -s "$samples/music.wav" "$samples/music-$b.wav" || fail "q58_make_sample of $b writes another sample"
done

step "encode with every build"
for b in "${builds[@]}"; do
  mkdir -p "$samples/$b"
  cp "$samples/music.wav" "$samples/$b/music.wav"
  quietly "$samples/$b/encode.log" "$work/$b/q58" "$samples/$b/music.wav"
done
reference=${builds[0]}
for b in "${builds[@]:1}"; do
  cmp "$samples/$reference/music.q58" "$samples/$b/music.q58" >&2 ||
    fail "$b encodes other packets than $reference"
done
echo "identical .q58 files: $(stat -c %s "$samples/$reference/music.q58") bytes"

step "decode with every build"
for b in "${builds[@]}"; do
  [ "$b" = "$reference" ] || cp "$samples/$reference/music.q58" "$samples/$b/music.q58"
  quietly "$samples/$b/decode.log" "$work/$b/q58" "$samples/$b/music.q58"
done
for b in "${builds[@]:1}"; do
  "$compare" wav "$samples/$reference/music.q58.wav" "$samples/$b/music.q58.wav" 0 ||
    fail "$b decodes other samples than $reference"
  cmp -s "$samples/$reference/music.q58.wav" "$samples/$b/music.q58.wav" ||
    fail "$b writes another WAV file than $reference"
done

step "all builds agree"
