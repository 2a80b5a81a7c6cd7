// The walk of a tree made on the Unix side by hostile_tree.sh: forbidden and
// invalid names, paths of thousands of bytes, folder links back up the tree,
// a dangling link, a named pipe. The walk must end on its own, in bounded
// time, with every buffer bounded, and still find a sample placed after all
// of it.
#include "tests/scan/engine_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace scx::test;

namespace {

constexpr int kRecord = 1;
constexpr UINT kWatchdogMs = 120000;
bool g_watchdogFired = false;

// Stops the walk through its own pump should it run away.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD)
{
    g_watchdogFired = true;
    ScanState.stopRequested = 1;
}

} // namespace

class HostileTree : public EngineTest {};

TEST_F(HostileTree, WalkEndsFindsTheSampleAfterItAndStaysInItsBuffers)
{
    const char* root = getenv("SCX_HOSTILE_TREE");
    if (!root || !*root)
        GTEST_SKIP() << "run through tests/scan/hostile_tree.sh";
    const std::string tree = root;
    ASSERT_TRUE(MakeDirs(tree + "\\zzz"));
    const std::string later = tree + "\\zzz\\later.exe";
    ASSERT_TRUE(WriteSample(later, kRecord));

    const UINT_PTR timer = SetTimer(nullptr, 0, kWatchdogMs, Watchdog);
    const DWORD start = GetTickCount();
    const int result = WalkDirectory((tree + "\\*.*").c_str());
    const DWORD took = GetTickCount() - start;
    KillTimer(nullptr, timer);
    printf("hostile tree walk: %d files checked in %lu ms\n", ScanState.filesScanned, (unsigned long)took);

    EXPECT_FALSE(g_watchdogFired) << "the walk ran away";
    EXPECT_GT(result, 0);
    EXPECT_FALSE(FileExists(later));
    ASSERT_FALSE(lines().empty());
    EXPECT_EQ(RemovedLine(later, RecordName(kRecord)), lines().back());
    EXPECT_EQ(1, ScanState.filesInfected);
    for (const std::string& s : statuses())
        EXPECT_LE(s.size(), 60u);
    const std::string once = tree + "\\loop2\\once.txt";
    EXPECT_EQ(1, std::count(statuses().begin(), statuses().end(), once)) << "a link was followed";
    EXPECT_LT(strnlen(StatusText, sizeof StatusText), sizeof StatusText);
    RemoveTree(tree + "\\zzz");
}
