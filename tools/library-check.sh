#!/usr/bin/env bash
# Checks libq58 as its users meet it:
#   - q58.h compiles alone as C99 and as C++, warnings as errors;
#   - `cmake --install` into a temporary prefix gives the header, libq58.so*,
#     libq58.a, q58.pc and the CMake package;
#   - the shared library exports q58_ functions and nothing else;
#   - a small outside C program builds against the prefix through
#     pkg-config (shared, and static with Libs.private) and through
#     find_package, and runs;
#   - examples/q58cat, built against the prefix, pipes exactly the WAV the
#     converter writes;
#   - the two-thread API test, the two-thread decode job's tests and the
#     two-thread encoder tests pass under ThreadSanitizer.
# Environment: Q58_BUILD_DIR (default build), Q58_TSAN_BUILD_DIR (default build-tsan).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/${Q58_BUILD_DIR:-build}
tsan_build=$root/${Q58_TSAN_BUILD_DIR:-build-tsan}
jobs=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

step() { printf '== library-check: %s\n' "$1"; }
fail() { printf 'library-check: FAILED: %s\n' "$1" >&2; exit 1; }

step "header alone, C99 and C++"
for compiler in gcc clang; do
  command -v $compiler >/dev/null || continue
  $compiler -std=c99 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -x c include/q58.h
done
for compiler in g++ clang++; do
  command -v $compiler >/dev/null || continue
  for standard in c++11 c++17; do
    $compiler -std=$standard -Wall -Wextra -Wpedantic -Werror -fsyntax-only -x c++ include/q58.h
  done
done

step "build and install into $prefix"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs" --target q58 q58_make_sample q58_shared q58_static >/dev/null
# Staged under DESTDIR, then moved into place: the GStreamer plugin, when the
# build has it, goes to GStreamer's own (absolute) folder, which must stay
# inside the scratch folder too.
DESTDIR="$work/root" cmake --install "$build" --prefix "$prefix" >/dev/null
mv "$work/root$prefix" "$prefix"
libdir=$(dirname "$(find "$prefix" -name 'libq58.so.1' -print -quit)")
[ -n "$libdir" ] || fail "libq58.so.1 not installed"
for f in "$prefix/include/q58.h" "$libdir/libq58.so" "$libdir/libq58.a" "$libdir/pkgconfig/q58.pc" \
         "$libdir/cmake/q58/q58Config.cmake" "$libdir/cmake/q58/q58ConfigVersion.cmake"; do
  [ -e "$f" ] || fail "not installed: $f"
done
[ "$(readelf -d "$libdir/libq58.so" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')" = libq58.so.1 ] ||
  fail "the shared library's SONAME is not libq58.so.1"

step "exported symbols"
others=$(nm -D --defined-only "$libdir/libq58.so" | awk '$2 != "A" {print $3}' | grep -v '^q58_' || true)
[ -z "$others" ] || fail "symbols exported besides q58_*: $(echo "$others" | head -n 20)"
count=$(nm -D --defined-only "$libdir/libq58.so" | awk '$2 == "T"' | wc -l)
[ "$count" -gt 10 ] || fail "only $count functions exported"

step "test material"
"$build/q58_make_sample" "$work/song.wav" 4 >/dev/null
# song.q58.q58 is the converter's encoding of the decoded samples, which is
# what the consumer encodes.
(cd "$work" && "$build/q58" song.wav song.q58 song.q58.wav >/dev/null)

run_consumer() {  # name, executable
  rm -f "$work/again.q58"
  LD_LIBRARY_PATH=$libdir "$2" "$work/song.q58" "$work/again.q58" >/dev/null || fail "$1: the consumer failed"
  cmp -s "$work/song.q58.q58" "$work/again.q58" || fail "$1: the consumer's encoding differs from the converter's"
}

step "outside program through pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c99 -Wall -Wextra -Werror tools/library-consumer/consumer.c $(pkg-config --cflags --libs q58) -o "$work/consumer-pc"
run_consumer "pkg-config, shared" "$work/consumer-pc"
static_libs=$(pkg-config --static --libs q58 | sed 's/-lq58//')
cc -std=c99 -Wall -Wextra -Werror tools/library-consumer/consumer.c $(pkg-config --cflags q58) \
   "$libdir/libq58.a" $static_libs -o "$work/consumer-static"
! ldd "$work/consumer-static" | grep libq58 >/dev/null || fail "the static consumer links libq58.so"
run_consumer "pkg-config, static" "$work/consumer-static"

step "outside program through find_package"
cmake -S tools/library-consumer -B "$work/consumer-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer-build" >/dev/null
run_consumer "find_package" "$work/consumer-build/consumer"

step "examples/q58cat through a pipe"
cc -std=c99 -Wall -Wextra -Werror examples/q58cat.c $(pkg-config --cflags --libs q58) -o "$work/q58cat"
LD_LIBRARY_PATH=$libdir "$work/q58cat" "$work/song.q58" | cmp -s - "$work/song.q58.wav" ||
  fail "q58cat's output differs from the converter's WAV"

step "two threads under ThreadSanitizer"
cmake -S . -B "$tsan_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build "$tsan_build" -j"$jobs" --target test_api_threads test_conformance test_driver >/dev/null
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$tsan_build/tests/test_api_threads" >"$work/tsan.log" 2>&1 ||
  { tail -n 60 "$work/tsan.log" >&2; fail "the thread test under ThreadSanitizer"; }
# The encoder's pipeline through the codec, then the two-thread decode and
# encode jobs.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$tsan_build/tests/test_conformance" \
  --gtest_filter='*EncoderThreads*' >"$work/tsan.log" 2>&1 ||
  { tail -n 60 "$work/tsan.log" >&2; fail "the encoder thread test under ThreadSanitizer"; }
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$tsan_build/tests/test_driver" \
  --gtest_filter='TwoThreadDecode.*:EncodeThreads*' >"$work/tsan.log" 2>&1 ||
  { tail -n 60 "$work/tsan.log" >&2; fail "the two-thread decode and encode job tests under ThreadSanitizer"; }

step "passed"
