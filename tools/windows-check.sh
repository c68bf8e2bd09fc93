#!/usr/bin/env bash
# Checks the Windows build of q58 on Linux: cross-builds the libraries,
# q58.exe and the unit tests with MinGW-w64, runs the unit tests under wine,
# then converts a generated sample both ways with the Linux q58 and with
# q58.exe under wine and requires the same results:
#   - identical .q58 bytes,
#   - decoded samples within +-1 (identical WAV headers),
#   - the same console output, with CR LF line ends on Windows,
# and does the same for file names outside any ANSI code page, and for
# outputs that meet existing files (links to the input, directories).
#
# Installs what is missing (MinGW-w64, wine) from Debian's packages.
# Environment: Q58_BUILD_DIR (Linux build, default build),
# Q58_WINDOWS_BUILD_DIR (default build-windows).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=$root/${Q58_BUILD_DIR:-build}
windows_build=$root/${Q58_WINDOWS_BUILD_DIR:-build-windows}
jobs=$(nproc)
started=$SECONDS
export LC_ALL=C.UTF-8  # wine passes argv and file names through the locale's charset

step() { printf '== windows-check: %s (%d s)\n' "$1" $((SECONDS - started)); }
fail() { printf 'windows-check: FAILED: %s\n' "$1" >&2; exit 1; }
# Runs a command quietly, showing its log only when it fails.
quietly() {
  local log=$1; shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    fail "$* (log: $log)"
  fi
}

step "tools"
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
command -v wine >/dev/null || need+=(wine)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  mkdir -p "$windows_build"
  quietly "$windows_build/apt.log" apt-get update -qq
  # Without recommends: no 32-bit wine, fonts or desktop integration.
  quietly "$windows_build/apt.log" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

step "Linux build of q58 and q58_make_sample"
mkdir -p "$windows_build"
quietly "$windows_build/linux-build.log" cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release
quietly "$windows_build/linux-build.log" cmake --build "$linux_build" -j"$jobs" --target q58 q58_make_sample
compare=$windows_build/compare_outputs
quietly "$windows_build/compare-build.log" g++ -std=c++17 -O2 -Wall -Wextra tools/compare_outputs.cpp -o "$compare"

step "cross build with MinGW-w64"
quietly "$windows_build/configure.log" cmake -S . -B "$windows_build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DQ58_BUILD_BENCHMARKS=OFF
quietly "$windows_build/build.log" cmake --build "$windows_build" -j"$jobs"
if grep -E 'warning:' "$windows_build/build.log" | grep -v '/googletest/' >&2; then
  fail "the cross build has warnings"
