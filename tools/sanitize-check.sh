#!/usr/bin/env bash
# Memory-safety stage: the whole test suite built with AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer (and the finite-value checks),
# then every libFuzzer target run for a bounded time on a copy of its seed
# corpus. Any sanitizer report, leak, failed property or crash fails the
# stage.
#
#   bash tools/sanitize-check.sh                 (60 s per fuzz target)
#   Q58_FUZZ_SECONDS=600 bash tools/sanitize-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
san=${Q58_SANITIZE_BUILD_DIR:-build-sanitize}
fuzz=${Q58_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${Q58_FUZZ_SECONDS:-60}
jobs=$(nproc)

export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=exitcode=23

stage_start=$SECONDS
echo "== sanitizer build and tests ($san)"
cmake -S . -B "$san" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ58_SANITIZE=ON -DQ58_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$san" -j"$jobs"
ctest --test-dir "$san" --output-on-failure -j"$jobs"
echo "== sanitizer tests took $((SECONDS - stage_start)) s"

fuzz_start=$SECONDS
echo "== fuzz targets ($fuzz)"
targets=(fuzz_container_decoder fuzz_wave_encoder fuzz_codings fuzz_frame_codec fuzz_q58info
  fuzz_library_decoder)
CC=clang CXX=clang++ cmake -S . -B "$fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ58_FUZZ=ON \
  -DQ58_BUILD_TESTS=OFF -DQ58_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$fuzz" -j"$jobs" --target "${targets[@]}"

# Longest input each target looks at: the whole-job targets cut their
# inputs to a header and a few blocks anyway.
declare -A max_len=(
  [fuzz_container_decoder]=8192
  [fuzz_wave_encoder]=21424
  [fuzz_codings]=4096
  [fuzz_frame_codec]=17709
  [fuzz_q58info]=2048
  # Operations, then a container of at most about 64 packets of music.
  [fuzz_library_decoder]=4096
)

artifacts=$(pwd)/$fuzz/artifacts
mkdir -p "$artifacts"
# Corpus copies and the targets' scratch files, in memory where possible.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
export Q58_FUZZ_SCRATCH=$work
failed=()
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  corpus=$work/$name
  mkdir -p "$corpus"
  cp fuzz/corpus/"$name"/* "$corpus"/
  dict=()  # a dictionary of tokens, fuzz/NAME.dict, when the target has one
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  echo "-- $target: ${seconds} s"
  if ! "$fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -max_len="${max_len[$target]}" -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "${dict[@]}" \
       "$corpus" >"$work/$name.log" 2>&1; then
    failed+=("$target")
    tail -n 80 "$work/$name.log"
  else
    grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$work/$name.log" || true
  fi
done
echo "== fuzzing took $((SECONDS - fuzz_start)) s"

if [ ${#failed[@]} -gt 0 ]; then
  echo "sanitize-check: FAILED: ${failed[*]} (inputs saved in $artifacts)"
  exit 1
fi
echo "sanitize-check: all sanitizer tests and fuzz targets passed"
