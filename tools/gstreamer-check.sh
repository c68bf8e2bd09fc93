#!/usr/bin/env bash
# Checks the GStreamer plugin of a build against the converter: the elements
# are registered, discovery gives the duration, playback through decodebin
# gives the converter's samples, q58enc makes intact files from other formats
# and the converter's file from a WAV, and accurate seeks land on the exact
# sample. Skips (exit 0) with a message when the GStreamer tools or the
# plugin are absent. Environment: Q58_BUILD_DIR (build with q58, q58info,
# q58_make_sample and the plugin, default build).
# Needs: gstreamer1.0-tools, gstreamer1.0-plugins-base-apps (gst-discoverer-1.0),
# gstreamer1.0-plugins-{base,good,ugly}, python3-gi, gir1.2-gstreamer-1.0, ffmpeg.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${Q58_BUILD_DIR:-build}")
for tool in gst-inspect-1.0 gst-launch-1.0 gst-discoverer-1.0; do
  command -v $tool >/dev/null || { echo "gstreamer-check: skipped: $tool not found"; exit 0; }
done
plugins="$build/gstreamer/plugins"
[ -f "$plugins/libgstq58.so" ] || { echo "gstreamer-check: skipped: no plugin at $plugins/libgstq58.so"; exit 0; }
for program in q58 q58info q58_make_sample; do
  [ -x "$build/$program" ] || { echo "gstreamer-check: FAILED: build $build/$program first" >&2; exit 1; }
done
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
# The plugin from this build only, in a registry of its own.
export GST_PLUGIN_PATH="$plugins" GST_REGISTRY="$work/registry.bin"

passed=0 failed=0
report() {  # report NAME STATUS
  if [ "$2" -eq 0 ]; then
    echo "gstreamer-check: $1: passed"; passed=$((passed + 1))
  else
    echo "gstreamer-check: $1: FAILED"; failed=$((failed + 1))
  fi
}
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name=$1; shift
  if "$@" >"$work/last.log" 2>&1; then report "$name" 0; else report "$name" 1; sed 's/^/    /' "$work/last.log" | tail -5; fi
}

# Material: 20 s from the sample generator (1000 packets), and the same cut
# inside a packet, so that the encoder has a remainder to drop.
"$build/q58_make_sample" "$work/x.wav" 20 >/dev/null
(cd "$work" && "$build/q58" x.wav >/dev/null && "$build/q58" x.q58 >/dev/null)
packets=$("$build/q58info" "$work/x.q58" | awk '$1 == "frames" {print $2}')

# Registration.
gst-inspect-1.0 q58 >"$work/inspect.txt" 2>&1 || true
for feature in q58parse q58dec q58enc q58_typefind; do
  check "gst-inspect lists $feature" grep -q "^ *$feature: " "$work/inspect.txt"
done

# Discovery: the duration is packets * 882 / 44100 s (20 ms a packet).
duration_is() {
  local ns=$(( $1 * 20000000 ))
  local want
  want=$(printf '%d:%02d:%02d.%09d' $((ns / 3600000000000)) $((ns / 60000000000 % 60)) $((ns / 1000000000 % 60)) $((ns % 1000000000)))
  gst-discoverer-1.0 -t 120 "$2" >"$work/discover.txt"
  grep -q "Duration: $want\$" "$work/discover.txt" || { echo "want $want:"; grep Duration "$work/discover.txt"; false; }
}
check "gst-discoverer duration of $packets packets" duration_is "$packets" "$work/x.q58"

# Playback through decodebin gives the converter's samples.
pcm_equal() {  # pcm_equal A.wav B.wav: the PCM after each 44-byte WAV header
  cmp <(tail -c +45 "$1") <(tail -c +45 "$2")
}
decode_matches() {
  gst-launch-1.0 -q filesrc location="$work/x.q58" ! decodebin ! audioconvert ! wavenc ! filesink location="$work/y.wav" &&
    pcm_equal "$work/y.wav" "$work/x.q58.wav"
}
check "decodebin decode equals q58 x.q58" decode_matches

# q58enc from other formats: the files are intact.
encode_intact() {  # encode_intact INPUT OUTPUT.q58
  gst-launch-1.0 -q filesrc location="$1" ! decodebin ! audioconvert ! audioresample ! q58enc ! filesink location="$2" &&
    "$build/q58info" "$2" >"$2.info" && grep -q '^status *intact$' "$2.info" &&
    [ "$(awk '$1 == "frames" {print $2}' "$2.info")" -gt 0 ]
}
if command -v ffmpeg >/dev/null; then
  ff() { ffmpeg -nostdin -loglevel error -y -i "$work/x.wav" "$@"; }
  ff "$work/song.mp3"
  ff "$work/song.flac"
  ff -c:a libvorbis "$work/song.ogg"
  ff -ar 48000 -ac 1 "$work/mono48k.wav"
  for input in song.mp3 song.flac song.ogg mono48k.wav; do
    check "q58enc from $input is intact" encode_intact "$work/$input" "$work/$input.q58"
  done
else
  echo "gstreamer-check: skipped the encodes from MP3, FLAC, Ogg Vorbis and 48 kHz mono: ffmpeg not found"
fi

# q58enc from a WAV writes the converter's file, whole packets or not.
encode_equals() {  # encode_equals NAME.wav: q58enc's file equals q58's NAME.q58
  gst-launch-1.0 -q filesrc location="$work/$1.wav" ! wavparse ! q58enc ! filesink location="$work/$1.gst.q58" &&
    (cd "$work" && "$build/q58" "$1.wav" >/dev/null) &&
    cmp "$work/$1.gst.q58" "$work/$1.q58"
}
check "q58enc from x.wav equals q58 x.wav" encode_equals x
if command -v sox >/dev/null; then
  sox "$work/x.wav" "$work/cut.wav" trim 0 $((882 * 700 + 300))s
  check "q58enc from a WAV ending inside a packet equals q58" encode_equals cut
else
  echo "gstreamer-check: skipped the WAV ending inside a packet: sox not found"
fi

# Accurate seeks land on the exact sample, before and past packet 200.
python=""
for candidate in python3 /usr/bin/python3; do
  if command -v $candidate >/dev/null && $candidate -c 'import gi; gi.require_version("Gst", "1.0")' 2>/dev/null; then
    python=$candidate; break
  fi
done
if [ -n "$python" ]; then
  positions="$((882 * 200 + 441)) 0 1 881 882 883 $((882 * 700 + 5)) 12345 $((882 * 999))"
  check "accurate seeks are sample-exact (parser pulling)" "$python" tools/gstreamer_seek.py "$work/x.q58" "$work/x.q58.wav" $positions
  check "accurate seeks are sample-exact (parser fed)" "$python" tools/gstreamer_seek.py --push "$work/x.q58" "$work/x.q58.wav" $positions
  check "accurate seeks are sample-exact (q58parse ! q58dec fed)" "$python" tools/gstreamer_seek.py --elements "$work/x.q58" "$work/x.q58.wav" $positions
else
  echo "gstreamer-check: skipped the seeks: no python3 with GStreamer's gi bindings (python3-gi)"
fi

echo "gstreamer-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
