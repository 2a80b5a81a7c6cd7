// Removing a service's registration from both numbered control sets, with
// keys the tests create (Wine has neither control set of its own).
#include "platform/services.h"
#include "detect/utf8.h"
#include "tests/support/system_requests.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

const char* const kSets[] = {"SYSTEM\\ControlSet001", "SYSTEM\\ControlSet002"};

void DeleteTree(const std::string& path)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS)
        return;
    std::vector<std::string> children;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = sizeof name;
        if (RegEnumKeyExA(h, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.push_back(name);
    }
    RegCloseKey(h);
    for (const std::string& child : children)
        DeleteTree(path + "\\" + child);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

// The control-set keys this test made, and the service keys below them, go
// again afterwards; keys that were there before stay.
class ServiceKeys {
public:
    ServiceKeys()
    {
        for (int i = 0; i < 2; ++i) {
            setExisted_[i] = MachineKeyExists(kSets[i]);
            servicesExisted_[i] = MachineKeyExists(std::string(kSets[i]) + "\\Services");
        }
    }
    ~ServiceKeys()
    {
        for (const std::string& key : made_)
            DeleteTree(key);
        for (int i = 0; i < 2; ++i) {
            if (!servicesExisted_[i])
                RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kSets[i]) + "\\Services").c_str());
            if (!setExisted_[i])
                RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSets[i]);
        }
    }
    // set 1 or 2; sub "" for the service key itself.
    static std::string Path(int set, const std::string& name, const std::string& sub = "")
    {
        return std::string(kSets[set - 1]) + "\\Services\\" + name + (sub.empty() ? "" : "\\" + sub);
    }
    bool Make(int set, const std::string& name, const std::string& sub)
    {
        made_.push_back(Path(set, name));
        return CreateMachineKey(Path(set, name, sub));
    }

private:
    bool setExisted_[2] = {};
    bool servicesExisted_[2] = {};
    std::vector<std::string> made_;
};

std::string UniqueName(const char* hint)
{
    static int counter;
    return std::string("ScxReg") + hint + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++counter);
}

std::string Upper(std::string s)
{
    for (char& c : s)
        c = char(toupper(static_cast<unsigned char>(c)));
    return s;
}

struct Key {
    int set;         // 1 or 2
    const char* sub; // "" for the service key itself
};

struct RegistrationCase {
    const char* name;
    std::vector<Key> create;   // keys made before the call
    bool callInCapitals;       // the name passed in another letter case
    int expected;
    std::vector<Key> remaining; // keys still there afterwards; every other made key is gone
};

class DeleteServiceRegistrationTest : public testing::TestWithParam<RegistrationCase> {};

TEST_P(DeleteServiceRegistrationTest, DeletesInOrderAndReports)
{
    const RegistrationCase& c = GetParam();
    ServiceKeys keys;
    std::string name = UniqueName("Svc");
    // A neighbour whose name begins the same must never be touched.
    std::string neighbour = name + "Other";
    for (const Key& k : c.create)
        ASSERT_TRUE(keys.Make(k.set, name, k.sub));
    ASSERT_TRUE(keys.Make(1, neighbour, "Enum"));
    ASSERT_TRUE(keys.Make(2, neighbour, "Security"));

    EXPECT_EQ(c.expected, DeleteServiceRegistration((c.callInCapitals ? Upper(name) : name).c_str()));

    auto shouldRemain = [&c](int set, const std::string& sub) {
        for (const Key& r : c.remaining)
            if (r.set == set && sub == r.sub)
                return true;
        return false;
    };
    for (const Key& k : c.create) {
        EXPECT_EQ(shouldRemain(k.set, k.sub), MachineKeyExists(ServiceKeys::Path(k.set, name, k.sub)))
            << "set " << k.set << " key '" << k.sub << "'";
        EXPECT_EQ(shouldRemain(k.set, ""), MachineKeyExists(ServiceKeys::Path(k.set, name)))
            << "service key of set " << k.set;
    }
    EXPECT_TRUE(MachineKeyExists(ServiceKeys::Path(1, neighbour, "Enum")));
    EXPECT_TRUE(MachineKeyExists(ServiceKeys::Path(2, neighbour, "Security")));
}

const RegistrationCase kRegistrationCases[] = {
    // Subkeys before the service key, or the service key could not go.
    {"EnumAndSecurityInFirstSetOnly", {{1, "Enum"}, {1, "Security"}}, false, 1, {}},
    {"BothControlSets", {{1, "Enum"}, {1, "Security"}, {2, "Enum"}, {2, "Security"}}, false, 1, {}},
    // The second set's Enum key is named in capitals; it still goes.
    {"SecondSetOnly", {{2, "Enum"}, {2, "Security"}}, false, 1, {}},
    {"ServiceKeyWithoutSubkeys", {{1, ""}, {2, ""}}, false, 1, {}},
    {"ParametersKeepsTheServiceKey",
     {{1, "Enum"}, {1, "Security"}, {1, "Parameters"}},
     false,
     1,
     {{1, ""}, {1, "Parameters"}}},
    {"NameInOtherLetterCase", {{1, "Enum"}, {1, "Security"}, {2, "Enum"}}, true, 1, {}},
    {"UnknownName", {}, false, 0, {}},
};

