// wininit.ini on disk: a new file, a rewritten one, and writes that fail
// part-way, which must leave the old file as it was. Each case works in a
// Windows folder and a temporary folder of its own.
#include "platform/deferred_removal_detail.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> ListFolder(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string n = fd.cFileName;
        if (n != "." && n != "..")
            names.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

struct Folders {
    std::string windows = MakeScratchSubdir("windows");
    std::string temp = MakeScratchSubdir("temp");
    std::string ini = windows + "\\wininit.ini";
    std::string copy = temp + "\\wininit.ini";
    ~Folders()
    {
        SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTree(windows);
        RemoveTree(temp);
    }
};

const char kOld[] = "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n[z]\r\nq=1";
const char kExpected[] = "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\nNUL=C:\\VX~1\\A.EXE\r\n[z]\r\nq=1";

TEST(WininitFile, MissingFileIsCreatedWithHeaderAndEntry)
{
    Folders f;
    ASSERT_TRUE(AddWininitRenameAt(f.ini.c_str(), f.copy.c_str(), "NUL", "C:\\VX~1\\A.EXE"));
    EXPECT_EQ("[rename]\r\nNUL=C:\\VX~1\\A.EXE\r\n", Text(ReadBytes(f.ini)));
    EXPECT_EQ(std::vector<std::string>{"wininit.ini"}, ListFolder(f.windows));
}

TEST(WininitFile, ExistingFileRewrittenWithOldBytesKept)
{
    Folders f;
    ASSERT_TRUE(WriteText(f.ini, kOld));
    ASSERT_TRUE(AddWininitRenameAt(f.ini.c_str(), f.copy.c_str(), "NUL", "C:\\VX~1\\A.EXE"));
    EXPECT_EQ(kExpected, Text(ReadBytes(f.ini)));
    EXPECT_EQ(kOld, Text(ReadBytes(f.copy))) << "the working copy stays in the temporary folder";
    EXPECT_EQ(std::vector<std::string>{"wininit.ini"}, ListFolder(f.windows));
}

TEST(WininitFile, HiddenFileStaysHidden)
{
    Folders f;
    ASSERT_TRUE(WriteText(f.ini, kOld));
    SetFileAttributesA(f.ini.c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(AddWininitRenameAt(f.ini.c_str(), f.copy.c_str(), "NUL", "C:\\VX~1\\A.EXE"));
    EXPECT_EQ(kExpected, Text(ReadBytes(f.ini)));
    EXPECT_TRUE(GetFileAttributesA(f.ini.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

struct FailCase {
    const char* name;
    bool existing;
    long writeLimit;
};

// The write to the new content fails after writeLimit bytes.
const FailCase kFailCases[] = {
    {"ExistingNothingWritten", true, 0},
    {"ExistingInsideOldLines", true, 12},
    {"ExistingInsideEntry", true, 50},
    {"ExistingLastByteMissing", true, long(sizeof kExpected - 2)},
    {"NewNothingWritten", false, 0},
    {"NewInsideHeader", false, 4},
    {"NewInsideEntry", false, 16},
};

class WininitFailedWrite : public ::testing::TestWithParam<FailCase> {};

TEST_P(WininitFailedWrite, OldFileLeftIntactAndNoLeftovers)
{
    const FailCase& c = GetParam();
    Folders f;
    if (c.existing) {
        ASSERT_TRUE(WriteText(f.ini, kOld));
    }
    EXPECT_FALSE(AddWininitRenameAt(f.ini.c_str(), f.copy.c_str(), "NUL", "C:\\VX~1\\A.EXE", c.writeLimit));
    if (c.existing) {
        EXPECT_EQ(kOld, Text(ReadBytes(f.ini)));
        EXPECT_EQ(std::vector<std::string>{"wininit.ini"}, ListFolder(f.windows));
    } else {
        EXPECT_FALSE(FileExists(f.ini));
        EXPECT_TRUE(ListFolder(f.windows).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Writes, WininitFailedWrite, ::testing::ValuesIn(kFailCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WininitFile, ReadOnlyFileIsLeftAsItIs)
{
    Folders f;
    ASSERT_TRUE(WriteText(f.ini, kOld));
    SetFileAttributesA(f.ini.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(AddWininitRenameAt(f.ini.c_str(), f.copy.c_str(), "NUL", "C:\\VX~1\\A.EXE"));
    EXPECT_EQ(kOld, Text(ReadBytes(f.ini)));
    EXPECT_EQ(std::vector<std::string>{"wininit.ini"}, ListFolder(f.windows));
}

TEST(WininitFile, MissingWindowsFolderFails)
{
    Folders f;
    std::string ini = f.windows + "\\missing\\wininit.ini";
    EXPECT_FALSE(AddWininitRenameAt(ini.c_str(), f.copy.c_str(), "NUL", "C:\\VX~1\\A.EXE"));
    EXPECT_TRUE(ListFolder(f.windows).empty());
}

TEST(WininitFile, WorkingCopyThatCannotBeMadeLeavesFileAlone)
{
    Folders f;
    ASSERT_TRUE(WriteText(f.ini, kOld));
    std::string copy = f.temp + "\\missing\\wininit.ini";
    EXPECT_FALSE(AddWininitRenameAt(f.ini.c_str(), copy.c_str(), "NUL", "C:\\VX~1\\A.EXE"));
    EXPECT_EQ(kOld, Text(ReadBytes(f.ini)));
    EXPECT_EQ(std::vector<std::string>{"wininit.ini"}, ListFolder(f.windows));
}

// The Windows 9x way of replacing: the old file moved aside first, put back
// when the new one cannot take its place.
TEST(WininitFile, ReplaceByBackup)
{
    Folders f;
    std::string fresh = f.windows + "\\fresh.tmp";
    ASSERT_TRUE(WriteText(f.ini, kOld));
    ASSERT_TRUE(WriteText(fresh, kExpected));
    EXPECT_TRUE(ReplaceFileByBackup(fresh.c_str(), f.ini.c_str()));
    EXPECT_EQ(kExpected, Text(ReadBytes(f.ini)));
    EXPECT_EQ(std::vector<std::string>{"wininit.ini"}, ListFolder(f.windows));

    std::string missing = f.windows + "\\missing.tmp";
    EXPECT_FALSE(ReplaceFileByBackup(missing.c_str(), f.ini.c_str()));
    EXPECT_EQ(kExpected, Text(ReadBytes(f.ini)));
    EXPECT_EQ(std::vector<std::string>{"wininit.ini"}, ListFolder(f.windows));
}

struct ShortPathCase {
    const char* name;
    const char* path;
    bool usable;
};

const ShortPathCase kShortPathCases[] = {
    {"Ordinary", "C:\\PROGRA~1\\VX.EXE", true},
    {"Empty", "", false},
    {"Blank", "C:\\MY DOC~1\\VX.EXE", false},
    {"EqualsSign", "C:\\A=B\\VX.EXE", false},
    {"LineEnd", "C:\\VX.EXE\r\n[boot]", false},
    {"Semicolon", "C:\\A;B.EXE", false},
};

class ShortPathUse : public ::testing::TestWithParam<ShortPathCase> {};

TEST_P(ShortPathUse, FitForAnEntry)
{
    EXPECT_EQ(GetParam().usable, IsUsableShortPath(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(Paths, ShortPathUse, ::testing::ValuesIn(kShortPathCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
