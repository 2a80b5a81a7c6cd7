// The scan run: what it walks, the statistics block, the final status and
// the restart question.
#include "tests/scan/engine_fixture.h"
#include "detect/text.h"

using namespace scx::test;

namespace {

constexpr int kRecord = 1;

std::vector<std::string> Statistics(int scanned, int infected, int removed)
{
    std::vector<std::string> block;
    if (infected > 0)
        block.push_back(" ");
    block.push_back("Scanning statistics");
    block.push_back("------------------------------");
    block.push_back("Total files scanned\t\t:  " + std::to_string(scanned));
    block.push_back("Total files infected\t\t:  " + std::to_string(infected));
    block.push_back("Total files removed\t\t:  " + std::to_string(removed));
    return block;
}

const char kRestartQuestion[] =
    "The system has to be restarted to remove the virus completely from your system. \n\n Restart now?";

} // namespace

class ScanRun : public EngineTest {
protected:
    void Target(const std::string& target) { CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, target.c_str()); }
};

struct StatisticsCase {
    const char* name;
    int scanned, infected, removed;
};

class StatisticsBlock : public ScanRun, public ::testing::WithParamInterface<StatisticsCase> {};

TEST_P(StatisticsBlock, ListsTheTotalsAsTheyStand)
{
    const StatisticsCase& c = GetParam();
    ScanState.filesScanned = c.scanned;
    ScanState.filesInfected = c.infected;
    ScanState.filesRemoved = c.removed;

    EXPECT_EQ(kScanFinished, RunScan(frontEnd())); // empty target: no memory stage, no walk

    EXPECT_EQ(Statistics(c.scanned, c.infected, c.removed), lines());
    EXPECT_EQ(std::vector<std::string>{"Scanning completed"}, statuses());
    EXPECT_TRUE(ScanState.summaryStarted);
}

INSTANTIATE_TEST_SUITE_P(Totals, StatisticsBlock,
                         ::testing::Values(StatisticsCase{"NothingFound", 0, 0, 0},
                                           StatisticsCase{"FoundAndRemoved", 1234, 2, 2},
                                           StatisticsCase{"FoundNoneRemoved", 10, 3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanRun, OneFolderIsWalkedAndSummed)
{
    const std::string sample = Path("sub\\x.exe");
    ASSERT_TRUE(MakeDirs(Path("sub")));
    ASSERT_TRUE(WriteSample(sample, kRecord));
    ASSERT_TRUE(WriteText(Path("readme.txt"), "clean"));
    Target(dir_);

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    std::vector<std::string> expected{RemovedLine(sample, RecordName(kRecord))};
    for (const std::string& line : Statistics(2, 1, 1))
        expected.push_back(line);
    EXPECT_EQ(expected, lines());
    ASSERT_FALSE(statuses().empty());
    EXPECT_EQ("Scanning completed", statuses().back());
    EXPECT_FALSE(FileExists(sample));
}

TEST_F(ScanRun, EscapeAnsweredYesEndsTheWalkButNotTheSummary)
{
    ASSERT_TRUE(WriteSample(Path("x.exe"), kRecord));
    Target(dir_);
    frontEnd().Answer(kQuestionStopScan, IDYES);
    PostMessageA(window(), WM_KEYDOWN, VK_ESCAPE, 0);

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    ASSERT_EQ(1u, frontEnd().questions().size());
    EXPECT_EQ(kQuestionStopScan, frontEnd().questions()[0].which);
    EXPECT_EQ(Statistics(0, 0, 0), lines());
    EXPECT_EQ(std::vector<std::string>{"Scanning terminated"}, statuses());
    EXPECT_TRUE(FileExists(Path("x.exe")));
}

// A stop confirmed before the scan began: neither stage runs (the sample
// stays, nothing is counted) and the run ends with its summary.
TEST_F(ScanRun, StopRequestedBeforeTheStartSkipsBothStages)
{
    ASSERT_TRUE(WriteSample(Path("x.exe"), kRecord));
    Target(dir_);
    ScanState.stopRequested = 1;

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    EXPECT_EQ(Statistics(0, 0, 0), lines());
    EXPECT_EQ(std::vector<std::string>{"Scanning terminated"}, statuses());
    EXPECT_TRUE(FileExists(Path("x.exe")));
    EXPECT_EQ(0, ScanState.filesScanned);
}

TEST_F(ScanRun, RestartQuestionIsAskedWhenARemovalWasScheduled)
{
    ScanState.rebootNeeded = 1;
    frontEnd().Answer(kQuestionRestart, IDNO);

    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    ASSERT_EQ(1u, frontEnd().questions().size());
    const auto& asked = frontEnd().questions()[0];
    EXPECT_EQ(kQuestionRestart, asked.which);
    EXPECT_EQ("Scourix Ver 1.0", asked.caption);
    EXPECT_EQ(kRestartQuestion, asked.text);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), asked.flags);
    // The question follows the summary and the final status.
    EXPECT_EQ(Statistics(0, 0, 0), lines());
    EXPECT_EQ(std::vector<std::string>{"Scanning completed"}, statuses());
}

TEST_F(ScanRun, NoRestartQuestionWithoutAScheduledRemoval)
{
    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));
    EXPECT_TRUE(frontEnd().questions().empty());
}

TEST_F(ScanRun, TargetTooLongForAPatternWalksNothing)
{
    Target(std::string(258, 'x'));
    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));
    EXPECT_EQ(Statistics(0, 0, 0), lines());
    EXPECT_EQ(0, ScanState.filesScanned);
    ASSERT_FALSE(statuses().empty());
    EXPECT_EQ("Scanning completed", statuses().back());
}
