#pragma once

// A memory block behind q58_io_callbacks that can misbehave on purpose:
// short reads, a failing read or seek at a chosen call, reads that fail from
// some byte on, a failing seek that still moves the input, or no seek at all.

#include <cstdint>
#include <cstring>
#include <vector>

#include "q58.h"

struct CallbackInput {
    const std::vector<uint8_t>* bytes = nullptr;
    uint64_t position = 0;
    size_t largestRead = SIZE_MAX;  // short reads: at most this many bytes per call
    int failReadCall = -1;          // this read call (counted from 0) fails once
    int failSeekCall = -1;          // this seek call fails once
    uint64_t failFrom = UINT64_MAX; // every read reaching this byte offset fails
    bool failedSeekRewinds = false; // the failing seek call leaves the input at offset 0
    int reads = 0;
    int seeks = 0;

    static int64_t read(void* user, void* buffer, size_t size)
    {
        auto& in = *static_cast<CallbackInput*>(user);
        if (in.reads++ == in.failReadCall) return -1;
        const uint64_t left = in.position < in.bytes->size() ? in.bytes->size() - in.position : 0;
        size_t n = size < in.largestRead ? size : in.largestRead;
        if (n > left) n = static_cast<size_t>(left);
        if (n > 0 && in.position + n > in.failFrom) return -1;
        if (n > 0) std::memcpy(buffer, in.bytes->data() + in.position, n);
        in.position += n;
        return static_cast<int64_t>(n);
    }

    static int seek(void* user, uint64_t offset)
    {
        auto& in = *static_cast<CallbackInput*>(user);
        if (in.seeks++ == in.failSeekCall) {
            if (in.failedSeekRewinds) in.position = 0;
            return 1;
        }
        in.position = offset;
        return 0;
    }

    static q58_io_callbacks seekable() { return q58_io_callbacks{&CallbackInput::read, &CallbackInput::seek}; }
    static q58_io_callbacks forwardOnly() { return q58_io_callbacks{&CallbackInput::read, nullptr}; }
};
