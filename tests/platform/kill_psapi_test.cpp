// Ending processes by full module path through PSAPI (Windows 2000 and XP),
// run as XP and as 2000.
#include "platform/platform_probe.h"
#include "platform/process_kill.h"
#include "platform/services.h"
#include "scan/memory_stage.h"
#include "tests/platform/kill_test_util.h"
#include "tests/support/recording_front_end.h"

#include <gtest/gtest.h>

#include <string>

using namespace scx::test;

namespace {

TEST(KillPsapi, RunsAsNt5)
{
    ASSERT_EQ(5, GetPlatformCode());
    ASSERT_EQ(6, GetNtVersionCode());
}

// Every process of that file ends, whatever the letter case of the path; a
// program of the same name elsewhere and one whose name merely begins the
// same way keep running.
TEST(KillPsapi, EndsEveryProcessOfThePathOnly)
{
    std::string dir = MakeScratchSubdir("ps");
    std::string path = dir + "\\" + UniqueExeName("vxp");
    std::string sameNameElsewhere = MakeScratchSubdir("ps_other") + "\\" + UniqueExeName("vxp");
    std::string longerName = dir + "\\" + UniqueExeName("vxp", "x");
    ASSERT_TRUE(WriteRunnable(path));
    ASSERT_TRUE(WriteRunnable(sameNameElsewhere, false));
    ASSERT_TRUE(WriteRunnable(longerName, false));
    ProcessGuard first = StartProgram(path);
    ProcessGuard second = StartProgram(path);
    ProcessGuard elsewhere = StartProgram(sameNameElsewhere);
    ProcessGuard longer = StartProgram(longerName);
    ASSERT_TRUE(first.IsRunning() && second.IsRunning() && elsewhere.IsRunning() && longer.IsRunning());

    std::string asked = Upper(path);
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(1, KillProcessByImage(asked.c_str()));
    EXPECT_EQ(0, first.WaitExit(5000));
    EXPECT_EQ(0, second.WaitExit(5000));
    EXPECT_TRUE(elsewhere.IsRunning());
    EXPECT_TRUE(longer.IsRunning());
    EXPECT_TRUE(DeleteWithRetry(path));
    EXPECT_TRUE(frontEnd.notices().empty()) << "this branch never shows a message";
}

TEST(KillPsapi, NothingMatchingStillReportsSuccessWithoutMessage)
{
    std::string dir = MakeScratchSubdir("psn");
    std::string path = dir + "\\" + UniqueExeName("vxq");
    std::string bystanderPath = dir + "\\" + UniqueExeName("vxq", "b");
    ASSERT_TRUE(WriteRunnable(path));
    ASSERT_TRUE(WriteRunnable(bystanderPath, false));
    ProcessGuard bystander = StartProgram(bystanderPath);
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(1, KillProcessByImage(path.c_str()));
    EXPECT_TRUE(KillByPathPsapi(path.c_str()));
    EXPECT_TRUE(bystander.IsRunning());
    EXPECT_TRUE(frontEnd.notices().empty());
}

} // namespace
