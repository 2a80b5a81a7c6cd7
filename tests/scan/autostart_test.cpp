// Auto-start repair against the real registry of the test prefix: which Run
// and RunServices values go, what is remembered and deleted again, and that
// odd values (long, binary, long names) never overrun anything.
#include "scan/engine.h"
#include "detect/text.h"
#include "platform/registry_values.h"
#include "scan/repair.h"
#include "tests/scan/exact_names.h"
#include "tests/scan/registry_sandbox.h"
#include "tests/support/recording_front_end.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

const char kLine[] = "System Registry     W32/Vexmor.Trojan removed";

std::vector<std::string> Lines(size_t n, const std::string& line = kLine)
{
    return std::vector<std::string>(n, line);
}

// The scan state this Part reads and writes, cleared for each test and put
// back afterwards.
class AutoStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedMode_ = ActionMode;
        ActionMode = kActionDelete;
        SetFile("");
        memset(ScanState.autoStartValueName, 0, sizeof ScanState.autoStartValueName);
    }
    void TearDown() override
    {
        ActionMode = savedMode_;
        SetFile("");
        memset(ScanState.autoStartValueName, 0, sizeof ScanState.autoStartValueName);
    }
    static void SetFile(const std::string& path)
    {
        memset(ScanState.currentFilePath, 0, sizeof ScanState.currentFilePath);
        CopyText(ScanState.currentFilePath, sizeof ScanState.currentFilePath, path.c_str());
    }
    static std::string Remembered() { return ScanState.autoStartValueName; }

    RegistrySandbox registry_;
    int savedMode_ = 0;
};

// ---- One walk: which value data launches the file under check ----

struct WalkCase {
    const char* name;
    const char* file;  // the file under check ({T}: this process's tag)
    const char* data;  // the value's data
    DWORD type;
    bool inRunServices;
    bool deleted;
};

class RunValueWalk : public AutoStartTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(RunValueWalk, DeletesOnlyValuesThatStartTheFile)
{
    const WalkCase& c = GetParam();
    const char* key = c.inRunServices ? kRunServicesKey : kRunKey;
    const std::string value = Tagged("{T}_case");
    const std::string neighbour = Tagged("{T}_neighbour");
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, key, value, Tagged(c.data), c.type));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, key, neighbour,
                                  Tagged("c:\\windows\\other{T}.exe")));
    SetFile(Tagged(c.file));
    RecordingFrontEnd frontEnd;

    EXPECT_EQ(1, RepairAutoStart("W32/Vexmor.N.Trojan"));

    EXPECT_EQ(!c.deleted, RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, key, value));
    EXPECT_TRUE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, key, neighbour));
    EXPECT_EQ(Lines(c.deleted ? 1 : 0), frontEnd.lines());
    EXPECT_EQ(c.deleted ? value : std::string(), Remembered());
}

