// The q58 page: plays .q58 files through an AudioWorklet and encodes other
// audio to .q58 in a Worker, both with the wasm module built by
// tools/web-build.sh (q58.js, loaded by index.html as createQ58).
//
// Playing: the whole file is copied into the module's memory; this thread
// decodes it a chunk at a time and posts the chunks to the worklet, keeping
// about a second queued there. A seek moves the decoder and flushes the
// worklet's queue. A second decoder over the same bytes makes one pass
// through the file in short slices to draw the waveform and the spectrogram.
//
// With ?record in the address the worklet keeps what it plays, for
// tools/web-page-check.sh.

const rate = 44100;
const chunkFrames = 882 * 5;     // 0.1 s per message to the worklet
const aheadFrames = rate;        // keep about this much queued in the worklet
const record = new URLSearchParams(location.search).has('record');

const m = await createQ58();
const $ = (id) => document.getElementById(id);

function formatTime(frame) {
  const seconds = frame / rate;
  const minutes = Math.floor(seconds / 60);
  const rest = seconds - minutes * 60;
  return `${minutes}:${rest.toFixed(1).padStart(4, '0')}`;
}

// Copies bytes into the module's heap; the caller frees the block.
function toHeap(bytes) {
  const ptr = m._q58w_alloc(Math.max(bytes.length, 1));
  if (!ptr) throw new Error('out of memory');
  m.HEAPU8.set(bytes, ptr);
  return ptr;
}

// ---------------------------------------------------------------- player

class Player {
  constructor() {
    this.context = null;
    this.node = null;
    this.data = 0;            // the file in the heap
    this.size = 0;
    this.decoder = 0;
    this.buffer = m._q58w_alloc(chunkFrames * 4);
    this.length = 0;
    this.nextFrame = 0;       // the frame the decoder reads next
    this.playedFrame = 0;     // the frame the worklet plays next (as last reported)
    this.generation = 0;      // counts seeks, so that old reports are ignored
    this.decodedToEnd = false;
    this.playing = false;
    this.analysis = 0;        // counts opens, so that an old pass stops
    this.pendingRecord = null;
    this.name = '';
  }

