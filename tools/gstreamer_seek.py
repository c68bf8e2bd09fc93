#!/usr/bin/env python3
# Seeks a GStreamer pipeline (filesrc ! decodebin ! appsink) over a .q58
# file to sample positions and compares the first sample frames after each
# seek with the converter's decode of the whole file at that position.
# Usage: gstreamer_seek.py [--push | --elements] FILE.q58 DECODED.wav POSITION...
# --push puts a queue after filesrc, so that the parser is fed in push mode
# (seeking upstream in bytes) instead of pulling from the file itself;
# --elements does that with q58parse ! q58dec in place of decodebin.
# Prints one line per position; exits 1 when any position is not exact.
import sys

import gi

gi.require_version("Gst", "1.0")
from gi.repository import Gst  # noqa: E402

RATE = 44100
FRAME_BYTES = 4  # two 16-bit channels
COMPARED_FRAMES = 3000  # more than three packets


def pull_frames(sink, frames):
    data = bytearray()
    while len(data) < frames * FRAME_BYTES:
        sample = sink.emit("try-pull-sample", 5 * Gst.SECOND)
        if sample is None:
            break  # the end of the stream
        buffer = sample.get_buffer()
        data += buffer.extract_dup(0, buffer.get_size())
    return bytes(data[: frames * FRAME_BYTES])


def main():
    arguments = sys.argv[1:]
    middle = "decodebin"
    if arguments[:1] == ["--push"]:
        middle, arguments = "queue ! decodebin", arguments[1:]
    elif arguments[:1] == ["--elements"]:
        middle, arguments = "queue ! q58parse ! q58dec", arguments[1:]
    path, reference_path, positions = arguments[0], arguments[1], [int(p) for p in arguments[2:]]
    with open(reference_path, "rb") as f:
        reference = f.read()[44:]  # the converter's WAV: a 44-byte header, then the PCM
    Gst.init(None)
    pipeline = Gst.parse_launch(
        "filesrc name=src ! " + middle + " ! audioconvert ! "
        "audio/x-raw,format=S16LE,rate=44100,channels=2,layout=interleaved ! "
        "appsink name=sink sync=false max-buffers=8"
    )
    pipeline.get_by_name("src").set_property("location", path)
    sink = pipeline.get_by_name("sink")
    pipeline.set_state(Gst.State.PAUSED)
    if pipeline.get_state(10 * Gst.SECOND)[0] != Gst.StateChangeReturn.SUCCESS:
        print("gstreamer-seek: the pipeline does not preroll")
        return 1
    failed = 0
    for position in positions:
        # The first nanosecond at or after the sample frame, so that the
        # decoder's clipping (which rounds down) starts at that frame.
        time = -(-position * Gst.SECOND // RATE)
        ok = pipeline.seek_simple(Gst.Format.TIME, Gst.SeekFlags.FLUSH | Gst.SeekFlags.ACCURATE, time)
        pipeline.set_state(Gst.State.PLAYING)
        got = pull_frames(sink, COMPARED_FRAMES) if ok else b""
        want = reference[position * FRAME_BYTES : (position + COMPARED_FRAMES) * FRAME_BYTES]
        exact = ok and len(want) > 0 and got == want
        if not exact:
            failed += 1
            detail = "seek refused" if not ok else "%d bytes differ of %d" % (
                sum(a != b for a, b in zip(got, want)) + abs(len(got) - len(want)), len(want))
            print("gstreamer-seek: position %d: FAILED (%s)" % (position, detail))
        else:
            print("gstreamer-seek: position %d: exact" % position)
        pipeline.set_state(Gst.State.PAUSED)
        pipeline.get_state(10 * Gst.SECOND)
    pipeline.set_state(Gst.State.NULL)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
