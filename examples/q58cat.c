/* q58cat: decodes a .q58 file to a WAV file on standard output.
 *
 *   q58cat song.q58 | aplay
 *   q58cat song.q58 > song.wav
 *
 * The WAV header states the full length up front (a .q58 header knows it),
 * so players that read from a pipe need not seek. Exit status 1 on any
 * failure, with a message on standard error. */
#include <stdio.h>
#include <stdint.h>

#include <q58.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

static void put32(unsigned char* p, uint32_t v)
{
    p[0] = (unsigned char)v; p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16); p[3] = (unsigned char)(v >> 24);
}

int main(int argc, char** argv)
{
    static int16_t samples[2 * 4096];
    unsigned char header[44] = "RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0........\x04\0\x10\0data....";
    int status;
    uint64_t bytes;
    size_t got;
    q58_decoder* decoder;

    if (argc != 2) {
        fprintf(stderr, "usage: q58cat FILE.q58 > FILE.wav\n");
        return 1;
    }
    decoder = q58_decoder_open_file(argv[1], &status);
    if (!decoder) {
        fprintf(stderr, "q58cat: %s: %s\n", argv[1], q58_status_string(status));
        return 1;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    bytes = q58_decoder_length(decoder) * 4;
    if (bytes > 0xFFFFFFFFu - 36) bytes = (0xFFFFFFFFu - 36) / 4 * 4;
    put32(header + 4, (uint32_t)(36 + bytes));
    put32(header + 24, Q58_SAMPLE_RATE);
    put32(header + 28, Q58_SAMPLE_RATE * 4);
    put32(header + 40, (uint32_t)bytes);
    fwrite(header, 1, sizeof header, stdout);

    /* Samples are little-endian in a WAV file; this example assumes a
     * little-endian host. */
    while ((got = q58_decoder_read_s16(decoder, samples, 4096)) > 0) {
        if (fwrite(samples, 4, got, stdout) != got)
            break;
    }
    status = q58_decoder_status(decoder);
    q58_decoder_close(decoder);
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "q58cat: cannot write the output\n");
        return 1;
    }
    if (status != Q58_END_OF_STREAM) {
        fprintf(stderr, "q58cat: %s: %s\n", argv[1], q58_status_string(status));
        return 1;
    }
    return 0;
}
