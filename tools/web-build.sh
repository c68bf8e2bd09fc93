#!/usr/bin/env bash
# Builds the browser module web/q58.js + web/q58.wasm with emscripten from
# the library sources listed in lib/*/CMakeLists.txt. Skips (exit 0) with a
# message when emcc is absent (Debian: apt-get install emscripten).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v emcc >/dev/null; then
  echo "web-build: skipped: emcc not found (apt-get install emscripten)"; exit 0
fi
# Debian's emscripten finds its JavaScript helpers (acorn) among Debian's node modules.
export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs
out=${Q58_WEB_OUT:-web}
gen=build-web/generated
mkdir -p "$gen"
version=$(sed -n 's/^project(q58 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || version=$(grep -m 1 -o 'VERSION [0-9]*\.[0-9]*\.[0-9]*' CMakeLists.txt | cut -d' ' -f2)
IFS=. read -r major minor patch <<<"$version"
sed -e "s/@PROJECT_VERSION@/$version/g" -e "s/@PROJECT_VERSION_MAJOR@/$major/g" \
    -e "s/@PROJECT_VERSION_MINOR@/$minor/g" -e "s/@PROJECT_VERSION_PATCH@/$patch/g" \
    cmake/q58_version.h.in >"$gen/q58_version.h"
sources=()
for dir in base bits simd transform codec streams formats api; do
  list=lib/$dir/CMakeLists.txt
  for f in $(sed -e "s/#.*//" "$list" | sed -n "/SOURCES/,/LINKS\\|)/p" | grep -o '[A-Za-z0-9_/]*\.cpp'); do
    sources+=("lib/$dir/$f")
  done
done
exports=_q58w_decoder_open,_q58w_decoder_length,_q58w_decoder_position,_q58w_decoder_seek,_q58w_decoder_read,_q58w_decoder_close,_q58w_encoder_open,_q58w_encoder_write,_q58w_encoder_close,_q58w_alloc,_q58w_free
emcc -std=c++17 -O2 -ffp-contract=off -Wall -Wextra -DQ58_BUILDING_LIBRARY \
  -Ilib -Iinclude -I"$gen" "${sources[@]}" web/q58_web.cpp \
  -sMODULARIZE=1 -sEXPORT_NAME=createQ58 -sENVIRONMENT=web,worker,node -sALLOW_MEMORY_GROWTH=1 \
  -sEXPORTED_FUNCTIONS="$exports" -sEXPORTED_RUNTIME_METHODS=FS,HEAPU8,HEAP16 \
  -o "$out/q58.js"
echo "web-build: $out/q58.js, $out/q58.wasm ($(stat -c %s "$out/q58.wasm") bytes)"
