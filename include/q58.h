/*
 * q58.h: read and write .q58 compressed stereo audio.
 *
 * A .q58 file holds one stereo recording at 44100 sample frames per second,
 * 16-bit, coded as packets of 882 sample frames (1/50 s). This library
 * decodes such a file to interleaved 16-bit PCM (left, right, left, ...), in
 * any chunk size and with sample-exact seeking, and encodes PCM into a file
 * byte-identical to what the q58 converter writes for the same samples.
 *
 * Units. Every count and position is in sample frames (one left and one
 * right sample) and is 64-bit, unless a name says "packets".
 *
 * What a decoder gives. The samples are exactly those `q58 NAME.q58` writes
 * into NAME.q58.wav: one block of 882 sample frames per packet, the first of
 * them the codec's silent lead-in (the lapped transform delays the signal by
 * 882 sample frames), so a file made from n whole blocks decodes to n blocks.
 *
 * Threading. A handle has no lock inside: use each decoder or encoder from
 * one thread at a time. Different handles may be used on different threads
 * at once; the library keeps no mutable global state besides its constant
 * tables, which the first open builds once, safely. Callbacks run on the
 * thread that called into the library.
 *
 * Errors. Every function reports failure as a status (enum q58_status); the
 * library never prints, never exits and never aborts, and no C++ exception
 * leaves it.
 *
 * Limitations.
 * - Only the 16-bit stereo 44100 Hz layout exists. Float output
 *   (q58_decoder_read_float, q58_packet_decoder_decode_float) is the same
 *   16-bit samples as floats, each int16 value divided by 32768: no more
 *   precision than the s16 output.
 * - The encoder always uses the built-in codec parameters, writes to a file
 *   name (q58_encoder_*) or gives its packets to a callback
 *   (q58_packet_encoder_*), and stores whole packets only: up to 881 sample
 *   frames at the end of the input are not stored (the converter drops them
 *   too).
 * - A packet has no length field: finding packet n means walking the n
 *   packets before it. The first seek far into a file pays that walk (about
 *   0.15 s to the end of a one-hour file, see q58_decoder_seek); later
 *   seeks reuse the index it builds.
 * - A damaged file (a packet whose padding is not zero, or a file cut short)
 *   decodes up to the damage; q58_decoder_length does not know about damage
 *   it has not reached.
 */
#ifndef Q58_H
#define Q58_H

#include <stddef.h>
#include <stdint.h>

/* Q58_API marks the exported functions. Users, static or shared, define
 * nothing: only the library's own build defines Q58_BUILDING_LIBRARY. */
#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(Q58_BUILDING_LIBRARY)
#    define Q58_API __declspec(dllexport)
#  else
#    define Q58_API
#  endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#  define Q58_API __attribute__((visibility("default")))
#else
#  define Q58_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The release version this header belongs to (q58_version_string tells the
 * version of the library actually linked). The library's build checks these
 * against the version its CMake project declares. */
#define Q58_VERSION_MAJOR 1
#define Q58_VERSION_MINOR 1
#define Q58_VERSION_PATCH 0

/* The one audio layout: 2 channels, 44100 sample frames per second, 16 bits. */
#define Q58_CHANNELS 2
#define Q58_SAMPLE_RATE 44100
/* Sample frames per packet. */
#define Q58_FRAMES_PER_PACKET 882

/* Statuses. Values are fixed and never reused; new ones are appended. */
typedef enum q58_status {
    Q58_OK = 0,                   /* success; a decoder has more to read */
    Q58_END_OF_STREAM = 1,        /* a decoder has delivered its last sample frame (not an error) */
    Q58_ERROR_INVALID_ARGUMENT = 2, /* a NULL handle or buffer, or a position past the end: fix the call */
    Q58_ERROR_IO = 3,             /* the file could not be opened, read, written or replaced, or a callback failed */
    Q58_ERROR_NOT_Q58 = 4,        /* the data does not start with the q58 magic: not this format */
    Q58_ERROR_DAMAGED = 5,        /* a .q58 whose header or packets are damaged or cut short */
    Q58_ERROR_UNSUPPORTED = 6,    /* a .q58 whose codec parameters this decoder cannot use */
    Q58_ERROR_OUT_OF_MEMORY = 7,  /* an allocation failed; the handle is unchanged */
    Q58_ERROR_UNSEEKABLE = 8,     /* seeking needs an input that can seek (callbacks without seek) */
    Q58_ERROR_TOO_LONG = 9,       /* more packets than a .q58 header can count (2^31 - 1) */
    Q58_NEED_MORE_DATA = 10       /* the bytes given end inside a packet: give more (not an error) */
} q58_status;

