/* Encodes generated stereo material into a .q58 file through the library
 * encoder, the way a program using libq58 would:
 *
 *   encode_file OUT.q58 FRAMES
 *
 * FRAMES sample frames of three tones with a little noise, written in
 * chunks of 1000 frames. The exit status is the library's status: 0
 * (Q58_OK) when the file was completed, else the first error from
 * q58_encoder_open_file, q58_encoder_write_s16 or q58_encoder_close, with
 * one line on standard error naming the file. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "q58.h"

enum { chunkFrames = 1000 };
static const double twoPi = 6.28318530717958647692;

static int failed(const char* path, const char* step, int status)
{
    fprintf(stderr, "encode_file: '%s': %s gave status %d\n", path, step, status);
    return status;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: encode_file OUT.q58 FRAMES\n");
        return 2;
    }
    const char* path = argv[1];
    const long frames = strtol(argv[2], NULL, 10);
    int status = Q58_OK;
    q58_encoder* encoder = q58_encoder_open_file(path, &status);
    if (encoder == NULL)
        return failed(path, "q58_encoder_open_file", status);

    static int16_t chunk[2 * chunkFrames];
    unsigned noise = 12345;
    for (long done = 0; done < frames;) {
        const long n = frames - done < chunkFrames ? frames - done : chunkFrames;
        for (long i = 0; i < n; ++i) {
            const double t = (double)(done + i) / 44100.0;
            noise = noise * 1103515245u + 12345u;
            const double hiss = (double)((noise >> 16) & 0x3FF) - 512.0;
            const double left = 4000.0 * sin(twoPi * 220.0 * t) + 3000.0 * sin(twoPi * 330.0 * t) + hiss;
            const double right = 3500.0 * sin(twoPi * 277.2 * t + 0.5) + 2500.0 * sin(twoPi * 440.0 * t) - hiss;
            chunk[2 * i] = (int16_t)lrint(left);
            chunk[2 * i + 1] = (int16_t)lrint(right);
        }
        status = q58_encoder_write_s16(encoder, chunk, (size_t)n);
        if (status != Q58_OK) {
            q58_encoder_discard(encoder);
            return failed(path, "q58_encoder_write_s16", status);
        }
        done += n;
    }
    status = q58_encoder_close(encoder);
    return status == Q58_OK ? 0 : failed(path, "q58_encoder_close", status);
}
