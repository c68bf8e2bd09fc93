/* A program from outside the q58 tree, built against an installed libq58
 * (once through pkg-config, once through find_package) by
 * tools/library-check.sh. It decodes IN.q58, checks the count and the
 * status, seeks to the middle and compares one read with the straight
 * decode, and encodes what it decoded into OUT.q58.
 * Usage: consumer IN.q58 OUT.q58 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <q58.h>

int main(int argc, char** argv)
{
    int status;
    int16_t* all;
    int16_t again[2 * 100];
    uint64_t length, got, middle;
    q58_decoder* decoder;
    q58_encoder* encoder;

    if (argc != 3) return 2;
    decoder = q58_decoder_open_file(argv[1], &status);
    if (!decoder) {
        fprintf(stderr, "consumer: %s\n", q58_status_string(status));
        return 1;
    }
    length = q58_decoder_length(decoder);
    all = malloc((size_t)length * 4 + 4);
    if (!all) return 1;
    got = q58_decoder_read_s16(decoder, all, (size_t)length);
    if (got != length || q58_decoder_status(decoder) != Q58_END_OF_STREAM) {
        fprintf(stderr, "consumer: read %llu of %llu: %s\n", (unsigned long long)got,
                (unsigned long long)length, q58_status_string(q58_decoder_status(decoder)));
        return 1;
    }
    middle = length / 2 + 17;
    if (length >= 200 && (q58_decoder_seek(decoder, middle) != Q58_OK ||
                          q58_decoder_read_s16(decoder, again, 100) != 100 ||
                          memcmp(again, all + 2 * middle, sizeof again) != 0)) {
        fprintf(stderr, "consumer: seek gave other samples\n");
        return 1;
    }
    q58_decoder_close(decoder);

    encoder = q58_encoder_open_file(argv[2], &status);
    if (!encoder || q58_encoder_write_s16(encoder, all, (size_t)length) != Q58_OK ||
        (status = q58_encoder_close(encoder)) != Q58_OK) {
        fprintf(stderr, "consumer: encoding failed\n");
        return 1;
    }
    free(all);
    printf("consumer: libq58 %s decoded %llu sample frames\n", q58_version_string(), (unsigned long long)length);
    return 0;
}
