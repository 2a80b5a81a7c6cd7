// The real scourix.exe, started as its own process in the test prefix and
// driven from outside through its window: the controls of each state, whole
// scans of the prefix holding fixture samples, stopping a scan, the single
// instance rule and the window's shape.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/scourix_driver.h"
#include "tests/support/child_process.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"
#include "tests/support/system_requests.h"

using namespace scx::test;

namespace {

enum Id : int {
    kCancel = 2,
    kGroupResults = 1034,
    kScan = 1052,
    kDownload = 1053,
    kClose = 1054,
    kList = 1055,
    kGroupStatus = 1064,
    kStatus = 1065,
    kFamily = 1068,
    kOk = 1070,
    kNotice = 1072,
    kTitle = 1074,
    kSuite = 1075,
    kSearching = 1076,
    kDownloadLink = 1077,
    kUtilityLink = 1080,
    kLogo = 1085,
};

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "scx app test";
constexpr DWORD kScanTimeoutMs = 8 * 60 * 1000;

// Where the build put the program inside the prefix (the fixture step of
// the test fragment copies it there before the tests run). The 32-bit set
// names the 32-bit program here instead.
const char kBuildsOwnExe[] = "C:\\scratch\\app-under-test\\scourix.exe";

std::string InstalledExe()
{
    const char* env = getenv("SCX_SCOURIX_EXE");
    return env && *env ? env : kBuildsOwnExe;
}

// A 32-bit program under CPU emulation needs about a minute to start and is
// slow throughout: its waits are stretched.
DWORD Patience(DWORD ms)
{
    const char* mode = getenv("SCX_I386_MODE");
    const char* bits = getenv("SCX_UNDER_TEST_BITS");
    bool emulated = mode && strcmp(mode, "emulated") == 0 && bits && strcmp(bits, "32") == 0;
    return emulated ? ms * 20 : ms;
}

// A private copy per test, so a test never runs what another one left behind.
std::string CopyOfProgram()
{
    std::string dir = MakeScratchSubdir("app");
    std::string exe = dir + "\\scourix.exe";
    if (!CopyFileA(InstalledExe().c_str(), exe.c_str(), FALSE))
        return std::string();
    return exe;
}

// view: 0 for this program's own registry view, KEY_WOW64_32KEY for the one
// a 32-bit program sees.
void DeleteRunValue(REGSAM view = 0)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE | view, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, kRunValue);
        RegCloseKey(key);
    }
}

