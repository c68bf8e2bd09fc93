#pragma once

// What a conversion job did with its input. A skipped input (unknown format,
// unreadable, no magic) gets one line on standard error and nothing else;
// the other two print their console lines, and failed means a diagnostic
// went to standard error.
enum class JobOutcome {
    skipped,    // input refused: one stderr line, nothing on stdout, no output created
    converted,  // output complete and intact
    failed,     // output could not be written in full, or the input was damaged
};

// One diagnostic line on standard error naming the file.
void reportProblem(const char* fileName, const char* problem);
