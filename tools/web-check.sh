#!/usr/bin/env bash
# Checks the browser build against the native converter: the wasm decoder's
# samples must equal `q58 x.q58`'s output byte for byte, and the wasm
# encoder's file must equal `q58 x.wav`'s. Skips (exit 0) with a message when
# emscripten or node is absent. Environment: Q58_BUILD_DIR (native build with
# q58 and q58_make_sample, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${Q58_BUILD_DIR:-build}")
for tool in emcc node; do
  command -v $tool >/dev/null || { echo "web-check: skipped: $tool not found"; exit 0; }
done
[ -x "$build/q58" ] && [ -x "$build/q58_make_sample" ] || { echo "web-check: FAILED: build $build/q58 and $build/q58_make_sample first" >&2; exit 1; }
bash tools/web-build.sh
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
"$build/q58_make_sample" "$work/x.wav" 8 >/dev/null
(cd "$work" && "$build/q58" x.wav >/dev/null && "$build/q58" x.q58 >/dev/null)
passed=0 failed=0
check() { if "$@"; then passed=$((passed + 1)); else echo "web-check: FAILED: $*" >&2; failed=$((failed + 1)); fi; }
node web/node-check.mjs decode "$work/x.q58" "$work/wasm.raw"
# The native WAV is a 44-byte header then the PCM.
tail -c +45 "$work/x.q58.wav" >"$work/native.raw"
check cmp "$work/wasm.raw" "$work/native.raw"
node web/node-check.mjs encode "$work/x.wav" "$work/wasm.q58"
check cmp "$work/wasm.q58" "$work/x.q58"
echo "web-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