bool RunValueExists(REGSAM view = 0)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return false;
    bool found = RegQueryValueExA(key, kRunValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

bool SetRunValue(const std::string& data, REGSAM view = 0)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExA(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             DWORD(data.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(tolower(static_cast<unsigned char>(c)));
    return s;
}

bool RemovalPendingFor(const std::string& path)
{
    std::vector<std::string> items = PendingRenameEntries();
    for (size_t i = 0; i < items.size(); i += 2)
        if (Lower(items[i]).find(Lower(path)) != std::string::npos)
            return true;
    return false;
}

// Takes this test's entries out of the prefix's pending removals again.
void ForgetPendingFor(const std::string& path)
{
    std::vector<std::string> items = PendingRenameEntries();
    std::string kept;
    bool any = false;
    for (size_t i = 0; i < items.size(); i += 2) {
        if (Lower(items[i]).find(Lower(path)) != std::string::npos)
            continue;
        kept += items[i];
        kept.push_back('\0');
        kept += i + 1 < items.size() ? items[i + 1] : std::string();
        kept.push_back('\0');
        any = true;
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (any) {
        kept.push_back('\0');
        RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       DWORD(kept.size()));
    } else {
        RegDeleteValueA(key, kPendingValue);
    }
    RegCloseKey(key);
}

// Visibility and enablement of every control the state table names.
struct ControlState {
    int id;
    const char* name;
    bool shown;
    bool enabled; // checked only where the table says something about it
    bool checkEnabled;
};

void ExpectControls(HWND dialog, const std::vector<ControlState>& table, const char* state)
{
    for (const ControlState& c : table) {
        EXPECT_EQ(ControlShown(dialog, c.id), c.shown) << state << ": " << c.name << " shown";
        if (c.checkEnabled) {
            EXPECT_EQ(ControlEnabled(dialog, c.id), c.enabled) << state << ": " << c.name << " enabled";
        }
    }
}

std::vector<ControlState> IdleTable(bool suite)
{
    return {
        {kScan, "SCAN", true, true, true},
        {kDownload, "DOWNLOAD", true, !suite, true},
        {kClose, "X", true, true, false},
        {kLogo, "logo", true, true, false},
        {kOk, "OK", false, false, true},
        {kCancel, "CANCEL", false, false, false},
        {kDownloadLink, "DLINK", !suite, !suite, true},
        {kUtilityLink, "ULINK", true, true, true},
        {kTitle, "title", true, true, false},
        {kFamily, "family", true, true, false},
        {kNotice, "notice", true, true, false},
        {kSuite, "suite notice", suite, true, false},
        {kSearching, "heading", false, false, false},
        {kGroupStatus, "status group", false, false, false},
        {kStatus, "status", false, false, false},
        {kGroupResults, "results group", false, false, false},
        {kList, "result list", false, false, false},
    };
}

std::vector<ControlState> ScanningTable()
{
    return {
        {kScan, "SCAN", true, false, true},
        {kClose, "X", true, true, false},
        {kLogo, "logo", true, true, false},
        {kOk, "OK", false, true, true},
        {kCancel, "CANCEL", true, true, true},
        {kDownloadLink, "DLINK", false, false, true},
        {kUtilityLink, "ULINK", false, false, true},
        {kTitle, "title", false, false, false},
        {kFamily, "family", true, true, false},
        {kNotice, "notice", false, false, false},
        {kSuite, "suite notice", false, false, false},
        {kSearching, "heading", true, true, false},
        {kGroupStatus, "status group", true, true, false},
        {kStatus, "status", true, true, false},
        {kGroupResults, "results group", true, true, false},
        {kList, "result list", true, true, false},
    };
}

std::vector<ControlState> FinishedTable()
{
    return {
        {kScan, "SCAN", true, false, true},
        {kClose, "X", true, true, false},
        {kLogo, "logo", true, true, false},
        {kOk, "OK", true, true, true},
        {kCancel, "CANCEL", false, false, false},
        {kDownloadLink, "DLINK", false, false, true},
        {kUtilityLink, "ULINK", false, false, true},
        {kTitle, "title", false, false, false},
        {kFamily, "family", true, true, false},
        {kNotice, "notice", false, false, false},
        {kSuite, "suite notice", false, false, false},
        {kSearching, "heading", false, false, false},
        {kGroupStatus, "status group", true, true, false},
        {kStatus, "status", true, true, false},
        {kGroupResults, "results group", true, true, false},
        {kList, "result list", true, true, false},
    };
}

// One running copy of the program with its window.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* bits = getenv("SCX_UNDER_TEST_BITS");
        if (bits && strcmp(bits, "32") == 0) {
            const char* runsI386 = getenv("SCX_HOST_RUNS_I386");
            if (runsI386 && strcmp(runsI386, "0") == 0)
                GTEST_SKIP() << "this host cannot execute i386 code, so the 32-bit program cannot run here";
            if (GetFileAttributesA(InstalledExe().c_str()) == INVALID_FILE_ATTRIBUTES)
                GTEST_SKIP() << "the 32-bit program was not built before this suite (" << InstalledExe() << ")";
        }
        SetSuiteInstalled(false);
        DeleteRunValue();
    }
    void TearDown() override
    {
        app_.Stop();
        samples_.clear();
        // A failed scan may leave samples (and removals at the next start)
        // behind; the next test's scan must not meet them.
        for (const std::string& dir : dirs_) {
            RemoveTree(dir);
            ForgetPendingFor(dir);
        }
        SetSuiteInstalled(false);
        DeleteRunValue();
    }

    // A fresh folder for this test's files, removed when the test ends.
    std::string Folder(const std::string& hint)
    {
        dirs_.push_back(MakeScratchSubdir(hint));
        return dirs_.back();
    }

    // Starts the program and waits for its window.
    bool Launch()
    {
        exe_ = CopyOfProgram();
        return !exe_.empty() && LaunchAt(exe_);
    }

    bool LaunchAt(const std::string& exe)
    {
        app_ = StartScourix(exe);
        if (!app_.valid())
            return false;
        dialog_ = WaitForMainWindow(app_.pid(), Patience(30000));
        return dialog_ != nullptr;
    }

    // Waits for the Finished state, answering every question No.
    bool WaitFinished(DWORD timeoutMs)
    {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < timeoutMs) {
            BoxSeen box = WaitForBox(app_.pid(), dialog_, 0);
            if (box.hwnd) {
                boxes_.push_back(box);
                PressBoxButton(box.hwnd, NegativeAnswer(box));
                for (int i = 0; i < 100 && IsWindow(box.hwnd) && IsWindowVisible(box.hwnd); ++i)
                    Sleep(20);
                continue;
            }
            if (ScanFinished(dialog_))
                return true;
            if (!app_.IsRunning())
                return false;
            Sleep(100);
        }
        return false;
    }

    std::string exe_;
    ProcessGuard app_;
    HWND dialog_ = nullptr;
    std::vector<BoxSeen> boxes_;
    std::vector<ProcessGuard> samples_;
    std::vector<std::string> dirs_;
};

