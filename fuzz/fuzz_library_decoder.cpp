// The library decoder's read and seek contract (include/q58.h) over
// arbitrary containers. The input's first byte gives a number of operations
// (0..15), each three bytes (a kind, a 16-bit argument); the bytes after them
// are a .q58 file, decoded through q58_decoder_open_memory. A second decoder
// first reads the file straight through in one call; then the operations
// (reads of odd sizes, seeks forward, backward, to 0, to the length, past
// it) run on a fresh decoder, and after every step:
// - the position never passes the length, and the status agrees with it
//   (end of stream exactly at the length, OK only before it, damage only
//   where the straight read found it; a memory block never fails to read);
// - a read gives exactly the straight read's samples from the position on,
//   and stops short only where the straight read stopped, with its status;
// - a seek to a place the straight read decoded succeeds and lands there; a
//   seek into the damage or past the length fails and changes nothing;
// and a final read to the end stops where the straight read did, with the
// same status (Q58_ERROR_DAMAGED for a damaged file).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "q58.h"

// A property of the contract does not hold: report and crash, so that
// libFuzzer saves the input.
#define LIBRARY_CHECK(condition)                                                                         \
    do {                                                                                                 \
        if (!(condition)) {                                                                              \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);          \
            std::abort();                                                                                \
        }                                                                                                \
    } while (0)

namespace {

// Sample frames the straight read decodes at most: keeps every run in the
// milliseconds whatever frame count the header claims. Past it nothing is
// known, so reads and seeks then stay within it.
constexpr uint64_t maxFrames = 64 * Q58_FRAMES_PER_PACKET;

struct Straight {
    std::vector<int16_t> samples;
    uint64_t frames = 0;  // decoded without a failure
    int status = Q58_OK;  // of the straight read
    bool complete = false;  // it reached the end or the damage
};

class Checked {
public:
    Checked(q58_decoder* decoder, const Straight& straight)
        : decoder(decoder), straight(straight), length(q58_decoder_length(decoder))
    {
    }

    // How far reads and seeks may go and still be checked.
    uint64_t reach() const { return straight.complete ? length : straight.frames; }
    uint64_t position() const { return q58_decoder_position(decoder); }

    void consistent() const
    {
        const uint64_t at = position();
        const int status = q58_decoder_status(decoder);
        LIBRARY_CHECK(at <= length);
        LIBRARY_CHECK((status == Q58_END_OF_STREAM) == (at == length));
        LIBRARY_CHECK(status == Q58_OK || status == Q58_END_OF_STREAM || status == Q58_ERROR_DAMAGED);
        if (status == Q58_ERROR_DAMAGED)
            LIBRARY_CHECK(straight.complete && straight.status == Q58_ERROR_DAMAGED && at == straight.frames);
    }

    void read(uint64_t frames)
    {
        const uint64_t from = position();
        if (!straight.complete) frames = std::min(frames, straight.frames - from);
        if (frames == 0) return;
        buffer.assign(2 * frames, 0);
        const uint64_t got = q58_decoder_read_s16(decoder, buffer.data(), frames);
        LIBRARY_CHECK(got <= frames && from + got <= straight.frames);
        LIBRARY_CHECK(std::equal(buffer.begin(), buffer.begin() + static_cast<long>(2 * got),
                                 straight.samples.begin() + static_cast<long>(2 * from)));
        LIBRARY_CHECK(position() == from + got);
        const int status = q58_decoder_status(decoder);
        if (got < frames) {
            LIBRARY_CHECK(from + got == straight.frames && status == straight.status);
        } else {
            LIBRARY_CHECK(status == (from + got == length ? Q58_END_OF_STREAM : Q58_OK));
        }
        consistent();
    }

