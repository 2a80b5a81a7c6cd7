// The 9x-family process listing, with a stand-in walker deciding which images
// are infected. Runs as Windows 98. This system's Toolhelp names each process
// by its bare file name (Windows 98 itself gives the full path), so the scan
// runs with the programs' folder as the current folder, where a bare name
// finds the image just as a full path would.
#include "scan/scan_state.h"
#include "platform/platform_probe.h"
#include "scan/memory_stage.h"
#include "tests/scan/fake_walker.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using namespace scx::test;
namespace fw = scx::test::fakewalker;

namespace {

class ToolhelpScan : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(4, GetPlatformCode()) << "runs as Windows 98";
        fw::Reset();
        ScanState.forcedAction = 0;
        dir_ = MakeScratchSubdir("procs");
        GetCurrentDirectoryA(sizeof previousDir_, previousDir_);
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(previousDir_);
        ActionMode = 0;
        fw::Reset();
    }
    ProcessGuard Start(const std::string& name)
    {
        std::string path = dir_ + "\\" + name;
        EXPECT_TRUE(WriteBytes(path, BuildCleanProgram()));
        ProcessGuard g = StartProgram(path);
        EXPECT_TRUE(g.IsRunning()) << path;
        return g;
    }
    void ScanFromProgramsFolder()
    {
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
        ScanProcessesToolhelp();
        SetCurrentDirectoryA(previousDir_);
    }
    std::string dir_;
    char previousDir_[MAX_PATH] = {};
};

struct ActionCase {
    const char* name;
    int actionMode;
    bool ends;
};

class ToolhelpScanByAction : public ToolhelpScan, public testing::WithParamInterface<ActionCase> {};

TEST_P(ToolhelpScanByAction, EndsInfectedProcessesAndForceWalksTheirImages)
{
    const ActionCase& c = GetParam();
    ProcessGuard victim = Start("tvictim.exe");
    ProcessGuard bystander = Start("tbystander.exe");
    fw::MarkInfected("tvictim.exe");
    fw::SetReturn(5);
    ActionMode = c.actionMode;

    ScanFromProgramsFolder();

    std::vector<fw::Call> victimCalls = fw::CallsFor("tvictim.exe");
    ASSERT_GE(victimCalls.size(), 1u);
    EXPECT_EQ(0, victimCalls[0].forcedAction);
    ASSERT_EQ(1u, fw::CallsFor("tbystander.exe").size());
    EXPECT_TRUE(bystander.IsRunning());
    EXPECT_EQ(0, ScanState.forcedAction);
    if (c.ends) {
        EXPECT_EQ(0, victim.WaitExit(3000));
        ASSERT_EQ(2u, victimCalls.size());
        EXPECT_EQ(c.actionMode, victimCalls[1].forcedAction);
    } else {
        EXPECT_TRUE(victim.IsRunning());
        EXPECT_EQ(1u, victimCalls.size());
    }
}

const ActionCase kActionCases[] = {
    {"Delete", 100, true},
    {"Rename", 101, true},
    {"Leave", 103, false},
};

INSTANTIATE_TEST_SUITE_P(Actions, ToolhelpScanByAction, testing::ValuesIn(kActionCases),
                         [](const testing::TestParamInfo<ActionCase>& info) { return std::string(info.param.name); });

// The forced walk follows an infected process even when it could not be
// ended (here: already gone when its turn came).
TEST_F(ToolhelpScan, ForcedWalkEvenWhenTerminationFails)
{
    ProcessGuard victim = Start("tgone.exe");
    fw::MarkInfected("tgone.exe");
    fw::OnInfectedWalk([&victim](const std::string&) { victim.StopAndWaitGone(); });
    ActionMode = 100;

    ScanFromProgramsFolder();

    std::vector<fw::Call> calls = fw::CallsFor("tgone.exe");
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(100, calls[1].forcedAction);
}

// An image that fails the read-access test (a bare name that does not lead
// to the file from the current folder) is not checked, and its process runs on.
TEST_F(ToolhelpScan, UnreachableImageIsNotChecked)
{
    ProcessGuard victim = Start("tfar.exe");
    fw::MarkInfected("tfar.exe");
    ActionMode = 100;

    ScanProcessesToolhelp(); // from the test's own folder

    EXPECT_TRUE(fw::CallsFor("tfar.exe").empty());
    EXPECT_TRUE(victim.IsRunning());
}

} // namespace
