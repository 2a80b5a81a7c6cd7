// The directory walker and its message pump: what is shown, counted and
// handed to the check, in which order, and how a walk is stopped.
#include "tests/scan/engine_fixture.h"

#include <algorithm>
#include <cstring>
#include <functional>

using namespace scx::test;

namespace {

constexpr int kRecord = 1; // small sample, W32/Vexmor.Bc.Trojan

// What the status label should show for a path.
std::string Shown(const std::string& path)
{
    if (path.size() <= 60)
        return path;
    return path.substr(0, 29) + ".." + path.substr(path.size() - 29);
}

std::vector<std::string> Enumerate(const std::string& pattern, bool directoriesOnly)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = fd.cFileName;
        bool dir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!directoriesOnly || (dir && name != "." && name != ".."))
            names.push_back(name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

// The statuses of a walk of folder: its own entries first, in the order the
// file system lists them, then each subfolder's walk in turn.
void ExpectedStatuses(const std::string& folder, std::vector<std::string>& out)
{
    for (const std::string& name : Enumerate(folder + "\\*.*", false))
        out.push_back(Shown(folder + "\\" + name));
    for (const std::string& name : Enumerate(folder + "\\*", true))
        ExpectedStatuses(folder + "\\" + name, out);
}

} // namespace

class Walker : public EngineTest {
protected:
    // root: a.txt b.txt dir1\(c.txt deep\(x.exe d.txt)) dir2\(e.txt)
    void MakeTree()
    {
        for (const char* d : {"dir1\\deep", "dir2"})
            ASSERT_TRUE(MakeDirs(Path(d)));
        for (const char* f : {"a.txt", "b.txt", "dir1\\c.txt", "dir1\\deep\\d.txt", "dir2\\e.txt"})
            ASSERT_TRUE(WriteText(Path(f), f));
        ASSERT_TRUE(WriteSample(Path("dir1\\deep\\x.exe"), kRecord));
    }
};

TEST_F(Walker, ShowsEveryEntryFilesFirstThenSubfoldersDepthFirst)
{
    MakeTree();
    std::vector<std::string> expected;
    ExpectedStatuses(dir_, expected);

    EXPECT_EQ(6, WalkDirectory(Pattern().c_str()));

    EXPECT_EQ(expected, statuses());
    EXPECT_EQ(6, ScanState.filesScanned);
    // The check ran on the sample right after its path was shown.
    const std::string sample = Path("dir1\\deep\\x.exe");
    const auto& events = frontEnd().events();
    auto found = std::find_if(events.begin(), events.end(),
                              [&](const auto& e) { return e.isResult; });
    ASSERT_NE(events.end(), found);
    EXPECT_EQ(RemovedLine(sample, RecordName(kRecord)), found->text);
    ASSERT_NE(events.begin(), found);
    EXPECT_EQ(Shown(sample), (found - 1)->text);
    EXPECT_FALSE(FileExists(sample));
}

TEST_F(Walker, ReturnsTheRunningTotalOfTheWholeScan)
{
    MakeTree();
    ScanState.filesScanned = 100;
    EXPECT_EQ(103, WalkDirectory((Path("dir1") + "\\*.*").c_str()));
}

TEST_F(Walker, FolderWithOnlyDotEntriesShowsThemAndCountsNothing)
{
    EXPECT_EQ(0, WalkDirectory(Pattern().c_str()));
    std::vector<std::string> shown = statuses();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(std::vector<std::string>({Shown(Path(".")), Shown(Path(".."))}), shown);
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(0, ScanState.filesScanned);
}