  async ensureAudio() {
    if (this.context) return;
    this.context = new AudioContext({ sampleRate: rate, latencyHint: 'playback' });
    await this.context.audioWorklet.addModule('player-worklet.js');
    this.node = new AudioWorkletNode(this.context, 'q58-player', {
      numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2],
      processorOptions: { record },
    });
    this.node.onprocessorerror = (e) => console.error('player worklet failed', e);
    this.node.port.onmessage = (event) => this.receive(event.data);
    this.node.connect(this.context.destination);
  }

  close() {
    ++this.analysis;
    if (this.decoder) m._q58w_decoder_close(this.decoder);
    if (this.data) m._q58w_free(this.data);
    this.decoder = this.data = 0;
    this.length = 0;
  }

  // Opens a .q58 file's bytes; returns false (and keeps nothing) when they
  // are not one.
  async open(bytes, name) {
    await this.ensureAudio();
    this.pause();
    this.close();
    this.data = toHeap(bytes);
    this.decoder = m._q58w_decoder_open(this.data, bytes.length);
    if (!this.decoder) {
      m._q58w_free(this.data);
      this.data = 0;
      return false;
    }
    this.size = bytes.length;
    this.name = name;
    this.length = m._q58w_decoder_length(this.decoder);
    const seek = $('seek');
    seek.max = String(this.length);
    seek.disabled = false;
    $('play').disabled = false;
    $('player-status').textContent = `${name}: ${formatTime(this.length)}, ${this.length} sample frames, ${bytes.length} bytes`;
    $('player-status').className = 'status';
    this.seek(0);
    this.analyse();
    return true;
  }

  receive(message) {
    if (message.type === 'position') {
      if (message.generation !== this.generation) return;
      this.playedFrame = message.frame;
      this.pump();
    } else if (message.type === 'ended') {
      if (message.generation !== this.generation) return;
      this.playedFrame = message.frame;
      this.playing = false;
      $('play').textContent = 'Play';
    } else if (message.type === 'record' && this.pendingRecord) {
      this.pendingRecord(message);
      this.pendingRecord = null;
    }
  }

  // Decodes until the worklet has aheadFrames queued or the file ends.
  pump() {
    if (!this.decoder) return;
    while (!this.decodedToEnd && this.nextFrame - this.playedFrame < aheadFrames) {
      const n = m._q58w_decoder_read(this.decoder, this.buffer, chunkFrames);
      if (n > 0) {
        const samples = m.HEAP16.slice(this.buffer >> 1, (this.buffer >> 1) + n * 2);
        this.node.port.postMessage({ type: 'chunk', samples }, [samples.buffer]);
        this.nextFrame += n;
      }
      if (n < chunkFrames) {
        if (this.nextFrame < this.length) {
          $('player-status').textContent = `${this.name}: damaged after ${formatTime(this.nextFrame)}`;
          $('player-status').className = 'error';
        }
        this.node.port.postMessage({ type: 'end' });
        this.decodedToEnd = true;
      }
    }
  }

  seek(frame) {
    if (!this.decoder) return;
    frame = Math.max(0, Math.min(this.length, Math.round(frame)));
    if (m._q58w_decoder_seek(this.decoder, frame) !== 0) {
      $('player-status').textContent = `${this.name}: cannot seek to ${formatTime(frame)}`;
      $('player-status').className = 'error';
      return;
    }
    ++this.generation;
    this.nextFrame = this.playedFrame = frame;
    this.decodedToEnd = false;
    this.node.port.postMessage({ type: 'flush', frame, generation: this.generation, playing: this.playing });
    this.pump();
  }

  async play() {
    if (!this.decoder || this.playing) return;
    if (this.playedFrame >= this.length) this.seek(0);
    await this.context.resume();
    this.playing = true;
    this.node.port.postMessage({ type: 'play' });
    $('play').textContent = 'Pause';
  }

  pause() {
    if (!this.playing) return;
    this.playing = false;
    this.node.port.postMessage({ type: 'pause' });
    $('play').textContent = 'Play';
  }

  // What the worklet has played since the page opened (with ?record only).
  recording() {
    return new Promise((resolve) => {
      this.pendingRecord = resolve;
      this.node.port.postMessage({ type: 'record' });
    });
  }

  // One pass through the file for the waveform (minimum and maximum of both
  // channels per pixel column) and the spectrogram (a 1024-point FFT of the
  // two channels' mean around each column's middle), in slices of about
  // 10 ms so that the player keeps being fed.
  async analyse() {
    const pass = this.analysis;
    const wave = $('waveform'), spectro = $('spectrogram');
    const width = wave.width;
    const wctx = wave.getContext('2d'), sctx = spectro.getContext('2d');
    wctx.fillStyle = '#10141c'; wctx.fillRect(0, 0, width, wave.height);
    sctx.fillStyle = '#10141c'; sctx.fillRect(0, 0, width, spectro.height);
    const decoder = m._q58w_decoder_open(this.data, this.size);
    if (!decoder) return;
    const length = this.length;
    const perColumn = length / width;
    const block = 882 * 4;
    const buffer = m._q58w_alloc(block * 4);
    const ringSize = 8192;     // the last ringSize frames, mixed to mono
    const ring = new Float32Array(ringSize);
    const columnMin = new Float32Array(width).fill(1), columnMax = new Float32Array(width).fill(-1);
    const fft = new Spectrum(1024, spectro.height);
    let frame = 0, waveColumn = 0, spectroColumn = 0;
    const windowStart = (c) => Math.max(0, Math.min(length - 1024, Math.floor((c + 0.5) * perColumn) - 512));
    try {
      while (frame < length) {
        const sliceEnd = performance.now() + 10;
        while (frame < length && performance.now() < sliceEnd) {
          const n = m._q58w_decoder_read(decoder, buffer, block);
          const heap = m.HEAP16, base = buffer >> 1;
          for (let i = 0; i < n; ++i) {
            const l = heap[base + 2 * i] / 32768, r = heap[base + 2 * i + 1] / 32768;
            const c = Math.min(width - 1, Math.floor((frame + i) / perColumn));
            const lo = l < r ? l : r, hi = l < r ? r : l;
            if (lo < columnMin[c]) columnMin[c] = lo;
            if (hi > columnMax[c]) columnMax[c] = hi;
            ring[(frame + i) % ringSize] = 0.5 * (l + r);
          }
          frame += n;
          if (n < block) frame = length;  // damaged: draw what there is
          for (; waveColumn < width && (waveColumn + 1) * perColumn <= frame; ++waveColumn)
            drawWaveColumn(wctx, waveColumn, columnMin[waveColumn], columnMax[waveColumn], wave.height);
          for (; spectroColumn < width && windowStart(spectroColumn) + 1024 <= frame; ++spectroColumn)
            fft.drawColumn(sctx, spectroColumn, ring, windowStart(spectroColumn) % ringSize);
        }
        await new Promise((resolve) => setTimeout(resolve, 0));
        if (pass !== this.analysis) return;
      }
      for (; waveColumn < width; ++waveColumn)
        drawWaveColumn(wctx, waveColumn, columnMin[waveColumn], columnMax[waveColumn], wave.height);
    } finally {
      m._q58w_decoder_close(decoder);
      m._q58w_free(buffer);
    }
  }
}

