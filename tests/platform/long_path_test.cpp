// The exact-name file functions: the prefixed form, and names Win32 path
// parsing would change reached and removed as they are.
#include "platform/long_path.h"

#include "detect/utf8.h"

#include "platform/handle_guard.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct PrefixCase {
    const char* name;
    const char* path;
    const wchar_t* wide; // null: refused
};

TEST(LongPathForm, PrefixesDrivePathsAndUncShares)
{
    const PrefixCase cases[] = {
        {"Drive", "C:\\a\\b.exe", L"\\\\?\\C:\\a\\b.exe"},
        {"TrailingDotKept", "c:\\a.", L"\\\\?\\c:\\a."},
        {"Unc", "\\\\srv\\share\\x", L"\\\\?\\UNC\\srv\\share\\x"},
        {"AlreadyPrefixed", "\\\\?\\C:\\x", L"\\\\?\\C:\\x"},
        {"Relative", "x.exe", L"x.exe"},
        {"Cyrillic", "C:\\\xd0\x9f", L"\\\\?\\C:\\\x041f"},
        {"MalformedUtf8", "C:\\\xc0\xaf", nullptr},
    };
    for (const PrefixCase& c : cases) {
        wchar_t out[64];
        const bool made = MakeLongPath(c.path, out, 64);
        ASSERT_EQ(c.wide != nullptr, made) << c.name;
        if (made) {
            EXPECT_EQ(std::wstring(c.wide), std::wstring(out)) << c.name;
        }
    }
    // Too small for the prefix and the name: refused, never cut.
    wchar_t small[8];
    EXPECT_FALSE(MakeLongPath("C:\\abcdef", small, 8));
    EXPECT_EQ(0, small[0]);
}

TEST(LongPathForm, LongerThanTheSystemTakesIsRefused)
{
    const std::string path = "C:\\" + std::string(kLongPathUnits, 'a');
    LongPath wide(path.c_str());
    EXPECT_FALSE(wide.valid());
    EXPECT_EQ(DWORD(ERROR_FILENAME_EXCED_RANGE), GetLastError());
}

TEST(LongPathFiles, NamesPathParsingWouldChangeAreReachedExactly)
{
    if (!LongPathsAvailable())
        GTEST_SKIP() << "the wide file functions are used on the NT family only";
    const std::string dir = scx::test::MakeScratchSubdir("long_path");
    for (const char* name : {"dot.", "space ", "aux.exe", "\xe6\x96\x87.exe"}) {
        const std::string path = dir + "\\" + name;
        {
            LongPath wide(path.c_str());
            ASSERT_TRUE(wide.valid());
            HandleGuard created(CreateFileW(wide.get(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
            ASSERT_TRUE(created.valid()) << name << " " << GetLastError();
        }
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesLong(path.c_str())) << name;
        HandleGuard reading(OpenFileForReadingLong(path.c_str()));
        EXPECT_TRUE(reading.valid()) << name;
        reading.Close();
        EXPECT_TRUE(SetFileAttributesLong(path.c_str(), FILE_ATTRIBUTE_READONLY)) << name;
        EXPECT_TRUE(SetFileAttributesLong(path.c_str(), FILE_ATTRIBUTE_ARCHIVE)) << name;
        EXPECT_TRUE(DeleteFileLong(path.c_str())) << name << " " << GetLastError();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesLong(path.c_str())) << name;
    }
}

} // namespace