std::vector<std::string> StatisticsBlock(bool infected, int scanned, int found, int removed)
{
    std::vector<std::string> block;
    if (infected)
        block.push_back(" ");
    block.push_back("Scanning statistics");
    block.push_back(std::string(30, '-'));
    block.push_back("Total files scanned\t\t:  " + std::to_string(scanned));
    block.push_back("Total files infected\t\t:  " + std::to_string(found));
    block.push_back("Total files removed\t\t:  " + std::to_string(removed));
    return block;
}

// The number in "Total files scanned\t\t:  N", or -1.
int ScannedCount(const std::vector<std::string>& lines)
{
    const std::string prefix = "Total files scanned\t\t:  ";
    for (const std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0)
            return atoi(l.c_str() + prefix.size());
    return -1;
}

} // namespace

// ------------------------------------------------------------------ idle

struct IdleCase {
    const char* name;
    bool suiteInstalled;
};

class IdleState : public AppTest, public ::testing::WithParamInterface<IdleCase> {};

TEST_P(IdleState, ControlsTitlesAndEscapeCloses)
{
    const IdleCase& c = GetParam();
    ASSERT_TRUE(SetSuiteInstalled(c.suiteInstalled));
    ASSERT_TRUE(Launch()) << "no main window from " << exe_;

    ExpectControls(dialog_, IdleTable(c.suiteInstalled), c.name);
    EXPECT_EQ(ControlText(dialog_, kTitle),
              "Scourix Ver 1.0 - Tool to detect and remove all the variants of W32/Vexmor Trojan");
    EXPECT_EQ(ControlText(dialog_, kFamily), "for W32/Vexmor Trojan");
    std::string notice = ControlText(dialog_, kNotice);
    EXPECT_NE(notice.find("Tessaro"), std::string::npos) << notice;
    EXPECT_NE(notice.find("2009"), std::string::npos) << notice;
    if (c.suiteInstalled) {
        EXPECT_EQ(ControlText(dialog_, kSuite), "This program is a part of Ardentis antivirus software.");
    }

    // An IDOK command (no control has id 1) does nothing.
    PressButton(dialog_, IDOK);
    EXPECT_LT(app_.WaitExit(700), 0) << "IDOK closed the program";
    // Escape and the system close command arrive as IDCANCEL: in Idle they end the program.
    PressButton(dialog_, IDCANCEL);
    EXPECT_EQ(app_.WaitExit(Patience(10000)), 0);
}

INSTANTIATE_TEST_SUITE_P(Suite, IdleState,
                         ::testing::Values(IdleCase{"WithoutSuiteKey", false}, IdleCase{"WithSuiteKey", true}),
                         [](const ::testing::TestParamInfo<IdleCase>& i) { return std::string(i.param.name); });

// ------------------------------------------------------------------ shape

TEST_F(AppTest, WindowIsShapedAndPaintedFromTheSkin)
{
    ASSERT_TRUE(Launch());
    RECT wr;
    ASSERT_TRUE(GetWindowRect(dialog_, &wr));
    EXPECT_EQ(wr.right - wr.left, 600);
    EXPECT_EQ(wr.bottom - wr.top, 462);

    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(dialog_, rgn), ERROR) << "the window has no region";
    RECT box;
    GetRgnBox(rgn, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 527);
    EXPECT_EQ(box.bottom, 338);
    // The skin has no key pixels: the whole 527 x 338 area, nothing outside.
    HRGN full = CreateRectRgn(0, 0, 527, 338);
    EXPECT_TRUE(EqualRgn(rgn, full));
    struct {
        int x, y;
        bool inside;
    } points[] = {{0, 0, true}, {526, 337, true}, {263, 169, true}, {527, 0, false},
                  {0, 338, false}, {599, 461, false}, {560, 100, false}, {100, 400, false}};
    for (auto& p : points)
        EXPECT_EQ(PtInRegion(rgn, p.x, p.y) != FALSE, p.inside) << p.x << "," << p.y;
    DeleteObject(full);
    DeleteObject(rgn);

    // The window answers a hit test outside its shape with nothing of its own.
    POINT outside = {wr.left + 560, wr.top + 400};
    EXPECT_NE(WindowFromPoint(outside), dialog_);
    POINT inside = {wr.left + 263, wr.top + 20};
    HWND hit = WindowFromPoint(inside);
    EXPECT_TRUE(hit == dialog_ || GetParent(hit) == dialog_);

    // The skin is what the screen shows: the banner's blue either side of the
    // family label, the white body, the dark frame at the skin's right edge.
    Sleep(500);
    POINT client = {0, 0};
    ClientToScreen(dialog_, &client);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, client.x + 20, client.y + 48), RGB(2, 77, 246));
    EXPECT_EQ(GetPixel(screen, client.x + 500, client.y + 48), RGB(2, 77, 246));
    EXPECT_EQ(GetPixel(screen, client.x + 263, client.y + 150), RGB(255, 255, 255));
    COLORREF frame = GetPixel(screen, client.x + 525, client.y + 200);
    EXPECT_LT(GetRValue(frame) + GetGValue(frame) + GetBValue(frame), 120) << std::hex << frame;
    ReleaseDC(nullptr, screen);
}

