#!/usr/bin/env bash
# Full disk: q58 (encoding and decoding) and a program using the library
# encoder write onto a small tmpfs with almost no room left, each over an
# existing older output. Every one must fail cleanly: the older file left
# byte for byte, no partial or temporary file, q58 with exit status 1 and one
# line on standard error naming the output, the library program with a
# failure status. A control run after the disk is freed must then succeed,
# so the failures above are the full disk's.
#
# Mounting needs root; without it the check is skipped with a message. It
# uses the programs of the build tools/test.sh made (Q58_BUILD_DIR, default
# build/).
#
#   bash tools/full-disk-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${Q58_BUILD_DIR:-build}
q58=$(pwd)/$build/q58
encode_file=$(pwd)/$build/tests/q58_encode_file
for program in "$q58" "$encode_file"; do
  if [ ! -x "$program" ]; then
    echo "full-disk-check: $program is missing: run tools/test.sh first" >&2
    exit 1
  fi
done

work=$(mktemp -d)
disk=$work/disk
mkdir "$disk"
cleanup() {
  if mountpoint -q "$disk"; then umount "$disk"; fi
  rm -rf "$work"
}
trap cleanup EXIT
if ! mount -t tmpfs -o size=2m q58-full-disk "$disk" 2>/dev/null; then
  echo "full-disk-check: skipped: cannot mount a tmpfs here (needs root)"
  exit 0
fi

# The inputs live outside the small disk and are reached through links, so
# they take none of its room: 60 s of generated tones as .q58 and as WAV.
(cd "$work" && "$encode_file" song.q58 $((60 * 44100)) && "$q58" song.q58 >/dev/null && mv song.q58.wav song.wav)
ln -s "$work/song.wav" "$disk/music.wav"
ln -s "$work/song.q58" "$disk/clip.q58"
for old in music.q58 clip.q58.wav lib.q58; do
  head -c 4096 /dev/urandom >"$work/$old.old"
  cp "$work/$old.old" "$disk/$old"
done
# Fill the disk, then give back 64 KiB: room for the start of each output
# and not for its end.
dd if=/dev/zero of="$disk/filler" bs=64k 2>/dev/null || true
truncate -s -64K "$disk/filler"
expected_names=$(ls -A "$disk")

failures=0
fail() {
  echo "full-disk-check: FAILED: $*"
  failures=$((failures + 1))
}

# check LABEL OUTPUT EXPECTED_STATUS COMMAND...: runs the command in the
# small disk and checks its status, its diagnostic and what it left.
check() {
  local label=$1 output=$2 expected=$3
  shift 3
  local status=0
  (cd "$disk" && "$@" >"$work/out" 2>"$work/err") || status=$?
  local problems=$failures
  [ "$status" = "$expected" ] || fail "$label: exit status $status, expected $expected"
  [ "$(wc -l <"$work/err")" = 1 ] || fail "$label: expected one line on standard error, got: $(cat "$work/err")"
  grep -qF "'$output'" "$work/err" || fail "$label: the diagnostic does not name '$output': $(cat "$work/err")"
  cmp -s "$work/$output.old" "$disk/$output" || fail "$label: the older $output was changed"
  [ "$(ls -A "$disk")" = "$expected_names" ] || fail "$label: files left: $(ls -A "$disk" | tr '\n' ' ')"
  rm -f "$disk"/.*.part-*  # the next check starts clean
  if [ "$problems" = "$failures" ]; then
    echo "full-disk-check: $label: exit $status, '$output' left as it was, nothing else written: ok"
    echo "  $(cat "$work/err")"
  fi
}

check "q58 encode" music.q58 1 "$q58" music.wav
check "q58 decode" clip.q58.wav 1 "$q58" clip.q58
check "library encoder" lib.q58 3 "$encode_file" lib.q58 $((60 * 44100))

# The control: with the filler gone the same encodes fit.
rm "$disk/filler"
(cd "$disk" && "$q58" music.wav >/dev/null && "$encode_file" lib.q58 $((60 * 44100))) ||
  fail "control: the encodes did not succeed with room on the disk"
cmp -s "$work/music.q58.old" "$disk/music.q58" && fail "control: music.q58 was not replaced"
cmp -s "$work/lib.q58.old" "$disk/lib.q58" && fail "control: lib.q58 was not replaced"

if [ "$failures" -gt 0 ]; then
  echo "full-disk-check: $failures problem(s)"
  exit 1
fi
echo "full-disk-check: passed"