fi
# q58.exe must run on a bare Windows: no MinGW runtime DLLs, manifest inside.
dlls=$(x86_64-w64-mingw32-objdump -p "$windows_build/q58.exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')
echo "q58.exe imports: $dlls"
if grep -qiE 'libstdc|libgcc|winpthread' <<<"$dlls"; then fail "q58.exe needs MinGW runtime DLLs"; fi
grep -q 'activeCodePage' "$windows_build/q58.exe" || fail "q58.exe has no application manifest"

step "wine prefix"
export WINEPREFIX=$windows_build/wine-prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installers, no menu entries, and a crash ends the program
# instead of waiting in the debugger.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
wineserver -k >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  rm -rf "$WINEPREFIX"
  quietly "$windows_build/wineboot.log" timeout 300 wineboot -i
  timeout 120 wineserver -w || true
fi
# One persistent server for all the programs below: each starts in a
# fraction of a second instead of bringing the wine services up again.
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# The first program brings up the wine services; one started alongside it
# has been seen to hang at exit, so that happens here, alone.
timeout 120 wine "$windows_build/q58.exe" >/dev/null 2>&1 || fail "q58.exe does not start under wine"

step "unit tests under wine"
# One program at a time; a program that hangs in wine is given one more try.
ctest --test-dir "$windows_build" --output-on-failure --timeout 300 --repeat after-timeout:2 ||
  fail "unit tests under wine"

step "end-to-end conversion: Linux q58 and q58.exe under wine"
work=$windows_build/e2e
rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
# Twenty seconds of varied material: enough frames to meet the rare value
# where the two C runtimes' cos, sin, pow or log could round differently.
"$linux_build/q58_make_sample" "$work/sample.wav" 20 >/dev/null

# run_q58 linux|windows OUTPUT-PREFIX NAME...: converts the names in that
# side's folder and keeps its console output, errors and exit status.
run_q58() {
  local side=$1 out=$2; shift 2
  local status=0
  if [ "$side" = linux ]; then
    (cd "$work/linux" && timeout 300 "$linux_build/q58" "$@" >"$out.out" 2>"$out.err") || status=$?
  else
    (cd "$work/windows" && timeout 300 wine "$windows_build/q58.exe" "$@" >"$out.out" 2>"$out.err") || status=$?
  fi
  echo "$status" >"$out.status"
}

# The same names on both sides: the plain sample and three names that no
# single ANSI code page holds together.
names=(sample "café ♪" "Привет, мир" "音楽のテスト 1")
wav_names=() q58_names=()
for name in "${names[@]}"; do
  wav_names+=("$name.wav")
  q58_names+=("$name.q58")
  cp "$work/sample.wav" "$work/linux/$name.wav"
  cp "$work/sample.wav" "$work/windows/$name.wav"
done

failures=0
check() {  # check DESCRIPTION COMMAND...: runs one comparison, counts failures
  local what=$1; shift
  local result
  if result=$("$@" 2>&1); then
    printf '  ok    %s: %s\n' "$what" "$result"
  else
    printf '  FAIL  %s: %s\n' "$what" "$result"
    failures=$((failures + 1))
  fi
}
same_bytes() { cmp -- "$1" "$2" && echo "identical, $(stat -c %s -- "$1") bytes"; }
same_text() {
  local a b
  a=$(cat -- "$1") b=$(cat -- "$2")
  [ "$a" = "$b" ] && echo "both '${a//$'\n'/ | }'"
}
exists() { [ -f "$1" ] && echo "created"; }

for side in linux windows; do
  t0=$SECONDS
  run_q58 "$side" "$work/$side-encode" "${wav_names[@]}"
  run_q58 "$side" "$work/$side-decode" "${q58_names[@]}"
  echo "  $side: encoded and decoded ${#names[@]} files of 3 s in $((SECONDS - t0)) s"
done

for stage in encode decode; do
  check "$stage exit status" same_text "$work/linux-$stage.status" "$work/windows-$stage.status"
  check "$stage console output" "$compare" console "$work/linux-$stage.out" "$work/windows-$stage.out"
  check "$stage error output" "$compare" console "$work/linux-$stage.err" "$work/windows-$stage.err"
done
for name in "${names[@]}"; do
  for file in "$name.q58" "$name.q58.wav"; do
    check "windows output '$file'" exists "$work/windows/$file"
  done
  check "'$name.q58' Linux vs Windows" same_bytes "$work/linux/$name.q58" "$work/windows/$name.q58"
  check "'$name.q58.wav' Linux vs Windows" \
    "$compare" wav "$work/linux/$name.q58.wav" "$work/windows/$name.q58.wav" 1
  if [ "$name" != sample ]; then
    check "'$name.q58' same as sample.q58" same_bytes "$work/windows/sample.q58" "$work/windows/$name.q58"
  fi
done
check "no stray files on the Windows side" same_text \
  <(cd "$work/linux" && ls | LC_ALL=C sort) <(cd "$work/windows" && ls | LC_ALL=C sort)

step "existing files: Linux q58 and q58.exe under wine"
# Outputs that lead back to the input, an existing longer output, a
# directory under the output name and an unfinished WAV, each set up afresh
# on both sides. Both must end alike: exit status, console and error output,
# the files left in the folder (hidden ones too, so that a temporary file
# left behind shows) and their bytes. Interruptions, pipes and size limits
# are POSIX matters, checked by the Linux tests only.
"$linux_build/q58_make_sample" "$work/small.wav" 1 >/dev/null
(cd "$work" && "$linux_build/q58" small.wav >/dev/null)
setup_links() {
  cp "$work/small.wav" soft.wav && ln -s soft.wav soft.q58
  cp "$work/small.q58" hard.q58 && ln hard.q58 hard.q58.wav
  cp "$work/small.wav" ok.wav
}
setup_longer() { cp "$work/small.wav" r.wav && head -c 100000 /dev/zero >r.q58; }
setup_directory() { cp "$work/small.q58" d.q58 && mkdir d.q58.wav && cp "$work/small.wav" ok.wav; }
setup_unfinished() {  # data chunk size 0, samples after it
  cp "$work/small.wav" u.wav && printf '\0\0\0\0' | dd of=u.wav bs=1 seek=40 conv=notrunc status=none
}
scenario() {  # scenario NAME SETUP ARGUMENT...
  local name=$1 setup=$2; shift 2
  local base=$work/scenarios/$name side status
  for side in linux windows; do
    mkdir -p "$base/$side"
    (cd "$base/$side" && "$setup")
    status=0
    if [ "$side" = linux ]; then
      (cd "$base/$side" && timeout 120 "$linux_build/q58" "$@" >"$base/$side.out" 2>"$base/$side.err") || status=$?
    else
      (cd "$base/$side" && timeout 120 wine "$windows_build/q58.exe" "$@" >"$base/$side.out" 2>"$base/$side.err") ||
        status=$?
    fi
    echo "$status" >"$base/$side.status"
  done
  check "$name: exit status" same_text "$base/linux.status" "$base/windows.status"
  check "$name: console output" "$compare" console "$base/linux.out" "$base/windows.out"
  check "$name: error output" "$compare" console "$base/linux.err" "$base/windows.err"
  check "$name: files left" same_text <(cd "$base/linux" && ls -A | LC_ALL=C sort) \
    <(cd "$base/windows" && ls -A | LC_ALL=C sort)
  local file
  while IFS= read -r file; do
    check "$name: '$file'" same_bytes "$base/linux/$file" "$base/windows/$file"
  done < <(cd "$base/linux" && find . -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort)
}
scenario links setup_links soft.wav hard.q58 ok.wav
scenario longer setup_longer r.wav
scenario directory setup_directory d.q58 ok.wav
scenario unfinished setup_unfinished u.wav

if [ "$failures" -gt 0 ]; then
  fail "$failures end-to-end comparisons"
fi
step "all Windows checks passed"
