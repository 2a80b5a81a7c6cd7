// Whether the maker's suite is installed: the value is read into a fixed
// buffer, so values at, past and far past its size must read safely, and a
// key that cannot be read counts as no suite.
#include "ui/cleaner_dlg.h"
#include "tests/support/system_requests.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace {

const char kSuiteKey[] = "Software\\Tessaro\\Ardentis 2000";
const char kSuiteValue[] = "Installed Folder";

void RemoveSuiteKey()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSuiteKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tessaro"); // only when empty
}

struct SuiteCase {
    const char* name;
    bool makeValue;
    DWORD type;
    size_t length;     // bytes of data, a terminating NUL included for text
    const char* dacl;  // access list put on the key, or null
    bool installed;
};

const SuiteCase kCases[] = {
    {"NoKey", false, 0, 0, nullptr, false},
    {"KeyWithoutValue", false, REG_SZ, 0, nullptr, false},
    {"ShortFolder", true, REG_SZ, 40, nullptr, true},
    {"EmptyValue", true, REG_SZ, 0, nullptr, true},
    {"FillsTheBuffer", true, REG_SZ, 299, nullptr, true},
    {"OnePastTheBuffer", true, REG_SZ, 300, nullptr, true},
    {"TwoPastTheBuffer", true, REG_SZ, 301, nullptr, true},
    {"FarPastTheBuffer", true, REG_SZ, 70000, nullptr, true},
    {"NotText", true, REG_BINARY, 4096, nullptr, true},
    {"KeyWithoutAccess", true, REG_SZ, 40, "D:P(A;;WDRC;;;WD)", false},
};

class SuiteKey : public testing::TestWithParam<SuiteCase> {
protected:
    void SetUp() override { RemoveSuiteKey(); }
    void TearDown() override
    {
        access_.reset(); // the old list back before the key goes
        RemoveSuiteKey();
    }
    std::optional<scx::test::KeyAccess> access_;
};

TEST_P(SuiteKey, InstalledOnlyWhenTheValueCanBeRead)
{
    const SuiteCase& c = GetParam();
    if (std::string(c.name) != "NoKey") {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        if (c.makeValue) {
            std::vector<BYTE> data(c.length, 'f');
            if (c.type == REG_SZ && !data.empty())
                data.back() = 0;
            EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, kSuiteValue, 0, c.type, data.data(), DWORD(data.size())));
        }
        RegCloseKey(key);
        if (c.dacl) {
            access_.emplace(HKEY_LOCAL_MACHINE, kSuiteKey, c.dacl);
            ASSERT_TRUE(access_->ok());
        }
    }

    EXPECT_EQ(c.installed, IsSuiteInstalled());
}

INSTANTIATE_TEST_SUITE_P(Suite, SuiteKey, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SuiteCase>& info) { return std::string(info.param.name); });

} // namespace
