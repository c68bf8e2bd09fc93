#!/usr/bin/env bash
# Rebuilds the seed corpora under fuzz/corpus/ from the project's own tools:
# q58_make_sample generates the music, q58 encodes it, and small edits of
# those files give the damaged and unusual variants. The corpora are
# committed; run this again only when the formats change, and add the
# result with `git add -f fuzz/corpus` (generated .q58 files are ignored
# elsewhere in the tree).
#
#   bash fuzz/make_corpus.sh            (uses build/, or $Q58_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${Q58_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target q58 q58_make_sample >/dev/null
q58=$(cd "$build" && pwd)/q58
make_sample=$(cd "$build" && pwd)/q58_make_sample

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$root/fuzz/corpus
rm -rf "$out"
mkdir -p "$out"/{container_decoder,wave_encoder,codings,frame_codec,q58info,library_decoder}

cd "$work"
# Music: 3 blocks (0.06 s) and 1 block (0.02 s); silence: 2 blocks and a
# file shorter than one block.
"$make_sample" music3.wav 0.06 >/dev/null
"$make_sample" music1.wav 0.02 >/dev/null
"$make_sample" short.wav 0.002 >/dev/null
"$make_sample" music40.wav 0.8 >/dev/null
python3 - <<'PY'
import struct
def wav(samples_bytes, channels=2, rate=44100, bits=16, fmt_extra=b'', fmt_size=None, tag=1):
    align = channels * bits // 8
    fmt = struct.pack('<HHIIHH', tag, channels, rate, rate * align, align, bits) + fmt_extra
    size = len(fmt) if fmt_size is None else fmt_size
    body = b'WAVE' + b'fmt ' + struct.pack('<I', size) + fmt + b'data' + struct.pack('<I', len(samples_bytes)) + samples_bytes
    return b'RIFF' + struct.pack('<I', len(body)) + body
open('silent2.wav', 'wb').write(wav(bytes(2 * 3528)))
PY
"$q58" music3.wav music1.wav short.wav silent2.wav music40.wav >/dev/null

python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
def put(target, name, data):
    open(f'{out}/{target}/{name}', 'wb').write(data)
def le32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)
def wav(samples_bytes, channels=2, rate=44100, bits=16, fmt_extra=b'', fmt_size=None, tag=1, between=b''):
    align = channels * bits // 8
    fmt = struct.pack('<HHIIHH', tag, channels, rate, rate * align, align, bits) + fmt_extra
    size = len(fmt) if fmt_size is None else fmt_size
    body = b'WAVE' + b'fmt ' + le32(size) + fmt + between + b'data' + le32(len(samples_bytes)) + samples_bytes
    return b'RIFF' + le32(len(body)) + body

music3 = open('music3.q58', 'rb').read()
music1 = open('music1.q58', 'rb').read()
empty = open('short.q58', 'rb').read()
silent2 = open('silent2.q58', 'rb').read()
header = music3[:76]

