// The Windows side of the restart tests. These cases restart (or try to
// restart) Windows, so they only ever run inside a throwaway copy of the
// prefix, started by restart_e2e.sh; ctest never runs this program itself.
#include "platform/platform_probe.h"
#include "platform/process_kill.h"
#include "platform/services.h"
#include "scan/memory_stage.h"
#include "platform/deferred_removal.h"
#include "platform/long_path.h"
#include "platform/registry_values.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

using namespace scx::test;

namespace {

// The file the host side looks for: C:\scratch\e2e\locked\vexmor sample.exe
// (a long name, so that Windows 9x writes its short form).
std::string LockedPath()
{
    MakeDirs(ScratchDir() + "\\locked");
    return ScratchDir() + "\\locked\\vexmor sample.exe";
}

void Say(const char* format, int value)
{
    printf(format, value);
    printf("\n");
    fflush(stdout);
}

// An infected file that stays locked by a handle without delete sharing, so
// that neither deleting nor ending its process frees it; then the steps the
// trojan check takes for such a file.
HANDLE ScheduleLockedFile()
{
    std::string path = LockedPath();
    EXPECT_TRUE(WriteSample(path, 0));
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    {
        RecordingFrontEnd frontEnd; // "Could not kill process" where that branch shows it
        Say("KillProcessByImage=%d", KillProcessByImage(path.c_str()));
    }
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    int rebootNeeded = ScheduleRemovalAtRestart(path.c_str());
    Say("rebootNeeded=%d", rebootNeeded);
    EXPECT_EQ(1, rebootNeeded);
    return lock;
}

TEST(RestartE2e, DISABLED_ScheduleLockedFile)
{
    Say("platform=%d", GetPlatformCode());
    HANDLE lock = ScheduleLockedFile();
    CloseHandle(lock);
}

// Names the system's own path parsing would change: "held." (beside a
// "held" that must stay) and one outside every code page, each scheduled by
// its exact name while locked.
const char* const kExactNames[] = {"held.", "\xd0\x96\xe6\x96\x87 held.exe"};
const char kExactDecoy[] = "held";

std::string ExactPath(const char* name) { return ScratchDir() + "\\exact\\" + name; }

TEST(RestartE2e, DISABLED_ScheduleLockedExactNames)
{
    MakeDirs(ScratchDir() + "\\exact");
    ASSERT_TRUE(WriteSample(ExactPath(kExactDecoy), 0));
    for (const char* name : kExactNames) {
        const std::string path = ExactPath(name);
        LongPath wide(path.c_str());
        HANDLE h = CreateFileW(wide.get(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << name;
        DWORD written = 0;
        WriteFile(h, "x", 1, &written, nullptr);
        CloseHandle(h);
        // Kept open without delete sharing for the rest of this session.
        HANDLE lock = OpenFileForReadingLong(path.c_str());
        ASSERT_NE(INVALID_HANDLE_VALUE, lock) << name;
        EXPECT_FALSE(DeleteFileLong(path.c_str())) << name;
        Say("scheduled=%d", ScheduleRemovalAtRestart(path.c_str()));
    }
}

TEST(RestartE2e, DISABLED_ExactNamesGoneDecoyKept)
{
    for (const char* name : kExactNames) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesLong(ExactPath(name).c_str())) << name;
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesLong(ExactPath(kExactDecoy).c_str()));
    Say("checked=%d", HasFailure() ? 0 : 1);
}

TEST(RestartE2e, DISABLED_RestartAfterScheduling)
{
    HANDLE lock = ScheduleLockedFile();
    ASSERT_FALSE(HasFailure());
    Say("restarting=%d", 1);
    int result = RestartWindows();
    Say("RestartWindows=%d", result);
    // The restart ends every program of the session, this one included.
    Sleep(30000);
    CloseHandle(lock);
    FAIL() << "still running 30 s after the restart was requested";
}

bool HoldsPrivilege(HANDLE token, const LUID& luid)
{
    char buf[4096];
    DWORD len = 0;
    if (!GetTokenInformation(token, TokenPrivileges, buf, sizeof buf, &len))
        return true; // unknown: assume held, so nothing restarts
    const TOKEN_PRIVILEGES* all = reinterpret_cast<const TOKEN_PRIVILEGES*>(buf);
    for (DWORD i = 0; i < all->PrivilegeCount; ++i) {
        if (all->Privileges[i].Luid.LowPart == luid.LowPart && all->Privileges[i].Luid.HighPart == luid.HighPart)
            return true;
    }
    return false;
}

TEST(RestartE2e, DISABLED_RestartWithoutShutdownPrivilege)
{
    HANDLE lock = ScheduleLockedFile();
    CloseHandle(lock);

    // Take the shutdown privilege out of this process's token for good.
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid));
    tp.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
    AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
    bool held = HoldsPrivilege(token, tp.Privileges[0].Luid);
    CloseHandle(token);
    ASSERT_FALSE(held) << "could not take the privilege away; not asking for a restart";

    std::string witnessPath = ScratchDir() + "\\witness.exe";
    ASSERT_TRUE(WriteBytes(witnessPath, BuildCleanProgram()));
    ProcessGuard witness = StartProgram(witnessPath);
    ASSERT_TRUE(witness.IsRunning());

    int result = RestartWindows();
    Say("RestartWindows=%d", result);
    EXPECT_EQ(ERROR_NOT_ALL_ASSIGNED, result);
    Sleep(3000);
    EXPECT_TRUE(witness.IsRunning()) << "the session must not have restarted";
}

} // namespace
