// Ending processes by performance-data instance name (NT 4, Vista and
// later), run as Windows 7 and as NT 4. Wine has no process performance data,
// so the live method can only fail here; the ending itself is shown with
// blocks built by the test around processes it started.
#include "platform/process_kill_detail.h"
#include "platform/platform_probe.h"
#include "platform/process_kill.h"
#include "platform/services.h"
#include "scan/memory_stage.h"
#include "tests/platform/kill_test_util.h"
#include "tests/support/perf_block.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/guarded_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace scx::test;

namespace {

std::string Stem(const std::string& exeName)
{
    return exeName.substr(0, exeName.size() - 4);
}

TEST(KillPerfData, RunsOnThePerfDataBranch)
{
    ASSERT_EQ(5, GetPlatformCode());
    int nt = GetNtVersionCode();
    ASSERT_TRUE(nt == 0 || nt == 5) << nt;
}

// Under Wine: no process object, so nothing is ended and the user is told.
TEST(KillPerfData, LiveBranchFailsCleanlyWithCouldNotKill)
{
    std::string path = MakeScratchSubdir("pd") + "\\" + UniqueExeName("vxl");
    ASSERT_TRUE(WriteRunnable(path));
    ProcessGuard sample = StartProgram(path);
    ASSERT_TRUE(sample.IsRunning());
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(0, KillProcessByImage(path.c_str()));
    ASSERT_EQ(1u, frontEnd.notices().size());
    EXPECT_EQ("Could not kill process", frontEnd.notices()[0].text);
    EXPECT_EQ(path, frontEnd.notices()[0].caption);
    EXPECT_TRUE(sample.IsRunning());
}

TEST(KillPerfData, PathOfFourCharactersFailsAtOnce)
{
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(0, KillProcessByImage("a.ex"));
    ASSERT_EQ(1u, frontEnd.notices().size());
    EXPECT_EQ("Could not kill process", frontEnd.notices()[0].text);
    EXPECT_EQ("a.ex", frontEnd.notices()[0].caption);
}

// The image's process and its further instances ("#1") end; a process whose
// name only begins with the same letters keeps running.
TEST(KillPerfData, EndsImageAndItsFurtherInstancesOnly)
{
    std::string dir = MakeScratchSubdir("pdk");
    std::string exe = UniqueExeName("vxk");
    std::string path = dir + "\\" + exe;
    std::string longerPath = dir + "\\" + UniqueExeName("vxk", "host");
    ASSERT_TRUE(WriteRunnable(path));
    ASSERT_TRUE(WriteRunnable(longerPath, false));
    ProcessGuard first = StartProgram(path);
    ProcessGuard second = StartProgram(path);
    ProcessGuard longer = StartProgram(longerPath);
    ASSERT_TRUE(first.IsRunning() && second.IsRunning() && longer.IsRunning());

    std::string stem = Stem(exe);
    PerfBlock block = BuildPerfBlock({{U16("Idle"), 0},
                                      {U16(stem), first.pid()},
                                      {U16(Upper(stem) + "#1"), second.pid()},
                                      {U16(stem + "host"), longer.pid()},
                                      {U16("_Total"), 0}});
    GuardedBuffer data(block.bytes);
    GuardedBuffer titles(StandardCounterTitles());
    EXPECT_EQ(1, KillByNamePerfDataFrom(path.c_str(), titles.data(), titles.size(), data.data(), data.size()));
    EXPECT_EQ(0, first.WaitExit(5000));
    EXPECT_EQ(0, second.WaitExit(5000));
    EXPECT_TRUE(longer.IsRunning());
}

TEST(KillPerfData, NoMatchingInstanceEndsNothing)
{
    std::string dir = MakeScratchSubdir("pdn");
    std::string exe = UniqueExeName("vxm");
    std::string path = dir + "\\" + exe;
    std::string otherPath = dir + "\\" + UniqueExeName("vxm", "x");
    ASSERT_TRUE(WriteRunnable(otherPath, false));
    ProcessGuard other = StartProgram(otherPath);
    PerfBlock block = BuildPerfBlock({{U16(Stem(exe) + "x"), other.pid()}});
    std::vector<uint8_t> titleList = StandardCounterTitles();
    EXPECT_EQ(0, KillByNamePerfDataFrom(path.c_str(), titleList.data(), titleList.size(), block.bytes.data(),
                                        block.bytes.size()));
    // Without the "id process" title nothing is read at all.
    std::vector<uint8_t> noId = BuildCounterTitles({{"230", "Process"}});
    PerfBlock named = BuildPerfBlock({{U16(Stem(exe) + "x"), other.pid()}});
    EXPECT_EQ(0, KillByNamePerfDataFrom(otherPath.c_str(), noId.data(), noId.size(), named.bytes.data(),
                                        named.bytes.size()));
    EXPECT_TRUE(other.IsRunning());
}

} // namespace
