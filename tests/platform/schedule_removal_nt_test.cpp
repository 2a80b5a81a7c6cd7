// Removal at restart on the NT family, run as XP and as Windows 7: the
// request goes to the system's pending-deletion list, from which each case
// takes its own entries out again.
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

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

std::vector<std::string> ReadPending()
{
    std::vector<std::string> items;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return items;
    DWORD size = 0;
    if (RegQueryValueExA(key, kPending, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size) {
        std::vector<char> buf(size + 2, 0);
        if (RegQueryValueExA(key, kPending, nullptr, nullptr, reinterpret_cast<BYTE*>(buf.data()), &size) ==
            ERROR_SUCCESS) {
            // Pairs of source and destination; an empty destination is a deletion.
            for (size_t i = 0; i < size;) {
                std::string s(buf.data() + i);
                items.push_back(s);
                i += s.size() + 1;
            }
        }
    }
    RegCloseKey(key);
    while (!items.empty() && items.back().empty() && items.size() % 2)
        items.pop_back();
    return items;
}

// Takes out every pair whose source lies in this test's scratch folder.
void RemoveOwnPending()
{
    std::vector<std::string> items = ReadPending();
    std::string mine = ScratchDir();
    std::string kept;
    bool changed = false;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].find(mine) != std::string::npos) {
            changed = true;
            continue;
        }
        kept += items[i] + '\0' + items[i + 1] + '\0';
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

bool IsPendingDeletion(const std::string& path)
{
    std::vector<std::string> items = ReadPending();
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i] == "\\??\\" + path && items[i + 1].empty())
            return true;
    }
    return false;
}

// Puts the list back as it was (the short names of a case's files do not
// spell its scratch folder, so they cannot be found by it).
void WritePending(const std::vector<std::string>& items)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    std::string all;
    for (const std::string& item : items)
        all += item + '\0';
    if (items.empty()) {
        RegDeleteValueA(key, kPending);
    } else {
        all += '\0';
        RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(all.data()), DWORD(all.size()));
    }
    RegCloseKey(key);
}

class ScheduleRemovalNt : public ::testing::Test {
protected:
    void SetUp() override { RemoveOwnPending(); }
    void TearDown() override { RemoveOwnPending(); }
};

TEST_F(ScheduleRemovalNt, RunsOnNt)
{
    ASSERT_EQ(5, GetPlatformCode());
}

TEST_F(ScheduleRemovalNt, AcceptedRequestIsPendingAndReported)
{
    std::string file = MakeScratchSubdir("nt") + "\\vx.exe";
    ASSERT_TRUE(WriteText(file, "x"));
    EXPECT_EQ(1, ScheduleRemovalAtRestart(file.c_str()));
    EXPECT_TRUE(IsPendingDeletion(file));
    EXPECT_TRUE(FileExists(file)) << "nothing is removed before the restart";
}

// A path longer than MAX_PATH stands in the list as given. A name path
// parsing would change ("held." would become "held", another file) never
// stands there in the changed form: its short name does.
TEST_F(ScheduleRemovalNt, ExactNamesOfAnyLengthArePending)
{
    const std::string dir = MakeScratchSubdir("nt");
    const std::vector<std::string> listed = ReadPending();
    const size_t before = listed.size();
    const std::string longer = dir + "\\" + std::string(300, 'a') + ".exe";
    EXPECT_EQ(1, ScheduleRemovalAtRestart(longer.c_str()));
    EXPECT_TRUE(IsPendingDeletion(longer));

    const std::string dotted = dir + "\\held.";
    {
        HANDLE h = CreateFileW((L"\\\\?\\" + std::wstring(dotted.begin(), dotted.end())).c_str(), GENERIC_WRITE, 0,
                               nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        CloseHandle(h);
    }
    EXPECT_EQ(1, ScheduleRemovalAtRestart(dotted.c_str()));
    EXPECT_FALSE(IsPendingDeletion(dir + "\\held"));
    // Two requests: a source and an empty destination each (the short name
    // shortens the folders too, so it is counted rather than spelled).
    EXPECT_EQ(before + 4, ReadPending().size());
    WritePending(listed);
}

// A request that cannot be made is no reason to restart: the result is 0 and
// the list is unchanged.
TEST_F(ScheduleRemovalNt, RefusedRequestReportsFailure)
{
    const std::string dir = MakeScratchSubdir("nt");
    std::vector<std::string> before = ReadPending();
    // Longer than the system takes, and a name that is not UTF-8.
    const std::string tooLong = dir + "\\" + std::string(33000, 'a') + ".exe";
    EXPECT_EQ(0, ScheduleRemovalAtRestart(tooLong.c_str()));
    EXPECT_EQ(0, ScheduleRemovalAtRestart((dir + "\\\xc0\xaf.exe").c_str()));
    EXPECT_EQ(before, ReadPending());
    EXPECT_EQ(0, ScheduleRemovalAtRestart(""));
}

} // namespace