function drawWaveColumn(ctx, x, lo, hi, height) {
  if (lo > hi) return;  // no samples fell in this column
  const mid = height / 2;
  ctx.fillStyle = '#5ec4ff';
  const top = Math.floor(mid - hi * mid), bottom = Math.ceil(mid - lo * mid);
  ctx.fillRect(x, top, 1, Math.max(1, bottom - top));
}

// A radix-2 FFT with a Hann window; drawColumn paints one column of
// magnitudes in dB, frequency on a log scale from 40 Hz to 22.05 kHz.
class Spectrum {
  constructor(size, height) {
    this.size = size;
    this.re = new Float64Array(size);
    this.im = new Float64Array(size);
    this.window = new Float64Array(size);
    for (let i = 0; i < size; ++i) this.window[i] = 0.5 - 0.5 * Math.cos((2 * Math.PI * i) / size);
    this.cos = new Float64Array(size / 2);
    this.sin = new Float64Array(size / 2);
    for (let i = 0; i < size / 2; ++i) {
      this.cos[i] = Math.cos((2 * Math.PI * i) / size);
      this.sin[i] = -Math.sin((2 * Math.PI * i) / size);
    }
    this.bits = Math.log2(size);
    this.image = new ImageData(1, height);
    this.rowBin = new Float64Array(height);
    for (let y = 0; y < height; ++y) {
      const f = 40 * Math.pow(rate / 2 / 40, (height - 1 - y) / (height - 1));
      this.rowBin[y] = Math.min(size / 2 - 1, (f * size) / rate);
    }
  }

  transform() {
    const { re, im, size } = this;
    for (let i = 0; i < size; ++i) {
      let j = 0;
      for (let b = 0; b < this.bits; ++b) j |= ((i >> b) & 1) << (this.bits - 1 - b);
      if (j > i) { let t = re[i]; re[i] = re[j]; re[j] = t; t = im[i]; im[i] = im[j]; im[j] = t; }
    }
    for (let len = 2; len <= size; len <<= 1) {
      const half = len >> 1, step = size / len;
      for (let start = 0; start < size; start += len) {
        for (let k = 0; k < half; ++k) {
          const wr = this.cos[k * step], wi = this.sin[k * step];
          const a = start + k, b = a + half;
          const xr = re[b] * wr - im[b] * wi, xi = re[b] * wi + im[b] * wr;
          re[b] = re[a] - xr; im[b] = im[a] - xi;
          re[a] += xr; im[a] += xi;
        }
      }
    }
  }

  drawColumn(ctx, x, ring, start) {
    const n = this.size;
    for (let i = 0; i < n; ++i) {
      this.re[i] = ring[(start + i) % ring.length] * this.window[i];
      this.im[i] = 0;
    }
    this.transform();
    const px = this.image.data;
    for (let y = 0; y < this.rowBin.length; ++y) {
      const bin = Math.round(this.rowBin[y]);
      const power = this.re[bin] * this.re[bin] + this.im[bin] * this.im[bin];
      // A full-scale sine is about +48 dB here; the scale spans 90 dB below that.
      const db = 10 * Math.log10(power + 1e-12);
      const v = Math.max(0, Math.min(1, (db + 42) / 90));
      const clamp = (x) => Math.round(255 * Math.max(0, Math.min(1, x)));
      px[4 * y] = clamp(1.6 * v - 0.1);
      px[4 * y + 1] = clamp(2 * v - 1);
      px[4 * y + 2] = clamp(v < 0.35 ? 0.15 + 2 * v : 1.9 - 3 * v);
      px[4 * y + 3] = 255;
    }
    ctx.putImageData(this.image, x, 0);
  }
}

