// WaveSurvey: what a look at a file named as a WAV finds (chunks, format,
// whether the encoder takes it and why not).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/wave_format.h"

// A look at a file named as a WAV: its chunks, its format and whether the
// encoder takes it, with the reason in words when it does not. Shared by
// q58's refusal diagnostics and by q58info, so both say the same thing.
// The acceptance rule is WaveReader0's (RIFF, WAVE, "fmt " first, "data"
// right after it) followed by the encoder's format check.

struct WaveChunkEntry {
    std::string id;   // the 4 identifier bytes; bytes outside printable ASCII shown as '?'
    int64_t offset;   // offset of the chunk's 8-byte header in the file
    uint32_t size;    // the size field as read
};

enum class WaveVerdict {
    accepted,
    unreadable,   // the name cannot be opened as a regular file
    notRiffWave,  // no usable RIFF/WAVE header, or a chunk q58 needs is missing
    layout,       // the chunks are there but not in the order q58 reads them
    format,       // the samples are in another format
};

struct WaveSurvey {
    WaveVerdict verdict = WaveVerdict::unreadable;
    std::string reason;                  // one clause, empty when accepted
    int64_t fileSize = -1;               // -1 when the file could not be opened
    std::vector<WaveChunkEntry> chunks;  // "RIFF" first, then the chunks inside it in file order
    bool formatFound = false;            // a complete 16-byte format body was read
    WaveFormat format{0, 0, 0, 0, 0, 0};
    bool extensible = false;             // WAVE_FORMAT_EXTENSIBLE with its extension present
    uint16_t validBits = 0;              // from the extension
    uint16_t subFormatTag = 0;           // the first two bytes of the sub-format GUID
};

WaveSurvey surveyWave(const std::string& fileName);

// "" for a regular file that opens for reading; otherwise the system's
// reason ("No such file or directory", "Is a directory", ...).
std::string fileOpenProblem(const std::string& fileName);

// The format in words, e.g. "16-bit PCM, 48000 Hz, 1 channel".
std::string describeWaveFormat(const WaveSurvey& survey);

// True when commands from acceptedCopyCommands can help (layout or format).
bool convertibleByTools(const WaveSurvey& survey);

// The name suggested for the accepted copy: NAME.wav -> NAME-pcm16.wav.
std::string acceptedCopyName(const std::string& inputName);

// An ffmpeg and a sox command that write a copy q58 accepts (16-bit PCM,
// 44100 Hz, stereo, "data" right after "fmt "), names quoted for the shell.
std::vector<std::string> acceptedCopyCommands(const std::string& inputName);

// The whole refusal for one line on standard error: the reason and, when
// the tools can help, the commands.
std::string waveRefusalText(const std::string& fileName, const WaveSurvey& survey);

// Quotes a name for the shell only when it needs it.
std::string shellWord(const std::string& word);
