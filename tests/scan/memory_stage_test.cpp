// The memory-stage driver with a stand-in walker: which platform runs which
// listing, when the stage says the program must end, and when it asks the
// found-in-memory question first. Each scenario runs in a child process as
// some Windows version and is judged from outside, by what it printed. The
// restart is a stand-in here (fake_restart.cpp) that only says it was asked.
#include "scan/engine.h"
#include "detect/text.h"
#include "platform/platform_probe.h"
#include "scan/memory_stage.h"
#include "tests/scan/fake_walker.h"
#include "tests/support/recording_front_end.h"
#include "tests/scan/stage_notice.h"
#include "tests/support/child_process.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

using namespace scx::test;
namespace fw = scx::test::fakewalker;

namespace {

// Line feeds as \n, so that one question stays on one line.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (char ch : text)
        out += ch == '\n' ? std::string("\\n") : std::string(1, ch);
    return out;
}

// Child side: one infected clean program, started last so that it is the
// last process listed; the stand-in walker reports `walkerReturn` for every
// walk (the memory stage reports what the walker returns). With
// `unendable`, the process is gone before it can be terminated and there is
// no service of its name, so a restart is advised on NT 4, 2000 and XP.
void RunScenario(bool infected, bool unendable, int walkerReturn, int answerId = IDCANCEL)
{
    fw::Reset();
    std::string dir = MakeScratchSubdir("stage");
    std::string path = dir + "\\scxgone" + std::to_string(GetCurrentProcessId()) + ".exe";
    ASSERT_TRUE(WriteBytes(path, BuildCleanProgram()));
    ProcessGuard victim = StartProgram(path);
    ASSERT_TRUE(victim.IsRunning());
    SayToParent("VICTIM " + std::to_string(victim.pid()));
    if (infected)
        fw::MarkInfected(path);
    if (unendable)
        fw::OnInfectedWalk([&victim](const std::string&) { victim.StopAndWaitGone(); });
    fw::SetReturn(walkerReturn);
    ActionMode = 100;

    RecordingFrontEnd frontEnd;
    frontEnd.Answer(kQuestionFoundInMemory, answerId);
    const bool ends = RunMemoryScan();

    SayToParent(std::string("ENDS AFTER STAGE ") + (ends ? "yes" : "no"));
    // Before the guard ends it: only the stage can have ended it by now.
    SayToParent(std::string("VICTIM RUNNING ") + (victim.IsRunning() ? "yes" : "no"));
    for (const RecordingFrontEnd::Question& q : frontEnd.questions())
        SayToParent("QUESTION which=" + std::to_string(q.which) + " caption=" + q.caption +
            " flags=" + std::to_string(q.flags) + " text=" + Escaped(q.text));
    for (const RecordingFrontEnd::Notice& n : frontEnd.notices())
        SayToParent("NOTICE " + n.caption + ": " + n.text);
    bool walkedInStageMode = !fw::Calls().empty();
    for (const fw::Call& c : fw::Calls())
        walkedInStageMode &= c.memoryStage;
    SayToParent(std::string("STAGE MODE DURING WALKS ") + (walkedInStageMode ? "yes" : "no"));
    SayToParent(std::string("STAGE MODE AFTER ") + (ScanState.memoryStageMode ? "on" : "off"));
}

TEST(MemoryStageChild, DISABLED_TrojanEnded) { RunScenario(true, false, 3); }
TEST(MemoryStageChild, DISABLED_TrojanUnendable) { RunScenario(true, true, 3); }
TEST(MemoryStageChild, DISABLED_TrojanUnendableAnswerOk) { RunScenario(true, true, 3, IDOK); }
TEST(MemoryStageChild, DISABLED_TrojanEndedWalkerReportsZero) { RunScenario(true, false, 0); }
TEST(MemoryStageChild, DISABLED_NothingFound) { RunScenario(false, false, 0); }

struct StageCase {
    const char* name;
    const char* child;   // MemoryStageChild case
    const char* version;
    bool ends;           // RunMemoryScan says the program must end
    bool notice;         // the found-in-memory question is asked
    bool restart;        // a restart is requested
};

class MemoryStage : public testing::TestWithParam<StageCase> {};

