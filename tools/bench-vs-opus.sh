#!/usr/bin/env bash
# Times q58 against opus-tools on the same stereo WAV. opus-tools runs on
# one thread; q58 encodes on two when the machine has two and the file lasts
# a second or more.
#
# Usage: tools/bench-vs-opus.sh [input.wav] [runs]
#   input.wav  any 16-bit stereo 44100 Hz WAV; by default a 60-second
#              music-like sample made by q58_make_sample
#   runs       timed runs of each command (default 5)
# Environment: Q58_BUILD_DIR (default build-bench) for the Release build.
#
# Installs opus-tools (and GNU time) with apt-get when they are missing,
# builds q58 in Release, then runs, alternately and `runs` times each:
#   q58 x.wav                                  (encode: writes x.q58 only)
#   opusenc --quiet --bitrate 18 x.wav x.opus
#   q58 x.q58                                  (decode: writes x.q58.wav only)
#   opusdec --quiet --rate 44100 x.opus x.opus.wav
# and prints the median wall-clock and CPU time of each, the ratios q58 encode /
# opusenc and q58 decode / opusdec, the compressed sizes and q58's peak
# resident memory. The bitrate 18 matches q58's average on music (about
# 19 kbit/s). Everything happens in a temporary directory, removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${Q58_BUILD_DIR:-$root/build-bench}
input=${1:-}
runs=${2:-5}

if [ -n "$input" ] && [ ! -f "$input" ]; then
    echo "no such file: $input" >&2
    exit 2
fi

install_packages() {
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq "$@" >/dev/null 2>&1 || { apt-get update -qq >/dev/null && apt-get install -y -qq "$@" >/dev/null; }
}
if ! command -v opusenc >/dev/null || ! command -v opusdec >/dev/null; then
    echo "installing opus-tools..."
    install_packages opus-tools
fi
if [ ! -x /usr/bin/time ]; then
    install_packages time || true  # the peak memory falls back to getrusage below
fi

echo "building q58 (Release) in $build..."
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQ58_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target q58 q58_make_sample >/dev/null
q58="$build/q58"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "$input" ]; then
    cp "$input" "$work/x.wav"
else
    "$build/q58_make_sample" "$work/x.wav" 60
fi
cd "$work"

# Wall-clock and CPU seconds (user + system, all threads) of one command,
# its output discarded: "wall cpu" on one line.
seconds() {
    python3 -c 'import resource, subprocess, sys, time
def cpu():
    use = resource.getrusage(resource.RUSAGE_CHILDREN)
    return use.ru_utime + use.ru_stime
before = cpu()  # children waited for before this one (a launcher script)
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
wall = time.perf_counter() - start
print("%.4f %.4f" % (wall, cpu() - before))' "$@"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One untimed round first: fills the page cache and makes the inputs of the
# two decoders.
"$q58" x.wav >/dev/null
if [ ! -s x.q58 ]; then
    echo "q58 did not convert the input: it takes 16-bit PCM stereo 44100 Hz WAV files only" >&2
    exit 2
fi
opusenc --quiet --bitrate 18 x.wav x.opus
"$q58" x.q58 >/dev/null
opusdec --quiet --rate 44100 x.opus x.opus.wav

: >q58enc.times; : >opusenc.times; : >q58dec.times; : >opusdec.times
for ((i = 1; i <= runs; i++)); do
    seconds "$q58" x.wav >>q58enc.times
    seconds opusenc --quiet --bitrate 18 x.wav x.opus >>opusenc.times
    seconds "$q58" x.q58 >>q58dec.times
    seconds opusdec --quiet --rate 44100 x.opus x.opus.wav >>opusdec.times
done

# Peak resident set size in KiB of one run of a command.
peak_kib() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
    elif command -v python3 >/dev/null; then
        python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
    else
        echo "?"
    fi
}

column() { awk -v c="$1" '{ print $c }' "$2" | median; }
qe=$(column 1 q58enc.times); oe=$(column 1 opusenc.times)
qd=$(column 1 q58dec.times); od=$(column 1 opusdec.times)
qec=$(column 2 q58enc.times); oec=$(column 2 opusenc.times)
qdc=$(column 2 q58dec.times); odc=$(column 2 opusdec.times)
duration=$(awk -v b="$(stat -c %s x.wav)" 'BEGIN { printf "%.1f", (b - 44) / 176400 }')
kbit() { awk -v b="$(stat -c %s "$1")" -v d="$duration" 'BEGIN { printf "%.1f", b * 8 / d / 1000 }'; }

echo
echo "machine:  $(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cpu(s)"
echo "input:    ${input:-q58_make_sample, 60 s} ($duration s of audio); medians of $runs alternating runs"
echo "sizes:    x.q58 $(stat -c %s x.q58) bytes ($(kbit x.q58) kbit/s), x.opus $(stat -c %s x.opus) bytes ($(kbit x.opus) kbit/s)"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
printf 'encode:   wall  q58 %.3f s   opusenc --bitrate 18 %.3f s   ratio %s\n' "$qe" "$oe" "$(ratio "$qe" "$oe")"
printf '          CPU   q58 %.3f s   opusenc --bitrate 18 %.3f s   ratio %s\n' "$qec" "$oec" "$(ratio "$qec" "$oec")"
printf 'decode:   wall  q58 %.3f s   opusdec --rate 44100 %.3f s   ratio %s\n' "$qd" "$od" "$(ratio "$qd" "$od")"
printf '          CPU   q58 %.3f s   opusdec --rate 44100 %.3f s   ratio %s\n' "$qdc" "$odc" "$(ratio "$qdc" "$odc")"
echo "peak RSS: q58 encode $(peak_kib "$q58" x.wav) KiB, q58 decode $(peak_kib "$q58" x.q58) KiB"
