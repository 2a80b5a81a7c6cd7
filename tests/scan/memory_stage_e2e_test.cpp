// The memory stage with the real walker and trojan check: fixture samples run
// as real processes, are found through the walker, ended, and their images
// removed by the forced walk. Runs as Windows XP, 2000, 7 and 98.
#include "scan/memory_stage.h"
#include "platform/platform_probe.h"
#include "tests/scan/engine_fixture.h"

#include <windows.h>

using namespace scx::test;

namespace {

constexpr int kRecord = 1;
const char kForcedLine[] = "System Memory    W32/Vexmor.Trojan removed";

struct ActionCase {
    const char* name;
    int actionMode;
    const char* outcome; // "removed", "renamed", or empty: left running
};

class MemoryStageRun : public EngineTest, public testing::WithParamInterface<ActionCase> {
protected:
    void TearDown() override
    {
        SetCurrentDirectoryA(previousDir_);
        EngineTest::TearDown();
    }
    // This system's Toolhelp names each process by its bare file name
    // (Windows 98 itself gives the full path), so on the 9x family the stage
    // runs with the samples' folder as the current folder, where the bare
    // name leads to the image as the full path would.
    void RunFromSampleFolderOn9x()
    {
        GetCurrentDirectoryA(sizeof previousDir_, previousDir_);
        if (GetPlatformCode() == 4) {
            ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
        }
        EXPECT_FALSE(RunMemoryScan()) << "a first run goes back to the scan";
        SetCurrentDirectoryA(previousDir_);
    }
    char previousDir_[MAX_PATH] = {};
};

TEST_P(MemoryStageRun, RunningSampleIsFoundEndedAndActedOn)
{
    const ActionCase& c = GetParam();
    std::string samplePath = Path("vexrun.exe");
    std::string cleanPath = Path("cleanrun.exe");
    ASSERT_TRUE(WriteSample(samplePath, kRecord));
    ASSERT_TRUE(WriteBytes(cleanPath, BuildCleanProgram()));
    ProcessGuard clean = StartProgram(cleanPath);
    ProcessGuard sample = StartProgram(samplePath);
    ASSERT_TRUE(clean.IsRunning() && sample.IsRunning());
    ActionMode = c.actionMode;
    RunFromSampleFolderOn9x(); // a first run: the stage goes back to the scan

    EXPECT_FALSE(ScanState.memoryStageMode);
    EXPECT_EQ(1, ScanState.filesInfected);
    EXPECT_EQ(0, ScanState.filesScanned) << "the memory stage counts no files";
    EXPECT_EQ(0, ScanState.forcedAction);
    std::string shown = GetPlatformCode() == 4 ? "vexrun.exe" : samplePath;
    std::string outcome = c.outcome;
    if (outcome.empty()) {
        EXPECT_TRUE(sample.IsRunning());
        EXPECT_TRUE(FileExists(samplePath));
        EXPECT_TRUE(lines().empty());
    } else {
        EXPECT_EQ(0, sample.WaitExit(3000)) << "ended with exit code 0";
        EXPECT_EQ(std::vector<std::string>({kForcedLine, shown + "     W32/Vexmor.Trojan " + outcome}), lines());
        EXPECT_FALSE(FileExists(samplePath));
        EXPECT_EQ(outcome == "renamed", FileExists(Path("vexrun.Vxe")));
        EXPECT_EQ(outcome == "removed" ? 1 : 0, ScanState.filesRemoved);
    }
    // An ordinary program is never ended.
    EXPECT_TRUE(clean.IsRunning());
    EXPECT_TRUE(FileExists(cleanPath));
    EXPECT_TRUE(frontEnd().questions().empty() && frontEnd().notices().empty()) << "no box on a first run";
}

const ActionCase kActionCases[] = {
    {"Delete", kActionDelete, "removed"},
    {"Rename", kActionRename, "renamed"},
    {"Leave", kActionLeave, ""},
};

INSTANTIATE_TEST_SUITE_P(Actions, MemoryStageRun, testing::ValuesIn(kActionCases),
                         [](const testing::TestParamInfo<ActionCase>& info) { return std::string(info.param.name); });

} // namespace
