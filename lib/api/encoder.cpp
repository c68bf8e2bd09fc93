// The C API's encoder: a ContainerWriter with the built-in parameter blocks
// into a file written under a temporary name and renamed over the target
// when complete, with a block buffer so that any chunk size works.

#include <memory>

#include "api/block_feed.h"
#include "streams/replacing_file.h"
#include "formats/container_writer.h"
#include "q58.h"
#include "base/frame_sizes.h"

struct q58_encoder {
    std::unique_ptr<ReplacingFile> target;  // the container goes to its temporary file
    std::unique_ptr<ContainerWriter> writer;
    int16_t block[blockSamples];
    int filled = 0;  // sample frames waiting in block
    int status = Q58_OK;
};

namespace {

void tell(int* status, int value)
{
    if (status) *status = value;
}

}  // namespace

q58_encoder* q58_encoder_open_file(const char* path, int* status)
{
    try {
        if (path == nullptr) {
            tell(status, Q58_ERROR_INVALID_ARGUMENT);
            return nullptr;
        }
        std::unique_ptr<q58_encoder> encoder(new q58_encoder());
        encoder->target = std::make_unique<ReplacingFile>(path);
        if (!encoder->target->ok()) {
            tell(status, Q58_ERROR_IO);
            return nullptr;
        }
        // The same blocks the converter codes with, so the files match.
        encoder->writer = std::make_unique<ContainerWriter>(*encoder->target, defaultCodecParameters, defaultEncoderTuning);
        if (encoder->writer->streamFailed()) {  // the temporary file did not take the header
            tell(status, Q58_ERROR_IO);
            return nullptr;
        }
        tell(status, Q58_OK);
        return encoder.release();
    } catch (...) {
        tell(status, Q58_ERROR_OUT_OF_MEMORY);
        return nullptr;
    }
}

int q58_encoder_write_s16(q58_encoder* encoder, const int16_t* interleaved, size_t frames)
{
    if (encoder == nullptr || (interleaved == nullptr && frames > 0)) return Q58_ERROR_INVALID_ARGUMENT;
    if (encoder->status != Q58_OK) return encoder->status;
    try {
        return encoder->status = feedBlocks(*encoder->writer, encoder->block, encoder->filled, interleaved, frames);
    } catch (...) {
        return encoder->status = Q58_ERROR_OUT_OF_MEMORY;
    }
}

int q58_encoder_close(q58_encoder* encoder)
{
    if (encoder == nullptr) return Q58_ERROR_INVALID_ARGUMENT;
    int result = encoder->status;
    if (result == Q58_OK) {
        const bool written = encoder->writer->finish();
        if (!written || !encoder->target->commit()) result = Q58_ERROR_IO;
    }
    delete encoder;  // removes the temporary file unless it was committed
    return result;
}

void q58_encoder_discard(q58_encoder* encoder)
{
    delete encoder;
}
