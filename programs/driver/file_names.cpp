#include "driver/file_names.h"

#ifdef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <filesystem>
#endif

bool endsWith(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isRegularFile(const std::string& name)
{
#ifdef _WIN32
    // The C runtime reads narrow names in the process code page (UTF-8 under
    // q58's manifest), as the file streams that open the file next do.
    // MinGW's std::filesystem::path would convert the bytes without regard
    // for that code page and miss every name outside ASCII.
    struct _stat64 info;
    return _stat64(name.c_str(), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(name), error);
#endif
}
