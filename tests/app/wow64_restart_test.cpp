// The 32-bit console program on 64-bit Windows meets a locked sample under
// the name System32, where WOW64 shows it SysWOW64. The removal it schedules
// must name the file in SysWOW64: the restart runs without redirection and
// would otherwise remove the 64-bit file of that name. Run by the 64-bit
// suite, which gives the 32-bit program in SCX_SCOURIX_CLI (the 32-bit set).
#include "tests/support/samples.h"
#include "tests/support/scratch.h"
#include "tests/support/system_requests.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace scx::test;

namespace {

constexpr int kRecord = 1;
// A 32-bit program under CPU emulation takes about a minute to start.
constexpr DWORD kRunTimeoutMs = 600000;

bool SameText(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

std::string Folder(UINT(WINAPI* get)(LPSTR, UINT))
{
    char buf[MAX_PATH];
    UINT n = get(buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

long RunAndWait(const std::string& commandLine)
{
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return -1;
    DWORD exitCode = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, kRunTimeoutMs) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return long(exitCode);
}

class Wow64Restart : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef _WIN64
        GTEST_SKIP() << "the 64-bit suite runs the 32-bit program and sees the real folders";
#else
        const char* runsI386 = getenv("SCX_HOST_RUNS_I386");
        if (runsI386 && strcmp(runsI386, "0") == 0)
            GTEST_SKIP() << "this host cannot execute i386 code, so the 32-bit program cannot run here";
        const char* cli = getenv("SCX_SCOURIX_CLI");
        if (!cli || !*cli)
            GTEST_SKIP() << "no 32-bit console program given (SCX_SCOURIX_CLI): the 32-bit set runs this case";
        cli_ = cli;
        token_ = "scxwow" + std::to_string(GetCurrentProcessId());
        ForgetPendingRenamesUnder(token_);
#endif
    }
    void TearDown() override
    {
        if (token_.empty())
            return;
        ForgetPendingRenamesUnder(token_);
        if (!realDir_.empty())
            RemoveTree(realDir_);
    }
    std::string cli_, token_, realDir_;
};

TEST_F(Wow64Restart, DISABLED_LockedSystem32FileIsScheduledBySysWow64Name)
{
    const std::string system32 = Folder(GetSystemDirectoryA); // the real one: this process is 64-bit
    const std::string wow64 = Folder(GetSystemWow64DirectoryA);
    ASSERT_FALSE(system32.empty());
    ASSERT_FALSE(wow64.empty()) << "no SysWOW64 folder in this prefix";
    realDir_ = wow64 + "\\" + token_;
    ASSERT_TRUE(MakeDirs(realDir_));
    const std::string sample = realDir_ + "\\held.exe";
    ASSERT_TRUE(WriteSample(sample, kRecord));
    HANDLE held = CreateFileA(sample.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    // The 32-bit program is pointed at the System32 name of the folder.
    long code = RunAndWait("\"" + cli_ + "\" /F:" + system32 + "\\" + token_);
    CloseHandle(held);

    EXPECT_EQ(3, code) << "removal scheduled, restart needed";
    bool real = false, redirected = false;
    const std::vector<std::string> pending = PendingRenameEntries();
    for (size_t i = 0; i + 1 < pending.size(); i += 2) {
        real = real || (SameText(pending[i], "\\??\\" + sample) && pending[i + 1].empty());
        redirected = redirected || SameText(pending[i], "\\??\\" + system32 + "\\" + token_ + "\\held.exe");
    }
    EXPECT_TRUE(real) << "the removal names " << sample;
    EXPECT_FALSE(redirected) << "the restart would remove the 64-bit file of that name";
}

} // namespace
