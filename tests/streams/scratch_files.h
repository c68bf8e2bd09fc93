#pragma once

// Test helpers shared by the stream and format tests: a scratch directory
// per test and whole-file reads and writes done with the standard library
// only, independent of the classes under test.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

class ScratchDir {
public:
    ScratchDir()
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::random_device entropy;
        const std::string name = std::string("q58-") + (info ? info->name() : "test") + "-" +
                                 std::to_string(entropy()) + std::to_string(entropy());
        root = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(root);
    }

    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string file(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

inline std::vector<uint8_t> readWholeFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeWholeFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that differ from their neighbours and from their offset's low byte
// pattern in a simple shift, so misplaced copies show.
inline std::vector<uint8_t> patternBytes(int count, int seed = 7)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>((i * 37 + seed) & 0xFF);
    return bytes;
}

// Writes each piece at its offset into a fresh file, leaving holes between
// them; on file systems with sparse files the holes cost no disk space.
struct PlacedBytes {
    int64_t offset;
    std::vector<uint8_t> bytes;
};

inline void writeSparseFile(const std::string& name, const std::vector<PlacedBytes>& pieces)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    for (const PlacedBytes& piece : pieces) {
        out.seekp(static_cast<std::streamoff>(piece.offset));
        out.write(reinterpret_cast<const char*>(piece.bytes.data()),
                  static_cast<std::streamsize>(piece.bytes.size()));
    }
}

inline std::vector<uint8_t> readBytesAt(const std::string& name, int64_t offset, int count)
{
    std::ifstream in(name, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    in.read(reinterpret_cast<char*>(bytes.data()), count);
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

// Gaps written far out are only cheap where files can be sparse.
#ifdef _WIN32
#define SKIP_WITHOUT_SPARSE_FILES() GTEST_SKIP() << "gaps are zero-filled on this platform"
#else
#define SKIP_WITHOUT_SPARSE_FILES() (void)0
#endif

constexpr int64_t gibibyte = 1LL << 30;
