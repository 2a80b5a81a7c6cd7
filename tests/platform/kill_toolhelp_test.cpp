// Ending processes by executable name through Toolhelp (Windows 9x family),
// run as Windows 98. Wine reports bare executable names in szExeFile on
// every version, where Windows 9x itself reports full paths; the cases say
// which of the two they meet.
#include "platform/process_kill_detail.h"
#include "platform/platform_probe.h"
#include "platform/process_kill.h"
#include "platform/services.h"
#include "scan/memory_stage.h"
#include "tests/platform/kill_test_util.h"
#include "tests/support/recording_front_end.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

using namespace scx::test;

namespace {

// The snapshot order of the processes, and whether names come as full paths.
struct SnapshotView {
    std::vector<DWORD> order;
    bool fullPaths = false;
};

SnapshotView TakeSnapshot(const std::string& exeName)
{
    SnapshotView v;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return v;
    PROCESSENTRY32 e = {};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32First(snap, &e); ok; ok = Process32Next(snap, &e)) {
        std::string file = e.szExeFile;
        size_t slash = file.find_last_of('\\');
        if (Upper(file.substr(slash == std::string::npos ? 0 : slash + 1)) != Upper(exeName))
            continue;
        v.order.push_back(e.th32ProcessID);
        v.fullPaths = slash != std::string::npos;
    }
    CloseHandle(snap);
    return v;
}

TEST(KillToolhelp, RunsAsWindows98)
{
    ASSERT_EQ(4, GetPlatformCode());
}

TEST(KillToolhelp, InfectedSampleIsEndedAndItsFileCanBeDeleted)
{
    std::string path = MakeScratchSubdir("th") + "\\" + UniqueExeName("vxa");
    ASSERT_TRUE(WriteRunnable(path));
    ProcessGuard sample = StartProgram(path);
    ASSERT_TRUE(sample.IsRunning());
    ASSERT_FALSE(DeleteFileA(path.c_str())) << "a running image should be locked";

    RecordingFrontEnd frontEnd;
    EXPECT_EQ(1, KillProcessByImage(path.c_str()));
    EXPECT_EQ(0, sample.WaitExit(5000)) << "ended by the kill, exit code 0";
    EXPECT_TRUE(DeleteWithRetry(path));
    EXPECT_TRUE(frontEnd.notices().empty());
}

TEST(KillToolhelp, SameNameInTwoFoldersEndsOnlyOne)
{
    std::string name = UniqueExeName("vxs");
    std::string first = MakeScratchSubdir("th1") + "\\" + name;
    std::string second = MakeScratchSubdir("th2") + "\\" + name;
    ASSERT_TRUE(WriteRunnable(first));
    ASSERT_TRUE(WriteRunnable(second));
    ProcessGuard a = StartProgram(first);
    ProcessGuard b = StartProgram(second);
    ASSERT_TRUE(a.IsRunning() && b.IsRunning());
    SnapshotView view = TakeSnapshot(name);
    ASSERT_EQ(2u, view.order.size());

    EXPECT_EQ(1, KillByExeNameToolhelp(second.c_str()));
    Sleep(300);
    if (view.fullPaths) {
        // Full paths in the snapshot: exactly the process of that file ends.
        EXPECT_FALSE(b.IsRunning());
        EXPECT_TRUE(a.IsRunning());
    } else {
        // Bare names (Wine): only the first of the two in snapshot order ends.
        const ProcessGuard& firstListed = view.order[0] == a.pid() ? a : b;
        const ProcessGuard& secondListed = view.order[0] == a.pid() ? b : a;
        EXPECT_FALSE(firstListed.IsRunning());
        EXPECT_TRUE(secondListed.IsRunning());
    }
}

TEST(KillToolhelp, PathWithoutBackslashIsComparedWhole)
{
    std::string name = UniqueExeName("vxw");
    std::string path = MakeScratchSubdir("thw") + "\\" + name;
    ASSERT_TRUE(WriteRunnable(path));
    ProcessGuard sample = StartProgram(path);
    ASSERT_TRUE(sample.IsRunning());
    EXPECT_EQ(1, KillByExeNameToolhelp(name.c_str()));
    EXPECT_EQ(0, sample.WaitExit(5000));
    EXPECT_EQ(0, KillByExeNameToolhelp(UniqueExeName("vxw", "zz").c_str()));
}

TEST(KillToolhelp, NoRunningProcessShowsCouldNotKillWithPathAsCaption)
{
    std::string path = MakeScratchSubdir("thn") + "\\" + UniqueExeName("vxn");
    ASSERT_TRUE(WriteRunnable(path));
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(0, KillProcessByImage(path.c_str()));
    ASSERT_EQ(1u, frontEnd.notices().size());
    EXPECT_EQ(path, frontEnd.notices()[0].caption);
    EXPECT_EQ("Could not kill process", frontEnd.notices()[0].text);
    EXPECT_TRUE(FileExists(path));
}

struct EntryCase {
    const char* name;
    const char* exeFile;
    const char* path;
    bool matches;
};

// Where the snapshot gives a full path, a program of the same name in
// another folder is not the file's process.
const EntryCase kEntryCases[] = {
    {"BareNameAgainstPath", "same.exe", "C:\\a\\same.exe", true},
    {"BareNameCaseIgnored", "SAME.EXE", "c:\\b\\same.exe", true},
    {"BareNameOther", "other.exe", "C:\\a\\same.exe", false},
    {"BareNameAgainstBarePath", "same.exe", "same.exe", true},
    {"FullPathSameFile", "C:\\A\\SAME.EXE", "c:\\a\\same.exe", true},
    {"FullPathOtherFolder", "C:\\b\\same.exe", "C:\\a\\same.exe", false},
    {"FullPathAgainstBarePath", "C:\\a\\same.exe", "same.exe", true},
    {"FullPathPrefixOnly", "C:\\a\\same.exe", "C:\\a\\same.exe2", false},
    {"EmptyEntry", "", "C:\\a\\same.exe", false},
};

class ToolhelpEntryCase : public ::testing::TestWithParam<EntryCase> {};

TEST_P(ToolhelpEntryCase, EntryAgainstPath)
{
    const EntryCase& c = GetParam();
    EXPECT_EQ(c.matches, ToolhelpEntryMatches(c.exeFile, c.path));
}

INSTANTIATE_TEST_SUITE_P(Entries, ToolhelpEntryCase, ::testing::ValuesIn(kEntryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows 9x may list a program by its short (8.3) path.
TEST(ToolhelpEntry, ShortFormOfTheSamePathMatches)
{
    std::string dir = MakeScratchSubdir("Long Folder Name");
    std::string path = dir + "\\long program name.exe";
    std::string other = dir + "\\long program other.exe";
    ASSERT_TRUE(WriteRunnable(path, false));
    ASSERT_TRUE(WriteRunnable(other, false));
    char shortPath[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    ASSERT_TRUE(n > 0 && n < sizeof shortPath);
    ASSERT_NE(path, std::string(shortPath));
    EXPECT_TRUE(ToolhelpEntryMatches(shortPath, path.c_str()));
    EXPECT_FALSE(ToolhelpEntryMatches(shortPath, other.c_str()));
}

} // namespace