// ---------------------------------------------------------------- encoder

// The PCM of a RIFF WAV that is already 16-bit stereo at 44.1 kHz, exactly
// as stored; null for any other file.
function wavPcm16(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const tag = (at) => String.fromCharCode(bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]);
  if (bytes.length < 12 || tag(0) !== 'RIFF' || tag(8) !== 'WAVE') return null;
  let format = null;
  for (let p = 12; p + 8 <= bytes.length;) {
    const id = tag(p), size = view.getUint32(p + 4, true);
    if (id === 'fmt ' && size >= 16) {
      let code = view.getUint16(p + 8, true);
      if (code === 0xfffe && size >= 40) code = view.getUint16(p + 32, true);  // the extensible form's sub-format
      format = { code, channels: view.getUint16(p + 10, true), rate: view.getUint32(p + 12, true), bits: view.getUint16(p + 22, true) };
    } else if (id === 'data') {
      if (!format || format.code !== 1 || format.channels !== 2 || format.rate !== rate || format.bits !== 16) return null;
      const end = Math.min(bytes.length, p + 8 + size);  // a stream writer may leave the size unset
      const frames = Math.floor((end - p - 8) / 4);
      const pcm = new Int16Array(frames * 2);
      for (let i = 0; i < pcm.length; ++i) pcm[i] = view.getInt16(p + 8 + 2 * i, true);
      return pcm;
    }
    p += 8 + size + (size & 1);
  }
  return null;
}

// Any audio the browser decodes, as 16-bit stereo at 44.1 kHz: decoded at
// 44.1 kHz, mixed to two channels by an OfflineAudioContext, then scaled by
// 32768, rounded and clamped.
async function decodeToPcm16(bytes) {
  const decoded = await new OfflineAudioContext(2, 1, rate).decodeAudioData(bytes.slice().buffer);
  const offline = new OfflineAudioContext(2, decoded.length, rate);
  const source = offline.createBufferSource();
  source.buffer = decoded;
  source.connect(offline.destination);
  source.start();
  const rendered = await offline.startRendering();
  const left = rendered.getChannelData(0), right = rendered.getChannelData(1);
  const pcm = new Int16Array(rendered.length * 2);
  const toInt = (x) => Math.max(-32768, Math.min(32767, Math.round(x * 32768)));
  for (let i = 0; i < rendered.length; ++i) {
    pcm[2 * i] = toInt(left[i]);
    pcm[2 * i + 1] = toInt(right[i]);
  }
  return pcm;
}

const worker = new Worker('encode-worker.js');
// A failure inside the worker (its module not loading, say) fails the file
// being encoded, if any.
let failJob = null;
worker.onerror = (e) => {
  console.error('encode worker failed', e.message);
  if (failJob) failJob(new Error(e.message));
};
let encoding = Promise.resolve();
let downloadUrl = null;

// Encodes one file's bytes and offers the result as a download; resolves to
// the .q58 bytes. Files are encoded one after the other.
function encodeBytes(bytes, name) {
  const run = encoding.then(() => encodeOne(bytes, name));
  encoding = run.catch(() => {});
  return run;
}