const WalkCase kWalkCases[] = {
    {"PathWithArguments", "c:\\windows\\svc{T}.exe", "C:\\WINDOWS\\SVC{T}.EXE /s", REG_SZ, false, true},
    {"QuotedPathWithArgument", "c:\\windows\\svc{T}.exe", "\"c:\\windows\\svc{T}.exe\" -run", REG_SZ, false, true},
    {"ExpandedWindir", "c:\\windows\\svc{T}.exe", "%windir%\\svc{T}.exe", REG_EXPAND_SZ, false, true},
    {"ExpandedWindirInPlainText", "c:\\windows\\svc{T}.exe", "%windir%\\svc{T}.exe", REG_SZ, false, true},
    {"LongerNameIsAPrefixMatch", "c:\\windows\\svc{T}.exe", "c:\\windows\\svc{T}.exe.bak", REG_SZ, false, true},
    {"InRunServices", "c:\\windows\\svc{T}.exe", "c:\\windows\\svc{T}.exe", REG_SZ, true, true},
    {"OtherFolder", "c:\\windows\\svc{T}.exe", "c:\\temp\\svc{T}.exe", REG_SZ, false, false},
    {"PathCutShort", "c:\\windows\\svc{T}.exe", "c:\\windows\\svc{T}", REG_SZ, false, false},
    {"PathNotAtTheStart", "c:\\windows\\svc{T}.exe", "rundll32 c:\\windows\\svc{T}.exe", REG_SZ, false, false},
    {"TwoQuotes", "c:\\windows\\svc{T}.exe", "\"\"c:\\windows\\svc{T}.exe", REG_SZ, false, false},
    {"BareNameSystem32", "c:\\windows\\system32\\svc{T}.exe", "svc{T}.exe", REG_SZ, false, true},
    {"BareNameSystem", "c:\\windows\\system\\svc{T}.exe", "SVC{T}.EXE", REG_SZ, false, true},
    {"BareNameInRunServices", "c:\\windows\\system32\\svc{T}.exe", "svc{T}.exe", REG_SZ, true, true},
    {"BareSubstring", "c:\\windows\\system32\\svc{T}.exe", "mysvc{T}.exe -x", REG_SZ, false, true},
    {"LeadingBackslashIsBare", "c:\\windows\\system32\\svc{T}.exe", "\\svc{T}.exe", REG_SZ, false, true},
    {"BareNameOutsideSystem", "c:\\temp\\svc{T}.exe", "svc{T}.exe", REG_SZ, false, false},
    {"BareSubstringOutsideSystem", "c:\\temp\\svc{T}.exe", "mysvc{T}.exe -x", REG_SZ, false, false},
    {"SystemFolderNameInFileNameOnly", "c:\\temp\\system32x\\svc{T}.exe", "svc{T}.exe", REG_SZ, false, false},
    {"NotBareOtherFolder", "c:\\windows\\system32\\svc{T}.exe", "c:\\other\\svc{T}.exe", REG_SZ, false, false},
    {"EmptyData", "c:\\windows\\svc{T}.exe", "", REG_SZ, false, false},
};

INSTANTIATE_TEST_SUITE_P(Values, RunValueWalk, ::testing::ValuesIn(kWalkCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Deleting shifts the enumeration; a matching value right behind a deleted
// one must not be skipped.
TEST_F(AutoStartTest, AdjacentMatchingValuesAreAllDeletedInOneWalk)
{
    const std::string path = Tagged("c:\\windows\\svc{T}.exe");
    const char* names[] = {"{T}_a1", "{T}_a2", "{T}_a3", "{T}_b", "{T}_c"};
    const bool matching[] = {true, true, true, false, true};
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, Tagged(names[i]),
                                      matching[i] ? path + " /" + std::to_string(i)
                                                  : Tagged("c:\\windows\\keep{T}.exe")));
    }
    SetFile(path);
    RecordingFrontEnd frontEnd;

    RepairAutoStart("W32/Vexmor.N.Trojan");

    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(!matching[i], RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, Tagged(names[i])))
            << names[i];
    EXPECT_EQ(Lines(4), frontEnd.lines());
}

// A value deleted for one infected file is deleted again, from both keys,
// when a later infected file is met (a running copy may have written it
// back), and reported with the later file's detection name.
TEST_F(AutoStartTest, RememberedValueIsDeletedAgainFromBothKeys)
{
    const std::string loader = Tagged("{T}_loader");
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, loader, Tagged("c:\\windows\\svc{T}.exe")));
    SetFile(Tagged("c:\\windows\\svc{T}.exe"));
    RecordingFrontEnd frontEnd;
    RepairAutoStart("W32/Vexmor.N.Trojan");
    ASSERT_EQ(loader, Remembered());
    ASSERT_FALSE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, loader));
    EXPECT_EQ(Lines(1), frontEnd.lines());

    // Written back, under both keys, with data that no longer names a file.
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, loader, "c:\\elsewhere\\x.exe"));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunServicesKey, loader, "anything"));
    SetFile(Tagged("c:\\data\\later{T}.exe"));
    frontEnd.Clear();
    RepairAutoStart("W32/Vexmor.Bc.Trojan");
    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, loader));
    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunServicesKey, loader));
    EXPECT_EQ(Lines(2, "System Registry     W32/Vexmor.Bc.Trojan removed"), frontEnd.lines());
    EXPECT_EQ(loader, Remembered());

    // Gone now: nothing found, nothing reported.
    frontEnd.Clear();
    RepairAutoStart("W32/Vexmor.Bc.Trojan");
    EXPECT_TRUE(frontEnd.lines().empty());
}

