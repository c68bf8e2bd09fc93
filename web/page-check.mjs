// Drives the page in headless Chromium over the DevTools protocol (on a
// pipe, fds 3 and 4, messages as JSON ended by a NUL) and checks it against
// the native converter: the samples the worklet plays, from the start and
// after a seek, must be the native decode's; the page's encode of a 16-bit
// 44.1 kHz stereo WAV must be the native encoder's file. It also checks the
// page loads without console errors, saves screenshots and reports the
// browser's decode speed. Run by tools/web-page-check.sh, which makes the
// files.
//
// Usage: node page-check.mjs WORK SHOTS Q58
//   WORK holds x.wav, x.q58 (`q58 x.wav`) and x.q58.wav (`q58 x.q58`);
//   SHOTS is the folder for the screenshots; Q58 the native converter.
import { execFileSync, spawn } from 'child_process';
import fs from 'fs';
import os from 'os';
import path from 'path';

const [work, shots, q58] = process.argv.slice(2);
const webDir = path.dirname(new URL(import.meta.url).pathname);
const rate = 44100;
const seekSeconds = 3.0;
const say = (text) => console.log(`page-check: ${text}`);
let passed = 0, failed = 0;
function check(ok, what) {
  if (ok) { passed++; say(`ok: ${what}`); } else { failed++; say(`FAILED: ${what}`); }
}

// The PCM of a WAV file's data chunk, as int16.
function wavSamples(file) {
  const b = fs.readFileSync(file);
  for (let p = 12; p + 8 <= b.length;) {
    const size = b.readUInt32LE(p + 4);
    if (b.toString('latin1', p, p + 4) === 'data') {
      const pcm = b.subarray(p + 8, p + 8 + size);
      return new Int16Array(pcm.buffer.slice(pcm.byteOffset, pcm.byteOffset + pcm.length));
    }
    p += 8 + size + (size & 1);
  }
  throw new Error(`${file}: no data chunk`);
}

// A 16-bit mono WAV of a sine.
function toneWav(sampleRate, seconds, frequency, amplitude) {
  const frames = sampleRate * seconds, b = Buffer.alloc(44 + frames * 2);
  b.write('RIFF', 0, 'latin1'); b.writeUInt32LE(36 + frames * 2, 4); b.write('WAVEfmt ', 8, 'latin1');
  b.writeUInt32LE(16, 16); b.writeUInt16LE(1, 20); b.writeUInt16LE(1, 22); b.writeUInt32LE(sampleRate, 24);
  b.writeUInt32LE(sampleRate * 2, 28); b.writeUInt16LE(2, 32); b.writeUInt16LE(16, 34);
  b.write('data', 36, 'latin1'); b.writeUInt32LE(frames * 2, 40);
  for (let i = 0; i < frames; ++i) b.writeInt16LE(Math.round(32767 * amplitude * Math.sin((2 * Math.PI * frequency * i) / sampleRate)), 44 + 2 * i);
  return b;
}

// ---------------------------------------------------------------- processes

function startServer() {
  return new Promise((resolve, reject) => {
    const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1'], { cwd: webDir, stdio: ['ignore', 'pipe', 'pipe'] });
    let text = '';
    server.stdout.on('data', (d) => {
      text += d;
      const match = /port (\d+)/.exec(text);
      if (match) resolve({ server, port: +match[1] });
    });
    server.stderr.on('data', () => {});  // one line per request
    server.on('exit', (code) => reject(new Error(`http.server exited (${code})`)));
  });
}

