// The C API's decoder: a ContainerReader over a file, a memory block or the
// caller's functions, with sample-frame positions on top of its blocks.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "api/float_samples.h"
#include "api/header_parameter.h"
#include "api/header_status.h"
#include "formats/container_reader.h"
#include "q58.h"
#include "base/frame_sizes.h"

namespace {

int statusOf(BlockRead result)
{
    switch (result) {
        case BlockRead::block: return Q58_OK;
        case BlockRead::end: return Q58_END_OF_STREAM;
        case BlockRead::noBytesLeft:
        case BlockRead::nonZeroPadding:
        case BlockRead::pastEnd: return Q58_ERROR_DAMAGED;
        case BlockRead::readFailed: return Q58_ERROR_IO;
    }
    return Q58_ERROR_IO;
}

}  // namespace

struct q58_decoder {
    std::unique_ptr<ByteSource> source;
    std::unique_ptr<ContainerReader> reader;
    int16_t block[blockSamples];
    int pending = 0;  // sample frames of block not yet delivered (block is frame nextFrame - 1)
    int status = Q58_OK;

    uint64_t length() const { return static_cast<uint64_t>(reader->frameCount()) * blockLength; }
    uint64_t position() const
    {
        return static_cast<uint64_t>(reader->nextFrame()) * blockLength - static_cast<uint64_t>(pending);
    }
    void settle() { status = position() == length() ? Q58_END_OF_STREAM : Q58_OK; }
};

namespace {

q58_decoder* openOver(std::unique_ptr<ByteSource> source, int* status)
{
    std::unique_ptr<q58_decoder> decoder(new q58_decoder());
    decoder->source = std::move(source);
    decoder->reader = std::make_unique<ContainerReader>(*decoder->source);
    const int opened = headerStatus(decoder->reader->readHeader());
    if (opened != Q58_OK) {
        tell(status, opened);
        return nullptr;
    }
    decoder->settle();
    tell(status, Q58_OK);
    return decoder.release();
}

// Every exported function catches everything: allocation failures are the
// only exceptions the code below can raise.
template <typename Open>
q58_decoder* guardedOpen(int* status, Open open)
{
    try {
        return open();
    } catch (...) {
        tell(status, Q58_ERROR_OUT_OF_MEMORY);
        return nullptr;
    }
}

}  // namespace

q58_decoder* q58_decoder_open_file(const char* path, int* status)
{
    return guardedOpen(status, [&]() -> q58_decoder* {
        if (path == nullptr) {
            tell(status, Q58_ERROR_INVALID_ARGUMENT);
            return nullptr;
        }
        auto file = std::make_unique<FileByteSource>(path);
        if (!file->opened()) {
            tell(status, Q58_ERROR_IO);
            return nullptr;
        }
        return openOver(std::move(file), status);
    });
}

q58_decoder* q58_decoder_open_memory(const void* data, size_t size, int* status)
{
    return guardedOpen(status, [&]() -> q58_decoder* {
        if (data == nullptr && size != 0) {
            tell(status, Q58_ERROR_INVALID_ARGUMENT);
            return nullptr;
        }
        return openOver(std::make_unique<MemoryByteSource>(static_cast<const uint8_t*>(data), size), status);
    });
}

q58_decoder* q58_decoder_open_callbacks(const q58_io_callbacks* callbacks, void* user, int* status)
{
    return guardedOpen(status, [&]() -> q58_decoder* {
        if (callbacks == nullptr || callbacks->read == nullptr) {
            tell(status, Q58_ERROR_INVALID_ARGUMENT);
            return nullptr;
        }
        const ByteSourceFunctions functions{callbacks->read, callbacks->seek};
        return openOver(std::make_unique<CallbackByteSource>(functions, user), status);
    });
}

void q58_decoder_close(q58_decoder* decoder)
{
    delete decoder;
}

uint64_t q58_decoder_length(const q58_decoder* decoder)
{
    return decoder ? decoder->length() : 0;
}

uint64_t q58_decoder_position(const q58_decoder* decoder)
{
    return decoder ? decoder->position() : 0;
}

uint32_t q58_decoder_packet_count(const q58_decoder* decoder)
{
    return decoder ? static_cast<uint32_t>(decoder->reader->frameCount()) : 0;
}

int q58_decoder_status(const q58_decoder* decoder)
{
    return decoder ? decoder->status : Q58_ERROR_INVALID_ARGUMENT;
}

size_t q58_decoder_read_s16(q58_decoder* decoder, int16_t* interleaved, size_t frames)
{
    if (decoder == nullptr || interleaved == nullptr) return 0;
    try {
        size_t done = 0;
        decoder->settle();
        while (done < frames) {
            if (decoder->pending == 0) {
                const BlockRead result = decoder->reader->readBlock(decoder->block);
                if (result != BlockRead::block) {
                    decoder->status = statusOf(result);
                    return done;
                }
                decoder->pending = blockLength;
            }
            const size_t n = std::min(static_cast<size_t>(decoder->pending), frames - done);
            const int16_t* from = decoder->block + 2 * (blockLength - decoder->pending);
            std::memcpy(interleaved + 2 * done, from, n * 2 * sizeof(int16_t));
            decoder->pending -= static_cast<int>(n);
            done += n;
        }
        decoder->settle();
        return done;
    } catch (...) {
        decoder->status = Q58_ERROR_OUT_OF_MEMORY;
        return 0;
    }
}

int q58_decoder_seek(q58_decoder* decoder, uint64_t frame)
{
    if (decoder == nullptr || frame > decoder->length()) return Q58_ERROR_INVALID_ARGUMENT;
    if (!decoder->source->canSeek()) return Q58_ERROR_UNSEEKABLE;
    try {
        ContainerReader& reader = *decoder->reader;
        const int64_t target = static_cast<int64_t>(frame / blockLength);
        const int within = static_cast<int>(frame % blockLength);
        // Within a packet, the reader decodes that packet too, so that a
        // failure anywhere leaves it (and so the position) where it was.
        const BlockRead reached = within > 0 ? reader.seek(target, decoder->block) : reader.seek(target);
        if (reached != BlockRead::block) return statusOf(reached);
        decoder->pending = within > 0 ? blockLength - within : 0;
        decoder->settle();
        return Q58_OK;
    } catch (...) {
        return Q58_ERROR_OUT_OF_MEMORY;
    }
}

int q58_decoder_parameter(const q58_decoder* decoder, int parameter, double* value)
{
    if (decoder == nullptr || value == nullptr) return Q58_ERROR_INVALID_ARGUMENT;
    return headerParameter(decoder->reader->header().parameters, parameter, value);
}

size_t q58_decoder_read_float(q58_decoder* decoder, float* interleaved, size_t frames)
{
    if (decoder == nullptr || interleaved == nullptr) return 0;
    // Through the s16 read a block at a time, so position and status move
    // exactly as they do there.
    int16_t block[blockSamples];
    size_t done = 0;
    while (done < frames) {
        const size_t want = std::min(static_cast<size_t>(blockLength), frames - done);
        const size_t got = q58_decoder_read_s16(decoder, block, want);
        samplesToFloat(block, interleaved + 2 * done, 2 * got);
        done += got;
        if (got < want) break;
    }
    return done;
}
