#include "formats/container_survey.h"

#include <algorithm>
#include <cstring>

#include "formats/packet_walk.h"
#include "formats/wave_survey.h"
#include "streams/byte_source.h"
#include "streams/byte_window.h"

namespace {

// The packet walk reads the file in large pieces.
constexpr int surveyWindowSize = 1 << 20;

std::string hexBytes(const uint8_t* bytes, int count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

void markDamage(ContainerSurvey& survey, int64_t frame, int64_t offset, const std::string& reason)
{
    survey.verdict = ContainerVerdict::damaged;
    survey.damageFrame = frame;
    survey.damageOffset = offset;
    survey.reason = reason;
}

// Bytes from offset on, at most want; 0 where the file ends or fails.
int bytesAt(ByteWindow& window, int64_t offset, int want, const uint8_t*& view)
{
    int count = 0;
    view = window.view(static_cast<uint64_t>(offset), want, count);
    return view == nullptr ? 0 : count;
}

void walkPackets(ByteWindow& window, ContainerSurvey& survey)
{
    const CodecParameters& parameters = survey.header.parameters;
    int64_t offset = containerHeaderSize;
    survey.verdict = ContainerVerdict::intact;
    for (int64_t frame = 0; frame < survey.header.frameCount; ++frame) {
        const uint8_t* view = nullptr;
        const int available = bytesAt(window, offset, packetBufferSize, view);
        const std::string where = "frame " + std::to_string(frame) + " at byte " + std::to_string(offset);
        if (available == 0) {
            markDamage(survey, frame, offset, "the file ends before " + where);
            return;
        }
        const PacketExtent extent = measurePacket(parameters, view, available);
        if (extent.check == PacketCheck::nonZeroPadding) {
            markDamage(survey, frame, offset, where + " is damaged (non-zero padding)");
            return;
        }
        if (extent.check == PacketCheck::pastEnd) {
            markDamage(survey, frame, offset, where + " runs past the end of the file");
            return;
        }
        survey.smallestPacket = survey.framesIntact == 0 ? extent.bytes : std::min(survey.smallestPacket, extent.bytes);
        survey.largestPacket = std::max(survey.largestPacket, extent.bytes);
        survey.packetBytes += extent.bytes;
        ++survey.framesIntact;
        offset += extent.bytes;
    }
    const uint8_t* view = nullptr;
    if (bytesAt(window, offset, 1, view) > 0)
        markDamage(survey, survey.framesIntact, offset,
                   std::to_string(survey.fileSize - offset) + " stray bytes follow the last frame at byte " +
                       std::to_string(offset));
}

// Why bytes that are no container's header are none, in one clause.
std::string notContainerReason(const uint8_t* start, int got)
{
    if (got == 0)
        return "not a q58 container: the file is empty";
    if (got < 4)
        return "not a q58 container: only " + std::to_string(got) + (got == 1 ? " byte" : " bytes");
    if (std::memcmp(start, "RIFF", 4) == 0)
        return "not a q58 container: it is a RIFF file (a WAV file named .q58?)";
    return "not a q58 container: it starts with " + hexBytes(start, 4) + " instead of 71 35 38 00 (\"q58\" and a zero byte)";
}

// The header part of the survey, the same judgement the decoder makes;
// false when the walk over the packets has nothing to do.
bool surveyHeader(ByteSource& file, ByteWindow& window, ContainerSurvey& survey)
{
    survey.fileSize = file.size();
    const uint8_t* view = nullptr;
    const int count = bytesAt(window, 0, containerHeaderSize, view);
    switch (checkContainerHeader(view, count, survey.header)) {
    case HeaderCheck::notContainer:
    case HeaderCheck::readFailed:
        survey.verdict = ContainerVerdict::notOurs;
        survey.reason = notContainerReason(view, count);
        return false;
    case HeaderCheck::incomplete:
        survey.verdict = ContainerVerdict::unusable;
        survey.reason = "the container header is incomplete (" + std::to_string(count) + " of " +
                        std::to_string(containerHeaderSize) + " bytes)";
        return false;
    case HeaderCheck::undecodable:
        survey.verdict = ContainerVerdict::unusable;
        survey.headerComplete = true;
        survey.reason = "the container header holds parameters the decoder cannot use safely";
        return false;
    case HeaderCheck::usable:
        survey.headerComplete = true;
        return true;
    }
    return false;
}

}  // namespace

std::string containerRefusalReason(const std::string& fileName)
{
    const std::string problem = fileOpenProblem(fileName);
    if (!problem.empty())
        return "cannot open: " + problem;
    FileByteSource file(fileName.c_str());
    ByteWindow window(file, containerHeaderSize);
    ContainerSurvey survey;
    surveyHeader(file, window, survey);
    return survey.verdict == ContainerVerdict::notOurs ? survey.reason : "";
}

ContainerSurvey surveyContainer(const std::string& fileName)
{
    ContainerSurvey survey;
    const std::string problem = fileOpenProblem(fileName);
    if (!problem.empty()) {
        survey.reason = "cannot open: " + problem;
        return survey;
    }
    FileByteSource file(fileName.c_str());
    ByteWindow window(file, surveyWindowSize);
    if (surveyHeader(file, window, survey))
        walkPackets(window, survey);
    return survey;
}
