// Files under names Win32 path parsing or the ANSI code page cannot reach:
// each infected sample is removed with one result line and counted, the near
// miss beside it stays byte for byte, and the statistics add up. The names are
// made through "\\?\" wide calls, as a program hiding its file would.
#include "tests/scan/engine_fixture.h"

#include "platform/handle_guard.h"
#include "platform/platform_probe.h"
#include "tests/support/awkward_names.h"

#include <algorithm>

using namespace scx::test;

namespace {

constexpr int kRecord = 1; // small sample, W32/Vexmor.Bc.Trojan

class AwkwardNames : public EngineTest {
protected:
    void TearDown() override
    {
        // Deep trees need the exact-name removal.
        RemoveLongTree(dir_);
        EngineTest::TearDown();
    }

    std::vector<PlantedCase> Plant(bool codePageOnly)
    {
        std::vector<PlantedCase> planted = PlantAwkwardNames(dir_, kRecord, codePageOnly);
        EXPECT_FALSE(planted.empty()) << "the awkward names could not be planted";
        return planted;
    }

    void ExpectOnlyTheSamplesGone(const std::vector<PlantedCase>& planted)
    {
        const int count = int(planted.size());
        EXPECT_EQ(2 * count, ScanState.filesScanned);
        EXPECT_EQ(count, ScanState.filesInfected);
        EXPECT_EQ(count, ScanState.filesRemoved);
        EXPECT_EQ(0, ScanState.rebootNeeded);
        for (const PlantedCase& p : planted) {
            EXPECT_FALSE(ExactExists(p.infected)) << p.infected;
            EXPECT_EQ(p.nearMissBytes, ExactRead(p.nearMiss)) << p.nearMiss;
        }
        EXPECT_TRUE(frontEnd().notCheckedFiles().empty());
    }
};

TEST_F(AwkwardNames, EverySampleIsRemovedByItsExactNameAndEveryNearMissStays)
{
    if (GetPlatformCode() != 5)
        GTEST_SKIP() << "exact names are the NT family's; the 9x case is its own test";
    const std::vector<PlantedCase> planted = Plant(false);
    ASSERT_FALSE(HasFailure());

    WalkDirectory(Pattern().c_str());

    std::vector<std::string> expected;
    for (const PlantedCase& p : planted)
        expected.push_back(RemovedLine(p.infected, RecordName(kRecord)));
    std::vector<std::string> got = lines();
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(expected, got);
    ExpectOnlyTheSamplesGone(planted);
}

// Windows 9x lists names in the code page: a character it lacks comes as
// '?', and the listing's short name reaches the file instead.
TEST_F(AwkwardNames, OnWindows9xNamesOutsideTheCodePageAreReachedByTheirShortNames)
{
    if (GetPlatformCode() != 4)
        GTEST_SKIP() << "run as Windows 98 (the .win98 registration)";
    const std::vector<PlantedCase> planted = Plant(true);
    ASSERT_FALSE(HasFailure());

    WalkDirectory(Pattern().c_str());

    EXPECT_EQ(planted.size(), lines().size());
    for (const std::string& line : lines())
        EXPECT_NE(std::string::npos, line.find("     " + RecordName(kRecord) + " removed")) << line;
    ExpectOnlyTheSamplesGone(planted);
}

// A file that cannot be opened is still counted, and said to be unchecked.
TEST_F(AwkwardNames, AFileThatCannotBeOpenedIsCountedAndReportedNotChecked)
{
    const std::string locked = Path("locked.exe");
    ASSERT_TRUE(ExactWrite(locked, BuildSample(kRecord)));
    HandleGuard hold(CreateFileW(ExactWidePath(locked).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold.valid());

    WalkDirectory(Pattern().c_str());

    EXPECT_EQ(1, ScanState.filesScanned);
    EXPECT_EQ(0, ScanState.filesInfected);
    EXPECT_TRUE(lines().empty());
    ASSERT_EQ(1u, frontEnd().notCheckedFiles().size());
    EXPECT_EQ(locked, frontEnd().notCheckedFiles()[0].first);
    EXPECT_EQ("sharing violation", frontEnd().notCheckedFiles()[0].second);
}

} // namespace
