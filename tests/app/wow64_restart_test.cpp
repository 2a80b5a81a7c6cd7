// The 32-bit console program on 64-bit Windows meets a locked sample under
// the name System32, where WOW64 shows it SysWOW64. The removal it schedules
// must name the file in SysWOW64: the restart runs without redirection and
// would otherwise remove the 64-bit file of that name. Run by the 64-bit
// suite, which gives the 32-bit program in SCX_SCOURIX_CLI (the 32-bit set).
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

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

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

// The pending renames as pairs of source and destination (empty: delete).
std::vector<std::pair<std::string, std::string>> ReadPending()
{
    std::vector<std::pair<std::string, std::string>> pairs;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return pairs;
    DWORD size = 0;
    if (RegQueryValueExA(key, kPending, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size) {
        std::vector<char> buf(size + 2, 0);
        if (RegQueryValueExA(key, kPending, nullptr, nullptr, reinterpret_cast<BYTE*>(buf.data()), &size) ==
            ERROR_SUCCESS) {
            for (size_t i = 0; i < size && buf[i] != '\0';) {
                std::string from(buf.data() + i);
                i += from.size() + 1;
                std::string to = i < size ? std::string(buf.data() + i) : std::string();
                i += to.size() + 1;
                pairs.emplace_back(from, to);
            }
        }
    }
    RegCloseKey(key);
    return pairs;
}

// Takes out every pair whose source holds token (lower case), in any letter case.
void RemovePendingWith(const std::string& token)
{
    std::string kept;
    bool changed = false;
    for (const auto& pair : ReadPending()) {
        std::string lower = pair.first;
        CharLowerBuffA(&lower[0], DWORD(lower.size()));
        if (lower.find(token) != std::string::npos) {
            changed = true;
            continue;
        }
        kept += pair.first + '\0' + pair.second + '\0';
    }
    if (!changed)
        return;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (kept.empty()) {
        RegDeleteValueA(key, kPending);
    } else {
        kept += '\0';
        RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()), DWORD(kept.size()));
    }
    RegCloseKey(key);
}

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
        RemovePendingWith(token_);
#endif
    }
    void TearDown() override
    {
        if (token_.empty())
            return;
        RemovePendingWith(token_);
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
    for (const auto& pair : ReadPending()) {
        real = real || (SameText(pair.first, "\\??\\" + sample) && pair.second.empty());
        redirected = redirected || SameText(pair.first, "\\??\\" + system32 + "\\" + token_ + "\\held.exe");
    }
    EXPECT_TRUE(real) << "the removal names " << sample;
    EXPECT_FALSE(redirected) << "the restart would remove the 64-bit file of that name";
}

} // namespace
