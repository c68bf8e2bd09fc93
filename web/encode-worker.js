// Encodes 16-bit stereo 44.1 kHz PCM to .q58 off the page's thread, with the
// same wasm module the player uses. The PCM goes to the encoder in chunks of
// whole packets so that the page can show how far it has got; the encoder
// takes any chunk size and gives the same file as one call with everything.
//
// In:  {pcm: Int16Array (interleaved, left first)}
// Out: {type:'progress', done, total} (sample frames), then
//      {type:'done', bytes: Uint8Array} or {type:'error', message}.
importScripts('q58.js');

const modulePromise = createQ58();
const chunkFrames = 882 * 64;  // 1.28 s of audio per call

self.onmessage = async (event) => {
  let m;
  try {
    m = await modulePromise;
  } catch (e) {
    self.postMessage({ type: 'error', message: `the q58 module did not load: ${e.message || e}` });
    return;
  }
  const pcm = event.data.pcm;
  const total = Math.floor(pcm.length / 2);
  const path = '/encode.q58';
  const pathBytes = new TextEncoder().encode(path + '\0');
  const pathPtr = m._q58w_alloc(pathBytes.length);
  const buffer = m._q58w_alloc(chunkFrames * 4);
  let encoder = 0;
  try {
    if (!pathPtr || !buffer) throw new Error('out of memory');
    m.HEAPU8.set(pathBytes, pathPtr);
    encoder = m._q58w_encoder_open(pathPtr);
    if (!encoder) throw new Error('cannot start the encoder');
    for (let done = 0; done < total;) {
      const n = Math.min(chunkFrames, total - done);
      // HEAP16 is looked up on each pass: growing memory replaces it.
      m.HEAP16.set(pcm.subarray(done * 2, (done + n) * 2), buffer >> 1);
      if (m._q58w_encoder_write(encoder, buffer, n) !== 0) throw new Error('the encoder failed');
      done += n;
      self.postMessage({ type: 'progress', done, total });
    }
    const status = m._q58w_encoder_close(encoder);
    encoder = 0;
    if (status !== 0) throw new Error('the encoder could not complete the file');
    const bytes = m.FS.readFile(path);
    m.FS.unlink(path);
    self.postMessage({ type: 'done', bytes }, [bytes.buffer]);
  } catch (e) {
    if (encoder) m._q58w_encoder_close(encoder);
    self.postMessage({ type: 'error', message: String(e.message || e) });
  } finally {
    m._q58w_free(buffer);
    m._q58w_free(pathPtr);
  }
};