// ------------------------------------------------------------- one copy

struct SecondCopyCase {
    const char* name;
    bool foreignWindow; // a window of another program carries the title
};

class SecondCopy : public AppTest, public ::testing::WithParamInterface<SecondCopyCase> {};

TEST_P(SecondCopy, EndsWithoutAWindow)
{
    HWND foreign = nullptr;
    if (GetParam().foreignWindow) {
        foreign = CreateWindowExA(0, "STATIC", kMainTitle, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(foreign, nullptr);
    } else {
        ASSERT_TRUE(Launch());
    }
    std::string second = CopyOfProgram();
    ProcessGuard copy = StartScourix(second);
    ASSERT_TRUE(copy.valid());
    long code = -1;
    for (int i = 0; i < 200 && code < 0; ++i) {
        EXPECT_EQ(WaitForMainWindow(copy.pid(), 0), nullptr) << "the second copy showed a window";
        code = copy.WaitExit(50);
    }
    EXPECT_EQ(code, 0) << "the second copy did not end";
    if (!GetParam().foreignWindow) {
        EXPECT_TRUE(app_.IsRunning()) << "the first copy ended";
    }
    if (foreign)
        DestroyWindow(foreign);
}

INSTANTIATE_TEST_SUITE_P(TitleTaken, SecondCopy,
                         ::testing::Values(SecondCopyCase{"ByScourix", false},
                                           SecondCopyCase{"ByAnotherProgram", true}),
                         [](const ::testing::TestParamInfo<SecondCopyCase>& i) {
                             return std::string(i.param.name);
                         });

// ------------------------------------------------------------ whole scans

// How a platform's scan reaches the running sample: the NT family ends it in
// the memory stage and deletes its file there; the 9x family's process list
// names only the file (no folder), so the walk meets the locked file and ends
// the program started from it before deleting it.
struct FullScanCase {
    const char* name;
    const char* winVersion; // empty: the prefix's default (Windows 7)
    bool memoryStageEndsIt;
};

class FullScan : public AppTest, public ::testing::WithParamInterface<FullScanCase> {
protected:
    void TearDown() override
    {
        SetWineVersionFor("scourix.exe", "");
        AppTest::TearDown();
    }
};

TEST_P(FullScan, RemovesEveryPlantedSampleAndReports)
{
    const FullScanCase& c = GetParam();
    std::string dir = Folder("planted");
    // A long folder name makes one result line wider than the list.
    std::string deep = dir + "\\" + std::string(120, 'q');
    ASSERT_TRUE(MakeDirs(deep));
    std::string plain = deep + "\\invoice.exe";
    std::string hidden = dir + "\\hidden\\readme.exe";
    std::string running = dir + "\\svcupd.exe";
    ASSERT_TRUE(MakeDirs(dir + "\\hidden"));
    ASSERT_TRUE(WriteSample(plain, 1));
    ASSERT_TRUE(WriteSample(hidden, 0));
    ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteSample(running, 7));
    samples_.push_back(StartProgram(running));
    ASSERT_TRUE(samples_.back().IsRunning());
    ASSERT_TRUE(SetRunValue("\"" + running + "\" /quiet"));
    SetWineVersionFor("scourix.exe", "");
    if (*c.winVersion) {
        ASSERT_TRUE(SetWineVersionFor("scourix.exe", c.winVersion));
    }

    ASSERT_TRUE(Launch());
    PressButton(dialog_, kScan);
    ASSERT_TRUE(WaitFinished(kScanTimeoutMs)) << "no Finished state";
    EXPECT_TRUE(boxes_.empty()) << "unexpected question: " << boxes_.front().text;

    std::vector<std::string> lines = ReadResultLines(dialog_);
    int scanned = ScannedCount(lines);
    EXPECT_GT(scanned, 100) << "the walk saw too few files of C:";
    // The Run value goes with the first detection; files come before
    // subfolders, and the two subfolders in the file system's order.
    std::vector<std::string> expected;
    if (c.memoryStageEndsIt) {
        expected = {"System Registry     W32/Vexmor.Trojan removed", "System Memory    W32/Vexmor.Trojan removed",
                    running + "     W32/Vexmor.Trojan removed"};
    } else {
        expected = {"System Registry     W32/Vexmor.Trojan removed", running + "     W32/Vexmor.Tz.Trojan removed"};
    }
    std::vector<std::string> tail = StatisticsBlock(true, scanned, 3, 3);
    ASSERT_EQ(lines.size(), expected.size() + 2 + tail.size()) << ::testing::PrintToString(lines);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[i], expected[i]) << "line " << i;
    std::vector<std::string> files(lines.begin() + expected.size(), lines.begin() + expected.size() + 2);
    std::sort(files.begin(), files.end());
    std::vector<std::string> wantFiles = {hidden + "     W32/Vexmor.A.VirTool removed",
                                          plain + "     W32/Vexmor.Bc.Trojan removed"};
    std::sort(wantFiles.begin(), wantFiles.end());
    EXPECT_EQ(files, wantFiles);
    for (size_t i = 0; i < tail.size(); ++i)
        EXPECT_EQ(lines[expected.size() + 2 + i], tail[i]) << "statistics line " << i;
    EXPECT_EQ(ControlText(dialog_, kStatus), "Scanning completed");
    EXPECT_EQ(ResultSelection(dialog_), int(lines.size()) - 1) << "the newest line is not highlighted";

    // The widest line sets the horizontal extent to three quarters of its width.
    HDC dc = GetDC(nullptr);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    int widest = 0;
    for (const std::string& l : lines) {
        SIZE s;
        GetTextExtentPoint32A(dc, l.c_str(), int(l.size()), &s);
        widest = std::max<int>(widest, s.cx);
    }
    ReleaseDC(nullptr, dc);
    ASSERT_GT(widest, 560);
    DWORD_PTR extent = 0;
    SendMessageTimeoutW(GetDlgItem(dialog_, kList), LB_GETHORIZONTALEXTENT, 0, 0, SMTO_ABORTIFHUNG, 2000, &extent);
    EXPECT_EQ(int(extent), widest * 3 / 4);

    ExpectControls(dialog_, FinishedTable(), "Finished");
    EXPECT_EQ(ControlText(dialog_, kGroupStatus), "");

    // What the user was told happened.
    EXPECT_FALSE(FileExists(plain));
    EXPECT_FALSE(FileExists(hidden));
    EXPECT_FALSE(FileExists(running));
    EXPECT_FALSE(samples_.back().IsRunning());
    EXPECT_FALSE(RunValueExists());

    // OK closes the program.
    PressButton(dialog_, kOk);
    EXPECT_EQ(app_.WaitExit(10000), 0);
}