/* The library's release version, "MAJOR.MINOR.PATCH". Static storage; never NULL. */
Q58_API const char* q58_version_string(void);

/* A short English description of a status, for messages. Static storage;
 * never NULL (an unknown value gives "unknown status"). */
Q58_API const char* q58_status_string(int status);

/* ------------------------------------------------------------------------
 * Decoder
 * ------------------------------------------------------------------------ */

typedef struct q58_decoder q58_decoder;

/* Input through the caller's functions. Both run on the calling thread,
 * only inside q58_decoder_* calls on the decoder they were given to.
 * read: store up to size bytes at buffer; return the number stored (fewer
 *   than size is fine; 0 means the end of the data) or -1 for a failure.
 * seek: move to byte offset (from the start of the data); return 0 on
 *   success, any other value for a failure. May be NULL for an input that
 *   cannot seek: the decoder then reads straight through and
 *   q58_decoder_seek returns Q58_ERROR_UNSEEKABLE. */
typedef struct q58_io_callbacks {
    int64_t (*read)(void* user, void* buffer, size_t size);
    int (*seek)(void* user, uint64_t offset);
} q58_io_callbacks;

/* Opens the .q58 file at path (a narrow byte string, as fopen takes it) and
 * reads its 76-byte header. Packets are read as samples are asked for.
 * status (out, optional, may be NULL) receives:
 *   Q58_OK; Q58_ERROR_INVALID_ARGUMENT (path NULL); Q58_ERROR_IO (cannot
 *   open or read); Q58_ERROR_NOT_Q58; Q58_ERROR_DAMAGED (header cut short);
 *   Q58_ERROR_UNSUPPORTED; Q58_ERROR_OUT_OF_MEMORY.
 * Returns the decoder, or NULL on any failure. The file stays open until
 * q58_decoder_close. */
Q58_API q58_decoder* q58_decoder_open_file(const char* path, int* status);

/* As q58_decoder_open_file, over size bytes at data. The block is borrowed,
 * not copied: it must stay unchanged until q58_decoder_close. data may be
 * NULL only when size is 0 (which gives Q58_ERROR_NOT_Q58). */
Q58_API q58_decoder* q58_decoder_open_memory(const void* data, size_t size, int* status);

/* As q58_decoder_open_file, over the caller's read and seek functions.
 * callbacks is copied; user is passed to every call and is the caller's to
 * free after q58_decoder_close. callbacks or callbacks->read NULL gives
 * Q58_ERROR_INVALID_ARGUMENT. The data must start at offset 0 and must not
 * change while the decoder is open. */
Q58_API q58_decoder* q58_decoder_open_callbacks(const q58_io_callbacks* callbacks, void* user, int* status);

/* Frees the decoder and closes its file (not the caller's callback data).
 * NULL is ignored. */
Q58_API void q58_decoder_close(q58_decoder* decoder);

/* The sample frames the file decodes to: 882 per packet the header counts,
 * as `q58 NAME.q58` writes them (0 for NULL). A damaged file ends sooner. */
Q58_API uint64_t q58_decoder_length(const q58_decoder* decoder);

/* The sample frame the next read starts at, 0..length (0 for NULL). */
Q58_API uint64_t q58_decoder_position(const q58_decoder* decoder);

/* Decodes up to frames sample frames into interleaved (out, 2 * frames
 * int16 values, left first). Returns the sample frames written: fewer than
 * asked only at the end of the stream or on a failure, and
 * q58_decoder_status then says which (Q58_END_OF_STREAM, or an error such
 * as Q58_ERROR_DAMAGED or Q58_ERROR_IO). A failure leaves every sample
 * frame before it delivered. frames 0 reads nothing and returns 0;
 * decoder or interleaved NULL returns 0 and sets nothing.
 * Cost: one packet decoded per 882 sample frames. */
Q58_API size_t q58_decoder_read_s16(q58_decoder* decoder, int16_t* interleaved, size_t frames);

