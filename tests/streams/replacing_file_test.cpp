#include "streams/replacing_file.h"
#include "streams/long_names.h"
#include "streams/scratch_files.h"

#include <sstream>

#ifndef _WIN32
#include "streams/file_modes.h"
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

// Names in the directory, so that a temporary file left behind shows.
std::vector<std::string> namesIn(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string folderOf(const ScratchDir& dir) { return fs::path(dir.file("x")).parent_path().string(); }

enum class Ending { commit, abandon, destroy };

TEST(ReplacingFile, TheFinalNameChangesOnlyAtCommit)
{
    struct Case {
        const char* what;
        bool existing;     // a file is already under the final name
        bool throughSink;  // written through the ReplacingFile itself, not by name
        bool failedWrite;  // one write through the sink fails (an offset no file can have)
        Ending ending;
    };
    const Case cases[] = {
        {"new name, committed", false, false, false, Ending::commit},
        {"existing file, committed", true, false, false, Ending::commit},
        {"existing file, abandoned", true, false, false, Ending::abandon},
        {"existing file, destroyed without commit", true, false, false, Ending::destroy},
        {"new name, abandoned", false, false, false, Ending::abandon},
        {"sink, existing file, committed", true, true, false, Ending::commit},
        {"sink, new name, destroyed without commit", false, true, false, Ending::destroy},
        {"sink, existing file, a write failed", true, true, true, Ending::commit},
        {"sink, new name, a write failed", false, true, true, Ending::commit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const std::string name = dir.file("out.bin");
        const Bytes old = patternBytes(100, 1), fresh = patternBytes(300, 2);
        if (c.existing)
            writeWholeFile(name, old);
        {
            ReplacingFile out(name);
            ASSERT_TRUE(out.ok()) << out.problem();
            EXPECT_NE(out.temporaryName(), name);
            EXPECT_EQ(fs::path(out.temporaryName()).parent_path(), fs::path(name).parent_path());
            if (c.throughSink) {
                // The tail first, then the head: the sink stores by offset.
                EXPECT_EQ(out.writeAt(100, fresh.data() + 100, 200), 200u);
                EXPECT_EQ(out.writeAt(0, fresh.data(), 100), 100u);
                if (c.failedWrite) {
                    EXPECT_EQ(out.writeAt(UINT64_MAX - 1, fresh.data(), 1), 0u);
                }
                EXPECT_EQ(out.failed(), c.failedWrite);
            } else {
                writeWholeFile(out.temporaryName(), fresh);
            }
            // Nothing visible under the final name before the commit.
            EXPECT_EQ(fs::exists(name), c.existing);
            if (c.existing) {
                EXPECT_EQ(readWholeFile(name), old);
            }
            if (c.ending == Ending::commit) {
                EXPECT_EQ(out.commit(), !c.failedWrite) << out.problem();
            }
            if (c.ending == Ending::abandon)
                out.abandon();
        }
        const bool replaced = c.ending == Ending::commit && !c.failedWrite;
        EXPECT_EQ(fs::exists(name), replaced || c.existing);
        if (fs::exists(name)) {
            EXPECT_EQ(readWholeFile(name), replaced ? fresh : old);
        }
        EXPECT_EQ(namesIn(folderOf(dir)).size(), fs::exists(name) ? 1u : 0u);
    }
}

TEST(ReplacingFile, TemporaryNamesNeverRepeatAndOthersAreNotTaken)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    ReplacingFile first(name);
    ReplacingFile second(name);
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_NE(first.temporaryName(), second.temporaryName());
    writeWholeFile(first.temporaryName(), patternBytes(10, 1));
    writeWholeFile(second.temporaryName(), patternBytes(20, 2));
    // The last commit wins, with a whole file; neither leaves anything else.
    EXPECT_TRUE(second.commit());
    EXPECT_TRUE(first.commit());
    EXPECT_EQ(readWholeFile(name), patternBytes(10, 1));
    EXPECT_EQ(namesIn(folderOf(dir)), std::vector<std::string>{"out.bin"});
}

TEST(ReplacingFile, DirectoriesAndMissingFoldersAreRefused)
{
    ScratchDir dir;
    fs::create_directory(dir.file("folder"));
    for (const std::string& name : {dir.file("folder"), dir.file("missing/out.bin")}) {
        SCOPED_TRACE(name);
        ReplacingFile out(name);
        EXPECT_FALSE(out.ok());
        EXPECT_FALSE(out.problem().empty());
        EXPECT_FALSE(out.commit());
    }
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_EQ(namesIn(folderOf(dir)), std::vector<std::string>{"folder"});
}

#ifndef _WIN32

TEST(ReplacingFile, LinksAreFollowedAndStay)
{
    ScratchDir dir;
    fs::create_directory(dir.file("real"));
    writeWholeFile(dir.file("real/target.bin"), patternBytes(50, 1));
    fs::create_symlink("real/target.bin", dir.file("link.bin"));        // relative
    fs::create_symlink(dir.file("link.bin"), dir.file("chain.bin"));    // absolute, to a link
    fs::create_symlink("real/later.bin", dir.file("dangling.bin"));     // target not there yet
    struct Case {
        const char* link;
        const char* target;
    };
    for (const Case& c : {Case{"link.bin", "real/target.bin"}, Case{"chain.bin", "real/target.bin"},
                          Case{"dangling.bin", "real/later.bin"}}) {
        SCOPED_TRACE(c.link);
        const Bytes fresh = patternBytes(70, c.link[0]);
        ReplacingFile out(dir.file(c.link));
        ASSERT_TRUE(out.ok()) << out.problem();
        EXPECT_TRUE(sameFile(fs::path(out.targetName()).parent_path().string(), dir.file("real")));
        writeWholeFile(out.temporaryName(), fresh);
        ASSERT_TRUE(out.commit()) << out.problem();
        EXPECT_TRUE(fs::is_symlink(dir.file(c.link)));
        EXPECT_EQ(readWholeFile(dir.file(c.target)), fresh);
    }
    EXPECT_EQ(namesIn(dir.file("real")), (std::vector<std::string>{"later.bin", "target.bin"}));
}

TEST(ReplacingFile, PipesAndDevicesAreNeverReplaced)
{
    ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.bin").c_str(), 0644), 0);
    fs::create_symlink("/dev/null", dir.file("null.bin"));
    for (const char* name : {"pipe.bin", "null.bin"}) {
        SCOPED_TRACE(name);
        ReplacingFile out(dir.file(name));
        EXPECT_FALSE(out.ok());
        EXPECT_FALSE(out.problem().empty());
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe.bin")));
    EXPECT_EQ(namesIn(folderOf(dir)), (std::vector<std::string>{"null.bin", "pipe.bin"}));
}

TEST(ReplacingFile, ThePermissionsOfTheReplacedFileAreKept)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    for (const mode_t mode : {0640, 0444}) {  // a read-only file too: the new one is written first
        SCOPED_TRACE(mode);
        writeWholeFile(name, patternBytes(10));
        ::chmod(name.c_str(), mode);
        ReplacingFile out(name);
        ASSERT_TRUE(out.ok());
        writeWholeFile(out.temporaryName(), patternBytes(20));
        EXPECT_EQ(readWholeFile(out.temporaryName()), patternBytes(20));
        ASSERT_TRUE(out.commit()) << out.problem();
        EXPECT_EQ(readWholeFile(name), patternBytes(20));
        struct stat info;
        ASSERT_EQ(::stat(name.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, mode);
        ::chmod(name.c_str(), 0644);
    }
}

TEST(ReplacingFile, ANewFileHasTheUsualPermissionsUnderTheUmask)
{
    ScratchDir dir;
    for (const mode_t mask : {022, 077, 002, 027, 007}) {
        SCOPED_TRACE("umask " + octal(mask));
        const std::string name = dir.file("new" + std::to_string(mask) + ".bin");
        const mode_t before = ::umask(mask);
        bool committed = false;
        {
            ReplacingFile out(name);
            writeWholeFile(out.temporaryName(), patternBytes(20));
            committed = out.commit();
        }
        ::umask(before);
        ASSERT_TRUE(committed);
        EXPECT_EQ(modeOf(name), 0666 & ~mask);
    }
}

TEST(ReplacingFile, TheTemporaryFileOpensToNoOneTheReplacedFileKeepsOut)
{
    ScratchDir dir;
    const std::string name = dir.file("private.bin");
    for (const mode_t mask : {022, 002})
        for (const mode_t oldMode : {0600, 0640, 0604, 0660}) {
            SCOPED_TRACE("umask " + octal(mask) + ", old mode " + octal(oldMode));
            writeWholeFile(name, patternBytes(10));
            ::chmod(name.c_str(), oldMode);
            const mode_t before = ::umask(mask);
            {
                ReplacingFile out(name);
                ::umask(before);
                ASSERT_TRUE(out.ok()) << out.problem();
                // Group and others get no permission on the new bytes
                // that they lack on the old ones, not even while written.
                EXPECT_EQ(modeOf(out.temporaryName()) & 077 & ~oldMode, 0u);
                writeWholeFile(out.temporaryName(), patternBytes(20));
                ASSERT_TRUE(out.commit()) << out.problem();
            }
            EXPECT_EQ(readWholeFile(name), patternBytes(20));
            EXPECT_EQ(modeOf(name), oldMode);
        }
}

// True when the bytes are well-formed UTF-8: no sequence cut short and no
// continuation byte without its lead.
bool isUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const unsigned lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

TEST(ReplacingFile, LongFinalNamesGetAValidTemporaryNameWithinTheLimit)
{
    for (const NameStyle& style : nameStyles())
        for (const size_t length : {240, 244, 248, 251, 252, 253, 254, 255, 256, 260})
            for (const bool existing : {false, true}) {
                const bool fits = length <= longestName;
                if (existing && !fits)
                    continue;
                SCOPED_TRACE(std::string(style.what) + ", " + std::to_string(length) + " bytes" +
                             (existing ? ", replacing a file" : ""));
                ScratchDir dir;
                const std::string finalName = nameOfLength(length, style.lead, style.unit, ".q58");
                const std::string name = dir.file(finalName);
                if (existing)
                    writeWholeFile(name, patternBytes(30, 1));
                const Bytes fresh = patternBytes(200, static_cast<int>(length));
                {
                    ReplacingFile out(name);
                    EXPECT_TRUE(out.ok() || !fits) << out.problem();
                    if (out.ok()) {
                        const fs::path temporary(out.temporaryName());
                        const std::string temporaryPart = temporary.filename().string();
                        EXPECT_EQ(temporary.parent_path(), fs::path(name).parent_path());
                        EXPECT_LE(temporaryPart.size(), longestName);
                        EXPECT_NE(temporaryPart, finalName);
                        EXPECT_TRUE(isUtf8(temporaryPart)) << temporaryPart;
                        std::vector<std::string> present = {temporaryPart};
                        if (existing)
                            present.push_back(finalName);
                        std::sort(present.begin(), present.end());
                        EXPECT_EQ(namesIn(folderOf(dir)), present);
                        writeWholeFile(out.temporaryName(), fresh);
                        EXPECT_EQ(out.commit(), fits) << out.problem();
                    }
                    // A name over the limit cannot be made: the reason is told.
                    EXPECT_EQ(out.problem().empty(), fits);
                }
                EXPECT_EQ(namesIn(folderOf(dir)), fits ? std::vector<std::string>{finalName} : std::vector<std::string>{});
                if (fits) {
                    EXPECT_EQ(readWholeFile(name), fresh);
                }
            }
}

#endif

TEST(SameFile, FollowsLinksAndNeedsBothFiles)
{
    ScratchDir dir;
    writeWholeFile(dir.file("a.bin"), patternBytes(10, 1));
    writeWholeFile(dir.file("b.bin"), patternBytes(10, 1));
    fs::create_hard_link(dir.file("a.bin"), dir.file("hard.bin"));
    EXPECT_TRUE(sameFile(dir.file("a.bin"), dir.file("a.bin")));
    EXPECT_TRUE(sameFile(dir.file("a.bin"), dir.file("hard.bin")));
    EXPECT_FALSE(sameFile(dir.file("a.bin"), dir.file("b.bin")));  // equal bytes, other file
    EXPECT_FALSE(sameFile(dir.file("a.bin"), dir.file("none.bin")));
    EXPECT_FALSE(sameFile(dir.file("none.bin"), dir.file("none.bin")));
#ifndef _WIN32
    fs::create_symlink("a.bin", dir.file("soft.bin"));
    EXPECT_TRUE(sameFile(dir.file("soft.bin"), dir.file("hard.bin")));
#endif
}

}  // namespace