INSTANTIATE_TEST_SUITE_P(Platforms, FullScan,
                         ::testing::Values(FullScanCase{"AsWindows7", "", true},
                                           FullScanCase{"AsWindowsXP", "winxp", true},
                                           FullScanCase{"AsWindows98", "win98", false}),
                         [](const ::testing::TestParamInfo<FullScanCase>& i) { return std::string(i.param.name); });

// A file held open by another program can be neither deleted nor freed by
// ending a program started from it (the prefix has no performance data to
// find one by): its removal waits for the next start of Windows, and the run
// ends by offering the restart. No keeps the program open.
TEST_F(AppTest, FileThatCannotGoIsScheduledAndTheRestartOffered)
{
    std::string dir = Folder("locked");
    std::string path = dir + "\\locked.exe";
    ASSERT_TRUE(WriteSample(path, 1));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    ASSERT_TRUE(Launch());
    PressButton(dialog_, kScan);
    bool finished = WaitFinished(kScanTimeoutMs);
    CloseHandle(held);
    bool scheduled = RemovalPendingFor(path);
    ForgetPendingFor(path);
    DeleteFileA(path.c_str());
    ASSERT_TRUE(finished);

    // First the plain system box of the failed kill (the path as its caption),
    // then the restart question.
    std::string asked;
    for (const BoxSeen& b : boxes_)
        asked += "[" + b.caption + ": " + b.text + "] ";
    ASSERT_EQ(boxes_.size(), 2u) << asked;
    EXPECT_EQ(boxes_[0].caption, path);
    EXPECT_EQ(boxes_[0].text, "Could not kill process");
    EXPECT_EQ(boxes_[0].buttons, std::vector<int>{IDOK});
    EXPECT_EQ(boxes_[1].caption, "Scourix Ver 1.0");
    EXPECT_EQ(boxes_[1].text,
              "The system has to be restarted to remove the virus completely from your system. \n\n Restart now?");
    std::vector<int> yesNo = {IDYES, IDNO};
    std::sort(boxes_[1].buttons.begin(), boxes_[1].buttons.end());
    EXPECT_EQ(boxes_[1].buttons, yesNo);
    EXPECT_TRUE(scheduled) << "no removal at the next start for " << path;

    std::vector<std::string> lines = ReadResultLines(dialog_);
    std::vector<std::string> expected = {path + "     W32/Vexmor.Bc.Trojan Unable to remove"};
    std::vector<std::string> tail = StatisticsBlock(true, ScannedCount(lines), 1, 0);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(ControlText(dialog_, kStatus), "Scanning completed");
    EXPECT_TRUE(app_.IsRunning()) << "No to the restart question ended the program";
    ExpectControls(dialog_, FinishedTable(), "Finished");
}

