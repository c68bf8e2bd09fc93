// The decoder's seek and byte-source contract through the public API: a
// seek that fails at any call of the caller's functions changes neither the
// position nor the status; a seek from any earlier state, then a read, gives
// the straight decode from there; after damage stopped reading, seeks before
// it still work; sources that deliver one byte at a time, or fail half way,
// decode exactly up to where they fail.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_material.h"
#include "callback_input.h"
#include "q58.h"

namespace {

constexpr uint64_t packet = Q58_FRAMES_PER_PACKET;

q58_decoder* openCallbacks(CallbackInput& input, const std::vector<uint8_t>& bytes, size_t largestRead,
                           bool seekable = true)
{
    input = CallbackInput{};
    input.bytes = &bytes;
    input.largestRead = largestRead;
    const q58_io_callbacks io = seekable ? CallbackInput::seekable() : CallbackInput::forwardOnly();
    return q58_decoder_open_callbacks(&io, &input, nullptr);
}

// Reads frames sample frames and drops them.
void skip(q58_decoder* decoder, size_t frames)
{
    std::vector<int16_t> buffer(2 * frames);
    ASSERT_EQ(q58_decoder_read_s16(decoder, buffer.data(), frames), frames);
}

// Failures the running test has reported so far.
int failuresSoFar()
{
    return testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

// The material's file cut inside a packet after about 60 % of its bytes.
const std::vector<uint8_t>& cutFile()
{
    static const std::vector<uint8_t> cut = [] {
        const std::vector<uint8_t>& whole = apiMaterial().q58Bytes;
        return std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 6 / 10));
    }();
    return cut;
}

