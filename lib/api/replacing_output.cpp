#include "api/replacing_output.h"

#include <atomic>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::atomic<unsigned> nextSerial{0};

int processId()
{
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// Creates name exclusively, so that two writers never share a temporary.
bool createExclusive(const std::string& name)
{
#ifdef _WIN32
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
#else
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    return true;
#endif
}

bool syncToDisk(const std::string& name)
{
#ifdef _WIN32
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool flushed = FlushFileBuffers(h) != 0;
    CloseHandle(h);
    return flushed;
#else
    const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
#endif
}

bool renameOver(const std::string& from, const std::string& to)
{
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

ReplacingOutput::ReplacingOutput(std::string name) : finalName(std::move(name))
{
    for (int attempt = 0; attempt < 100 && !reserved; ++attempt) {
        temporary = finalName + ".tmp-" + std::to_string(processId()) + "-" + std::to_string(nextSerial++);
        reserved = createExclusive(temporary);
    }
}

ReplacingOutput::~ReplacingOutput()
{
    abandon();
}

bool ReplacingOutput::commit()
{
    if (!reserved || done) return false;
    if (!syncToDisk(temporary) || !renameOver(temporary, finalName)) {
        abandon();
        return false;
    }
    done = true;
    return true;
}

void ReplacingOutput::abandon()
{
    if (reserved && !done) std::remove(temporary.c_str());
    done = true;
}
