#pragma once

#include <string>

// An output file written under a temporary name next to its final name and
// renamed over it only when complete: the final name never holds a partial
// file, and an existing file there survives a failed or abandoned write.
// (Same shape as the converter's safe-output class, so the two can merge.)
class ReplacingOutput {
public:
    explicit ReplacingOutput(std::string finalName);
    // Removes the temporary file unless commit() succeeded.
    ~ReplacingOutput();
    ReplacingOutput(const ReplacingOutput&) = delete;
    ReplacingOutput& operator=(const ReplacingOutput&) = delete;

    // False when no temporary name could be reserved.
    bool ok() const { return reserved; }
    // The name to open, write and close before commit().
    const std::string& temporaryName() const { return temporary; }
    // Forces the closed temporary file to disk and renames it over the
    // final name. False when either step failed (the temporary is removed).
    bool commit();
    // Removes the temporary file; the final name is left as it was.
    void abandon();

private:
    std::string finalName;
    std::string temporary;
    bool reserved = false;
    bool done = false;
};