// The list starts afresh when it already holds 150 lines, until the
// statistics begin; from then on it only grows.
struct ResetCase {
    const char* name;
    int samples;
    size_t linesLeft; // lines of the list at the end
};

class ListReset : public AppTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(ListReset, OnlyBeforeTheStatistics)
{
    const ResetCase& c = GetParam();
    std::string dir = Folder("many");
    std::vector<uint8_t> sample = BuildSample(1);
    for (int i = 0; i < c.samples; ++i)
        ASSERT_TRUE(WriteBytes(dir + "\\s" + std::to_string(1000 + i) + ".exe", sample));

    ASSERT_TRUE(Launch());
    PressButton(dialog_, kScan);
    ASSERT_TRUE(WaitFinished(kScanTimeoutMs));
    std::vector<std::string> lines = ReadResultLines(dialog_);
    ASSERT_EQ(lines.size(), c.linesLeft) << ::testing::PrintToString(lines);
    std::vector<std::string> tail = StatisticsBlock(true, ScannedCount(lines), c.samples, c.samples);
    size_t removedLines = lines.size() - tail.size();
    for (size_t i = 0; i < removedLines; ++i) {
        EXPECT_EQ(lines[i].rfind(dir + "\\s", 0), 0u) << lines[i];
        EXPECT_NE(lines[i].find("     W32/Vexmor.Bc.Trojan removed"), std::string::npos) << lines[i];
    }
    for (size_t i = 0; i < tail.size(); ++i)
        EXPECT_EQ(lines[removedLines + i], tail[i]);
    EXPECT_EQ(ResultSelection(dialog_), int(lines.size()) - 1);
}

INSTANTIATE_TEST_SUITE_P(Lines, ListReset,
                         ::testing::Values(
                             // 150 lines, then the statistics: nothing is dropped.
                             ResetCase{"ExactlyFull", 150, 150 + 6},
                             // The 151st line empties the list first.
                             ResetCase{"OneMore", 151, 1 + 6}),
                         [](const ::testing::TestParamInfo<ResetCase>& i) { return std::string(i.param.name); });

// ------------------------------------------------------------- stopping

// A stop asked for before the scan's first timer tick: both clicks are
// queued together, so the question opens before the scan can start. Yes
// ends the scan at once with the statistics; No lets it run. While the
// question is open no scan runs under it.
struct EarlyStopCase {
    const char* name;
    int button;
    const char* caption;
    int answer;
};

class EarlyStop : public AppTest, public ::testing::WithParamInterface<EarlyStopCase> {};

TEST_P(EarlyStop, AnswerDecidesBeforeTheScanStarts)
{
    const EarlyStopCase& c = GetParam();
    std::string dir = Folder("early");
    const std::string sample = dir + "\\early.exe";
    ASSERT_TRUE(WriteBytes(sample, BuildSample(1)));

    ASSERT_TRUE(Launch());
    PressButton(dialog_, kScan);
    PressButton(dialog_, c.button);
    BoxSeen box = WaitForBox(app_.pid(), dialog_, 15000);
    ASSERT_NE(box.hwnd, nullptr) << "no question";
    EXPECT_EQ(box.caption, c.caption);
    EXPECT_EQ(box.text, "Terminate the Scan now?");
    // Several timer intervals with the question open: still nothing scanned.
    Sleep(600);
    EXPECT_EQ(ResultLineCount(dialog_), 0);
    EXPECT_FALSE(ScanFinished(dialog_));
    PressBoxButton(box.hwnd, c.answer);

    if (c.answer == IDYES) {
        // OK shows at the Yes already; the run's end is its final status.
        ASSERT_TRUE(WaitFinished(60000));
        for (int i = 0; i < 600 && ControlText(dialog_, kStatus) != "Scanning terminated"; ++i)
            Sleep(100);
        EXPECT_EQ(ReadResultLines(dialog_), StatisticsBlock(false, 0, 0, 0));
        EXPECT_EQ(ControlText(dialog_, kStatus), "Scanning terminated");
        EXPECT_TRUE(FileExists(sample)) << "a stopped scan removed a file";
        ExpectControls(dialog_, FinishedTable(), "Finished after an early stop");
        return;
    }
    ASSERT_TRUE(WaitFinished(kScanTimeoutMs));
    EXPECT_EQ(ControlText(dialog_, kStatus), "Scanning completed");
    EXPECT_FALSE(FileExists(sample)) << "the scan did not run after No";
    std::vector<std::string> lines = ReadResultLines(dialog_);
    EXPECT_GT(ScannedCount(lines), 0);
    ExpectControls(dialog_, FinishedTable(), "Finished");
}