// ---- Conditions that change reporting but never the cleaning ----

struct ConditionCase {
    const char* name;
    int actionMode;
    bool withWindow;
};

class RepairConditions : public AutoStartTest, public ::testing::WithParamInterface<ConditionCase> {};

TEST_P(RepairConditions, ValuesAreDeletedLinesOnlyWithAWindow)
{
    const ConditionCase& c = GetParam();
    ActionMode = c.actionMode;
    const std::string run = Tagged("{T}_run");
    const std::string services = Tagged("{T}_services");
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, run, Tagged("c:\\windows\\svc{T}.exe -a")));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunServicesKey, services,
                                  Tagged("c:\\windows\\svc{T}.exe")));
    SetFile(Tagged("c:\\windows\\svc{T}.exe"));
    RecordingFrontEnd frontEnd;
    frontEnd.SetAttached(c.withWindow);
    memset(ResultLine, '#', sizeof ResultLine - 1);
    ResultLine[sizeof ResultLine - 1] = '\0';
    const std::string sentinel = ResultLine;

    RepairAutoStart("W32/Vexmor.N.Trojan");

    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, run));
    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunServicesKey, services));
    if (c.withWindow) {
        EXPECT_EQ(Lines(2), frontEnd.lines());
    } else {
        EXPECT_TRUE(frontEnd.lines().empty());
        EXPECT_EQ(sentinel, std::string(ResultLine)); // nothing even formatted
    }
}

const ConditionCase kConditionCases[] = {
    {"DeleteWithWindow", kActionDelete, true},
    {"DeleteWithoutWindow", kActionDelete, false},
    {"LeaveWithWindow", kActionLeave, true},
    {"LeaveWithoutWindow", kActionLeave, false},
    {"RenameWithWindow", kActionRename, true},
};

INSTANTIATE_TEST_SUITE_P(Modes, RepairConditions, ::testing::ValuesIn(kConditionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AutoStartTest, CurrentUserValuesAreNeverTouched)
{
    const std::string path = Tagged("c:\\windows\\system32\\svc{T}.exe");
    const std::string user = Tagged("{T}_user");
    ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, kRunKey, user, path));
    ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, kRunKey, Tagged("{T}_userbare"), Tagged("svc{T}.exe")));
    ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, kRunServicesKey, user, path));
    memcpy(ScanState.autoStartValueName, user.c_str(), user.size() + 1);
    SetFile(path);
    RecordingFrontEnd frontEnd;

    RepairAutoStart("W32/Vexmor.N.Trojan");

    EXPECT_TRUE(RegistrySandbox::Exists(HKEY_CURRENT_USER, kRunKey, user));
    EXPECT_TRUE(RegistrySandbox::Exists(HKEY_CURRENT_USER, kRunKey, Tagged("{T}_userbare")));
    EXPECT_TRUE(RegistrySandbox::Exists(HKEY_CURRENT_USER, kRunServicesKey, user));
    EXPECT_TRUE(frontEnd.lines().empty());
}

// Without a file under check no walk runs; a file path without a backslash
// ends the walk before anything is deleted.
TEST_F(AutoStartTest, NoWalkWithoutAUsablePath)
{
    const std::string bare = Tagged("{T}_bare");
    const std::string withArgs = Tagged("{T}_args");
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, bare, Tagged("svc{T}.exe")));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, withArgs, Tagged("svc{T}.exe /x")));
    RecordingFrontEnd frontEnd;
    for (const std::string& file : {std::string(), Tagged("svc{T}.exe")}) {
        SetFile(file);
        RepairAutoStart("W32/Vexmor.N.Trojan");
        EXPECT_TRUE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, bare)) << file;
        EXPECT_TRUE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, withArgs)) << file;
    }
    EXPECT_TRUE(frontEnd.lines().empty());
    EXPECT_EQ("", Remembered());
}