async function encodeOne(bytes, name) {
  const status = $('encode-status'), progress = $('encode-progress'), link = $('download');
  status.className = 'status';
  link.hidden = true;
  progress.value = 0;
  try {
    let pcm = wavPcm16(bytes);
    const exact = pcm !== null;
    if (!exact) {
      status.textContent = `${name}: decoding…`;
      pcm = await decodeToPcm16(bytes);
    }
    const frames = pcm.length / 2;
    status.textContent = `${name}: encoding ${formatTime(frames)}${exact ? ' (16-bit 44.1 kHz stereo WAV, PCM taken as stored)' : ' (converted to 44.1 kHz stereo 16-bit)'}…`;
    const out = await new Promise((resolve, reject) => {
      worker.onmessage = (event) => {
        const message = event.data;
        if (message.type === 'progress') progress.value = message.total ? message.done / message.total : 1;
        else if (message.type === 'done') resolve(message.bytes);
        else reject(new Error(message.message));
      };
      failJob = reject;
      worker.postMessage({ pcm }, [pcm.buffer]);
    });
    progress.value = 1;
    if (downloadUrl) URL.revokeObjectURL(downloadUrl);
    downloadUrl = URL.createObjectURL(new Blob([out], { type: 'application/octet-stream' }));
    const outName = name.replace(/\.[^.]*$/, '') + '.q58';
    link.href = downloadUrl;
    link.download = outName;
    link.textContent = `Download ${outName} (${out.length} bytes, ${formatTime(frames)})`;
    link.hidden = false;
    status.textContent = `${name}: done.`;
    return out;
  } catch (e) {
    status.textContent = `${name}: ${e.message || e}`;
    status.className = 'error';
    throw e;
  }
}

// ---------------------------------------------------------------- wiring

const player = new Player();

async function openForPlaying(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (!(await player.open(bytes, file.name))) {
    $('player-status').textContent = `${file.name} is not a .q58 file`;
    $('player-status').className = 'error';
  }
}

$('q58-file').addEventListener('change', (e) => { if (e.target.files[0]) openForPlaying(e.target.files[0]); });
$('audio-file').addEventListener('change', async (e) => {
  const file = e.target.files[0];
  if (file) encodeBytes(new Uint8Array(await file.arrayBuffer()), file.name).catch(() => {});
});
$('play').addEventListener('click', () => (player.playing ? player.pause() : player.play()));

const seekBar = $('seek');
let dragging = false;
seekBar.addEventListener('input', () => { dragging = true; $('time').textContent = `${formatTime(+seekBar.value)} / ${formatTime(player.length)}`; });
seekBar.addEventListener('change', () => { dragging = false; player.seek(+seekBar.value); });
$('view').addEventListener('click', (e) => {
  if (!player.length) return;
  const box = e.currentTarget.getBoundingClientRect();
  player.seek(((e.clientX - box.left) / box.width) * player.length);
});

// A dropped .q58 plays; anything else is encoded.
document.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dragging'); });
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', async (e) => {
  e.preventDefault();
  document.body.classList.remove('dragging');
  const file = e.dataTransfer.files[0];
  if (!file) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (!(await player.open(bytes, file.name))) encodeBytes(bytes, file.name).catch(() => {});
});

function show() {
  const frame = Math.min(player.playedFrame, player.length);
  $('time').textContent = dragging ? $('time').textContent : `${formatTime(frame)} / ${formatTime(player.length)}`;
  if (!dragging) seekBar.value = String(frame);
  const head = $('playhead');
  head.style.display = player.length ? 'block' : 'none';
  if (player.length) head.style.left = `${(100 * frame) / player.length}%`;
  requestAnimationFrame(show);
}
requestAnimationFrame(show);

// Measures decoding the open file from the start with fresh decoders: each
// of `runs` runs repeats whole passes for at least 0.25 s (the browser's
// clock is coarse) and gives its sample frames per second.
function benchDecode(runs) {
  const speeds = [];
  const block = 882 * 16, buffer = m._q58w_alloc(block * 4);
  for (let r = 0; r < runs; ++r) {
    let frames = 0, seconds = 0;
    const t0 = performance.now();
    do {
      const decoder = m._q58w_decoder_open(player.data, player.size);
      for (;;) {
        const n = m._q58w_decoder_read(decoder, buffer, block);
        frames += n;
        if (n < block) break;
      }
      m._q58w_decoder_close(decoder);
      seconds = (performance.now() - t0) / 1000;
    } while (seconds < 0.25);
    speeds.push(frames / seconds);
  }
  m._q58w_free(buffer);
  return speeds;
}

// For the page's check (tools/web-page-check.sh) and the console.
window.q58page = { player, encodeBytes, decodeToPcm16, wavPcm16, benchDecode, ready: true };
