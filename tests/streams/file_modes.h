#pragma once

// Permission bits as the mode tests read and print them (POSIX only).
// Shared by the ReplacingFile tests and the q58 ones.

#include <sys/stat.h>

#include <sstream>
#include <string>

// A mode as the shell writes it: 0644.
inline std::string octal(unsigned value)
{
    std::ostringstream text;
    text << '0' << std::oct << value;
    return text.str();
}

// Permission bits of an existing file; 0 when it cannot be read.
inline mode_t modeOf(const std::string& name)
{
    struct stat info;
    return ::stat(name.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}
