// Removal at restart on the Windows 9x family when the disk that holds the
// Windows folder is full: the rewrite of wininit.ini fails, and the old file
// must come through whole, with nothing left beside it. Run by
// tests/support/faults.sh as Windows 98, with the Windows folder on a small
// overlay that the script has filled to the last byte.
#include "scan/memory_stage.h"
#include "platform/deferred_removal.h"
#include "platform/platform_probe.h"
#include "scan/repair.h"
#include "tests/scan/engine_fixture.h"

#include <windows.h>

#include <algorithm>

using namespace scx::test;

namespace {

constexpr int kRecord = 3;

std::string WindowsFile(const std::string& name)
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\" + name;
}

// The names in the Windows folder: a failed rewrite must leave none behind.
std::vector<std::string> WindowsFolderNames()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(WindowsFile("*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

} // namespace

class FaultsDisk : public EngineTest {};

TEST_F(FaultsDisk, DISABLED_FullDiskLeavesWininitAsItWas)
{
    ASSERT_EQ(4, GetPlatformCode()) << "runs as Windows 98";
    const std::string ini = WindowsFile("wininit.ini");
    const std::string old = Text(ReadBytes(ini));
    ASSERT_NE(std::string::npos, old.find("[rename]")) << "the script puts a wininit.ini in place";
    // The fault is really there: not even a small file fits.
    ASSERT_FALSE(WriteText(WindowsFile("scx-probe.tmp"), std::string(4096, 'x')));
    DeleteFileA(WindowsFile("scx-probe.tmp").c_str());
    const std::vector<std::string> namesBefore = WindowsFolderNames();

    // An infected file held open without delete sharing: it cannot be
    // deleted, no process of its name can be ended, so its removal at the
    // next start is asked for, and that request cannot be written.
    const std::string sample = Path("vexheld.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    HANDLE held = CreateFileA(sample.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    const int walked = WalkDirectory(Pattern().c_str());
    CloseHandle(held);

    EXPECT_EQ(1, walked);
    EXPECT_EQ(1, ScanState.filesInfected) << "held open for reading, it can still be checked";
    EXPECT_EQ(std::vector<std::string>({sample + "     " + RecordName(kRecord) + " Unable to remove"}), lines());
    EXPECT_FALSE(ScanState.rebootNeeded) << "a request that could not be written needs no restart";
    EXPECT_TRUE(FileExists(sample));
    EXPECT_EQ(old, Text(ReadBytes(ini))) << "wininit.ini is unchanged";
    EXPECT_EQ(namesBefore, WindowsFolderNames()) << "nothing is left beside it";
    // Asked directly, the request reports its failure the same way.
    EXPECT_EQ(0, ScheduleRemovalAtRestart(sample.c_str()));
    EXPECT_EQ(old, Text(ReadBytes(ini)));
}