// ---- Values that do not fit the 261-character buffers ----

// Long or binary data is compared by its first 260 characters, up to its
// first NUL: a command padded with arguments is still caught, and nothing
// is read or written past the buffers. A value whose name does not fit the
// remembered-name field is left.
TEST_F(AutoStartTest, OverlongAndBinaryValuesAreComparedByTheirStart)
{
    const std::string path = Tagged("c:\\windows\\svc{T}.exe");
    const std::string longName = Tagged("{T}_9") + std::string(300, 'n');
    const std::string envName = Tagged("SCX_LONG_{T}");
    ASSERT_TRUE(SetEnvironmentVariableA(envName.c_str(), (path + std::string(400, 'z')).c_str()));
    const std::vector<uint8_t> binaryText(600, 'A');
    const DWORD dword = 0x41424344;
    const std::string filler(5000, 'x');

    struct Value {
        std::string name;
        bool deleted;
    };
    std::vector<Value> values = {
        {Tagged("{T}_1bin"), false},    {Tagged("{T}_2dword"), false},
        {Tagged("{T}_3long"), false},   {Tagged("{T}_4longpath"), true},
        {Tagged("{T}_5binpath"), true}, {Tagged("{T}_6longexpand"), true},
        {Tagged("{T}_7plain"), true},   {Tagged("{T}_8keep"), false},
        {longName, false},
    };
    ASSERT_TRUE(registry_.Set(HKEY_LOCAL_MACHINE, kRunKey, values[0].name, REG_BINARY, binaryText.data(), 600));
    ASSERT_TRUE(registry_.Set(HKEY_LOCAL_MACHINE, kRunKey, values[1].name, REG_DWORD, &dword, 4));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, values[2].name, filler));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, values[3].name, path + " " + filler));
    ASSERT_TRUE(registry_.Set(HKEY_LOCAL_MACHINE, kRunKey, values[4].name, REG_BINARY, path.data(),
                              static_cast<DWORD>(path.size())));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, values[5].name, "%" + envName + "%",
                                  REG_EXPAND_SZ));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, values[6].name, path));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, values[7].name, Tagged("c:\\windows\\keep{T}.exe")));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, values[8].name, path));
    SetFile(path);
    RecordingFrontEnd frontEnd;

    RepairAutoStart("W32/Vexmor.N.Trojan");

    size_t deleted = 0;
    for (const Value& v : values) {
        EXPECT_EQ(!v.deleted, RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, v.name)) << v.name;
        deleted += v.deleted ? 1 : 0;
    }
    EXPECT_EQ(Lines(deleted), frontEnd.lines());
    // The last path-case value that fits is the one remembered.
    EXPECT_EQ(values[6].name, Remembered());
    SetEnvironmentVariableA(envName.c_str(), nullptr);
}

// A name cut to the remembered field's 259 characters could be another
// program's value: the repair that deletes remembered names would then take
// it. So a value with a longer name stays, and its cut name is never deleted.
struct LongNameCase {
    const char* name;
    const char* file; // the file under check
    const char* data; // the trojan's value data
};

class LongValueNames : public AutoStartTest, public ::testing::WithParamInterface<LongNameCase> {};