class Browser {
  constructor(profile) {
    this.process = spawn('chromium', [
      '--headless=new', '--no-sandbox', '--remote-debugging-pipe', '--autoplay-policy=no-user-gesture-required',
      '--no-first-run', '--no-default-browser-check', `--user-data-dir=${profile}`, '--window-size=900,900',
      '--disable-background-timer-throttling', '--disable-renderer-backgrounding', 'about:blank',
    ], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    this.process.stderr.on('data', () => {});
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    let text = '';
    this.process.stdio[4].on('data', (d) => {
      text += d.toString('utf8');
      let end;
      while ((end = text.indexOf('\0')) >= 0) {
        const message = JSON.parse(text.slice(0, end));
        text = text.slice(end + 1);
        if (message.id && this.pending.has(message.id)) {
          const { resolve, reject } = this.pending.get(message.id);
          this.pending.delete(message.id);
          if (message.error) reject(new Error(`${message.error.message} ${message.error.data || ''}`));
          else resolve(message.result);
        } else for (const listen of this.listeners) listen(message);
      }
    });
  }
  send(method, params = {}, sessionId) {
    const id = this.nextId++;
    this.process.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
    return new Promise((resolve, reject) => this.pending.set(id, { resolve, reject }));
  }
}

// ---------------------------------------------------------------- the check

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'q58-page-'));
const { server, port } = await startServer();
const browser = new Browser(profile);
const problems = [];
let session;
const send = (method, params) => browser.send(method, params, session);

// Evaluates an expression in the page (awaiting a promise) and returns its value.
async function evaluate(expression) {
  const r = await send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
  if (r.exceptionDetails) throw new Error(`in the page: ${r.exceptionDetails.exception?.description || r.exceptionDetails.text}`);
  return r.result.value;
}
async function waitFor(expression, what, seconds = 20) {
  const end = Date.now() + seconds * 1000;
  while (Date.now() < end) {
    if (await evaluate(expression)) return true;
    await sleep(50);
  }
  throw new Error(`timed out waiting for ${what}`);
}
async function screenshot(name) {
  const { data } = await send('Page.captureScreenshot', { format: 'png' });
  fs.mkdirSync(shots, { recursive: true });
  fs.writeFileSync(path.join(shots, name), Buffer.from(data, 'base64'));
}
async function setFile(selector, file) {
  const { root } = await send('DOM.getDocument', {});
  const { nodeId } = await send('DOM.querySelector', { nodeId: root.nodeId, selector });
  await send('DOM.setFileInputFiles', { nodeId, files: [path.resolve(file)] });
}
async function drop(file) {
  const data = { items: [], files: [path.resolve(file)], dragOperationsMask: 1 };
  for (const type of ['dragEnter', 'dragOver', 'drop']) await send('Input.dispatchDragEvent', { type, x: 400, y: 300, data });
}
// Base64 of a typed array's bytes, made in the page.
const toBase64 = `(a) => { const u = new Uint8Array(a.buffer, a.byteOffset, a.byteLength); let s = '';
  for (let i = 0; i < u.length; i += 32768) s += String.fromCharCode.apply(null, u.subarray(i, i + 32768)); return btoa(s); }`;

// Compares played floats with native int16 from native frame `start`; every
// played value times 32768 must be the native sample exactly.
function compare(played, native, start, what) {
  const count = played.length;
  if (start * 2 + count > native.length) return check(false, `${what}: ${count / 2} frames played from frame ${start}, past the native ${native.length / 2}`);
  let wrong = 0, first = -1;
  for (let i = 0; i < count; ++i) {
    if (played[i] * 32768 !== native[start * 2 + i]) { if (first < 0) first = i; wrong++; }
  }
  check(wrong === 0, `${what}: ${count / 2} sample frames from frame ${start} equal the native decode` +
    (wrong ? ` (${wrong} values differ, first at frame ${start + (first >> 1)})` : ''));
}