INSTANTIATE_TEST_SUITE_P(Answers, EarlyStop,
                         ::testing::Values(EarlyStopCase{"YesFromCancel", kCancel, "Scourix Ver 1.0", IDYES},
                                           EarlyStopCase{"YesFromX", kClose, "DialogBoxTitle", IDYES},
                                           EarlyStopCase{"NoFromCancel", kCancel, "Scourix Ver 1.0", IDNO}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, StopAsksWithEachCaptionAndYesTerminates)
{
    // Enough files that the walk is still going when the questions come.
    std::string dir = Folder("bulk");
    std::vector<uint8_t> filler(64, 'x');
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(WriteBytes(dir + "\\f" + std::to_string(i) + ".txt", filler));

    ASSERT_TRUE(Launch());
    PressButton(dialog_, kScan);
    // X must come while the walk is going: wait until the label names a file.
    for (int i = 0; i < 3000 && ControlText(dialog_, kStatus).rfind("C:", 0) != 0; ++i)
        Sleep(10);
    ASSERT_EQ(0u, ControlText(dialog_, kStatus).rfind("C:", 0)) << "the walk never showed a file";

    // X asks with its own caption; No lets the scan go on.
    PressButton(dialog_, kClose);
    BoxSeen box = WaitForBox(app_.pid(), dialog_, 15000);
    ASSERT_NE(box.hwnd, nullptr) << "X asked nothing";
    EXPECT_EQ(box.caption, "DialogBoxTitle");
    EXPECT_EQ(box.text, "Terminate the Scan now?");
    std::vector<int> yesNo = {IDYES, IDNO};
    std::sort(box.buttons.begin(), box.buttons.end());
    EXPECT_EQ(box.buttons, yesNo);
    // While the question is open the window shows the Scanning state.
    ExpectControls(dialog_, ScanningTable(), "Scanning");
    EXPECT_EQ(ControlText(dialog_, kGroupStatus), "Scanning");
    EXPECT_EQ(ControlText(dialog_, kSearching), "Searching for W32/Vexmor Trojan and its variants");
    PressBoxButton(box.hwnd, IDNO);
    Sleep(100);
    EXPECT_TRUE(ControlShown(dialog_, kCancel));
    EXPECT_FALSE(ScanFinished(dialog_));
    ASSERT_TRUE(app_.IsRunning());

    // CANCEL asks with the product's caption; Yes ends the scan.
    PressButton(dialog_, kCancel);
    box = WaitForBox(app_.pid(), dialog_, 15000);
    ASSERT_NE(box.hwnd, nullptr) << "CANCEL asked nothing";
    EXPECT_EQ(box.caption, "Scourix Ver 1.0");
    EXPECT_EQ(box.text, "Terminate the Scan now?");
    PressBoxButton(box.hwnd, IDYES);
    ASSERT_TRUE(WaitFinished(60000));
    EXPECT_FALSE(ControlShown(dialog_, kCancel));

    std::vector<std::string> lines = ReadResultLines(dialog_);
    int scanned = ScannedCount(lines);
    std::vector<std::string> tail = StatisticsBlock(false, scanned, 0, 0);
    ASSERT_GE(lines.size(), tail.size());
    std::vector<std::string> last(lines.end() - tail.size(), lines.end());
    EXPECT_EQ(last, tail);
    EXPECT_GT(scanned, 0);
    EXPECT_EQ(ControlText(dialog_, kStatus), "Scanning terminated");
    ExpectControls(dialog_, FinishedTable(), "Finished after a stop");

    // Finished: X closes without asking.
    PressButton(dialog_, kClose);
    EXPECT_EQ(app_.WaitExit(10000), 0);
}

// ------------------------------------------------ the 32-bit program's set
// The cases below run only in the 32-bit set (tests/app/i386.cmake), with
// SCX_SCOURIX_EXE naming the 32-bit program: natively or CPU-emulated, a
// minute or more per start.

// The 32-bit and the 64-bit program scan the same plantings: the same result
// lines and statistics. Both copies are in place before either runs, so the
// two walks see the same C:.
TEST_F(AppTest, DISABLED_BothWidthsShowTheSameScan)
{
    if (InstalledExe() == kBuildsOwnExe)
        GTEST_SKIP() << "SCX_SCOURIX_EXE names no second program to compare with";
    std::string narrowDir = MakeScratchSubdir("narrow");
    std::string wideDir = MakeScratchSubdir("wide");
    dirs_.push_back(narrowDir);
    dirs_.push_back(wideDir);
    const std::string narrow = narrowDir + "\\scourix.exe";
    const std::string wide = wideDir + "\\scourix.exe";
    ASSERT_TRUE(CopyFileA(InstalledExe().c_str(), narrow.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(kBuildsOwnExe, wide.c_str(), FALSE));

    std::string dir = Folder("pair");
    const std::string started = dir + "\\updater.exe";
    const std::string nested = dir + "\\sub\\invoice.exe";
    const std::string hidden = dir + "\\sub\\readme.exe";
    auto plant = [&] {
        ASSERT_TRUE(MakeDirs(dir + "\\sub"));
        ASSERT_TRUE(WriteSample(started, 1));
        ASSERT_TRUE(WriteSample(nested, 0));
        ASSERT_TRUE(WriteSample(hidden, 7));
        ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(WriteBytes(dir + "\\sub\\tool.exe", BuildCleanProgram()));
        // A 32-bit trojan's auto-start value lives in the 32-bit view.
        ASSERT_TRUE(SetRunValue("\"" + started + "\" /quiet", KEY_WOW64_32KEY));
    };
    auto scan = [&](const std::string& exe, const char* which) {
        std::vector<std::string> lines;
        EXPECT_TRUE(LaunchAt(exe)) << "no main window from the " << which << " program";
        if (!dialog_)
            return lines;
        PressButton(dialog_, kScan);
        EXPECT_TRUE(WaitFinished(Patience(kScanTimeoutMs))) << "the " << which << " program did not finish";
        lines = ReadResultLines(dialog_);
        PressButton(dialog_, kOk);
        EXPECT_EQ(app_.WaitExit(Patience(10000)), 0) << "OK did not end the " << which << " program";
        app_.Stop();
        dialog_ = nullptr;
        EXPECT_FALSE(FileExists(started) || FileExists(nested) || FileExists(hidden)) << which;
        EXPECT_FALSE(RunValueExists(KEY_WOW64_32KEY)) << "the " << which << " program left the Run value";
        DeleteRunValue(KEY_WOW64_32KEY);
        return lines;
    };

    plant();
    std::vector<std::string> first = scan(narrow, "32-bit");
    plant();
    std::vector<std::string> second = scan(wide, "64-bit");
    EXPECT_TRUE(boxes_.empty()) << "unexpected question: " << boxes_.front().text;

    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front(), "System Registry     W32/Vexmor.Trojan removed");
    std::vector<std::string> tail = StatisticsBlock(true, ScannedCount(first), 3, 3);
    ASSERT_GT(first.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(first.end() - tail.size(), first.end()), tail);
    EXPECT_GT(ScannedCount(first), 100) << "the walk saw too few files of C:";
    EXPECT_GT(ScannedCount(second), 100) << "the walk saw too few files of C:";
    // Only the number of files may differ: on 64-bit Windows the 32-bit
    // program sees SysWOW64 in place of System32, as every 32-bit program
    // does, and walks both.
    auto withoutCount = [](std::vector<std::string> lines) {
        for (std::string& l : lines)
            if (l.rfind("Total files scanned\t\t:  ", 0) == 0)
                l = "Total files scanned\t\t:  N";
        return lines;
    };
    EXPECT_EQ(withoutCount(first), withoutCount(second)) << "32-bit:\n"
                             << ::testing::PrintToString(first) << "\n64-bit:\n"
                             << ::testing::PrintToString(second);
}

// As Windows 98, a sample held open by another program is named in the
// [rename] section of wininit.ini for the next start. Runs in a throwaway
// copy of the prefix (tests/app/i386_restart.sh), which then restarts it and
// checks that the file is gone; the file is left for that.
TEST_F(AppTest, DISABLED_LockedFileAsWindows98IsNamedInWininit)
{
    // A long name, so that the section names the file by its short form.
    std::string dir = "C:\\scx-restart";
    std::string path = dir + "\\vexmor sample.exe";
    ASSERT_TRUE(MakeDirs(dir));
    ASSERT_TRUE(WriteSample(path, 1));
    char shortPath[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath), 0u);
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetWineVersionFor("scourix.exe", "win98"));

    bool launched = Launch();
    bool finished = false;
    if (launched) {
        PressButton(dialog_, kScan);
        finished = WaitFinished(Patience(kScanTimeoutMs));
    }
    CloseHandle(held);
    SetWineVersionFor("scourix.exe", "");
    ASSERT_TRUE(launched) << "no main window from " << exe_;
    ASSERT_TRUE(finished) << "no Finished state";

    std::vector<std::string> lines = ReadResultLines(dialog_);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), path + "     W32/Vexmor.Bc.Trojan Unable to remove");
    ASSERT_FALSE(boxes_.empty());
    EXPECT_NE(boxes_.back().text.find("restarted"), std::string::npos) << boxes_.back().text;

    char windows[MAX_PATH] = "";
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
    std::ifstream ini(std::string(windows) + "\\wininit.ini");
    std::stringstream text;
    text << ini.rdbuf();
    std::string lower = Lower(text.str());
    size_t section = lower.find("[rename]");
    ASSERT_NE(section, std::string::npos) << text.str();
    EXPECT_NE(lower.find("nul=" + Lower(shortPath), section), std::string::npos)
        << "no removal of " << shortPath << " in:\n"
        << text.str();
    EXPECT_TRUE(FileExists(path)) << "the file went before the restart";
}
