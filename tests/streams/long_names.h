#pragma once

// File names at and around the 255-byte limit the file systems put on one
// name, for the tests of output naming: leading dashes, dots and spaces,
// and multibyte UTF-8 characters placed so that a cut by bytes near the end
// would split one. Shared by the ReplacingFile tests and the q58 ones.

#include <cstddef>
#include <string>
#include <vector>

constexpr size_t longestName = 255;  // NAME_MAX on the POSIX file systems we meet

// Exactly `bytes` bytes: `lead`, then as many whole copies of `unit` as fit
// before `suffix`, then '_' up to the length, then `suffix`.
inline std::string nameOfLength(size_t bytes, const std::string& lead, const std::string& unit,
                                const std::string& suffix)
{
    std::string name = lead;
    while (name.size() + unit.size() + suffix.size() <= bytes)
        name += unit;
    name.resize(bytes - suffix.size(), '_');
    return name + suffix;
}

struct NameStyle {
    const char* what;
    const char* lead;
    const char* unit;
};

// The 4-byte character comes with leads of 0 to 3 bytes, so that whatever
// the length of the temporary name's own suffix, a cut one byte off a
// character boundary lands inside a character in some rows.
inline const std::vector<NameStyle>& nameStyles()
{
    static const std::vector<NameStyle> styles = {
        {"ASCII with a leading dash, dots and spaces", "-", "a.b c"},
        {"2-byte characters after a space", " ", "\xC3\xA9"},            // é
        {"3-byte characters after two dashes", "--", "\xE6\x97\xA5"},    // 日
        {"4-byte characters", "", "\xF0\x9F\x8E\xB5"},                   // 🎵
        {"4-byte characters after a dash", "-", "\xF0\x9F\x8E\xB5"},
        {"4-byte characters after a dash and a space", "- ", "\xF0\x9F\x8E\xB5"},
        {"4-byte characters after a dot, a dash and a space", ".- ", "\xF0\x9F\x8E\xB5"},
        {"mixed widths after a dot", ".", "\xC3\xA9\xE6\x97\xA5\xF0\x9F\x8E\xB5x"},
    };
    return styles;
}
