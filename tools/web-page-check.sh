#!/usr/bin/env bash
# Checks the browser page (web/index.html) in headless Chromium against the
# native converter: what its AudioWorklet plays, from the start and after a
# seek, must be `q58 x.q58`'s samples, and its encode of a 16-bit 44.1 kHz
# stereo WAV must be `q58 x.wav`'s file byte for byte. Screenshots go to
# out/web-screenshots/. Skips (exit 0) with a message when emcc, node or
# chromium is absent. Environment: Q58_BUILD_DIR (native build with q58 and
# q58_make_sample, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${Q58_BUILD_DIR:-build}")
for tool in emcc node chromium python3; do
  command -v $tool >/dev/null || { echo "web-page-check: skipped: $tool not found"; exit 0; }
done
[ -x "$build/q58" ] && [ -x "$build/q58_make_sample" ] || { echo "web-page-check: FAILED: build $build/q58 and $build/q58_make_sample first" >&2; exit 1; }
bash tools/web-build.sh
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
"$build/q58_make_sample" "$work/x.wav" 6 >/dev/null
(cd "$work" && "$build/q58" x.wav >/dev/null && "$build/q58" x.q58 >/dev/null)
node web/page-check.mjs "$work" out/web-screenshots "$build/q58"
