#pragma once

#include <string>

// True when name ends with suffix, byte for byte (case-sensitive).
bool endsWith(const std::string& name, const std::string& suffix);

// True when name is a regular file (following links). Directories, pipes and
// devices are never inputs: opening a pipe for reading would wait forever for
// a writer.
bool isRegularFile(const std::string& name);