TEST_P(LongValueNames, LeftRatherThanRememberedCut)
{
    const LongNameCase& c = GetParam();
    const size_t fits = sizeof ScanState.autoStartValueName - 1;
    const std::string stem = Tagged("{T}_long");
    const std::string longName = stem + std::string(300 - stem.size(), 'n');
    const std::string cutName = longName.substr(0, fits);
    ASSERT_EQ(259u, cutName.size());
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, longName, Tagged(c.data)));
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, cutName,
                                  Tagged("c:\\program files\\other{T}\\other.exe")));
    SetFile(Tagged(c.file));
    RecordingFrontEnd frontEnd;

    // Twice: the second repair deletes whatever the first remembered.
    RepairAutoStart("W32/Vexmor.N.Trojan");
    RepairAutoStart("W32/Vexmor.N.Trojan");

    EXPECT_TRUE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, longName));
    EXPECT_TRUE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, cutName));
    EXPECT_TRUE(frontEnd.lines().empty());
    EXPECT_EQ("", Remembered());

    // A name of exactly 259 characters fits: deleted and remembered whole.
    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, cutName, Tagged(c.data)));
    RepairAutoStart("W32/Vexmor.N.Trojan");

    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, cutName));
    EXPECT_TRUE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, longName));
    EXPECT_EQ(Lines(1), frontEnd.lines());
    EXPECT_EQ(cutName, Remembered());
}

const LongNameCase kLongNameCases[] = {
    {"PathCase", "c:\\windows\\svc{T}.exe", "c:\\windows\\svc{T}.exe /s"},
    {"NameCase", "c:\\windows\\system32\\svc{T}.exe", "svc{T}.exe"},
};

INSTANTIATE_TEST_SUITE_P(Values, LongValueNames, ::testing::ValuesIn(kLongNameCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReadCase {
    const char* name;
    DWORD type;
    std::string data; // stored as given, without an added NUL
    std::string expected;
};

class ReadValue : public AutoStartTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadValue, DeliversAtMost260CharactersAndATerminator)
{
    const ReadCase& c = GetParam();
    const std::string name = Tagged("{T}_read");
    ASSERT_TRUE(registry_.Set(HKEY_LOCAL_MACHINE, kRunKey, name, c.type, c.data.data(),
                              static_cast<DWORD>(c.data.size())));
    char buffer[261 + 64];
    memset(buffer, 0x5A, sizeof buffer);

    EXPECT_EQ(1, ReadRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, name.c_str(), buffer));

    ASSERT_NE(nullptr, memchr(buffer, '\0', 261));
    EXPECT_EQ(c.expected, std::string(buffer));
    for (size_t i = 261; i < sizeof buffer; ++i)
        ASSERT_EQ(0x5A, static_cast<unsigned char>(buffer[i])) << "overrun at " << i;
}

const ReadCase kReadCases[] = {
    {"ShortText", REG_SZ, std::string("c:\\a.exe") + '\0', "c:\\a.exe"},
    {"Text260", REG_SZ, std::string(260, 'a') + '\0', std::string(260, 'a')},
    {"Text261", REG_SZ, std::string(261, 'a') + '\0', std::string(260, 'a')},
    {"Text5000", REG_SZ, std::string(5000, 'a') + '\0', std::string(260, 'a')},
    {"TextWithoutTerminator", REG_SZ, std::string(300, 't'), std::string(260, 't')},
    {"Binary300", REG_BINARY, std::string(300, 'b'), std::string(260, 'b')},
    {"BinaryWithNul", REG_BINARY, std::string("ab\0cd", 5), "ab"},
    {"Dword", REG_DWORD, std::string("DCBA"), "DCBA"},
    {"Empty", REG_SZ, std::string(1, '\0'), ""},
    {"NoData", REG_BINARY, std::string(), ""},
};

INSTANTIATE_TEST_SUITE_P(Values, ReadValue, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AutoStartTest, ReadAndRemoveFailWithoutValueOrKey)
{
    const std::string name = Tagged("{T}_absent");
    const std::string noKey = Tagged("Software\\{T}_no_such_key");
    char buffer[261 + 8];
    memset(buffer, 0x5A, sizeof buffer);
    EXPECT_EQ(0, ReadRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, name.c_str(), buffer));
    EXPECT_EQ(0, ReadRegistryValue(HKEY_LOCAL_MACHINE, noKey.c_str(), name.c_str(), buffer));
    EXPECT_EQ(0x5A, static_cast<unsigned char>(buffer[261]));
    EXPECT_EQ(0, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, name.c_str()));
    EXPECT_EQ(0, RemoveRegistryValue(HKEY_LOCAL_MACHINE, noKey.c_str(), name.c_str()));

    ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, kRunKey, name, "x"));
    EXPECT_EQ(1, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, name.c_str()));
    EXPECT_FALSE(RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, name));
}