TEST_P(MemoryStage, EndsOrGoesOnAsThePlatformSays)
{
    const StageCase& c = GetParam();
    StartDesktopProcess();
    ChildResult r = RunSelfTest(std::string("MemoryStageChild.DISABLED_") + c.child, c.version, 120000);
    SCOPED_TRACE(r.output);
    EXPECT_EQ(0, r.exitCode);

    // A child that failed early may have left its victim running.
    size_t at = r.output.find("VICTIM ");
    ASSERT_NE(std::string::npos, at);
    DWORD pid = strtoul(r.output.c_str() + at + 7, nullptr, 10);
    EndStrayProcess(pid, 1000);
    // Where the stage ends the program, the stage itself has ended the trojan.
    if (c.ends) {
        EXPECT_NE(std::string::npos, r.output.find("VICTIM RUNNING no"));
    }

    EXPECT_NE(std::string::npos, r.output.find(std::string("ENDS AFTER STAGE ") + (c.ends ? "yes" : "no")));
    EXPECT_NE(std::string::npos, r.output.find("STAGE MODE DURING WALKS yes"));
    EXPECT_NE(std::string::npos, r.output.find("STAGE MODE AFTER off"));
    const std::string asked = std::string("QUESTION which=3 caption=Scourix Ver 1.0 flags=") +
                              std::to_string(MB_OKCANCEL | MB_ICONINFORMATION) + " text=" + kFoundInMemoryNotice;
    EXPECT_EQ(c.notice, r.output.find(asked) != std::string::npos);
    EXPECT_EQ(c.notice, r.output.find("QUESTION ") != std::string::npos) << "no other question is asked";
    EXPECT_EQ(std::string::npos, r.output.find("NOTICE ")) << "no notice is shown";
    EXPECT_EQ(c.restart, r.output.find("RESTART REQUESTED") != std::string::npos);
}

const StageCase kStageCases[] = {
    // NT family: a nonzero result from the listing ends the program at once.
    {"XpTrojanEnded", "TrojanEnded", "winxp", true, false, false},
    {"XpTrojanUnendableNoticeCancelled", "TrojanUnendable", "winxp", true, true, false},
    {"Win2kTrojanUnendableNoticeCancelled", "TrojanUnendable", "win2k", true, true, false},
    {"Nt4TrojanUnendableNoticeCancelled", "TrojanUnendable", "nt40", true, true, false},
    // OK asks for the restart, and the program still ends at once.
    {"XpTrojanUnendableNoticeOk", "TrojanUnendableAnswerOk", "winxp", true, true, true},
    // Vista and later never touch services, so no restart is advised.
    {"Win7TrojanUnendableNoNotice", "TrojanUnendable", "win7", true, false, false},
    // A zero result goes on to the file walk.
    {"XpWalkerReportsZero", "TrojanEndedWalkerReportsZero", "winxp", false, false, false},
    {"XpNothingFound", "NothingFound", "winxp", false, false, false},
    // The 9x family never asks the question nor ends the program here.
    {"Win98TrojanEnded", "TrojanEnded", "win98", false, false, false},
    {"Win98TrojanUnendable", "TrojanUnendable", "win98", false, false, false},
};

// In this process, as the prefix's own NT version: the end is the scan's
// returned outcome, and nothing of the scan follows it (no walk of the
// target, no statistics, no status, no restart question).
TEST(MemoryStageOutcome, RunScanReturnsTheEndBeforeTheWalkAndTheStatistics)
{
    ASSERT_EQ(5, GetPlatformCode());
    fw::Reset();
    ScanState = ScanStateData{};
    std::string dir = MakeScratchSubdir("outcome");
    std::string path = dir + "\\scxend" + std::to_string(GetCurrentProcessId()) + ".exe";
    ASSERT_TRUE(WriteBytes(path, BuildCleanProgram()));
    ProcessGuard victim = StartProgram(path);
    ASSERT_TRUE(victim.IsRunning());
    fw::MarkInfected(path);
    fw::SetReturn(3);
    ActionMode = kActionDelete;
    ScanState.rebootNeeded = 1;
    CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, dir.c_str());
    RecordingFrontEnd frontEnd;

    EXPECT_EQ(kScanEndAfterMemoryStage, RunScan(frontEnd));

    EXPECT_FALSE(fw::CallsFor(path).empty());
    EXPECT_TRUE(fw::CallsFor(dir + "\\*.*").empty()) << "the target was walked";
    EXPECT_TRUE(frontEnd.lines().empty());
    EXPECT_TRUE(frontEnd.statuses().empty());
    EXPECT_TRUE(frontEnd.questions().empty());
    EXPECT_FALSE(ScanState.summaryStarted);
    EXPECT_FALSE(ScanState.memoryStageMode);
    victim.Stop();
    ScanState = ScanStateData{};
}

INSTANTIATE_TEST_SUITE_P(Platforms, MemoryStage, testing::ValuesIn(kStageCases),
                         [](const testing::TestParamInfo<StageCase>& info) { return std::string(info.param.name); });

} // namespace
