// An infected file that another process keeps open without delete sharing
// cannot be removed: the user is told so and the file stays.
#include "tests/scan/engine_fixture.h"
#include "tests/support/system_requests.h"

#include <cstdio>
#include <cstring>

using namespace scx::test;

namespace {

constexpr int kRecord = 1;
const char kHoldOption[] = "--hold-file=";

// Started with --hold-file=PATH, this program only opens PATH without delete
// sharing, says so by writing PATH.held, and waits to be ended.
struct FileHolder {
    FileHolder()
    {
        const char* option = strstr(GetCommandLineA(), kHoldOption);
        if (!option)
            return;
        std::string path = option + strlen(kHoldOption);
        path = path.substr(0, path.find_first_of("\" "));
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            ExitProcess(2);
        WriteText(path + ".held", "held");
        Sleep(INFINITE);
    }
} holder;

// Takes back what a deferred-removal request may have left behind for files
// under folder: entries of the NT pending list and wininit.ini lines.
void ForgetScheduledRemovals(const std::string& folder)
{
    ForgetPendingRenamesUnder(folder);

    char windows[MAX_PATH];
    if (!GetWindowsDirectoryA(windows, sizeof windows))
        return;
    const std::string ini = std::string(windows) + "\\wininit.ini";
    std::vector<uint8_t> bytes = ReadBytes(ini);
    if (bytes.empty())
        return;
    std::string text(bytes.begin(), bytes.end()), kept, line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        line = text.substr(start, end - start);
        std::string lower = line, lowerFolder = folder;
        for (auto* s : {&lower, &lowerFolder})
            for (char& ch : *s)
                ch = char(tolower(static_cast<unsigned char>(ch)));
        if (lower.find(lowerFolder) == std::string::npos)
            kept += line;
        start = end;
    }
    WriteText(ini, kept);
}

} // namespace

class DeleteRefused : public EngineTest {
protected:
    void TearDown() override
    {
        ForgetScheduledRemovals(dir_);
        EngineTest::TearDown();
    }
};

TEST_F(DeleteRefused, FileHeldOpenByAnotherProcessIsReportedAndStays)
{
    const std::string path = Path("held.exe");
    ASSERT_TRUE(WriteSample(path, kRecord));
    ProcessGuard other = StartProgram(SelfPath(), kHoldOption + path);
    ASSERT_TRUE(other.valid());
    for (int i = 0; i < 200 && !FileExists(path + ".held"); ++i)
        Sleep(25);
    ASSERT_TRUE(FileExists(path + ".held"));
    // Ending the holder by image name may fail on this system and say so in
    // a plain notice, which the recording front end takes.
    EXPECT_EQ(1, CheckTrojanFile("W32/Vexmor.Trojan", path.c_str()));

    ASSERT_FALSE(lines().empty());
    EXPECT_EQ(path + "     " + RecordName(kRecord) + " Unable to remove", lines().back());
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(other.IsRunning());
    EXPECT_EQ(1, ScanState.filesInfected);
    EXPECT_EQ(0, ScanState.filesRemoved);
    other.Stop();
    ForgetScheduledRemovals(dir_);
}
