/* Times the library through its public API on one .q58 file:
 *   - decoding the whole file in chunks of 4096 sample frames;
 *   - a cold seek to the last sample frame of a freshly opened decoder
 *     (open, index walk and the seek itself) and reading that frame;
 *   - warm seeks on the same decoder: back to 0, to the end again, and to
 *     seeded random points (the mean).
 * Usage: q58_api_bench FILE.q58 */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <q58.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static int fail(const char* what, int status)
{
    fprintf(stderr, "q58_api_bench: %s: %s\n", what, q58_status_string(status));
    return 1;
}

int main(int argc, char** argv)
{
    static int16_t chunk[2 * 4096];
    q58_decoder* decoder;
    int status, i;
    uint64_t length, frames = 0;
    double t0, decodeSeconds, coldSeconds, backSeconds, endSeconds, randomSeconds;
    size_t got;
    unsigned long long r = 12345;

    if (argc != 2) {
        fprintf(stderr, "usage: q58_api_bench FILE.q58\n");
        return 1;
    }
    t0 = now();
    decoder = q58_decoder_open_file(argv[1], &status);
    if (!decoder) return fail("open", status);
    while ((got = q58_decoder_read_s16(decoder, chunk, 4096)) > 0) frames += got;
    decodeSeconds = now() - t0;
    if (q58_decoder_status(decoder) != Q58_END_OF_STREAM) return fail("decode", q58_decoder_status(decoder));
    q58_decoder_close(decoder);
    length = frames;

    t0 = now();
    decoder = q58_decoder_open_file(argv[1], &status);
    if (!decoder) return fail("open", status);
    if ((status = q58_decoder_seek(decoder, length - 1)) != Q58_OK) return fail("cold seek", status);
    if (q58_decoder_read_s16(decoder, chunk, 1) != 1) return fail("read after seek", q58_decoder_status(decoder));
    coldSeconds = now() - t0;

    t0 = now();
    if ((status = q58_decoder_seek(decoder, 0)) != Q58_OK) return fail("seek to 0", status);
    q58_decoder_read_s16(decoder, chunk, 1);
    backSeconds = now() - t0;

    t0 = now();
    if ((status = q58_decoder_seek(decoder, length - 1)) != Q58_OK) return fail("warm seek", status);
    q58_decoder_read_s16(decoder, chunk, 1);
    endSeconds = now() - t0;

    t0 = now();
    for (i = 0; i < 1000; ++i) {
        r = r * 6364136223846793005ull + 1442695040888963407ull;
        if ((status = q58_decoder_seek(decoder, (r >> 11) % length)) != Q58_OK) return fail("random seek", status);
        q58_decoder_read_s16(decoder, chunk, 1);
    }
    randomSeconds = (now() - t0) / 1000;
    q58_decoder_close(decoder);

    printf("audio: %.1f s (%llu sample frames)\n", (double)length / Q58_SAMPLE_RATE, (unsigned long long)length);
    printf("decode through the API: %.3f s, %.0fx real time\n", decodeSeconds,
           (double)length / Q58_SAMPLE_RATE / decodeSeconds);
    printf("cold seek to the last frame (open, index walk, seek, read 1): %.1f ms\n", coldSeconds * 1e3);
    printf("warm seek back to 0 (+ read 1): %.3f ms\n", backSeconds * 1e3);
    printf("warm seek to the last frame (+ read 1): %.3f ms\n", endSeconds * 1e3);
    printf("warm seek to a random frame (+ read 1), mean of 1000: %.3f ms\n", randomSeconds * 1e3);
    return 0;
}
