// A 32-bit program on 64-bit Windows names SysWOW64 as System32; removals at
// restart are carried out without that redirection. The decision on names,
// then the real request of a 32-bit test program in a 64-bit prefix.
#include "platform/deferred_removal.h"
#include "platform/wow64_path.h"
#include "tests/support/system_requests.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

struct MapCase {
    const char* name;
    const char* path;
    const char* systemDir;
    const char* wow64Dir; // null: not known
    Wow64Mapping expected;
    const char* real; // when Mapped
};

void PrintTo(const MapCase& c, std::ostream* os) { *os << c.name; }

const char kSys[] = "C:\\Windows\\system32";
const char kWow[] = "C:\\Windows\\SysWOW64";

class MapRedirected : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapRedirected, NamesTheRealFile)
{
    const MapCase& c = GetParam();
    std::string real = "untouched";
    EXPECT_EQ(c.expected, MapRedirectedSystemPath(c.path, c.systemDir, c.wow64Dir, &real));
    if (c.expected == Wow64Mapping::Mapped)
        EXPECT_EQ(c.real, real);
    else
        EXPECT_EQ("untouched", real);
}

INSTANTIATE_TEST_SUITE_P(Names, MapRedirected, ::testing::Values(
    MapCase{"FileInSystem32", "C:\\Windows\\system32\\vx.exe", kSys, kWow, Wow64Mapping::Mapped,
            "C:\\Windows\\SysWOW64\\vx.exe"},
    MapCase{"OtherLetterCaseAndSubfolder", "c:\\WINDOWS\\SYSTEM32\\Sub\\vx.exe", kSys, kWow, Wow64Mapping::Mapped,
            "C:\\Windows\\SysWOW64\\Sub\\vx.exe"},
    MapCase{"SystemFolderWithTrailingBackslash", "C:\\Windows\\system32\\vx.exe", "C:\\Windows\\system32\\",
            "C:\\Windows\\SysWOW64\\", Wow64Mapping::Mapped, "C:\\Windows\\SysWOW64\\vx.exe"},
    // UTF-8 after the folder is carried over byte for byte.
    MapCase{"NonAsciiName", "C:\\Windows\\system32\\\xD0\x9F\xD0\xB0\\\xD1\x84.exe", kSys, kWow,
            Wow64Mapping::Mapped, "C:\\Windows\\SysWOW64\\\xD0\x9F\xD0\xB0\\\xD1\x84.exe"},
    // drivers is redirected; only drivers\etc is not.
    MapCase{"DriversIsRedirected", "C:\\Windows\\system32\\drivers\\vx.sys", kSys, kWow, Wow64Mapping::Mapped,
            "C:\\Windows\\SysWOW64\\drivers\\vx.sys"},
    MapCase{"FolderNamedLikeAnExemptOne", "C:\\Windows\\system32\\drivers\\etcetera\\vx.exe", kSys, kWow,
            Wow64Mapping::Mapped, "C:\\Windows\\SysWOW64\\drivers\\etcetera\\vx.exe"},
    MapCase{"SpoolerFileNotAFolder", "C:\\Windows\\system32\\spoolsv.exe", kSys, kWow, Wow64Mapping::Mapped,
            "C:\\Windows\\SysWOW64\\spoolsv.exe"},
    // The folders WOW64 leaves alone keep their names, in any letter case.
    MapCase{"DriversEtc", "C:\\Windows\\system32\\Drivers\\ETC\\hosts", kSys, kWow, Wow64Mapping::Unchanged, ""},
    MapCase{"Catroot", "C:\\Windows\\system32\\catroot\\{x}\\vx.cat", kSys, kWow, Wow64Mapping::Unchanged, ""},
    MapCase{"Catroot2", "C:\\Windows\\system32\\CatRoot2\\vx.log", kSys, kWow, Wow64Mapping::Unchanged, ""},
    MapCase{"DriverStore", "C:\\Windows\\system32\\DriverStore\\FileRepository\\vx.inf", kSys, kWow,
            Wow64Mapping::Unchanged, ""},
    MapCase{"LogFiles", "C:\\Windows\\system32\\LogFiles\\vx.log", kSys, kWow, Wow64Mapping::Unchanged, ""},
    MapCase{"Spool", "C:\\Windows\\system32\\spool\\drivers\\vx.dll", kSys, kWow, Wow64Mapping::Unchanged, ""},
    // Outside the redirected folder.
    MapCase{"WindowsFolder", "C:\\Windows\\vx.exe", kSys, kWow, Wow64Mapping::Unchanged, ""},
    MapCase{"SiblingWithLongerName", "C:\\Windows\\system32x\\vx.exe", kSys, kWow, Wow64Mapping::Unchanged, ""},
    MapCase{"AlreadyTheRealFolder", "C:\\Windows\\SysWOW64\\vx.exe", kSys, kWow, Wow64Mapping::Unchanged, ""},
    MapCase{"OtherDrive", "D:\\Windows\\system32\\vx.exe", kSys, kWow, Wow64Mapping::Unchanged, ""},
    MapCase{"TheFolderItself", "C:\\Windows\\system32\\", kSys, kWow, Wow64Mapping::Unchanged, ""},
    // In the redirected folder with no real folder to name: nothing may be asked for.
    MapCase{"RealFolderUnknown", "C:\\Windows\\system32\\vx.exe", kSys, nullptr, Wow64Mapping::Unknown, ""},
    MapCase{"RealFolderEmpty", "C:\\Windows\\system32\\vx.exe", kSys, "", Wow64Mapping::Unknown, ""}),
    [](const ::testing::TestParamInfo<MapCase>& i) { return std::string(i.param.name); });

