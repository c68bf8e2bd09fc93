// The browser build's entry points: a thin layer over include/q58.h that
// JavaScript calls through emscripten's exported functions. Decoding runs
// over a copy of the whole file in the module's memory; encoding writes to a
// path in emscripten's in-memory file system, which the page reads back.
#include <cstdint>
#include <cstdlib>

#include "q58.h"

extern "C" {

// Opens a decoder over size bytes at data (owned by the caller until close).
q58_decoder* q58w_decoder_open(const void* data, size_t size) {
    int status = Q58_OK;
    return q58_decoder_open_memory(data, size, &status);
}
double q58w_decoder_length(const q58_decoder* decoder) { return double(q58_decoder_length(decoder)); }
double q58w_decoder_position(const q58_decoder* decoder) { return double(q58_decoder_position(decoder)); }
int q58w_decoder_seek(q58_decoder* decoder, double frame) { return q58_decoder_seek(decoder, uint64_t(frame)); }
size_t q58w_decoder_read(q58_decoder* decoder, int16_t* out, size_t frames) {
    return q58_decoder_read_s16(decoder, out, frames);
}
void q58w_decoder_close(q58_decoder* decoder) { q58_decoder_close(decoder); }

q58_encoder* q58w_encoder_open(const char* path) {
    int status = Q58_OK;
    return q58_encoder_open_file(path, &status);
}
int q58w_encoder_write(q58_encoder* encoder, const int16_t* in, size_t frames) {
    return q58_encoder_write_s16(encoder, in, frames);
}
int q58w_encoder_close(q58_encoder* encoder) { return q58_encoder_close(encoder); }

void* q58w_alloc(size_t bytes) { return std::malloc(bytes); }
void q58w_free(void* block) { std::free(block); }
}
