// Under node: decodes a .q58 with the wasm module and writes the samples as
// raw s16, and encodes a 16-bit WAV's PCM to .q58, so that the check script
// can compare both with the native converter's files byte for byte.
// Usage: node node-check.mjs decode IN.q58 OUT.raw | encode IN.wav OUT.q58
import fs from 'fs';
import { createRequire } from 'module';
const require = createRequire(import.meta.url);
const createQ58 = require('./q58.js');
const [mode, input, output] = process.argv.slice(2);
// node has fetch, which cannot load a file path: hand the module its bytes.
const m = await createQ58({ wasmBinary: fs.readFileSync(new URL('./q58.wasm', import.meta.url)) });
const bytes = fs.readFileSync(input);
if (mode === 'decode') {
  const data = m._q58w_alloc(bytes.length);
  m.HEAPU8.set(bytes, data);
  const dec = m._q58w_decoder_open(data, bytes.length);
  if (!dec) throw new Error('not a q58 file');
  const chunk = 4096, buf = m._q58w_alloc(chunk * 4);
  const parts = [];
  const t0 = performance.now();
  for (;;) {
    const n = m._q58w_decoder_read(dec, buf, chunk);
    if (n > 0) parts.push(Buffer.from(m.HEAPU8.slice(buf, buf + n * 4)));
    if (n < chunk) break;
  }
  const seconds = (performance.now() - t0) / 1000;
  const frames = m._q58w_decoder_length(dec);
  console.log(`node decode: ${frames} frames in ${seconds.toFixed(3)} s = ${(frames / 44100 / seconds).toFixed(1)}x real time`);
  m._q58w_decoder_close(dec);
  fs.writeFileSync(output, Buffer.concat(parts));
} else if (mode === 'encode') {
  // Finds the data chunk of a RIFF WAV (16-bit stereo 44100 Hz assumed).
  let p = 12, pcm = null;
  while (p + 8 <= bytes.length) {
    const id = bytes.toString('latin1', p, p + 4), size = bytes.readUInt32LE(p + 4);
    if (id === 'data') { pcm = bytes.subarray(p + 8, p + 8 + size); break; }
    p += 8 + size + (size & 1);
  }
  const frames = Math.floor(pcm.length / 4);
  const buf = m._q58w_alloc(pcm.length);
  m.HEAPU8.set(pcm, buf);
  const path = '/out.q58';
  const pathPtr = m._q58w_alloc(path.length + 1);
  m.HEAPU8.set(Buffer.from(path + '\0', 'latin1'), pathPtr);
  const enc = m._q58w_encoder_open(pathPtr);
  if (!enc || m._q58w_encoder_write(enc, buf, frames) !== 0 || m._q58w_encoder_close(enc) !== 0)
    throw new Error('encode failed');
  fs.writeFileSync(output, m.FS.readFile(path));
} else throw new Error('usage');