// ---- A 64-bit program on 64-bit Windows: both registry views ----

// Where a value stands, and what the 64-bit program must do with it.
struct ViewCase {
    const char* name;
    REGSAM view;       // the view the value is written into
    const char* file;  // the file under check, {S}: system folder, {W}: SysWOW64 folder
    const char* data;
    bool deleted;
};

void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

class RegistryViews : public AutoStartTest, public ::testing::WithParamInterface<ViewCase> {
protected:
    static std::string Folder(UINT (WINAPI* get)(LPSTR, UINT))
    {
        char buffer[MAX_PATH] = {};
        UINT n = get(buffer, sizeof buffer);
        return n && n < sizeof buffer ? buffer : "";
    }
    static std::string Expand(std::string s)
    {
        const std::string system = Folder(GetSystemDirectoryA);
        const std::string wow = Folder(GetSystemWow64DirectoryA);
        for (size_t at = s.find("{S}"); at != std::string::npos; at = s.find("{S}"))
            s.replace(at, 3, system);
        for (size_t at = s.find("{W}"); at != std::string::npos; at = s.find("{W}"))
            s.replace(at, 3, wow);
        return Tagged(s);
    }
};

TEST_P(RegistryViews, ValuesOfBothViewsAreCleaned)
{
#if !defined(_WIN64)
    GTEST_SKIP() << "a 32-bit program sees one registry view only";
#else
    const ViewCase& c = GetParam();
    ASSERT_FALSE(Folder(GetSystemWow64DirectoryA).empty()) << "no SysWOW64 folder in this prefix";
    RegistrySandbox inView(c.view);
    const std::string value = Tagged("{T}_view");
    ASSERT_TRUE(inView.SetText(HKEY_LOCAL_MACHINE, kRunKey, value, Expand(c.data)));
    SetFile(Expand(c.file));
    RecordingFrontEnd frontEnd;

    EXPECT_EQ(1, RepairAutoStart("W32/Vexmor.N.Trojan"));

    EXPECT_EQ(!c.deleted, RegistrySandbox::Exists(HKEY_LOCAL_MACHINE, kRunKey, value, c.view));
    EXPECT_EQ(Lines(c.deleted ? 1 : 0), frontEnd.lines());
#endif
}

const ViewCase kViewCases[] = {
    {"PathIn64BitView", KEY_WOW64_64KEY, "c:\\windows\\svc{T}.exe", "c:\\windows\\svc{T}.exe /s", true},
    {"PathIn32BitView", KEY_WOW64_32KEY, "c:\\windows\\svc{T}.exe", "c:\\windows\\svc{T}.exe /s", true},
    // A 32-bit program writes System32 and is redirected to SysWOW64.
    {"System32SpellingIn32BitView", KEY_WOW64_32KEY, "{W}\\svc{T}.exe", "{S}\\svc{T}.exe -q", true},
    {"BareNameIn32BitViewFileInSysWow64", KEY_WOW64_32KEY, "{W}\\svc{T}.exe", "svc{T}.exe", true},
    // A 64-bit program's System32 is the real one: another file.
    {"System32SpellingIn64BitViewIsAnotherFile", KEY_WOW64_64KEY, "{W}\\svc{T}.exe", "{S}\\svc{T}.exe", false},
    {"SysWow64SpellingIn32BitView", KEY_WOW64_32KEY, "{W}\\svc{T}.exe", "{W}\\svc{T}.exe", true},
    {"OtherFileIn32BitView", KEY_WOW64_32KEY, "{W}\\svc{T}.exe", "{S}\\other{T}.exe", false},
};

