// The memory stage with the real walker and trojan check: fixture samples run
// as real processes, are found through the walker, ended, and their images
// removed by the forced walk. Runs as Windows XP, 2000, 7 and 98.
#include "scan/memory_stage.h"
#include "platform/platform_probe.h"
#include "tests/scan/engine_fixture.h"
#include "tests/scan/exact_names.h"

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

// A running sample in a folder the code page cannot spell, or deeper than
// MAX_PATH, is found, ended and removed by its exact name, and a Run value
// that starts it goes (in each registry view); a clean program running beside
// it, and the value that starts that one, stay.
class MemoryStageExactNames : public EngineTest, public testing::WithParamInterface<AwkwardFolder> {
protected:
    void TearDown() override
    {
        RemoveLongTree(dir_);
        EngineTest::TearDown();
    }
};

TEST_P(MemoryStageExactNames, RunningSampleIsFoundEndedAndRemoved)
{
    if (GetPlatformCode() == 4)
        GTEST_SKIP() << "the 9x family holds every name in its code page and within MAX_PATH";
    const std::string unseen = RunningSampleUnseenReason();
    if (!unseen.empty())
        GTEST_SKIP() << unseen;
    const std::string folder = GetParam().make(dir_);
    ASSERT_TRUE(MakeDirsExact(folder)) << folder;
    const std::string samplePath = folder + "\\вексмор木马.exe";
    const std::string cleanPath = folder + "\\вексмор木马.ex";
    ASSERT_TRUE(WriteBytesExact(samplePath, BuildSample(kRecord)));
    ASSERT_TRUE(WriteBytesExact(cleanPath, BuildCleanProgram()));
    const std::string tag = std::to_string(GetCurrentProcessId());
    const std::string valueName = "Вексмор_" + tag;
    const std::string nearName = "Вексмор_" + tag + "_near";
#if defined(_WIN64)
    const REGSAM views[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
#else
    const REGSAM views[] = {0};
#endif
    std::vector<std::unique_ptr<WideRunValues>> values;
    for (REGSAM view : views) {
        values.push_back(std::make_unique<WideRunValues>(view));
        ASSERT_TRUE(values.back()->Set(valueName, "\"" + samplePath + "\" /start"));
        ASSERT_TRUE(values.back()->Set(nearName, cleanPath));
    }
    ProcessGuard clean = StartProgramExact(cleanPath);
    ProcessGuard sample = StartProgramExact(samplePath);
    if (!clean.valid() && WideOf(folder).size() >= MAX_PATH)
        GTEST_SKIP() << "the system starts no program from a path longer than MAX_PATH (CreateProcess "
                        "refuses it), so no process runs from there";
    ASSERT_TRUE(clean.IsRunning() && sample.IsRunning()) << folder;
    ActionMode = kActionDelete;

    EXPECT_FALSE(RunMemoryScan()) << "a first run goes back to the scan";

    EXPECT_EQ(0, sample.WaitExit(3000)) << "ended with exit code 0";
    EXPECT_FALSE(ExistsExact(samplePath));
    std::vector<std::string> expected(std::size(views), "System Registry     W32/Vexmor.Trojan removed");
    expected.push_back(kForcedLine);
    expected.push_back(samplePath + "     W32/Vexmor.Trojan removed");
    EXPECT_EQ(expected, lines());
    EXPECT_EQ(1, ScanState.filesInfected);
    EXPECT_EQ(1, ScanState.filesRemoved);
    EXPECT_EQ(0, ScanState.filesScanned);
    for (const auto& inView : values) {
        EXPECT_FALSE(inView->Exists(valueName));
        EXPECT_TRUE(inView->Exists(nearName));
    }
    EXPECT_TRUE(clean.IsRunning());
    EXPECT_TRUE(ExistsExact(cleanPath));
    clean.Stop();
}

const AwkwardFolder kAwkwardFolders[] = {
    {"Cyrillic", CyrillicFolder},
    {"Chinese", ChineseFolder},
    {"Mixed", MixedFolder},
    // No folder longer than MAX_PATH: no process can be started from one
    // (CreateProcess refuses it), so nothing runs there to be found.
};

INSTANTIATE_TEST_SUITE_P(Folders, MemoryStageExactNames, testing::ValuesIn(kAwkwardFolders),
                         [](const testing::TestParamInfo<AwkwardFolder>& info) { return std::string(info.param.name); });

} // namespace