TEST(DecoderSeekContract, AFailingSeekChangesNothingWhicheverCallFails)
{
    const std::vector<uint8_t>& intact = apiMaterial().q58Bytes;
    const std::vector<uint8_t>& cut = cutFile();
    const StraightDecode straightIntact = straightDecode(intact);
    const StraightDecode straightCut = straightDecode(cut);
    ASSERT_EQ(straightCut.endStatus, Q58_ERROR_DAMAGED);
    const uint64_t damageAt = straightCut.frames();  // the cut file's first undecodable frame
    const uint64_t length = straightIntact.frames();

    enum class Fails { read, seek, seekThatRewinds };
    const struct {
        const char* what;
        bool damaged;     // the cut file instead of the intact one
        uint64_t seekTo;  // the starting state: a seek there (none for 0), then
        size_t thenRead;  // a read of this many frames
        uint64_t target;
        Fails fails;
    } cases[] = {
        {"fresh, far forward", false, 0, 0, 120 * packet + 300, Fails::read},
        {"mid packet after reading, far forward", false, 0, 5 * packet + 100, 120 * packet + 300, Fails::read},
        {"mid packet after a seek, backward", false, 60 * packet + 17, 0, 3 * packet + 1, Fails::read},
        {"after reading to a checkpoint, into packet 0", false, 0, 16 * packet, 441, Fails::read},
        {"mid packet after a seek, to the length", false, 70 * packet + 5, 10, length, Fails::read},
        {"fresh, far forward, seek fails", false, 0, 0, 120 * packet + 300, Fails::seek},
        {"mid packet after a seek, backward, seek fails", false, 60 * packet + 17, 0, 3 * packet + 1, Fails::seek},
        {"mid packet after reading, far forward, the failing seek rewinds", false, 0, 5 * packet + 100,
         120 * packet + 300, Fails::seekThatRewinds},
        {"mid packet after a seek, backward, the failing seek rewinds", false, 60 * packet + 17, 0,
         3 * packet + 1, Fails::seekThatRewinds},
        // Near the damage everything a seek needs is already buffered, so
        // these start far from it.
        {"damaged, mid packet near the start, to the length", true, 2 * packet + 9, 0, length, Fails::read},
        {"damaged, mid packet near the start, into the damaged packet", true, 3 * packet + 5, 0, damageAt + 5,
         Fails::read},
        {"damaged, after reading near the start, into the damaged packet, seek fails", true, 0, 2 * packet,
         damageAt + 5, Fails::seek},
    };
    for (const auto& c : cases) {
        const StraightDecode& straight = c.damaged ? straightCut : straightIntact;
        const int undisturbed = c.target <= straight.frames() ? Q58_OK : Q58_ERROR_DAMAGED;
        bool ranItsCourse = false;
        int failedCalls = 0;
        const int failuresBefore = failuresSoFar();
        // Up to the first call that shows a fault: one is enough for a case.
        for (int n = 0; n < 1000 && !ranItsCourse && failuresSoFar() == failuresBefore; ++n) {
            SCOPED_TRACE(std::string(c.what) + ", call " + std::to_string(n) + " of the seek fails");
            CallbackInput input;
            q58_decoder* decoder = openCallbacks(input, c.damaged ? cut : intact, 64);
            if (decoder == nullptr) {
                ADD_FAILURE() << "cannot open";
                break;
            }
            if (c.seekTo > 0 && q58_decoder_seek(decoder, c.seekTo) != Q58_OK) {
                ADD_FAILURE() << "the seek to the starting point failed";
                q58_decoder_close(decoder);
                break;
            }
            skip(decoder, c.thenRead);
            const uint64_t position = q58_decoder_position(decoder);
            const int status = q58_decoder_status(decoder);
            if (c.fails == Fails::read) {
                input.failReadCall = input.reads + n;
            } else {
                input.failSeekCall = input.seeks + n;
                input.failedSeekRewinds = c.fails == Fails::seekThatRewinds;
            }

            const int result = q58_decoder_seek(decoder, c.target);
            ranItsCourse = c.fails == Fails::read ? input.reads <= input.failReadCall
                                                  : input.seeks <= input.failSeekCall;
            input.failReadCall = input.failSeekCall = -1;
            failedCalls += !ranItsCourse;
            if (ranItsCourse) {
                EXPECT_EQ(result, undisturbed);
            } else if (result == Q58_OK) {
                // The failure came in a part the seek could do without.
                EXPECT_EQ(q58_decoder_position(decoder), c.target);
            } else {
                EXPECT_TRUE(result == Q58_ERROR_IO || result == undisturbed) << "seek gave " << result;
                EXPECT_EQ(q58_decoder_position(decoder), position);
                EXPECT_EQ(q58_decoder_status(decoder), status);
            }
            // Whatever happened, reading on gives the straight decode.
            SCOPED_TRACE("the seek gave " + std::to_string(result) + ", status " +
                         std::to_string(q58_decoder_status(decoder)));
            expectStraightRead(decoder, straight, 30 * packet + 5);
            q58_decoder_close(decoder);
        }
        if (failuresSoFar() > failuresBefore) continue;
        EXPECT_TRUE(ranItsCourse) << c.what << ": the seek made more calls than the test tries";
        EXPECT_GT(failedCalls, 0) << c.what << ": the seek made no call that could fail";
    }
}

// A seek to the end whose walk meets a failing read at read call `call`, counted from the open.
template <int call>
void failedWalk(q58_decoder* decoder, CallbackInput& input, uint64_t length)
{
    input.failReadCall = call;
    ASSERT_EQ(q58_decoder_seek(decoder, length), Q58_ERROR_IO);
}