// ------------------------------------------------- the 32-bit program's request

bool IsPendingDeletion(const std::string& path)
{
    std::vector<std::string> items = scx::test::PendingRenameEntries();
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (_stricmp(items[i].c_str(), ("\\??\\" + path).c_str()) == 0 && items[i + 1].empty())
            return true;
    }
    return false;
}

bool RunsUnderWow64()
{
    using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto fn = reinterpret_cast<IsWow64Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return fn && fn(GetCurrentProcess(), &wow64) && wow64;
}

std::string Folder(UINT(WINAPI* get)(LPSTR, UINT))
{
    char buf[MAX_PATH];
    UINT n = get(buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

class ScheduleUnderWow64 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!RunsUnderWow64())
            GTEST_SKIP() << "only a 32-bit program on 64-bit Windows is redirected; this one is not";
        token_ = "scxwow" + std::to_string(GetCurrentProcessId());
        scx::test::ForgetPendingRenamesUnder(token_);
    }
    void TearDown() override
    {
        if (token_.empty())
            return;
        scx::test::ForgetPendingRenamesUnder(token_);
        for (const std::string& f : made_)
            DeleteFileA(f.c_str());
    }
    // A file made under the System32 name, which puts it in SysWOW64.
    std::string MakeUnderSystem32(const std::string& sub)
    {
        std::string path = Folder(GetSystemDirectoryA) + "\\" + sub + token_ + ".exe";
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            made_.push_back(path);
        }
        return path;
    }
    std::string token_;
    std::vector<std::string> made_;
};

TEST_F(ScheduleUnderWow64, System32FileIsScheduledUnderItsSysWow64Name)
{
    const std::string wow = Folder(GetSystemWow64DirectoryA);
    ASSERT_FALSE(wow.empty()) << "no SysWOW64 folder in this prefix";
    std::string path = MakeUnderSystem32("");
    ASSERT_EQ(1u, made_.size()) << path;
    std::string realPath = wow + path.substr(Folder(GetSystemDirectoryA).size());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(realPath.c_str())) << "the file lies in SysWOW64";

    EXPECT_EQ(1, ScheduleRemovalAtRestart(path.c_str()));
    EXPECT_TRUE(IsPendingDeletion(realPath)) << realPath;
    EXPECT_FALSE(IsPendingDeletion(path)) << "the 64-bit file of that name would go at restart";
}

TEST_F(ScheduleUnderWow64, ExemptFolderKeepsItsName)
{
    std::string path = MakeUnderSystem32("drivers\\etc\\");
    EXPECT_EQ(1, ScheduleRemovalAtRestart(path.c_str()));
    EXPECT_TRUE(IsPendingDeletion(path)) << path;
}

} // namespace