/* The decoder's state after its last open, read or seek:
 *   Q58_OK: more sample frames to read;
 *   Q58_END_OF_STREAM: every sample frame has been read (position = length);
 *   an error status: the last read or seek failed (the damage or I/O error
 *   that stopped it). A read after an error tries again from the position
 *   reached; a successful seek clears it.
 * Q58_ERROR_INVALID_ARGUMENT for NULL. */
Q58_API int q58_decoder_status(const q58_decoder* decoder);

/* Moves to sample frame `frame` (0..length; length means the end), so that
 * the next read returns exactly the samples a decode from the start gives
 * there. Returns Q58_OK (the status becomes Q58_OK, or Q58_END_OF_STREAM at
 * the end), or: Q58_ERROR_INVALID_ARGUMENT (NULL, or frame > length);
 * Q58_ERROR_UNSEEKABLE; Q58_ERROR_DAMAGED (the packets up to frame are
 * damaged or cut short); Q58_ERROR_IO; Q58_ERROR_OUT_OF_MEMORY. A failed
 * seek changes nothing: the position and status stay as they were.
 * Cost: the first seek past the packets seen so far (read or walked) walks
 * the packets in between without decoding them, about 0.85 microseconds per
 * packet, so about 0.15 s to the end of a one-hour file. The noise
 * generator's state at the target comes from a built-in table of its states
 * every 2^17 draws and at most 2^17 steps of its recurrence (up to 0.2 ms).
 * The walk is kept as an index (40 bytes per 16 packets), so any later seek
 * to a place seen before, backward or forward, costs at most 15 packet steps
 * and two packets decoded (about 0.1 ms), plus up to 0.2 ms the first time
 * a seek lands in a stretch of 16 packets that was only walked past. */
Q58_API int q58_decoder_seek(q58_decoder* decoder, uint64_t frame);

/* The number of packets the header counts (0 for NULL or a negative count). */
Q58_API uint32_t q58_decoder_packet_count(const q58_decoder* decoder);

/* The codec parameters stored in the header, by name. */
typedef enum q58_parameter {
    Q58_PARAMETER_GAIN_LEVEL_MIN = 0,
    Q58_PARAMETER_GAIN_LEVEL_MAX = 1,
    Q58_PARAMETER_GAIN_BITS = 2,
    Q58_PARAMETER_LEVEL_RANGE = 3,
    Q58_PARAMETER_PHASE_BINS = 4,
    Q58_PARAMETER_PHASE_BANDS = 5,
    Q58_PARAMETER_PHASE_BITS = 6,
    Q58_PARAMETER_BALANCE_BINS = 7,
    Q58_PARAMETER_BALANCE_BANDS = 8,
    Q58_PARAMETER_BALANCE_BITS = 9,
    Q58_PARAMETER_BALANCE_SCALE = 10, /* the one non-integer: a 32-bit float */
    Q58_PARAMETER_NOISE_BINS = 11,
    Q58_PARAMETER_NOISE_BANDS = 12,
    Q58_PARAMETER_NOISE_BITS = 13,
    Q58_PARAMETER_TONE_BINS = 14,
    Q58_PARAMETER_TONE_COUNT = 15,
    Q58_PARAMETER_TONE_BITS = 16
} q58_parameter;

/* Stores the value of one header parameter at value (out; exact, since
 * every field is a 32-bit integer or float). Returns Q58_OK, or
 * Q58_ERROR_INVALID_ARGUMENT for NULL or an unknown parameter. */
Q58_API int q58_decoder_parameter(const q58_decoder* decoder, int parameter, double* value);

/* ------------------------------------------------------------------------
 * Encoder
 * ------------------------------------------------------------------------ */

typedef struct q58_encoder q58_encoder;

/* Starts a .q58 file at path (a narrow byte string). The data goes to a new
 * temporary file next to path; q58_encoder_close completes it, forces it to
 * disk and renames it over path, so path never holds a partial file and an
 * existing file there is replaced only by a complete one.
 * If path is a symbolic link, the file it leads to is replaced.
 * status (out, optional) receives Q58_OK, Q58_ERROR_INVALID_ARGUMENT (path
 * NULL), Q58_ERROR_IO (the temporary file cannot be created, or path names
 * something other than a regular file, such as a directory) or
 * Q58_ERROR_OUT_OF_MEMORY. Returns NULL on failure. */
Q58_API q58_encoder* q58_encoder_open_file(const char* path, int* status);