INSTANTIATE_TEST_SUITE_P(Views, RegistryViews, ::testing::ValuesIn(kViewCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Exact names: paths and value names the code page cannot spell ----

// The code page's form of a name: '?' (or a look-alike) for each character it
// cannot hold. A deletion by that form would reach this value instead.
std::string AnsiFormOf(const std::string& utf8)
{
    const std::wstring wide = WideOf(utf8);
    char ansi[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi - 1, nullptr, nullptr);
    return ansi;
}

struct ExactCase {
    const char* name;
    std::string (*folder)(const std::string& base);
    const char* valueName; // {T}: the tag
    const char* data;      // {F}: the file under check
    const char* nearMiss;  // data of a value beside it that must stay
};

class ExactNameValues : public AutoStartTest, public ::testing::WithParamInterface<ExactCase> {};

TEST_P(ExactNameValues, ValueNamingTheFileGoesNearMissStays)
{
    const ExactCase& c = GetParam();
    const std::string file = c.folder(Tagged("C:\\scx_{T}")) + "\\троян木马.exe";
    auto fill = [&file](std::string s) {
        for (size_t at = s.find("{F}"); at != std::string::npos; at = s.find("{F}"))
            s.replace(at, 3, file);
        return Tagged(s);
    };
    const std::string valueName = Tagged(c.valueName);
    const std::string nearName = Tagged("{T}_near");
    const std::string ansiForm = AnsiFormOf(valueName);
#if defined(_WIN64)
    const REGSAM views[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
#else
    const REGSAM views[] = {0};
#endif
    for (REGSAM view : views) {
        SCOPED_TRACE(view == KEY_WOW64_32KEY ? "32-bit view" : "own view");
        memset(ScanState.autoStartValueName, 0, sizeof ScanState.autoStartValueName);
        WideRunValues values(view);
        ASSERT_TRUE(values.Set(valueName, fill(c.data)));
        ASSERT_TRUE(values.Set(nearName, fill(c.nearMiss)));
        // The '?' form of a name outside the code page names another value.
        const bool hasAnsiTwin = ansiForm != valueName;
        if (hasAnsiTwin) {
            ASSERT_TRUE(values.Set(ansiForm, fill(c.nearMiss)));
        }
        SetFile(file);
        RecordingFrontEnd frontEnd;

        EXPECT_EQ(1, RepairAutoStart("W32/Vexmor.N.Trojan"));

        EXPECT_FALSE(values.Exists(valueName));
        EXPECT_TRUE(values.Exists(nearName));
        if (hasAnsiTwin) {
            EXPECT_TRUE(values.Exists(ansiForm)) << ansiForm;
        }
        EXPECT_EQ(Lines(1), frontEnd.lines());
        EXPECT_EQ(valueName, Remembered()) << "the exact name, UTF-8";

        // Written back: the remembered exact name is deleted again, its
        // '?' twin still not.
        ASSERT_TRUE(values.Set(valueName, "anything"));
        SetFile("");
        frontEnd.Clear();
        RepairAutoStart("W32/Vexmor.N.Trojan");
        EXPECT_FALSE(values.Exists(valueName));
        if (hasAnsiTwin) {
            EXPECT_TRUE(values.Exists(ansiForm));
        }
        EXPECT_FALSE(frontEnd.lines().empty());
    }
}

const ExactCase kExactCases[] = {
    {"CyrillicFolder", CyrillicFolder, "{T}_cyr", "\"{F}\" /s", "\"C:\\scx_{T}\\Папка_Вексмор2\\троян木马.exe\" /s"},
    {"ChineseFolder", ChineseFolder, "{T}_zh", "{F}", "C:\\scx_{T}\\文件夹测\\троян木马.exe"},
    {"LongerThanMaxPath", LongFolder, "{T}_long", "\"{F}\" -run", "C:\\scx_{T}\\троян木马.exe"},
    {"MixedFolderNameOutsideCodePage", MixedFolder, "Автозапуск_{T}_木马", "{F}", "\"C:\\{F}\""},
    {"NameOutsideCodePage", CyrillicFolder, "Троян{T}", "{F} -q", "c:\\windows\\notepad.exe"},
};

INSTANTIATE_TEST_SUITE_P(Values, ExactNameValues, ::testing::ValuesIn(kExactCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
