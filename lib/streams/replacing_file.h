// ReplacingFile: an output written under a temporary name and renamed over its
// final name only once complete.
#pragma once

#include <memory>
#include <string>

#include "streams/byte_sink.h"

// An output that takes the place of its final name only once it is complete.
//
// The constructor creates a new, empty temporary file next to the file that
// will be replaced (where the final name is a symbolic link: next to the
// file the link leads to). The caller writes through the ReplacingFile
// itself, a ByteSink on the temporary file (opened at the first write), or
// has its own writer open temporaryName(), write and close it; commit() then
// syncs the file to the disk and renames it over the final name in one step. Until then a file already under the final name
// is untouched, and a run that stops half way leaves it as it was: abandon(),
// or the destructor without commit(), removes the temporary file.
//
// A new output gets the permissions of any file the user creates (0666
// less the umask); one that replaces a file keeps that file's permission
// bits, and its temporary file is never open to group or others wider than
// the replaced file is.
//
// Temporary names hold the process id and a per-process counter and are
// created exclusively, so concurrent runs and successive jobs never share
// one. An existing final name that is not a regular file (a directory, a
// pipe, a device) is never replaced: ok() is false from the start.
//
// The class prints nothing and installs no signal handlers: a program that
// must remove the temporary file when it is interrupted does that itself,
// with temporaryName().
class ReplacingFile : public ByteSink {
public:
    explicit ReplacingFile(std::string finalName);
    ~ReplacingFile() override;

    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when the temporary file could not be created or the final name
    // may not be replaced; problem() says why.
    bool ok() const { return created; }
    // The system's reason text for the last failure; empty when none.
    std::string problem() const { return reason; }

    // The name the writer opens, writes and closes before commit().
    const std::string& temporaryName() const { return temporary; }
    // The file commit() replaces: the final name with its links followed.
    const std::string& targetName() const { return target; }

    // The temporary file as a sink. Writes fail when ok() is false, the
    // file cannot be opened, or after commit() or abandon().
    size_t writeAt(uint64_t offset, const uint8_t* source, size_t count) override;
    bool flush() override;
    bool canSeek() const override { return true; }
    bool failed() const override;
    // Closes the temporary file written through the sink. False when any
    // write or the close failed (and always when ok() is false).
    bool close();

    // After the writer has closed the temporary file (commit() closes the
    // sink itself): sync it to the disk and rename it over the target. On
    // failure, or when a write through the sink failed, returns false with
    // problem() set and removes the temporary file; the target stays as it
    // was.
    bool commit();
    // Removes the temporary file (nothing after a commit).
    void abandon();

private:
    // Syncs the closed temporary file and renames it over the target;
    // false with reason set when either fails.
    bool moveIntoPlace();

    std::string target;
    std::string temporary;
    std::string reason;
    static constexpr unsigned noMode = ~0u;
    unsigned keptMode = noMode;  // permission bits of the replaced file (POSIX)
    bool created = false;
    bool pending = false;  // the temporary file exists and belongs to us
    std::unique_ptr<FileByteSink> sink;  // opened by the first writeAt
    bool sinkFailed = false;             // sticky, also once the sink is closed
};

// True when both names lead to the same existing file (device and inode; on
// Windows volume serial number and file index), through symbolic and hard
// links. False when either does not exist.
bool sameFile(const std::string& a, const std::string& b);