/* Encodes frames sample frames from interleaved (in, 2 * frames int16
 * values, left first), in any chunk size: each 882 sample frames make one
 * packet, and a remainder waits for the next call. Returns Q58_OK, or the
 * first error so far (Q58_ERROR_IO, Q58_ERROR_TOO_LONG,
 * Q58_ERROR_OUT_OF_MEMORY), after which writes change nothing;
 * Q58_ERROR_INVALID_ARGUMENT for NULL (interleaved may be NULL when frames is 0). */
Q58_API int q58_encoder_write_s16(q58_encoder* encoder, const int16_t* interleaved, size_t frames);

/* Completes the file (packet count in the header), replaces path with it and
 * frees the encoder. The fewer than 882 sample frames still waiting are not
 * stored. Returns Q58_OK, or the first error met since open (the temporary
 * file is then removed and path left as it was). NULL gives
 * Q58_ERROR_INVALID_ARGUMENT. */
Q58_API int q58_encoder_close(q58_encoder* encoder);

/* Frees the encoder without completing the file: the temporary file is
 * removed and path left as it was. NULL is ignored. */
Q58_API void q58_encoder_discard(q58_encoder* encoder);

/* The container header's size in bytes, and the most bytes one packet takes. */
#define Q58_HEADER_BYTES 76
#define Q58_MAX_PACKET_BYTES 1024

/* As q58_decoder_read_s16, into floats: each sample is exactly the int16
 * value the s16 read gives, divided by 32768 (so -1 <= x < 1 and the two
 * reads agree bit for bit). */
Q58_API size_t q58_decoder_read_float(q58_decoder* decoder, float* interleaved, size_t frames);

/* ------------------------------------------------------------------------
 * Packet decoder: for frameworks that frame the stream themselves and push
 * packets (a GStreamer parser + decoder, a browser worker). No I/O inside.
 * ------------------------------------------------------------------------ */

typedef struct q58_packet_decoder q58_packet_decoder;

/* Opens a packet decoder from the file's header (its first
 * Q58_HEADER_BYTES bytes; bytes after them are ignored). status (optional):
 * Q58_OK; Q58_ERROR_INVALID_ARGUMENT (header NULL with size > 0);
 * Q58_ERROR_NOT_Q58 (fewer than 4 bytes, or not the magic, as
 * q58_decoder_open_memory judges it); Q58_ERROR_DAMAGED (the magic, but
 * fewer than Q58_HEADER_BYTES bytes);
 * Q58_ERROR_UNSUPPORTED; Q58_ERROR_OUT_OF_MEMORY. NULL on failure. */
Q58_API q58_packet_decoder* q58_packet_decoder_open(const void* header, size_t size, int* status);

/* Frees the decoder. NULL is ignored. */
Q58_API void q58_packet_decoder_close(q58_packet_decoder* decoder);

/* The packet count the header holds (0 for NULL or a negative count). */
Q58_API uint32_t q58_packet_decoder_packet_count(const q58_packet_decoder* decoder);

/* As q58_decoder_parameter. */
Q58_API int q58_packet_decoder_parameter(const q58_packet_decoder* decoder, int parameter, double* value);

/* Measures the packet that starts at data without decoding its samples and
 * without changing the decoder: *packet_bytes receives its length (1 to
 * Q58_MAX_PACKET_BYTES). Returns Q58_OK; Q58_NEED_MORE_DATA (data ends
 * inside the packet; never with Q58_MAX_PACKET_BYTES bytes or more);
 * Q58_ERROR_DAMAGED (the packet's padding bits are not zero);
 * Q58_ERROR_INVALID_ARGUMENT (NULL decoder or packet_bytes, or data NULL
 * with size > 0). Cost: about a microsecond. */
Q58_API int q58_packet_decoder_measure(const q58_packet_decoder* decoder, const void* data, size_t size, size_t* packet_bytes);

/* Decodes the packet at the start of data (data may go on past it) into
 * interleaved (2 * Q58_FRAMES_PER_PACKET values). *consumed receives the
 * packet's length and *frames the sample frames written: 882, or 0 when the
 * packet only primed the overlap after q58_packet_decoder_reset to a packet
 * index above 0. Returns Q58_OK; Q58_NEED_MORE_DATA or Q58_ERROR_DAMAGED
 * (nothing consumed, *frames 0, the decoder unchanged: the same packet can
 * be given again with more bytes); Q58_ERROR_INVALID_ARGUMENT (a NULL
 * pointer other than data with size 0). A fresh decoder decoding a file's
 * packets in order gives exactly the blocks q58_decoder_read_s16 gives. */