let exitCode = 1;
try {
  browser.listeners.push((message) => {
    if (message.method === 'Runtime.exceptionThrown') problems.push(`exception: ${message.params.exceptionDetails.exception?.description || message.params.exceptionDetails.text}`);
    if (message.method === 'Runtime.consoleAPICalled' && (message.params.type === 'error' || message.params.type === 'assert'))
      problems.push(`console.error: ${message.params.args.map((a) => a.value ?? a.description).join(' ')}`);
    if (message.method === 'Log.entryAdded' && message.params.entry.level === 'error') problems.push(`log: ${message.params.entry.text} ${message.params.entry.url || ''}`);
  });
  const { targetInfos } = await browser.send('Target.getTargets');
  const page = targetInfos.find((t) => t.type === 'page');
  ({ sessionId: session } = await browser.send('Target.attachToTarget', { targetId: page.targetId, flatten: true }));
  await send('Runtime.enable');
  await send('Log.enable');
  await send('Page.enable');
  await send('Page.navigate', { url: `http://127.0.0.1:${port}/index.html?record` });
  await waitFor('window.q58page && window.q58page.ready === true', 'the page to load');
  await sleep(300);
  check(problems.length === 0, 'the page loads without console errors or exceptions');
  await screenshot('load.png');

  // Playing: from the start with a pause, then a seek while playing, to the end.
  const native = wavSamples(path.join(work, 'x.q58.wav'));
  const length = native.length / 2;
  await setFile('#q58-file', path.join(work, 'x.q58'));
  await waitFor('q58page.player.length > 0', 'the .q58 file to open');
  check(await evaluate('q58page.player.length') === length, `the page reports ${length} sample frames, as the native decode has`);
  await evaluate('q58page.player.play()');
  await waitFor(`q58page.player.playedFrame >= ${rate}`, 'one second played');
  await evaluate('q58page.player.pause()');
  await sleep(300);
  await evaluate('q58page.player.play()');
  await waitFor(`q58page.player.playedFrame >= ${2 * rate}`, 'two seconds played');
  await screenshot('playing.png');
  const seekFrame = Math.round(seekSeconds * rate);
  await evaluate(`q58page.player.seek(${seekFrame})`);
  await waitFor('!q58page.player.playing', 'the end of the file', length / rate + 10);
  const rec = await evaluate(`q58page.player.recording().then((r) => ({ gaps: r.gaps,
    segments: r.segments.filter((s) => s.samples.length > 0).map((s) => ({ start: s.start, data: (${toBase64})(s.samples) })) }))`);
  const segments = rec.segments.map((s) => {
    const b = Buffer.from(s.data, 'base64');
    return { start: s.start, samples: new Float32Array(b.buffer.slice(b.byteOffset, b.byteOffset + b.length)) };
  });
  check(rec.gaps === 0, `no gaps in the played output (${rec.gaps} frames of silence in the middle)`);
  check(segments.length === 2 && segments[0].start === 0 && segments[1].start === seekFrame,
    `two stretches played, from frame 0 and from the seek to frame ${seekFrame} (got ${segments.map((s) => `${s.start}+${s.samples.length / 2}`).join(', ')})`);
  if (segments.length >= 1) {
    check(segments[0].samples.length / 2 >= 2 * rate, `at least 2 s played before the seek (${segments[0].samples.length / 2} frames)`);
    compare(segments[0].samples, native, segments[0].start, 'played from the start');
  }
  if (segments.length >= 2) {
    const last = segments[segments.length - 1];
    check(last.start + last.samples.length / 2 === length, `played after the seek to the end of the file (frame ${last.start + last.samples.length / 2} of ${length})`);
    compare(last.samples, native, last.start, `played after the seek to ${seekSeconds} s`);
  }

  // Browser decode speed, median of five runs of at least 0.25 s each.
  const speeds = (await evaluate('q58page.benchDecode(5)')).sort((a, b) => a - b);
  const median = speeds[2];
  say(`browser decode: ${Math.round(median)} sample frames/s = ${(median / rate).toFixed(0)}x real time (median of 5: ${speeds.map((s) => (s / rate).toFixed(0)).join(' ')}); q58.wasm ${fs.statSync(path.join(webDir, 'q58.wasm')).size} bytes`);

  // Encoding the 16-bit WAV through the file input and the download link.
  await setFile('#audio-file', path.join(work, 'x.wav'));
  await waitFor(`!document.getElementById('download').hidden || document.getElementById('encode-status').className === 'error'`, 'the encoded file', 60);
  const encoded = Buffer.from(await evaluate(`fetch(document.getElementById('download').href).then((r) => r.arrayBuffer())
    .then((b) => (${toBase64})(new Uint8Array(b)))`), 'base64');
  const reference = fs.readFileSync(path.join(work, 'x.q58'));
  check(encoded.equals(reference), `the page's encode of x.wav (${encoded.length} bytes) equals \`q58 x.wav\` (${reference.length} bytes) byte for byte`);
  check(await evaluate(`document.getElementById('download').download`) === 'x.q58', 'the download is named x.q58');
  check(await evaluate(`document.getElementById('encode-progress').value`) === 1, 'the progress bar reaches the end');
  await screenshot('encoded.png');

  // Any other audio goes through decodeAudioData: a 2 s 440 Hz tone, mono,
  // 48 kHz, must come out as 2 s at 44.1 kHz (Chromium's resampler gives
  // 88199 sample frames for 96000) with the tone's level on both channels
  // (q58 keeps a steady tone's level to a fraction of a dB).
  const tone = toneWav(48000, 2, 440, 0.5);
  const toneQ58 = Buffer.from(await evaluate(`(async () => { const b = Uint8Array.from(atob('${tone.toString('base64')}'), (c) => c.charCodeAt(0));
    return (${toBase64})(await q58page.encodeBytes(b, 'tone.wav')); })()`), 'base64');
  const toneFrames = await evaluate(`(async () => (await q58page.decodeToPcm16(Uint8Array.from(atob('${tone.toString('base64')}'), (c) => c.charCodeAt(0)))).length / 2)()`);
  fs.writeFileSync(path.join(work, 'tone.q58'), toneQ58);
  execFileSync(q58, ['tone.q58'], { cwd: work, stdio: 'ignore' });
  const toneOut = wavSamples(path.join(work, 'tone.q58.wav'));
  const rms = (channel) => { let sum = 0; for (let i = channel; i < toneOut.length; i += 2) sum += toneOut[i] * toneOut[i]; return Math.sqrt(sum / (toneOut.length / 2)) / 32768; };
  const expected = 0.5 / Math.SQRT2, db = (x) => 20 * Math.log10(x / expected);
  check(Math.abs(toneFrames - 2 * rate) <= 2, `a 2 s mono 48 kHz WAV decodes and resamples to 2 s at 44.1 kHz (${toneFrames} sample frames)`);
  check(toneOut.length / 2 === toneFrames - toneFrames % 882,
    `all of them go to the encoder: its file decodes to the whole packets of them (${toneOut.length / 2} sample frames)`);
  check(Math.abs(db(rms(0))) < 1 && Math.abs(db(rms(1))) < 1,
    `its tone decodes at its level on both channels (left ${db(rms(0)).toFixed(2)} dB, right ${db(rms(1)).toFixed(2)} dB)`);

  // Dropping files on the page: a .q58 opens in the player, anything else
  // is encoded.
  await drop(path.join(work, 'tone.q58'));
  await waitFor(`q58page.player.name === 'tone.q58'`, 'the dropped .q58 to open');
  check(await evaluate('q58page.player.length') === toneOut.length / 2, 'a dropped .q58 opens in the player');
  const before = await evaluate(`document.getElementById('download').href`);
  await drop(path.join(work, 'x.wav'));
  await waitFor(`!document.getElementById('download').hidden && document.getElementById('download').href !== '${before}'`, 'the dropped WAV to be encoded', 60);
  const dropped = Buffer.from(await evaluate(`fetch(document.getElementById('download').href).then((r) => r.arrayBuffer())
    .then((b) => (${toBase64})(new Uint8Array(b)))`), 'base64');
  check(dropped.equals(reference) && await evaluate('q58page.player.name') === 'tone.q58', 'a dropped WAV is encoded (as `q58 x.wav`), not opened in the player');

  check(problems.length === 0, `no console errors or exceptions${problems.length ? ': ' + problems.join('; ') : ''}`);
  exitCode = failed === 0 ? 0 : 1;
} catch (e) {
  say(`FAILED: ${e.message}`);
  failed++;
} finally {
  say(`${passed} passed, ${failed} failed`);
  if (problems.length) for (const p of problems) say(`  ${p}`);
  const exited = new Promise((resolve) => browser.process.once('exit', resolve));
  browser.send('Browser.close').catch(() => {});
  await Promise.race([exited, sleep(5000)]);
  if (browser.process.exitCode === null) { browser.process.kill(); await exited; }
  server.kill();
  fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5 });
}
process.exit(exitCode);