# Containers: intact, damaged, and with other (still acceptable) parameters.
put('container_decoder', 'empty.q58', empty)
put('container_decoder', 'silent2.q58', silent2)
put('container_decoder', 'music1.q58', music1)
put('container_decoder', 'music3.q58', music3)
put('container_decoder', 'music3-cut-mid-packet.q58', music3[:76 + (len(music3) - 76) // 2])
put('container_decoder', 'music3-claims-more.q58', music3[:72] + le32(0x7FFFFFFF) + music3[76:])
put('container_decoder', 'music3-negative-count.q58', music3[:72] + le32(-5) + music3[76:])
bad_padding = bytearray(silent2)
bad_padding[76 + 15] |= 0x80
put('container_decoder', 'silent2-padding-bit.q58', bytes(bad_padding))
def with_field(data, index, value, fmt='<i'):
    d = bytearray(data)
    d[4 + 4 * index:8 + 4 * index] = struct.pack(fmt, value)
    return bytes(d)
put('container_decoder', 'noise-bands-16.q58', with_field(music3, 12, 16))
put('container_decoder', 'no-tones.q58', with_field(music3, 15, 0))
put('container_decoder', 'balance-scale-256.q58', with_field(music3, 10, 256.0, '<f'))
put('container_decoder', 'gain-bits-31.q58', with_field(music3, 2, 31))
put('container_decoder', 'header-cut.q58', music3[:40])

# Library decoder: an operation count, operations of three bytes (kind, 16-bit
# argument), then a container: 40 blocks of music (past two index
# checkpoints), cut, with a padding bit set, or claiming more packets.
music40 = open('music40.q58', 'rb').read()
def ops(*steps):
    return bytes([len(steps)]) + b''.join(bytes([kind]) + struct.pack('<H', arg) for kind, arg in steps)
READ, READ3, FORWARD, BACKWARD, END, START, SCALED, PAST = 0, 1, 2, 3, 4, 4 | 0x80, 5, 6
walk = ops((READ, 881), (FORWARD, 20000), (READ, 1), (END, 0), (SCALED, 30000), (READ3, 400),
           (BACKWARD, 9000), (READ, 1999), (PAST, 0), (START, 0), (READ, 882))
damaged = ops((END, 0), (READ3, 12000), (SCALED, 40000), (READ, 7), (BACKWARD, 30000), (READ, 500), (END, 0))
put('library_decoder', 'music40-walk', walk + music40)
put('library_decoder', 'music40-cut', damaged + music40[:76 + (len(music40) - 76) * 2 // 3])
padding_bit = bytearray(music40)
padding_bit[-1] |= 0x80
put('library_decoder', 'music40-padding-bit', damaged + bytes(padding_bit))
put('library_decoder', 'music40-claims-more', damaged + music40[:72] + le32(41) + music40[76:])
put('library_decoder', 'silent2-walk', walk + silent2)
put('library_decoder', 'empty', walk + empty)

# WAV files: the generated music and a set of headers, canonical and odd.
music1_wav = open('music1.wav', 'rb').read()
samples1 = music1_wav[44:]
little = samples1[:400]
put('wave_encoder', 'music1.wav', music1_wav)
cut = bytearray(wav(samples1 + samples1))
put('wave_encoder', 'music2-cut-mid-data.wav', bytes(cut[:44 + 3528 + 1000]))
put('wave_encoder', 'short.wav', open('short.wav', 'rb').read())
put('wave_encoder', 'fmt-18.wav', wav(little, fmt_extra=b'\0\0'))
put('wave_encoder', 'fmt-14.wav', wav(little, fmt_size=14))
put('wave_encoder', 'fmt-odd-size.wav', wav(little, fmt_extra=b'\0', fmt_size=17))
put('wave_encoder', 'extensible.wav', wav(little, tag=0xFFFE, fmt_extra=struct.pack('<HHI', 22, 16, 3) + bytes(16)))
put('wave_encoder', 'list-chunk.wav', wav(little, between=b'LIST' + le32(4) + b'INFO'))
put('wave_encoder', 'mono.wav', wav(little, channels=1))
put('wave_encoder', '48k.wav', wav(little, rate=48000))
put('wave_encoder', '8-bit.wav', wav(little, bits=8))
put('wave_encoder', 'rifx.wav', b'RIFX' + wav(little)[4:])
put('wave_encoder', 'data-size-huge.wav', wav(samples1)[:40] + le32(0xFFFFFFFF) + samples1)
put('wave_encoder', 'header-only.wav', wav(b''))

# Codings: mode byte (0 round trip, 1 hostile reading, 2 hostile writing),
# then operation bytes; real packets make good hostile reading material.
packets = music3[76:]
put('codings', 'roundtrip-a', bytes([0]) + packets[:200])
put('codings', 'roundtrip-b', bytes([3]) + bytes(range(256)))
put('codings', 'read-packets', bytes([1, 200]) + packets[:400])
put('codings', 'read-zeros', bytes([1, 64]) + bytes(64) + bytes(range(0, 256, 3)))
put('codings', 'write-a', bytes([2, 32]) + bytes(range(255, 0, -1)))
put('codings', 'write-packets', bytes([2, 100]) + packets[:300])

# Frame codec: mode byte (bit 0: parameter block follows, bit 1: one byte
# per sample), then samples.
put('frame_codec', 'music-block', bytes([0]) + samples1)
put('frame_codec', 'music-bytes', bytes([2]) + bytes((b + 128) & 0xFF for b in samples1[1::2]))
put('frame_codec', 'music-own-parameters', bytes([1]) + header[4:72] + samples1)
put('frame_codec', 'noise-bands-16', bytes([1]) + with_field(header, 12, 16)[4:72] + samples1)
put('frame_codec', 'silence', bytes([0]) + bytes(3528))
square = b''.join(struct.pack('<hh', 32767, -32768) if (n // 25) % 2 else struct.pack('<hh', -32768, 32767) for n in range(882))
put('frame_codec', 'square', bytes([0]) + square)
put('frame_codec', 'alternating-rails', bytes([2]) + bytes([255, 0]) * 882)

# q58info: the name shown, a NUL, then the file's contents. Plain names with
# intact, damaged and refused files, and two in UTF-8 beyond ASCII; the
# fuzzer finds the odd names.
named = [('music1.q58', music1), ('silent2.q58', silent2), ('empty.q58', empty),
         ('cut.q58', music3[:76 + (len(music3) - 76) // 2]), ('header.q58', music3[:40]),
         ('padding.q58', bytes(bad_padding)), ('music.wav', wav(little)),
         ('my song.wav', wav(little, between=b'LIST' + le32(4) + b'INFO')), ('48k.wav', wav(little, rate=48000)),
         ('-extensible.wav', wav(little, tag=0xFFFE, fmt_extra=struct.pack('<HHI', 22, 16, 3) + bytes(16))),
         ('header-only.wav', wav(b'')), ('noise', bytes(range(256))), ('empty.wav', b''),
         ('\u00dcnic\u00f8de \u97f3\u697d \U0001f3b5.wav', wav(little)), ('\u00a9 \ud55c\uad6d\uc5b4.q58', silent2)]
for i, (name, data) in enumerate(named):
    label = name.lstrip('-').replace(' ', '-') if name.isascii() else 'utf8-name' + name[name.rfind('.'):]
    put('q58info', f'{i:02d}-{label}', name.encode() + b'\0' + data)
PY
du -sh "$out"; find "$out" -type f | wc -l