TEST_F(Walker, HiddenAndSystemFilesAreCheckedLikeAnyOther)
{
    const std::string sample = Path("hidden.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    ASSERT_TRUE(SetFileAttributesA(sample.c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
    WalkDirectory(Pattern().c_str());
    EXPECT_EQ(std::vector<std::string>{RemovedLine(sample, RecordName(kRecord))}, lines());
    EXPECT_FALSE(FileExists(sample));
    EXPECT_EQ(1, ScanState.filesScanned);
}

TEST_F(Walker, MissingFolderWalksNothing)
{
    EXPECT_EQ(0, WalkDirectory((Path("absent") + "\\*.*").c_str()));
    EXPECT_TRUE(statuses().empty());
}

// --- Memory-stage calls ------------------------------------------------------------

TEST_F(Walker, MemoryStageChecksExactlyTheGivenFileWithoutCountingIt)
{
    const std::string sample = Path("running.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    ASSERT_TRUE(WriteText(Path("running.txt"), "a neighbour with the same name"));
    ScanState.memoryStageMode = 1;

    WalkDirectory(sample.c_str());

    EXPECT_TRUE(ScanState.lastCheckInfected);
    EXPECT_EQ(1, ScanState.filesInfected);
    EXPECT_EQ(0, ScanState.filesScanned);
    EXPECT_TRUE(lines().empty()); // the memory stage decides what follows
    EXPECT_TRUE(FileExists(sample));
    ASSERT_FALSE(statuses().empty());
    EXPECT_EQ(Shown(sample), statuses()[0]);
    EXPECT_STREQ(RecordName(kRecord).c_str(), ScanState.detectedName);
}

TEST_F(Walker, MemoryStageClearsTheFlagAndSkipsAMissingFile)
{
    ScanState.memoryStageMode = 1;
    ScanState.lastCheckInfected = 1;
    WalkDirectory(Path("gone.exe").c_str());
    EXPECT_FALSE(ScanState.lastCheckInfected);
    EXPECT_TRUE(statuses().empty());
    EXPECT_EQ(0, ScanState.filesInfected);
}

// Paths without any '.' live outside the scratch folder, whose name has dots.
class DotlessWalker : public Walker {
protected:
    void SetUp() override
    {
        Walker::SetUp();
        root_ = "C:\\scxnodot" + std::to_string(GetCurrentProcessId());
        RemoveTree(root_);
        ASSERT_TRUE(MakeDirs(root_ + "\\toolbox"));
        ASSERT_TRUE(WriteText(root_ + "\\tool", "no extension"));
    }
    void TearDown() override
    {
        RemoveTree(root_);
        RemoveDirectoryA(root_.c_str());
        Walker::TearDown();
    }
    std::string root_;
};

TEST_F(DotlessWalker, PatternWithoutADotCannotFormAPath)
{
    EXPECT_EQ(-1, WalkDirectory((root_ + "\\*").c_str()));
    EXPECT_TRUE(statuses().empty());
    EXPECT_EQ(0, ScanState.filesScanned);
}

TEST_F(DotlessWalker, MemoryStagePathWithoutADotEndsWithMinusOneAtASubfolder)
{
    ScanState.memoryStageMode = 1;
    EXPECT_EQ(-1, WalkDirectory((root_ + "\\tool").c_str()));
    EXPECT_EQ(std::vector<std::string>{root_ + "\\tool"}, statuses());
}

// --- Paths that do not fit ---------------------------------------------------------

namespace {

std::wstring Long(const std::string& path) { return L"\\\\?\\" + std::wstring(path.begin(), path.end()); }

bool MakeDirLong(const std::string& path) { return CreateDirectoryW(Long(path).c_str(), nullptr) != 0; }

bool WriteLong(const std::string& path, const std::vector<uint8_t>& bytes)
{
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

bool ExistsLong(const std::string& path) { return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES; }


} // namespace

TEST_F(Walker, FoldersAndFilesLongerThanMaxPathAreWalkedAndCheckedToo)
{
    // parent is 250 characters long: "parent\ok\s.exe" fits MAX_PATH, while
    // "parent\toolong1\s.exe" (265) and "parent\averylongname.exe" (267) do not;
    // the system takes them all by their exact names.
    const std::string parent = dir_ + "\\" + std::string(250 - dir_.size() - 1, 'p');
    ASSERT_EQ(250u, parent.size());
    ASSERT_TRUE(MakeDirLong(parent));
    for (const char* ok : {"ok", "o2", "o3"}) {
        ASSERT_TRUE(MakeDirLong(parent + "\\" + ok));
        ASSERT_TRUE(WriteLong(parent + "\\" + ok + "\\s.exe", BuildSample(kRecord)));
    }
    ASSERT_TRUE(MakeDirLong(parent + "\\toolong1"));
    ASSERT_TRUE(WriteLong(parent + "\\toolong1\\s.exe", BuildSample(kRecord)));
    ASSERT_TRUE(WriteLong(parent + "\\averylongname.exe", BuildSample(kRecord)));

    const int result = WalkDirectory(Pattern().c_str());

    EXPECT_EQ(5, result);
    EXPECT_EQ(5, ScanState.filesScanned);
    std::vector<std::string> removed = lines();
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(std::vector<std::string>({RemovedLine(parent + "\\averylongname.exe", RecordName(kRecord)),
                                        RemovedLine(parent + "\\o2\\s.exe", RecordName(kRecord)),
                                        RemovedLine(parent + "\\o3\\s.exe", RecordName(kRecord)),
                                        RemovedLine(parent + "\\ok\\s.exe", RecordName(kRecord)),
                                        RemovedLine(parent + "\\toolong1\\s.exe", RecordName(kRecord))}),
              removed);
    EXPECT_FALSE(ExistsLong(parent + "\\toolong1\\s.exe"));
    EXPECT_FALSE(ExistsLong(parent + "\\averylongname.exe"));
    for (const std::string& s : statuses())
        EXPECT_LE(s.size(), 60u);
    RemoveLongTree(parent);
}

// --- Status shortening -------------------------------------------------------------

struct ShortenCase {
    const char* name;
    std::string source;
    short maxLength;
    std::string expected;
};

class Shorten : public ::testing::TestWithParam<ShortenCase> {};

TEST_P(Shorten, FitsThePathIntoTheLabel)
{
    const ShortenCase& c = GetParam();
    char destination[128];
    memset(destination, '#', sizeof destination);
    ShortenPathForDisplay(c.source.c_str(), destination, c.maxLength);
    EXPECT_EQ(c.expected, std::string(destination));
    for (size_t i = c.expected.size() + 1; i < sizeof destination; ++i)
        ASSERT_EQ('#', destination[i]) << "written past the destination at " << i;
}

namespace {
std::string Digits(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += char('0' + i % 10);
    return s;
}
// n Cyrillic letters, two bytes each in UTF-8.
std::string Cyrillic(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += "\xd0\x96";
    return s;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Lengths, Shorten,
    ::testing::Values(ShortenCase{"Empty", "", 60, ""}, ShortenCase{"Sixty", Digits(60), 60, Digits(60)},
                      ShortenCase{"SixtyOne", Digits(61), 60, Digits(29) + ".." + Digits(61).substr(32)},
                      ShortenCase{"TwoHundredFiftyNine", Digits(259), 60,
                                  Digits(29) + ".." + Digits(259).substr(230)},
                      // Too short to split: cut to the room there is, never beyond.
                      ShortenCase{"NoRoomToSplit", Digits(10), 3, Digits(3)},
                      // Characters are counted, not bytes, and none is split.
                      ShortenCase{"SixtyCyrillic", Cyrillic(60), 60, Cyrillic(60)},
                      ShortenCase{"SixtyOneCyrillic", Cyrillic(61), 60, Cyrillic(29) + ".." + Cyrillic(29)},
                      ShortenCase{"NoRoomToSplitCyrillic", Cyrillic(10), 3, Cyrillic(3)}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Stopping ----------------------------------------------------------------------

struct StopMessage {
    const char* name;
    std::function<void(HWND)> post;
};

class StopByMessage : public Walker, public ::testing::WithParamInterface<StopMessage> {};

TEST_P(StopByMessage, EndsTheWalkAtTheNextTest)
{
    MakeTree();
    GetParam().post(window());
    EXPECT_EQ(0, WalkDirectory(Pattern().c_str()));
    EXPECT_TRUE(ScanState.stopRequested);
    EXPECT_TRUE(statuses().empty());
    EXPECT_EQ(0, ScanState.filesScanned);
    EXPECT_TRUE(IsWindow(window())); // dropped, not dispatched
}

INSTANTIATE_TEST_SUITE_P(
    Messages, StopByMessage,
    ::testing::Values(StopMessage{"Quit", [](HWND) { PostQuitMessage(0); }},
                      StopMessage{"Destroy", [](HWND w) { PostMessageA(w, WM_DESTROY, 0, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Walker, StopRequestedEarlierEndsTheWalkAtOnce)
{
    MakeTree();
    ScanState.stopRequested = 1;
    EXPECT_EQ(0, WalkDirectory(Pattern().c_str()));
    EXPECT_TRUE(statuses().empty());
    EXPECT_TRUE(FileExists(Path("dir1\\deep\\x.exe")));
}

namespace {
// Each pump call takes one message: `before` harmless messages, then Escape.
void QueueEscapeAfter(HWND w, int before)
{
    for (int i = 0; i < before; ++i)
        PostMessageA(w, WM_NULL, 0, 0);
    PostMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0);
}
} // namespace

// Only Escape going down asks: its release after a box answered with Escape,
// or a message whose wParam merely holds 27, asks nothing and stops nothing.
struct NotEscapeCase {
    const char* name;
    UINT message;
    WPARAM wParam;
};

class NotEscape : public Walker, public ::testing::WithParamInterface<NotEscapeCase> {};

TEST_P(NotEscape, AsksNothingAndTheWalkGoesOn)
{
    MakeTree();
    std::vector<std::string> all;
    ExpectedStatuses(dir_, all);
    frontEnd().Answer(kQuestionStopScan, IDYES);
    PostMessageA(window(), GetParam().message, GetParam().wParam, 0);

    EXPECT_NE(0, WalkDirectory(Pattern().c_str()));
    EXPECT_TRUE(frontEnd().questions().empty());
    EXPECT_FALSE(ScanState.stopRequested);
    EXPECT_EQ(all, statuses());
}

INSTANTIATE_TEST_SUITE_P(Messages, NotEscape,
                         ::testing::Values(NotEscapeCase{"EscapeReleased", WM_KEYUP, VK_ESCAPE},
                                           NotEscapeCase{"MouseMoveWithFlagsOf27", WM_MOUSEMOVE,
                                                         MK_LBUTTON | MK_RBUTTON | MK_SHIFT | MK_CONTROL},
                                           NotEscapeCase{"PrivateMessageWithLowWord27", WM_USER + 5, 0x1001B}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Walker, EscapeAnsweredYesStopsEveryLevel)
{
    MakeTree();
    std::vector<std::string> all;
    ExpectedStatuses(dir_, all);
    frontEnd().Answer(kQuestionStopScan, IDYES);
    // Pressed while a nested folder is shown, then a refresh is surely due:
    // the question comes at the test right after that entry.
    const std::string pressedAt = Shown(Path("dir1\\c.txt"));
    frontEnd().OnStatus([&](const std::string& shown) {
        if (shown != pressedAt)
            return;
        PostMessageA(window(), WM_KEYDOWN, VK_ESCAPE, 0);
        Sleep(3 * kRefreshIntervalMs);
    });

    EXPECT_EQ(0, WalkDirectory(Pattern().c_str()));

    ASSERT_EQ(1u, frontEnd().questions().size());
    const auto& asked = frontEnd().questions()[0];
    EXPECT_EQ(kQuestionStopScan, asked.which);
    EXPECT_EQ("Terminate the Scan now?", asked.text);
    EXPECT_EQ("Scourix Ver 1.0", asked.caption);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), asked.flags);
    EXPECT_TRUE(ScanState.stopRequested);
    const auto at = std::find(all.begin(), all.end(), pressedAt);
    ASSERT_NE(all.end(), at);
    EXPECT_EQ(std::vector<std::string>(all.begin(), at + 1), statuses());
}

// A stop asked for without any message to pump (Ctrl+C in the console, or a
// handler run at the last refresh) ends the walk at the entry's next test,
// never at the next refresh.
struct StopBetweenRefreshesCase {
    const char* name;
    const char* stopAt;
};

class StopBetweenRefreshes : public Walker, public ::testing::WithParamInterface<StopBetweenRefreshesCase> {};

TEST_P(StopBetweenRefreshes, EndsTheWalkAtTheEntryWhereItWasAsked)
{
    MakeTree();
    std::vector<std::string> all;
    ExpectedStatuses(dir_, all);
    const std::string stopAt = Shown(Path(GetParam().stopAt));
    frontEnd().OnStatus([&](const std::string& shown) {
        if (shown == stopAt)
            ScanState.stopRequested = 1;
    });

    EXPECT_EQ(0, WalkDirectory(Pattern().c_str()));

    const auto at = std::find(all.begin(), all.end(), stopAt);
    ASSERT_NE(all.end(), at);
    EXPECT_EQ(std::vector<std::string>(all.begin(), at + 1), statuses());
    // The sample is removed only when the walk reached it before the stop.
    const std::string sample = Path("dir1\\deep\\x.exe");
    const bool reached = std::find(all.begin(), at + 1, Shown(sample)) != at + 1;
    EXPECT_EQ(!reached, FileExists(sample));
    EXPECT_EQ(reached ? 1u : 0u, lines().size());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, StopBetweenRefreshes,
    ::testing::Values(StopBetweenRefreshesCase{"FileOfTheRoot", "a.txt"},
                      StopBetweenRefreshesCase{"SubfolderEntry", "dir2"},
                      StopBetweenRefreshesCase{"FileTwoLevelsDown", "dir1\\deep\\d.txt"},
                      StopBetweenRefreshesCase{"TheSampleItself", "dir1\\deep\\x.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Walker, EscapeAnsweredNoContinuesTheWalk)
{
    MakeTree();
    std::vector<std::string> all;
    ExpectedStatuses(dir_, all);
    frontEnd().Answer(kQuestionStopScan, IDNO);
    QueueEscapeAfter(window(), 3);

    EXPECT_EQ(6, WalkDirectory(Pattern().c_str()));

    EXPECT_EQ(1u, frontEnd().questions().size());
    EXPECT_FALSE(ScanState.stopRequested);
    EXPECT_EQ(all, statuses());
}

// --- Which folder entries are walked -----------------------------------------------
//
// Wine cannot give a folder a reparse tag of its own choosing, so the decision
// is tested on the listing's data; the walk past real links is in the
// hostile-tree test.

struct FolderEntryCase {
    const char* name;
    const char* fileName;
    DWORD attributes;
    DWORD tag; // dwReserved0
    bool walked;
};

class FolderEntry : public ::testing::TestWithParam<FolderEntryCase> {};

TEST_P(FolderEntry, IsWalkedUnlessALinkOrADotEntry)
{
    WIN32_FIND_DATAA data = {};
    data.dwFileAttributes = GetParam().attributes;
    data.dwReserved0 = GetParam().tag;
    strcpy(data.cFileName, GetParam().fileName);
    EXPECT_EQ(GetParam().walked, IsWalkedSubfolder(data));
}

constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kReparseDir = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

INSTANTIATE_TEST_SUITE_P(
    Listing, FolderEntry,
    ::testing::Values(FolderEntryCase{"PlainFolder", "sub", kDir, 0, true},
                      // A tag field without the reparse attribute means nothing.
                      FolderEntryCase{"PlainFolderWithStrayTagField", "sub", kDir, 0xA000000C, true},
                      FolderEntryCase{"Dot", ".", kDir, 0, false},
                      FolderEntryCase{"DotDot", "..", kDir, 0, false},
                      FolderEntryCase{"File", "sub", FILE_ATTRIBUTE_ARCHIVE, 0, false},
                      FolderEntryCase{"ReparseFile", "sub", FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A, false},
                      FolderEntryCase{"SymbolicLink", "sub", kReparseDir, 0xA000000C, false},
                      FolderEntryCase{"JunctionOrMountPoint", "sub", kReparseDir, 0xA0000003, false},
                      FolderEntryCase{"CloudPlaceholder", "sub", kReparseDir, 0x9000001A, true},
                      FolderEntryCase{"CloudPlaceholderOtherProvider", "sub", kReparseDir, 0x9000601A, true},
                      FolderEntryCase{"Deduplicated", "sub", kReparseDir, 0x80000013, true},
                      FolderEntryCase{"HierarchicalStorage", "sub", kReparseDir, 0xC0000004, true},
                      // Wine lists its folder links with this reserved value.
                      FolderEntryCase{"WineLink", "sub", kReparseDir, 2, false},
                      FolderEntryCase{"ReservedZero", "sub", kReparseDir, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });
