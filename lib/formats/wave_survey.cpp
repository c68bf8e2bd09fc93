#include "formats/wave_survey.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>

#include "base/little_endian.h"
#include "formats/wave_reader.h"
#include "streams/byte_source.h"
#include "streams/file_reader_sa.h"

namespace {

constexpr uint16_t extensibleTag = 0xFFFE;
// Chunk headers listed at most; a real file has a handful.
constexpr size_t maxListedChunks = 4096;
// The survey reads headers scattered over the file, a few bytes each.
constexpr int surveyBufferSize = 1 << 16;

// Reads up to n bytes at offset; returns how many arrived.
int readAt(FileReaderSA& file, int64_t offset, uint8_t* destination, int n)
{
    file.setPosition(offset);
    return file.read(destination, n);
}

std::string printableId(const uint8_t* bytes)
{
    std::string id;
    for (int i = 0; i < 4; ++i)
        id += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '?';
    return id;
}

std::string quoted(const std::string& id) { return "\"" + id + "\""; }

std::string hex4(uint16_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        text += digits[(value >> shift) & 0xF];
    return text;
}

std::string tagName(uint16_t tag)
{
    switch (tag) {
    case 0x0001: return "PCM";
    case 0x0002: return "Microsoft ADPCM";
    case 0x0003: return "IEEE float";
    case 0x0006: return "A-law";
    case 0x0007: return "mu-law";
    case 0x0011: return "IMA ADPCM";
    case 0x0050: return "MPEG audio";
    case 0x0055: return "MPEG layer 3";
    default: return "format tag " + hex4(tag);
    }
}

std::string plural(uint32_t count, const char* word)
{
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// The names of the chunks that stand between two entries of the listing.
std::string chunkNamesBetween(const std::vector<WaveChunkEntry>& chunks, size_t first, size_t last)
{
    std::string names;
    for (size_t i = first; i < last; ++i)
        names += (names.empty() ? "" : (i + 1 == last ? " and " : ", ")) + quoted(chunks[i].id);
    return names;
}

size_t findChunk(const std::vector<WaveChunkEntry>& chunks, const char* id)
{
    for (size_t i = 1; i < chunks.size(); ++i)
        if (chunks[i].id == id)
            return i;
    return chunks.size();
}

void listChunks(FileReaderSA& file, WaveSurvey& survey)
{
    int64_t offset = 12;
    while (offset + 8 <= survey.fileSize && survey.chunks.size() < maxListedChunks) {
        uint8_t header[8];
        if (readAt(file, offset, header, 8) != 8)
            break;
        const uint32_t size = getLe32(header + 4);
        survey.chunks.push_back({printableId(header), offset, size});
        // Bodies of odd size are followed by a pad byte.
        offset += 8 + static_cast<int64_t>(size) + (size & 1u);
    }
}

void readFormatBody(FileReaderSA& file, int64_t bodyStart, uint32_t declaredSize, WaveSurvey& survey)
{
    uint8_t body[40] = {};
    const int got = readAt(file, bodyStart, body, 40);
    if (got < 16)
        return;
    survey.formatFound = true;
    survey.format = WaveFormat{getLe16(body), getLe16(body + 2), getLe32(body + 4),
                               getLe32(body + 8), getLe16(body + 12), getLe16(body + 14)};
    // The extension: size, valid bits, channel mask, sub-format GUID.
    if (survey.format.formatTag == extensibleTag && declaredSize >= 40 && got >= 40) {
        survey.extensible = true;
        survey.validBits = getLe16(body + 18);
        survey.subFormatTag = getLe16(body + 24);
    }
}

// The header walk of WaveReader0 decides; the listing of the chunks puts
// its verdict into words.
bool checkLayout(FileReaderSA& file, WaveSurvey& survey)
{
    uint8_t start[20] = {};
    const int got = readAt(file, 0, start, 20);
    const std::string riff = got >= 4 ? printableId(start) : "";
    const std::string form = got >= 12 ? printableId(start + 8) : "";
    survey.verdict = WaveVerdict::notRiffWave;
    if (survey.fileSize == 0) {
        survey.reason = "not a RIFF/WAVE file: the file is empty";
        return false;
    }
    if (riff == "RIFX" || riff == "RF64" || riff == "BW64") {
        survey.reason = "not a RIFF/WAVE file q58 reads: a " + quoted(riff) +
                        " file; q58 reads only little-endian \"RIFF\" files of up to 4 GiB";
        return false;
    }
    if (got < 12 || riff != "RIFF" || form != "WAVE") {
        survey.reason = got < 12 ? "not a RIFF/WAVE file: only " + plural(static_cast<uint32_t>(got), "byte")
                                 : "not a RIFF/WAVE file: it starts with " + quoted(riff) + " and " + quoted(form);
        return false;
    }
    survey.chunks.push_back({"RIFF", 0, getLe32(start + 4)});
    listChunks(file, survey);

    const size_t fmt = findChunk(survey.chunks, "fmt ");
    const size_t data = findChunk(survey.chunks, "data");
    if (fmt == survey.chunks.size()) {
        survey.reason = "no \"fmt \" chunk, so the sample format is unknown";
        return false;
    }
    readFormatBody(file, survey.chunks[fmt].offset + 8, survey.chunks[fmt].size, survey);
    if (!survey.formatFound) {
        survey.reason = "the \"fmt \" chunk is cut short";
        return false;
    }
    if (data == survey.chunks.size() && fmt != 1) {
        survey.reason = "no \"data\" chunk";
        return false;
    }

    survey.verdict = WaveVerdict::layout;
    if (fmt != 1) {
        survey.reason = "the " + chunkNamesBetween(survey.chunks, 1, fmt) + (fmt == 2 ? " chunk stands" : " chunks stand") +
                        " before \"fmt \" (q58 reads \"fmt \" as the first chunk and \"data\" right after it)";
        return false;
    }
    // The reader looks for "data" right at the declared end of the format
    // body, without a pad byte, whatever the listing above found.
    const int64_t expected = survey.chunks[fmt].offset + 8 + survey.chunks[fmt].size;
    file.setPosition(0);
    if (!walkWaveHeader(file).complete) {
        if (data == survey.chunks.size()) {
            survey.verdict = WaveVerdict::notRiffWave;
            survey.reason = "no \"data\" chunk";
        } else if (data > fmt + 1) {
            survey.reason = "the " + chunkNamesBetween(survey.chunks, fmt + 1, data) +
                            (data == fmt + 2 ? " chunk stands" : " chunks stand") +
                            " between \"fmt \" and \"data\" (q58 reads \"data\" right after \"fmt \")";
        } else if (survey.chunks[data].offset == expected + 1) {
            survey.reason = "the \"fmt \" chunk has an odd size (" + std::to_string(survey.chunks[fmt].size) +
                            ") and a pad byte before \"data\" (q58 reads \"data\" right after \"fmt \")";
        } else {
            survey.reason = "the size of the \"fmt \" chunk (" + std::to_string(survey.chunks[fmt].size) +
                            ") does not lead to \"data\" (q58 reads \"data\" right after \"fmt \")";
        }
        return false;
    }
    return true;
}

bool isReference(const WaveFormat& format) { return sameFormat(format, referenceFormat); }

}  // namespace

std::string fileOpenProblem(const std::string& fileName)
{
#ifdef _WIN32
    struct _stat64 info;
    const int statResult = _stat64(fileName.c_str(), &info);
    const bool regular = statResult == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
    const bool directory = statResult == 0 && (info.st_mode & _S_IFMT) == _S_IFDIR;
#else
    struct stat info;
    const int statResult = stat(fileName.c_str(), &info);
    const bool regular = statResult == 0 && S_ISREG(info.st_mode);
    const bool directory = statResult == 0 && S_ISDIR(info.st_mode);
#endif
    if (statResult != 0)
        return std::strerror(errno);
    if (directory)
        return std::strerror(EISDIR);
    if (!regular)
        return "not a regular file";
    errno = 0;
    const FileByteSource probe(fileName.c_str());
    if (!probe.opened())
        return errno != 0 ? std::strerror(errno) : "cannot be opened for reading";
    return "";
}

WaveSurvey surveyWave(const std::string& fileName)
{
    WaveSurvey survey;
    const std::string problem = fileOpenProblem(fileName);
    if (!problem.empty()) {
        survey.reason = "cannot open: " + problem;
        return survey;
    }
    FileReaderSA file(fileName.c_str(), surveyBufferSize);
    survey.fileSize = file.size();
    if (!checkLayout(file, survey)) {
        if (survey.verdict == WaveVerdict::layout && !isReference(survey.format))
            survey.reason += "; its format is " + describeWaveFormat(survey) + " as well";
        return survey;
    }
    if (!isReference(survey.format)) {
        survey.verdict = WaveVerdict::format;
        survey.reason = "another format: " + describeWaveFormat(survey) +
                        "; q58 reads only 16-bit PCM (format tag 1), 44100 Hz, 2 channels";
        return survey;
    }
    survey.verdict = WaveVerdict::accepted;
    return survey;
}

std::string describeWaveFormat(const WaveSurvey& survey)
{
    const WaveFormat& f = survey.format;
    std::string text;
    if (f.formatTag == extensibleTag) {
        text = "WAVE_FORMAT_EXTENSIBLE (format tag 0xFFFE)";
        if (survey.extensible)
            text += " holding " + std::to_string(survey.validBits) + "-bit " + tagName(survey.subFormatTag) +
                    " in " + std::to_string(f.bitsPerSample) + "-bit containers";
    } else {
        text = std::to_string(f.bitsPerSample) + "-bit " + tagName(f.formatTag);
    }
    text += ", " + std::to_string(f.sampleRate) + " Hz, " + plural(f.channels, "channel");
    const uint32_t blockAlign = f.channels * ((f.bitsPerSample + 7u) / 8u);
    if (f.blockAlign != blockAlign || f.byteRate != f.sampleRate * blockAlign)
        text += " (byte rate " + std::to_string(f.byteRate) + ", block align " + std::to_string(f.blockAlign) + ")";
    return text;
}

bool convertibleByTools(const WaveSurvey& survey)
{
    return survey.verdict == WaveVerdict::layout || survey.verdict == WaveVerdict::format;
}

std::string acceptedCopyName(const std::string& inputName)
{
    const std::string suffix = ".wav";
    const bool hasSuffix = inputName.size() >= suffix.size() &&
                           inputName.compare(inputName.size() - suffix.size(), suffix.size(), suffix) == 0;
    return (hasSuffix ? inputName.substr(0, inputName.size() - suffix.size()) : inputName) + "-pcm16.wav";
}

std::string shellWord(const std::string& word)
{
    const bool plain = !word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                               "0123456789._/+-,:@%=") == std::string::npos;
    if (plain)
        return word;
#ifdef _WIN32
    return "\"" + word + "\"";
#else
    std::string text = "'";
    for (char c : word)
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
#endif
}

std::vector<std::string> acceptedCopyCommands(const std::string& inputName)
{
    // A name that starts with '-' would pass for an option.
    const std::string name = (!inputName.empty() && inputName[0] == '-') ? "./" + inputName : inputName;
    const std::string in = shellWord(name);
    const std::string out = shellWord(acceptedCopyName(name));
    return {"ffmpeg -i " + in + " -ar 44100 -ac 2 -c:a pcm_s16le -fflags +bitexact -map_metadata -1 " + out,
            "sox " + in + " -r 44100 -c 2 -b 16 -e signed-integer " + out};
}

std::string waveRefusalText(const std::string& fileName, const WaveSurvey& survey)
{
    std::string text = survey.reason;
    if (convertibleByTools(survey)) {
        const std::vector<std::string> commands = acceptedCopyCommands(fileName);
        text += "; make a copy q58 accepts with: " + commands[0] + "  or: " + commands[1];
    }
    return text;
}