TEST(DecoderSeekContract, ASeekThenAReadGivesTheStraightDecodeFromEveryStartingPoint)
{
    const std::vector<uint8_t>& bytes = apiMaterial().q58Bytes;
    const StraightDecode straight = straightDecode(bytes);
    const uint64_t length = straight.frames();
    const struct {
        const char* what;
        void (*prepare)(q58_decoder*, CallbackInput&, uint64_t length);
    } starts[] = {
        {"fresh", [](q58_decoder*, CallbackInput&, uint64_t) {}},
        {"after a walk to the end", [](q58_decoder* d, CallbackInput&, uint64_t length) {
             ASSERT_EQ(q58_decoder_seek(d, length), Q58_OK);
         }},
        {"after reading to the end", [](q58_decoder* d, CallbackInput&, uint64_t length) {
             EXPECT_EQ(readAll(d, {4000}).size(), 2 * length);
         }},
        {"between noise checkpoints", [](q58_decoder* d, CallbackInput&, uint64_t) {
             ASSERT_EQ(q58_decoder_seek(d, 20 * packet + 300), Q58_OK);
             skip(d, 100);
         }},
        {"right on a checkpoint", [](q58_decoder* d, CallbackInput&, uint64_t) {
             ASSERT_EQ(q58_decoder_seek(d, 32 * packet), Q58_OK);
         }},
        // The walk stops short of the end, leaving the index's furthest
        // place between checkpoints without a known noise state.
        {"after a seek whose walk failed at read 40", failedWalk<40>},
        {"after a seek whose walk failed at read 44", failedWalk<44>},
        {"after a failed seek that rewound the input", [](q58_decoder* d, CallbackInput& in, uint64_t) {
             skip(d, 3 * packet + 7);
             in.failSeekCall = in.seeks;
             in.failedSeekRewinds = true;
             ASSERT_EQ(q58_decoder_seek(d, 100 * packet), Q58_ERROR_IO);
         }},
        {"after a seek past the length", [](q58_decoder* d, CallbackInput&, uint64_t length) {
             skip(d, packet + 1);
             ASSERT_EQ(q58_decoder_seek(d, length + 1), Q58_ERROR_INVALID_ARGUMENT);
         }},
    };
    const uint64_t targets[] = {0, 1, packet - 1, packet, 16 * packet - 1, 16 * packet, 16 * packet + 1,
                                37 * packet + 441, 100 * packet + 5, length - 1, length};
    for (const auto& start : starts) {
        for (uint64_t target : targets) {
            SCOPED_TRACE(std::string(start.what) + ", seek to " + std::to_string(target));
            CallbackInput input;
            q58_decoder* decoder = openCallbacks(input, bytes, 64);
            if (decoder == nullptr) {
                ADD_FAILURE() << "cannot open";
                continue;
            }
            const int failuresBefore = failuresSoFar();
            start.prepare(decoder, input, length);
            const int result = failuresSoFar() == failuresBefore ? q58_decoder_seek(decoder, target) : -1;
            if (result != -1) {
                EXPECT_EQ(result, Q58_OK);
            }
            if (result == Q58_OK) {
                EXPECT_EQ(q58_decoder_position(decoder), target);
                EXPECT_EQ(q58_decoder_status(decoder), target == length ? Q58_END_OF_STREAM : Q58_OK);
                expectStraightRead(decoder, straight, 2000);
            }
            q58_decoder_close(decoder);
        }
    }
}

// A copy of the material's file with one change.
std::vector<uint8_t> changed(void (*change)(std::vector<uint8_t>&))
{
    std::vector<uint8_t> bytes = apiMaterial().q58Bytes;
    change(bytes);
    return bytes;
}

