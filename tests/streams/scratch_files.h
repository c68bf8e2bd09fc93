#pragma once

// Helpers for the stream and format tests: a scratch directory per test and
// whole-file I/O through the standard library, independent of the code tested.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class ScratchDir {
public:
    ScratchDir()
    {
        std::random_device entropy;
        root = std::filesystem::temp_directory_path() /
               ("q58-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(entropy()));
        std::filesystem::create_directories(root);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string file(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

using Bytes = std::vector<uint8_t>;

inline Bytes readWholeFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeWholeFile(const std::string& name, const Bytes& bytes)
{
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// Distinct neighbouring bytes, so a misplaced copy shows.
inline Bytes patternBytes(int count, int seed = 7)
{
    Bytes bytes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>((i * 37 + seed) & 0xFF);
    return bytes;
}

// Writes each piece at its offset, leaving holes: free on sparse file systems.
inline void writeSparseFile(const std::string& name, const std::vector<std::pair<int64_t, Bytes>>& pieces)
{
    std::ofstream out(name, std::ios::binary);
    for (const auto& piece : pieces) {
        out.seekp(static_cast<std::streamoff>(piece.first));
        out.write(reinterpret_cast<const char*>(piece.second.data()), static_cast<std::streamsize>(piece.second.size()));
    }
}

inline Bytes readBytesAt(const std::string& name, int64_t offset, int count)
{
    std::ifstream in(name, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    Bytes bytes(static_cast<size_t>(count));
    in.read(reinterpret_cast<char*>(bytes.data()), count);
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

inline bool haveDevFull()
{
    std::error_code ignored;
    return std::filesystem::exists("/dev/full", ignored);
}

// Far-out holes are only cheap where files can be sparse.
#ifdef _WIN32
#define SKIP_WITHOUT_SPARSE_FILES() GTEST_SKIP() << "gaps are zero-filled on this platform"
#else
#define SKIP_WITHOUT_SPARSE_FILES() (void)0
#endif

constexpr int64_t gibibyte = 1LL << 30;
