// The player's audio output: a queue of decoded chunks (interleaved int16,
// left first) that the page posts over the port, played out as floats
// (value / 32768) two channels at a time. The queue holds about a second, so
// the page's decoding never makes the output wait.
//
// Messages in:  {type:'chunk', samples:Int16Array}, {type:'play'},
//               {type:'pause'}, {type:'flush', frame, generation, playing}
//               (after a seek: drop the queue, next chunk plays at frame),
//               {type:'end'} (no chunk follows), {type:'record'} (send the
//               recording back).
// Messages out: {type:'position', frame, queued, generation} about every
//               20 ms while playing or after a chunk arrives,
//               {type:'ended', frame, generation},
//               {type:'record', segments, gaps}.
//
// With processorOptions.record the processor keeps what it writes to its
// output while playing, as segments that each start at the frame of a
// flush, so that the page's check can compare the played samples with the
// native converter's. A frame it had to fill with silence because the
// queue ran dry in the middle of the stream is a gap: it is recorded (as
// zeros) and counted.
class PlayerProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.queue = [];         // Int16Array chunks not yet played
    this.offset = 0;         // sample frames of queue[0] already played
    this.queued = 0;         // sample frames waiting in the queue
    this.frame = 0;          // the file's frame the next output sample is
    this.generation = 0;     // which seek the queue belongs to
    this.playing = false;
    this.ended = false;      // the page has sent the last chunk
    this.waiting = true;     // nothing arrived since the last flush
    this.sinceReport = 0;
    const opts = (options && options.processorOptions) || {};
    this.recording = !!opts.record;
    this.segments = [];
    this.gaps = 0;
    if (this.recording) this.startSegment(0);
    this.port.onmessage = (event) => this.receive(event.data);
  }

  startSegment(frame) {
    this.segments.push({ start: frame, parts: [], frames: 0 });
  }

  receive(message) {
    switch (message.type) {
      case 'chunk':
        if (message.samples.length >= 2) {
          this.queue.push(message.samples);
          this.queued += message.samples.length >> 1;
          this.waiting = false;
        }
        this.report();
        break;
      case 'end':
        this.ended = true;
        this.waiting = false;
        break;
      case 'play':
        this.playing = true;
        break;
      case 'pause':
        this.playing = false;
        this.report();
        break;
      case 'flush':
        this.queue = [];
        this.offset = 0;
        this.queued = 0;
        this.frame = message.frame;
        this.generation = message.generation;
        this.ended = false;
        this.waiting = true;
        if (message.playing !== undefined) this.playing = message.playing;
        if (this.recording) this.startSegment(message.frame);
        this.report();
        break;
      case 'record': {
        const segments = this.segments.map((s) => {
          const all = new Float32Array(s.frames * 2);
          let at = 0;
          for (const part of s.parts) { all.set(part, at); at += part.length; }
          return { start: s.start, samples: all };
        });
        this.port.postMessage({ type: 'record', segments, gaps: this.gaps });
        break;
      }
    }
  }

  report() {
    this.sinceReport = 0;
    this.port.postMessage({ type: 'position', frame: this.frame, queued: this.queued, generation: this.generation });
  }

  process(inputs, outputs) {
    const out = outputs[0];
    const left = out[0], right = out[1] || out[0];
    const frames = left.length;
    if (!this.playing || this.waiting) {
      left.fill(0);
      right.fill(0);
      return true;
    }
    let i = 0;
    while (i < frames && this.queue.length > 0) {
      const chunk = this.queue[0];
      const available = (chunk.length >> 1) - this.offset;
      const n = Math.min(available, frames - i);
      let s = this.offset * 2;
      for (let k = 0; k < n; ++k, s += 2) {
        left[i + k] = chunk[s] / 32768;
        right[i + k] = chunk[s + 1] / 32768;
      }
      i += n;
      this.offset += n;
      if (this.offset === chunk.length >> 1) { this.queue.shift(); this.offset = 0; }
    }
    const played = i;
    this.queued -= played;
    this.frame += played;
    for (let k = i; k < frames; ++k) { left[k] = 0; right[k] = 0; }
    // Silence in the middle of the stream is a gap; at the end it is the end.
    const gap = this.ended ? 0 : frames - played;
    if (this.recording && played + gap > 0) {
      const part = new Float32Array((played + gap) * 2);
      for (let k = 0; k < played + gap; ++k) { part[2 * k] = left[k]; part[2 * k + 1] = right[k]; }
      const segment = this.segments[this.segments.length - 1];
      segment.parts.push(part);
      segment.frames += played + gap;
    }
    this.gaps += gap;
    if (this.ended && this.queued === 0) {
      this.playing = false;
      this.port.postMessage({ type: 'ended', frame: this.frame, generation: this.generation });
      return true;
    }
    this.sinceReport += frames;
    if (this.sinceReport >= 882) this.report();
    return true;
  }
}

registerProcessor('q58-player', PlayerProcessor);