    void seek(uint64_t target)
    {
        const uint64_t from = position();
        const int before = q58_decoder_status(decoder);
        const int result = q58_decoder_seek(decoder, target);
        if (target <= straight.frames) {
            LIBRARY_CHECK(result == Q58_OK);
            LIBRARY_CHECK(position() == target);
            LIBRARY_CHECK(q58_decoder_status(decoder) == (target == length ? Q58_END_OF_STREAM : Q58_OK));
        } else {
            // Past the length, or into the damage the straight read met.
            LIBRARY_CHECK(result == (target > length ? Q58_ERROR_INVALID_ARGUMENT : straight.status));
            LIBRARY_CHECK(position() == from);
            LIBRARY_CHECK(q58_decoder_status(decoder) == before);
        }
        consistent();
    }

    // Reads what is left and checks that it ends where the straight read did.
    void finish()
    {
        if (!straight.complete) return;
        read(straight.frames - position() + 1);
        LIBRARY_CHECK(position() == straight.frames);
        LIBRARY_CHECK(q58_decoder_status(decoder) == straight.status);
    }

private:
    q58_decoder* decoder;
    const Straight& straight;
    const uint64_t length;
    std::vector<int16_t> buffer;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const size_t operations = std::min<size_t>(data[0] % 16, (size - 1) / 3);
    const uint8_t* ops = data + 1;
    const uint8_t* file = ops + 3 * operations;
    const size_t fileSize = size - 1 - 3 * operations;

    int status = -1;
    q58_decoder* reference = q58_decoder_open_memory(file, fileSize, &status);
    if (reference == nullptr) {
        LIBRARY_CHECK(status == Q58_ERROR_NOT_Q58 || status == Q58_ERROR_DAMAGED || status == Q58_ERROR_UNSUPPORTED);
        return 0;
    }
    LIBRARY_CHECK(status == Q58_OK);
    const uint64_t length = q58_decoder_length(reference);
    LIBRARY_CHECK(length == uint64_t{q58_decoder_packet_count(reference)} * Q58_FRAMES_PER_PACKET);
    LIBRARY_CHECK(q58_decoder_position(reference) == 0);
    LIBRARY_CHECK(q58_decoder_status(reference) == (length == 0 ? Q58_END_OF_STREAM : Q58_OK));

    Straight straight;
    const uint64_t asked = std::min(length, maxFrames) + 1;
    straight.samples.resize(2 * asked);
    straight.frames = q58_decoder_read_s16(reference, straight.samples.data(), asked);
    straight.status = q58_decoder_status(reference);
    q58_decoder_close(reference);
    straight.complete = straight.frames < asked;
    if (straight.complete) {
        // Stopped by the end or by damage, never by a failing read, and
        // damage stops reading at a packet's edge.
        LIBRARY_CHECK(straight.status == (straight.frames == length ? Q58_END_OF_STREAM : Q58_ERROR_DAMAGED));
        LIBRARY_CHECK(straight.frames % Q58_FRAMES_PER_PACKET == 0);
    } else {
        straight.frames = asked - 1;
        LIBRARY_CHECK(straight.status == Q58_OK);
    }

    q58_decoder* decoder = q58_decoder_open_memory(file, fileSize, &status);
    LIBRARY_CHECK(decoder != nullptr && status == Q58_OK);
    Checked checked(decoder, straight);
    checked.consistent();
    for (size_t i = 0; i < operations; ++i) {
        const uint8_t kind = ops[3 * i];
        const uint64_t argument = ops[3 * i + 1] | static_cast<uint64_t>(ops[3 * i + 2]) << 8;
        const uint64_t at = checked.position();
        const uint64_t reach = checked.reach();
        switch (kind % 7) {
            case 0: checked.read(argument % 2000 + 1); break;
            case 1: checked.read(argument * 3 + 1); break;
            case 2: checked.seek(std::min(at + argument, reach)); break;
            case 3: checked.seek(at - std::min(at, argument)); break;
            case 4: checked.seek(kind & 0x80 ? 0 : reach); break;
            case 5: checked.seek(argument * (reach + 1) / 65536); break;
            case 6: checked.seek(length + 1 + argument % 3); break;
        }
    }
    checked.finish();
    q58_decoder_close(decoder);
    return 0;
}
