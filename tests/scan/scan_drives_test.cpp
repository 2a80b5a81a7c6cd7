// Whole-drive runs and the extra walk of a drive's Program Files folder, on
// drive letters the tests make for themselves.
#include "tests/scan/engine_fixture.h"
#include "detect/text.h"
#include "tests/support/test_drive.h"

#include <algorithm>
#include <cstring>

using namespace scx::test;

namespace {

constexpr int kRecord = 1;

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

long Count(const std::vector<std::string>& v, const std::string& s) { return std::count(v.begin(), v.end(), s); }

// Files in a tree as this program sees it (folder links not followed, as the
// walk does not follow them). How many the prefix holds depends on the host
// that made it, and a 32-bit program meets SysWOW64 under two names.
int CountFiles(const std::string& folder)
{
    int n = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++n;
        else if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0 &&
                 !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            n += CountFiles(folder + fd.cFileName + "\\");
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
}

} // namespace

class DriveRun : public EngineTest {
protected:
    void Target(const std::string& target) { CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, target.c_str()); }
};

TEST_F(DriveRun, EveryFixedDriveFromCIsWalkedButNeverAOrB)
{
    TestDrive a('A'), d('D'), r('R', DRIVE_REMOTE);
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(d.ok());
    ASSERT_TRUE(r.ok());
    for (const std::string& root : {a.root(), d.root(), r.root()})
        ASSERT_TRUE(WriteSample(root + "x.exe", kRecord));
    Target("!:");
    const int onC = CountFiles("C:\\");
    ASSERT_GT(onC, 500); // a prefix's C: holds Wine's own programs and libraries

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    EXPECT_TRUE(FileExists("A:\\x.exe"));
    EXPECT_TRUE(FileExists("R:\\x.exe"));
    EXPECT_FALSE(FileExists("D:\\x.exe"));
    ASSERT_FALSE(lines().empty());
    EXPECT_EQ(RemovedLine("D:\\x.exe", RecordName(kRecord)), lines()[0]);
    bool sawC = false, sawD = false;
    for (const std::string& s : statuses()) {
        EXPECT_FALSE(StartsWith(s, "A:") || StartsWith(s, "B:") || StartsWith(s, "R:")) << s;
        sawC = sawC || StartsWith(s, "C:\\");
        sawD = sawD || StartsWith(s, "D:\\");
    }
    EXPECT_TRUE(sawC);
    EXPECT_TRUE(sawD);
    EXPECT_GE(ScanState.filesScanned, onC + 1); // all of C:, and D:'s sample
    EXPECT_EQ("Scanning completed", statuses().back());
    // C:'s Program Files was walked in the recursion: no extra walk.
    EXPECT_EQ(1, ScanState.programFilesVisited);
    EXPECT_EQ(1, Count(statuses(), "C:\\Program Files\\."));
}

struct ProgramFilesCase {
    const char* name;
    const char* folder;  // made on the drive, or null
    int scanned;         // files handed to the check
    int shownAsProgramFiles; // times "Q:\Program Files\app.txt" was shown
    int pendingAfter;    // left set when the recursion got there first
    int visitedAfter;
};

class ProgramFilesWalk : public DriveRun, public ::testing::WithParamInterface<ProgramFilesCase> {};

TEST_P(ProgramFilesWalk, HappensOnlyWhenTheRecursionMissedTheFolder)
{
    const ProgramFilesCase& c = GetParam();
    TestDrive q('Q');
    ASSERT_TRUE(q.ok());
    ASSERT_TRUE(WriteText("Q:\\top.txt", "top"));
    if (c.folder) {
        ASSERT_TRUE(MakeDirs(std::string("Q:\\") + c.folder));
        ASSERT_TRUE(WriteText(std::string("Q:\\") + c.folder + "\\app.txt", "app"));
    }
    Target("Q:");

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    EXPECT_EQ(c.scanned, ScanState.filesScanned);
    EXPECT_EQ(c.shownAsProgramFiles, Count(statuses(), "Q:\\Program Files\\app.txt"));
    EXPECT_EQ(c.pendingAfter, ScanState.programFilesPending);
    EXPECT_EQ(c.visitedAfter, ScanState.programFilesVisited);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ProgramFilesWalk,
    ::testing::Values(ProgramFilesCase{"Absent", nullptr, 1, 0, 0, 0},
                      ProgramFilesCase{"WalkedInTheRecursion", "Program Files", 2, 1, 1, 1},
                      // Found by the existence test, but the recursion's name
                      // does not match letter for letter: walked once more.
                      ProgramFilesCase{"OtherLetterCase", "PROGRAM FILES", 3, 1, 0, 0},
                      ProgramFilesCase{"NestedElsewhere", "apps\\Program Files", 2, 0, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriveRun, StopEndsEveryRemainingDriveWalkButNotTheSummaryOrTheQuestion)
{
    TestDrive d('D'), e('E');
    ASSERT_TRUE(d.ok());
    ASSERT_TRUE(e.ok());
    ASSERT_TRUE(WriteSample("D:\\x.exe", kRecord));
    ASSERT_TRUE(WriteSample("E:\\x.exe", kRecord));
    ScanState.rebootNeeded = 1; // left by an earlier removal request
    Target("!:");
    frontEnd().Answer(kQuestionRestart, IDNO);
    frontEnd().StopAtPoll(1); // the first test of the walk of C:

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    EXPECT_TRUE(FileExists("D:\\x.exe"));
    EXPECT_TRUE(FileExists("E:\\x.exe"));
    EXPECT_EQ(0, ScanState.filesScanned);
    ASSERT_EQ(5u, lines().size()); // the statistics block alone
    EXPECT_EQ("Scanning statistics", lines()[0]);
    EXPECT_EQ(std::vector<std::string>{"Scanning terminated"}, statuses());
    ASSERT_EQ(1u, frontEnd().questions().size());
    EXPECT_EQ(kQuestionRestart, frontEnd().questions()[0].which);
    EXPECT_NE(std::string::npos, frontEnd().questions()[0].text.find("Restart now?"));
}
