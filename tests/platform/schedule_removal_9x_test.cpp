// Removal at restart on the Windows 9x family, run as Windows 98: entries in
// the real wininit.ini of the prefix's Windows folder, which each case puts
// back as it found it.
#include "platform/platform_probe.h"
#include "platform/process_kill.h"
#include "platform/services.h"
#include "platform/deferred_removal.h"
#include "platform/registry_values.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

using namespace scx::test;

namespace {

std::string WindowsFile(const char* name)
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\" + name;
}

std::string TempFile(const char* name)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    return std::string(dir) + name;
}

// Keeps wininit.ini and its working copy as they were before the case.
class SavedFile {
public:
    explicit SavedFile(std::string path) : path_(std::move(path)), existed_(FileExists(path_))
    {
        if (existed_)
            bytes_ = ReadBytes(path_);
        DeleteFileA(path_.c_str());
    }
    ~SavedFile()
    {
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path_.c_str());
        if (existed_)
            WriteBytes(path_, bytes_);
    }

private:
    std::string path_;
    bool existed_;
    std::vector<uint8_t> bytes_;
};

std::string ShortPath(const std::string& path)
{
    char buf[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
    return n > 0 && n < sizeof buf ? buf : "";
}

std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class ScheduleRemoval9x : public ::testing::Test {
protected:
    SavedFile ini_{WindowsFile("wininit.ini")};
    SavedFile copy_{TempFile("wininit.ini")};
    std::string dir_ = MakeScratchSubdir("Locked Files");
};

TEST_F(ScheduleRemoval9x, RunsAsWindows98)
{
    ASSERT_EQ(4, GetPlatformCode());
}

// No wininit.ini yet: it is made with the header and the short path; a second
// file scheduled in the same run follows the first.
TEST_F(ScheduleRemoval9x, EntriesByShortPathInTheOrderScheduled)
{
    std::string first = dir_ + "\\infected program.exe";
    std::string second = dir_ + "\\second.exe";
    ASSERT_TRUE(WriteText(first, "x"));
    ASSERT_TRUE(WriteText(second, "x"));
    std::string shortFirst = ShortPath(first);
    ASSERT_FALSE(shortFirst.empty());
    ASSERT_EQ(std::string::npos, shortFirst.find(' '));

    EXPECT_EQ(1, ScheduleRemovalAtRestart(first.c_str()));
    EXPECT_EQ("[rename]\r\nNUL=" + shortFirst + "\r\n", Text(ReadBytes(WindowsFile("wininit.ini"))));
    EXPECT_EQ(1, ScheduleRemovalAtRestart(second.c_str()));
    EXPECT_EQ("[rename]\r\nNUL=" + shortFirst + "\r\nNUL=" + ShortPath(second) + "\r\n",
              Text(ReadBytes(WindowsFile("wininit.ini"))));
    EXPECT_TRUE(FileExists(first)) << "nothing is removed before the restart";
}

TEST_F(ScheduleRemoval9x, ExistingFileGetsEntryInItsSection)
{
    const std::string old = "[boot]\r\na=b\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n[z]\r\n";
    ASSERT_TRUE(WriteText(WindowsFile("wininit.ini"), old));
    std::string file = dir_ + "\\vx.exe";
    ASSERT_TRUE(WriteText(file, "x"));
    EXPECT_EQ(1, ScheduleRemovalAtRestart(file.c_str()));
    EXPECT_EQ("[boot]\r\na=b\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\nNUL=" + ShortPath(file) + "\r\n[z]\r\n",
              Text(ReadBytes(WindowsFile("wininit.ini"))));
    EXPECT_EQ(old, Text(ReadBytes(TempFile("wininit.ini"))));
}

// Without a short path there is nothing to write: no entry, no file.
TEST_F(ScheduleRemoval9x, NoShortPathNoEntry)
{
    std::string missing = dir_ + "\\not there.exe";
    EXPECT_EQ(0, ScheduleRemovalAtRestart(missing.c_str()));
    EXPECT_FALSE(FileExists(WindowsFile("wininit.ini")));
    const std::string old = "[rename]\r\nNUL=C:\\OLD.EXE\r\n";
    ASSERT_TRUE(WriteText(WindowsFile("wininit.ini"), old));
    EXPECT_EQ(0, ScheduleRemovalAtRestart(missing.c_str()));
    EXPECT_EQ(old, Text(ReadBytes(WindowsFile("wininit.ini"))));
}

} // namespace
