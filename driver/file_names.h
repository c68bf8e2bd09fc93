#pragma once

#include <string>

// True when name ends with suffix, byte for byte (case-sensitive).
bool endsWith(const std::string& name, const std::string& suffix);
