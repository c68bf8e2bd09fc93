#include "report.h"

#include <cstdio>
#include <cstring>

#include "formats/container_survey.h"
#include "formats/wave_survey.h"
#include "streams/byte_source.h"

namespace {

// One frame is 1/50 s: 20 ms.
std::string duration(int64_t frames)
{
    const int64_t ms = (frames > 0 ? frames : 0) * 20;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

Fact optionalInteger(bool present, int64_t value) { return present ? Fact::of(value) : Fact(); }

Fact optionalText(const std::string& text) { return text.empty() ? Fact() : Fact::of(text); }

Fact headerFacts(const ContainerHeader& h)
{
    const CodecParameters& p = h.parameters;
    Fact header = Fact::object();
    header.add("magic", Fact::of(std::string("71 35 38 00")));
    const std::pair<const char*, int32_t> fields[] = {
        {"gainLevelMin", p.gainLevelMin}, {"gainLevelMax", p.gainLevelMax}, {"gainBits", p.gainBits},
        {"levelRange", p.levelRange},     {"phaseBins", p.phaseBins},       {"phaseBands", p.phaseBands},
        {"phaseBits", p.phaseBits},       {"balanceBins", p.balanceBins},   {"balanceBands", p.balanceBands},
        {"balanceBits", p.balanceBits}};
    for (const auto& field : fields)
        header.add(field.first, Fact::of(static_cast<int64_t>(field.second)));
    header.add("balanceScale", Fact::of(static_cast<double>(p.balanceScale)));
    const std::pair<const char*, int32_t> more[] = {{"noiseBins", p.noiseBins}, {"noiseBands", p.noiseBands},
                                                   {"noiseBits", p.noiseBits}, {"toneBins", p.toneBins},
                                                   {"toneCount", p.toneCount}, {"toneBits", p.toneBits}};
    for (const auto& field : more)
        header.add(field.first, Fact::of(static_cast<int64_t>(field.second)));
    header.add("frameCount", Fact::of(static_cast<int64_t>(h.frameCount)));
    return header;
}

const char* statusName(ContainerVerdict verdict)
{
    switch (verdict) {
    case ContainerVerdict::intact: return "intact";
    case ContainerVerdict::damaged: return "damaged";
    case ContainerVerdict::unusable: return "unusable";
    case ContainerVerdict::notOurs: return "not a q58 container";
    default: return "unreadable";
    }
}

Fact containerFacts(const std::string& name, const std::string& path, bool& good)
{
    const ContainerSurvey s = surveyContainer(path);
    good = s.verdict == ContainerVerdict::intact;
    Fact f = Fact::object();
    f.add("file", Fact::of(name));
    f.add("kind", Fact::of(std::string("q58")));
    f.add("status", Fact::of(std::string(statusName(s.verdict))));
    f.add("reason", optionalText(s.reason));
    f.add("fileSize", optionalInteger(s.fileSize >= 0, s.fileSize));
    if (!s.headerComplete)
        return f;
    const bool walked = s.verdict == ContainerVerdict::intact || s.verdict == ContainerVerdict::damaged;
    const int64_t frames = s.header.frameCount > 0 ? s.header.frameCount : 0;
    f.add("frames", Fact::of(frames));
    f.add("duration", Fact::of(duration(frames)));
    f.add("durationSeconds", Fact::of(static_cast<double>(frames) / 50.0));
    f.add("framesIntact", optionalInteger(walked, s.framesIntact));
    // Bytes per frame times 8 bits times 50 frames per second.
    const bool measured = walked && s.framesIntact > 0;
    f.add("averageBitrate", optionalInteger(measured, measured ? s.packetBytes * 400 / s.framesIntact : 0));
    f.add("peakBitrate", optionalInteger(measured, static_cast<int64_t>(s.largestPacket) * 400));
    f.add("smallestPacket", optionalInteger(measured, s.smallestPacket));
    f.add("largestPacket", optionalInteger(measured, s.largestPacket));
    f.add("damageFrame", optionalInteger(s.damageFrame >= 0, s.damageFrame));
    f.add("damageOffset", optionalInteger(s.damageOffset >= 0, s.damageOffset));
    f.add("header", headerFacts(s.header));
    return f;
}

const char* statusName(WaveVerdict verdict)
{
    switch (verdict) {
    case WaveVerdict::accepted: return "accepted";
    case WaveVerdict::notRiffWave: return "refused: not a RIFF/WAVE file q58 reads";
    case WaveVerdict::layout: return "refused: chunk layout";
    case WaveVerdict::format: return "refused: format";
    default: return "unreadable";
    }
}

Fact waveFacts(const std::string& name, const std::string& path, bool& good)
{
    const WaveSurvey s = surveyWave(path);
    good = s.verdict == WaveVerdict::accepted;
    Fact f = Fact::object();
    f.add("file", Fact::of(name));
    f.add("kind", Fact::of(std::string("wav")));
    f.add("status", Fact::of(std::string(statusName(s.verdict))));
    f.add("accepted", Fact::of(good));
    f.add("reason", optionalText(s.reason));
    f.add("fileSize", optionalInteger(s.fileSize >= 0, s.fileSize));
    if (s.formatFound) {
        Fact format = Fact::object();
        format.add("description", Fact::of(describeWaveFormat(s)));
        format.add("formatTag", Fact::of(static_cast<int64_t>(s.format.formatTag)));
        format.add("channels", Fact::of(static_cast<int64_t>(s.format.channels)));
        format.add("sampleRate", Fact::of(static_cast<int64_t>(s.format.sampleRate)));
        format.add("byteRate", Fact::of(static_cast<int64_t>(s.format.byteRate)));
        format.add("blockAlign", Fact::of(static_cast<int64_t>(s.format.blockAlign)));
        format.add("bitsPerSample", Fact::of(static_cast<int64_t>(s.format.bitsPerSample)));
        if (s.extensible) {
            format.add("validBits", Fact::of(static_cast<int64_t>(s.validBits)));
            format.add("subFormatTag", Fact::of(static_cast<int64_t>(s.subFormatTag)));
        }
        f.add("format", format);
    }
    Fact chunks = Fact::list();
    for (const WaveChunkEntry& c : s.chunks) {
        Fact chunk = Fact::object();
        chunk.add("id", Fact::of(c.id));
        chunk.add("offset", Fact::of(c.offset));
        chunk.add("size", Fact::of(static_cast<int64_t>(c.size)));
        chunks.items.push_back(chunk);
    }
    if (!s.chunks.empty())
        f.add("chunks", chunks);
    if (convertibleByTools(s)) {
        Fact commands = Fact::list();
        for (const std::string& command : acceptedCopyCommands(name))
            commands.items.push_back(Fact::of(command));
        f.add("acceptedCopyCommands", commands);
    }
    return f;
}

bool endsWith(const std::string& name, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    return name.size() >= n && name.compare(name.size() - n, n, suffix) == 0;
}

// The contents decide, the suffix only when the contents say nothing.
bool looksLikeWave(const std::string& name, const std::string& path)
{
    FileByteSource file(path.c_str());
    uint8_t start[4] = {};
    if (file.readAt(0, start, 4) == 4) {
        if (std::memcmp(start, "q58", 4) == 0)
            return false;
        if (std::memcmp(start, "RIFF", 4) == 0 || std::memcmp(start, "RIFX", 4) == 0 ||
            std::memcmp(start, "RF64", 4) == 0 || std::memcmp(start, "BW64", 4) == 0)
            return true;
    }
    return endsWith(name, ".wav") || endsWith(name, ".WAV");
}

}  // namespace

FileReport reportFile(const std::string& name, const std::string& path)
{
    FileReport report;
    report.facts = looksLikeWave(name, path) ? waveFacts(name, path, report.good)
                                             : containerFacts(name, path, report.good);
    return report;
}