INSTANTIATE_TEST_SUITE_P(Registrations, DeleteServiceRegistrationTest, testing::ValuesIn(kRegistrationCases),
                         [](const testing::TestParamInfo<RegistrationCase>& info) {
                             return std::string(info.param.name);
                         });

// Names that would lead the key path elsewhere, or past the path buffer,
// delete nothing and report 0.
TEST(DeleteServiceRegistration, UnsafeNamesDeleteNothing)
{
    ServiceKeys keys;
    std::string name = UniqueName("Host");
    ASSERT_TRUE(keys.Make(1, name, "Parameters"));
    ASSERT_TRUE(keys.Make(2, name, "Parameters"));

    const std::string cases[] = {
        "",                                   // would name the Services key itself
        name + "\\Parameters",                // a key below another service
        std::string(473, 'n'),                // one past what the path buffer holds
        std::string(5000, 'n') + "\\Parameters",
    };
    for (const std::string& bad : cases)
        EXPECT_EQ(0, DeleteServiceRegistration(bad.c_str())) << "name of " << bad.size() << " characters";
    EXPECT_EQ(0, DeleteServiceRegistration(nullptr));
    EXPECT_TRUE(MachineKeyExists(ServiceKeys::Path(1, name, "Parameters")));
    EXPECT_TRUE(MachineKeyExists(ServiceKeys::Path(2, name, "Parameters")));
    EXPECT_TRUE(MachineKeyExists("SYSTEM\\ControlSet001\\Services"));
    EXPECT_TRUE(MachineKeyExists("SYSTEM\\ControlSet002\\Services"));
}

TEST(DeleteMachineKey, DeletesOneKeyWithoutSubkeys)
{
    ServiceKeys keys;
    std::string name = UniqueName("Key");
    ASSERT_TRUE(keys.Make(1, name, "Enum"));
    EXPECT_EQ(0, DeleteMachineKey(ServiceKeys::Path(1, name).c_str())); // still has a subkey
    EXPECT_EQ(1, DeleteMachineKey(ServiceKeys::Path(1, name, "Enum").c_str()));
    EXPECT_EQ(0, DeleteMachineKey(ServiceKeys::Path(1, name, "Enum").c_str())); // already gone
    EXPECT_EQ(1, DeleteMachineKey(ServiceKeys::Path(1, name).c_str()));
    EXPECT_FALSE(MachineKeyExists(ServiceKeys::Path(1, name)));
}

// A service named after an image whose name the code page cannot spell is
// unregistered by its exact name; the key its '?' form names stays.
struct ExactNameCase {
    const char* name;
    const wchar_t* stem;
};

class DeleteServiceRegistrationExact : public testing::TestWithParam<ExactNameCase> {};

TEST_P(DeleteServiceRegistrationExact, DeletesTheKeysOfThatNameOnly)
{
    ServiceKeys keys; // puts back the control sets as they were
    const std::wstring name = GetParam().stem + std::to_wstring(GetCurrentProcessId());
    char ansi[256] = {};
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, ansi, sizeof ansi - 1, nullptr, nullptr);
    const std::wstring twin(ansi, ansi + strlen(ansi)); // the '?' form, as a key name
    const bool hasTwin = twin != name;
    auto path = [](int set, const std::wstring& service, const wchar_t* sub) {
        return std::wstring(set == 1 ? L"SYSTEM\\ControlSet001\\Services\\" : L"SYSTEM\\ControlSet002\\Services\\") +
               service + sub;
    };
    auto make = [](const std::wstring& key) {
        HKEY h;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    };
    auto exists = [](const std::wstring& key) {
        HKEY h;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    };
    ASSERT_TRUE(make(path(1, name, L"\\Enum")) && make(path(1, name, L"\\Security")) && make(path(2, name, L"\\Enum")));
    if (hasTwin) {
        ASSERT_TRUE(make(path(1, twin, L"\\Enum")));
    }
    std::vector<char> utf8(name.size() * 3 + 1);
    ASSERT_TRUE(Utf16ToUtf8(name.c_str(), name.size(), utf8.data(), utf8.size()));

    EXPECT_EQ(1, DeleteServiceRegistrationUtf8(utf8.data()));

    EXPECT_FALSE(exists(path(1, name, L"")));
    EXPECT_FALSE(exists(path(2, name, L"")));
    if (hasTwin) {
        EXPECT_TRUE(exists(path(1, twin, L"\\Enum"))) << "the '?' form names another service";
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, path(1, twin, L"\\Enum").c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, path(1, twin, L"").c_str());
    }
    // Nothing left to stop, and no service of a '?' name is ever asked for.
    EXPECT_EQ(0, StopServiceByNameUtf8(utf8.data()));
}

const ExactNameCase kExactNameCases[] = {
    {"OutsideCodePage", L"\u0421\u043b\u0443\u0436\u0431\u0430\u6728\u9a6c"},
    {"InCodePage", L"ScxPlainService"},
};

INSTANTIATE_TEST_SUITE_P(Names, DeleteServiceRegistrationExact, testing::ValuesIn(kExactNameCases),
                         [](const testing::TestParamInfo<ExactNameCase>& info) { return std::string(info.param.name); });

} // namespace
