#include "streams/replacing_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Successive outputs of one process get distinct temporary names.
std::atomic<unsigned> temporaryCounter{0};

// The directory part of a name, with its trailing separator ("" for a bare
// name, so that it stays relative to the current directory).
std::string directoryPart(const std::string& name)
{
#ifdef _WIN32
    const size_t slash = name.find_last_of("/\\:");
#else
    const size_t slash = name.rfind('/');
#endif
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

std::string lastPart(const std::string& name) { return name.substr(directoryPart(name).size()); }

// ".NAME.part-PID-N": hidden, next to the target, and short enough for the
// file system's 255-byte limit whatever NAME is. A long name is cut at the
// start of a UTF-8 sequence so the temporary name stays valid text.
std::string temporaryNameFor(const std::string& target, unsigned long processId, unsigned counter)
{
    const std::string suffix = ".part-" + std::to_string(processId) + "-" + std::to_string(counter);
    std::string base = lastPart(target);
    const size_t room = 255 - 1 - suffix.size();
    if (base.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        base.resize(cut);
    }
    return directoryPart(target) + "." + base + suffix;
}

#ifdef _WIN32

std::string systemMessage(DWORD code)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text ? std::string(text, length) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

#else

std::string systemMessage(int code) { return std::strerror(code); }

// Follows symbolic links one at a time, so that a link whose target does not
// exist yet still names the file to create. A relative link is read from the
// link's own directory. A loop is left to fail at creation.
std::string followLinks(std::string name)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return name;
        std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(name.c_str(), &link[0], link.size());
        if (length <= 0 || static_cast<size_t>(length) >= link.size())
            return name;
        link.resize(static_cast<size_t>(length));
        name = link[0] == '/' ? link : directoryPart(name) + link;
    }
    return name;
}

// Makes the rename itself durable; a failure here does not undo it.
void syncDirectoryOf(const std::string& name)
{
    const std::string directory = directoryPart(name);
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

#endif

}  // namespace

#ifdef _WIN32

ReplacingFile::ReplacingFile(std::string finalName) : target(std::move(finalName))
{
    // Narrow names are UTF-8 under q58's manifest, as for the file streams,
    // so the ...A calls see the same names.
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        reason = "Is a directory";  // the same words as the POSIX build
        return;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryNameFor(target, GetCurrentProcessId(), temporaryCounter++);
        const HANDLE h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            created = pending = true;
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            reason = systemMessage(error);
            return;
        }
    }
    reason = "no free temporary name";
}

bool ReplacingFile::moveIntoPlace()
{
    const HANDLE h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    bool done = h != INVALID_HANDLE_VALUE;
    if (done) {
        done = FlushFileBuffers(h) != 0;
        const DWORD error = GetLastError();
        CloseHandle(h);
        SetLastError(error);
    }
    done = done && MoveFileExA(temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!done)
        reason = systemMessage(GetLastError());
    return done;
}

void ReplacingFile::abandon()
{
    sink.reset();  // closed before it is removed (Windows cannot remove an open file)
    if (pending)
        DeleteFileA(temporary.c_str());
    pending = false;
}

bool sameFile(const std::string& a, const std::string& b)
{
    auto identify = [](const std::string& name, BY_HANDLE_FILE_INFORMATION& info) {
        // No access rights needed to read the identity; directories need
        // the backup flag to be opened at all.
        const HANDLE h = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const bool known = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION first, second;
    return identify(a, first) && identify(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

#else

ReplacingFile::ReplacingFile(std::string finalName) : target(followLinks(std::move(finalName)))
{
    struct stat existing;
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && !S_ISREG(existing.st_mode)) {
        // Renaming over a pipe or a device would silently take away
        // something that was put there on purpose; a directory cannot be
        // replaced at all.
        reason = S_ISDIR(existing.st_mode) ? systemMessage(EISDIR)
                                           : "exists and is not a regular file (a pipe, device or socket)";
        return;
    }
    if (replacing && ::access(target.c_str(), W_OK) != 0) {
        // A file the user may not write stays protected, as it would be
        // from a writer that opens it in place (and as MoveFileEx leaves a
        // read-only file on Windows).
        reason = systemMessage(errno);
        return;
    }
    // A new output is created as any file the user makes (0666 less the
    // umask). One that replaces a file opens to group and others no wider
    // than that file does, also while it is written, so that a private file
    // is never replaced through a readable one; the owner may always write
    // it. The exact old bits are set at the commit.
    const mode_t creationMode = replacing ? ((existing.st_mode & 0666) | 0600) : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryNameFor(target, static_cast<unsigned long>(::getpid()), temporaryCounter++);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, creationMode);
        if (fd >= 0) {
            if (replacing)
                keptMode = static_cast<unsigned>(existing.st_mode & 07777);
            ::close(fd);
            created = pending = true;
            return;
        }
        if (errno != EEXIST) {
            reason = systemMessage(errno);
            return;
        }
    }
    reason = "no free temporary name";
}

bool ReplacingFile::moveIntoPlace()
{
    int error = 0;
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        error = errno;
    else {
        // The new file keeps the permissions of the one it replaces. They
        // are set only now, so that a read-only file that may be replaced
        // (by its owner as root) is replaced by a new read-only file while
        // the writer could still write the new one.
        if (keptMode != noMode && ::fchmod(fd, static_cast<mode_t>(keptMode)) != 0)
            error = errno;
#ifndef Q58_REPLACE_WITHOUT_SYNC
        // Without the sync a crash soon after the rename can leave the new
        // name on an empty or partial file on some file systems.
        if (error == 0 && ::fsync(fd) != 0)
            error = errno;
#endif
        if (::close(fd) != 0 && error == 0)
            error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        reason = systemMessage(error);
        return false;
    }
#ifndef Q58_REPLACE_WITHOUT_SYNC
    syncDirectoryOf(target);
#endif
    return true;
}

void ReplacingFile::abandon()
{
    sink.reset();  // closed before it is removed (Windows cannot remove an open file)
    if (pending)
        ::unlink(temporary.c_str());
    pending = false;
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first, second;
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

#endif

ReplacingFile::~ReplacingFile() { abandon(); }

bool ReplacingFile::commit()
{
    if (!pending)
        return false;
    if (!close()) {
        reason = "the temporary file could not be written in full";
        abandon();
        return false;
    }
    if (!moveIntoPlace()) {
        abandon();
        return false;
    }
    pending = false;
    return true;
}

size_t ReplacingFile::writeAt(uint64_t offset, const uint8_t* source, size_t count)
{
    if (sinkFailed || !pending) {
        sinkFailed = true;
        return 0;
    }
    if (!sink) {
        sink = std::make_unique<FileByteSink>(temporary.c_str());
        if (!sink->opened()) {
            sinkFailed = true;
            return 0;
        }
    }
    const size_t stored = sink->writeAt(offset, source, count);
    if (sink->failed()) sinkFailed = true;
    return stored;
}

bool ReplacingFile::flush()
{
    if (sink && !sink->flush()) sinkFailed = true;
    return !failed();
}

bool ReplacingFile::failed() const { return !created || sinkFailed; }

bool ReplacingFile::close()
{
    if (sink) {
        if (!sink->close()) sinkFailed = true;
        sink.reset();
    }
    return !failed();
}