TEST(DecoderSeekContract, AfterReadingStoppedAtDamageSeeksBeforeItGiveTheStraightDecode)
{
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"cut in the middle", cutFile()},
        {"padding bit set in the last packet", changed([](auto& b) { b.back() |= 0x80; })},
        {"frame count beyond the packets", changed([](auto& b) { b[72] += 1; })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StraightDecode straight = straightDecode(c.bytes);
        ASSERT_EQ(straight.endStatus, Q58_ERROR_DAMAGED);
        const uint64_t damageAt = straight.frames();
        ASSERT_GT(damageAt, 2 * packet);
        q58_decoder* decoder = q58_decoder_open_memory(c.bytes.data(), c.bytes.size(), nullptr);
        ASSERT_NE(decoder, nullptr);
        const uint64_t length = q58_decoder_length(decoder);
        ASSERT_LT(damageAt, length);
        EXPECT_EQ(readAll(decoder, {1000}).size(), 2 * damageAt);
        EXPECT_EQ(q58_decoder_status(decoder), Q58_ERROR_DAMAGED);

        const uint64_t targets[] = {damageAt - 1, 0, damageAt / 2 + 7, damageAt - packet, 1, damageAt};
        for (uint64_t target : targets) {
            SCOPED_TRACE("seek to " + std::to_string(target));
            if (q58_decoder_seek(decoder, target) != Q58_OK) {
                ADD_FAILURE() << "the seek failed";
                continue;
            }
            EXPECT_EQ(q58_decoder_position(decoder), target);
            EXPECT_EQ(q58_decoder_status(decoder), Q58_OK);
            expectStraightRead(decoder, straight, 2 * packet);
            // A seek into the damage or beyond fails and changes nothing.
            const uint64_t position = q58_decoder_position(decoder);
            const int status = q58_decoder_status(decoder);
            for (uint64_t beyond : {damageAt + 1, length}) {
                EXPECT_EQ(q58_decoder_seek(decoder, beyond), Q58_ERROR_DAMAGED) << "seek to " << beyond;
                EXPECT_EQ(q58_decoder_position(decoder), position);
                EXPECT_EQ(q58_decoder_status(decoder), status);
            }
            expectStraightRead(decoder, straight, 3 * packet);
        }
        q58_decoder_close(decoder);
    }
}

TEST(DecoderByteSources, OneByteReadsAndSourcesFailingHalfWayDecodeUpToTheFailure)
{
    const std::vector<uint8_t>& bytes = apiMaterial().q58Bytes;
    const StraightDecode straight = straightDecode(bytes);
    const uint64_t halfWay = bytes.size() / 2;
    const struct {
        const char* what;
        size_t largestRead;
        bool seekable;
        uint64_t failFrom;
    } cases[] = {
        {"one byte per read", 1, true, UINT64_MAX},
        {"one byte per read, forward only", 1, false, UINT64_MAX},
        {"failing half way, 100 bytes per read", 100, true, halfWay},
        {"failing half way, 4096 bytes per read", 4096, true, halfWay},
        {"failing half way, one byte per read, forward only", 1, false, halfWay},
        {"failing one byte before the end, one byte per read", 1, true, bytes.size() - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CallbackInput input;
        q58_decoder* decoder = openCallbacks(input, bytes, c.largestRead, c.seekable);
        if (decoder == nullptr) {
            ADD_FAILURE() << "cannot open";
            continue;
        }
        input.failFrom = c.failFrom;
        std::vector<int16_t> got = readAll(decoder, {881, 1, 2000});
        ASSERT_LE(got.size(), straight.samples.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), straight.samples.begin())) << "not the straight decode";
        EXPECT_EQ(q58_decoder_position(decoder), got.size() / 2);
        if (c.failFrom == UINT64_MAX) {
            EXPECT_EQ(got.size(), straight.samples.size());
            EXPECT_EQ(q58_decoder_status(decoder), Q58_END_OF_STREAM);
        } else {
            EXPECT_LT(got.size(), straight.samples.size());
            EXPECT_EQ(q58_decoder_status(decoder), Q58_ERROR_IO);
            // Once the source works again, reading goes on exactly (to the
            // end from a source that can seek back to where its read failed).
            input.failFrom = UINT64_MAX;
            const std::vector<int16_t> rest = readAll(decoder, {2000});
            got.insert(got.end(), rest.begin(), rest.end());
            ASSERT_LE(got.size(), straight.samples.size());
            EXPECT_TRUE(std::equal(got.begin(), got.end(), straight.samples.begin())) << "not the straight decode";
            if (c.seekable) {
                EXPECT_EQ(got.size(), straight.samples.size());
            }
            EXPECT_EQ(q58_decoder_status(decoder), got == straight.samples ? Q58_END_OF_STREAM : Q58_ERROR_IO);
        }
        q58_decoder_close(decoder);
    }
}

}  // namespace