Q58_API int q58_packet_decoder_decode_s16(q58_packet_decoder* decoder, const void* data, size_t size,
                                          size_t* consumed, int16_t* interleaved, size_t* frames);

/* As q58_packet_decoder_decode_s16, into floats (int16 value / 32768). */
Q58_API int q58_packet_decoder_decode_float(q58_packet_decoder* decoder, const void* data, size_t size,
                                            size_t* consumed, float* interleaved, size_t* frames);

/* Prepares the decoder for packets from packet_index on, as after a seek:
 * forgets the overlap and sets the noise generator to its state at the
 * start of that packet (from the built-in table of its states every 2^17
 * draws: at most 2^17 steps of its recurrence, up to 0.2 ms, for indexes up
 * to 3050402, about 16.9 hours; past the table each further packet adds 704
 * steps, so resets beyond the first day of audio get slow). packet_index
 * 0 gives a fresh decoder. Above 0, the next packet decoded is taken as
 * packet packet_index and only primes the overlap (it gives 0 frames);
 * every packet after it gives the file's exact samples. So, to play from
 * sample frame f sample-exactly, with p = f / 882: when p < 2, reset to 0,
 * feed packets from packet 0 and drop the first f frames; otherwise reset
 * to p - 1, feed packets from packet p - 1 and drop the first f - 882 * p
 * frames given. Returns Q58_OK, Q58_ERROR_INVALID_ARGUMENT (NULL) or
 * Q58_ERROR_OUT_OF_MEMORY (the decoder is then unchanged). */
Q58_API int q58_packet_decoder_reset(q58_packet_decoder* decoder, uint32_t packet_index);

/* The index of the packet the decoder takes next (0 for NULL). */
Q58_API uint32_t q58_packet_decoder_next_packet(const q58_packet_decoder* decoder);

/* ------------------------------------------------------------------------
 * Packet encoder: gives each packet to the caller as it is made.
 * ------------------------------------------------------------------------ */

typedef struct q58_packet_encoder q58_packet_encoder;

/* Receives one packet (size bytes at packet, valid only during the call)
 * with its index from 0. Runs on the thread that called
 * q58_packet_encoder_write_s16. Return 0 to go on; any other value fails
 * the encoder with Q58_ERROR_IO. */
typedef int (*q58_packet_callback)(void* user, const void* packet, size_t size, uint32_t packet_index);

/* Opens an encoder with the built-in codec parameters that passes each
 * packet to on_packet. status (optional): Q58_OK,
 * Q58_ERROR_INVALID_ARGUMENT (on_packet NULL), Q58_ERROR_OUT_OF_MEMORY.
 * NULL on failure. A file is the header (q58_packet_encoder_header) followed
 * by the packets in order; it is byte-identical to the converter's. */
Q58_API q58_packet_encoder* q58_packet_encoder_open(q58_packet_callback on_packet, void* user, int* status);

/* As q58_encoder_write_s16: each 882 sample frames make one packet, given to
 * the callback before this returns; a remainder waits. Returns Q58_OK or the
 * first error so far (Q58_ERROR_IO from the callback, Q58_ERROR_TOO_LONG,
 * Q58_ERROR_OUT_OF_MEMORY), after which writes change nothing;
 * Q58_ERROR_INVALID_ARGUMENT for NULL. */
Q58_API int q58_packet_encoder_write_s16(q58_packet_encoder* encoder, const int16_t* interleaved, size_t frames);

/* Stores at header (Q58_HEADER_BYTES bytes) the container header for the
 * packets made so far (its count = q58_packet_encoder_packet_count). Write it
 * first (count 0) and again over the start at the end; the fewer than 882
 * sample frames still waiting are never stored. Returns Q58_OK or
 * Q58_ERROR_INVALID_ARGUMENT (NULL). */
Q58_API int q58_packet_encoder_header(const q58_packet_encoder* encoder, void* header);

/* Packets made so far (0 for NULL). */
Q58_API uint32_t q58_packet_encoder_packet_count(const q58_packet_encoder* encoder);

/* Frees the encoder. NULL is ignored. */
Q58_API void q58_packet_encoder_close(q58_packet_encoder* encoder);

#ifdef __cplusplus
}
#endif

#endif /* Q58_H */
