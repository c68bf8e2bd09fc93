#include "formats/container_survey.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "codec/parameter_limits.h"
#include "formats/packet_walk.h"
#include "formats/wave_survey.h"

namespace {

// Reads the file in large pieces and offers the packet walk a window of at
// least packetBufferSize bytes wherever the file still has them.
class PacketCursor {
public:
    PacketCursor(std::ifstream& file, int64_t start) : file(file), offset(start), buffer(1 << 20) {}

    // Bytes available from the cursor on, at most packetBufferSize.
    int available()
    {
        if (end - begin < packetBufferSize && file) {
            std::memmove(buffer.data(), buffer.data() + begin, static_cast<size_t>(end - begin));
            end -= begin;
            begin = 0;
            file.read(reinterpret_cast<char*>(buffer.data() + end), static_cast<std::streamsize>(buffer.size() - end));
            end += static_cast<int>(file.gcount());
        }
        return std::min(end - begin, packetBufferSize);
    }

    const uint8_t* data() const { return buffer.data() + begin; }
    int64_t position() const { return offset; }
    void advance(int bytes)
    {
        begin += bytes;
        offset += bytes;
    }

private:
    std::ifstream& file;
    int64_t offset;  // file offset of data()
    std::vector<uint8_t> buffer;
    int begin = 0;
    int end = 0;
};

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

void walkPackets(std::ifstream& file, ContainerSurvey& survey)
{
    const CodecParameters& parameters = survey.header.parameters;
    PacketCursor cursor(file, containerHeaderSize);
    file.clear();
    file.seekg(containerHeaderSize);
    survey.verdict = ContainerVerdict::intact;
    for (int64_t frame = 0; frame < survey.header.frameCount; ++frame) {
        const int available = cursor.available();
        const std::string where = "frame " + std::to_string(frame) + " at byte " + std::to_string(cursor.position());
        if (available == 0) {
            markDamage(survey, frame, cursor.position(), "the file ends before " + where);
            return;
        }
        const PacketExtent extent = measurePacket(parameters, cursor.data(), available);
        if (extent.check == PacketCheck::nonZeroPadding) {
            markDamage(survey, frame, cursor.position(), where + " is damaged (non-zero padding)");
            return;
        }
        if (extent.check == PacketCheck::pastEnd) {
            markDamage(survey, frame, cursor.position(), where + " runs past the end of the file");
            return;
        }
        survey.smallestPacket = survey.framesIntact == 0 ? extent.bytes : std::min(survey.smallestPacket, extent.bytes);
        survey.largestPacket = std::max(survey.largestPacket, extent.bytes);
        survey.packetBytes += extent.bytes;
        ++survey.framesIntact;
        cursor.advance(extent.bytes);
    }
    if (cursor.available() > 0)
        markDamage(survey, survey.framesIntact, cursor.position(),
                   std::to_string(survey.fileSize - cursor.position()) + " stray bytes follow the last frame at byte " +
                       std::to_string(cursor.position()));
}

}  // namespace

std::string containerRefusalReason(const std::string& fileName)
{
    const std::string problem = fileOpenProblem(fileName);
    if (!problem.empty())
        return "cannot open: " + problem;
    std::ifstream file(fileName, std::ios::binary);
    uint8_t start[4] = {};
    file.read(reinterpret_cast<char*>(start), 4);
    const int got = static_cast<int>(file.gcount());
    if (got == 4 && std::memcmp(start, containerMagic, 4) == 0)
        return "";
    if (got == 0)
        return "not a q58 container: the file is empty";
    if (got < 4)
        return "not a q58 container: only " + std::to_string(got) + (got == 1 ? " byte" : " bytes");
    if (std::memcmp(start, "RIFF", 4) == 0)
        return "not a q58 container: it is a RIFF file (a WAV file named .q58?)";
    return "not a q58 container: it starts with " + hexBytes(start, 4) + " instead of 71 35 38 00 (\"q58\" and a zero byte)";
}

ContainerSurvey surveyContainer(const std::string& fileName)
{
    ContainerSurvey survey;
    const std::string refusal = containerRefusalReason(fileName);
    if (!refusal.empty()) {
        survey.verdict = refusal.compare(0, 11, "cannot open") == 0 ? ContainerVerdict::unreadable
                                                                     : ContainerVerdict::notOurs;
        survey.reason = refusal;
        if (survey.verdict == ContainerVerdict::notOurs) {
            std::ifstream file(fileName, std::ios::binary | std::ios::ate);
            survey.fileSize = static_cast<int64_t>(file.tellg());
        }
        return survey;
    }
    std::ifstream file(fileName, std::ios::binary);
    file.seekg(0, std::ios::end);
    survey.fileSize = static_cast<int64_t>(file.tellg());
    file.seekg(0);
    uint8_t header[containerHeaderSize] = {};
    file.read(reinterpret_cast<char*>(header), containerHeaderSize);
    survey.verdict = ContainerVerdict::unusable;
    if (file.gcount() < containerHeaderSize || !decodeContainerHeader(header, survey.header)) {
        survey.reason = "the container header is incomplete (" + std::to_string(file.gcount()) + " of " +
                        std::to_string(containerHeaderSize) + " bytes)";
        return survey;
    }
    survey.headerComplete = true;
    if (!codecParametersDecodable(survey.header.parameters)) {
        survey.reason = "the container header holds parameters the decoder cannot use safely";
        return survey;
    }
    walkPackets(file, survey);
    return survey;
}
