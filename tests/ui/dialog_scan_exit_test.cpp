// A whole scan run of the dialog program whose memory stage meets a running
// sample, seen from outside: each scenario runs in a child process as some
// Windows version, prints every report as it is made, and the parent judges
// its exit code, its reports, the notice and the sample's file and process.
// The dialog's own front end and its end of the process are what is tested
// here, so the reports go through a stand-in of the dialog's window.
#include "scan/engine.h"
#include "detect/text.h"
#include "scan/memory_stage.h"
#include "tests/support/dialog_answerer.h"
#include "tests/scan/stage_notice.h"
#include "tests/support/child_process.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"
#include "ui/dialog_front_end.h"
#include "ui/scan_messages.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace scx::test;

namespace {

constexpr int kRecord = 1;

// Stands in for the main dialog and prints each report at once: a child
// that ends itself leaves no later moment to read them.
LRESULT CALLBACK PrintReports(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kResultLineMessage) {
        SayToParent(std::string("LINE ") + MessageText(lp));
        return 0;
    }
    if (msg == kStatusMessage) {
        SayToParent(std::string("STATUS ") + MessageText(lp));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

HWND MakeReportWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PrintReports;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ScxPrintReports";
    RegisterClassA(&wc);
    return CreateWindowA("ScxPrintReports", "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
}

// Child side: a running sample, started last so that it is the last process
// listed (the listing's result is what its last process left). The scan
// counters are never reset, so a run after earlier walks in the same
// process has a nonzero file total, which the walker reports back to the
// memory stage; that is what lets the NT listing report the trojan found.
void ScanWithRunningSample(bool restartAdvised)
{
    HWND window = MakeReportWindow();
    ASSERT_TRUE(window);
    ScanState.mainWindow = window;
    ActionMode = kActionDelete;
    ScanState.filesScanned = 5;
    // Stands for an earlier process of the list that could be neither ended
    // nor have its service stopped (the flag is never cleared).
    if (restartAdvised)
        ScanState.memoryRestartNeeded = 1;

    std::string dir = MakeScratchSubdir("exit");
    std::string path = dir + "\\vexexit.exe";
    ASSERT_TRUE(WriteSample(path, kRecord));
    ProcessGuard sample = StartProgram(path);
    ASSERT_TRUE(sample.IsRunning());
    SayToParent("SAMPLE " + path);
    SayToParent("PID " + std::to_string(sample.pid()));
    CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, dir.c_str());
    // On the 9x family the bare process names lead to the images from here.
    SetCurrentDirectoryA(dir.c_str());

    DialogAnswerer answer("Scourix Ver 1.0", IDCANCEL, true);
    RunDialogScan();
    SayToParent("RETURNED");
}

TEST(MemoryStageExitChild, DISABLED_Scan) { ScanWithRunningSample(false); }
TEST(MemoryStageExitChild, DISABLED_ScanRestartAdvised) { ScanWithRunningSample(true); }

std::string After(const std::string& output, const std::string& key)
{
    size_t at = output.find(key);
    if (at == std::string::npos)
        return "";
    size_t end = output.find_first_of("\r\n", at);
    return output.substr(at + key.size(), end - at - key.size());
}

struct ExitCase {
    const char* name;
    const char* child;
    const char* version;
    bool ends;    // the program ends in the memory stage (no file walk, no statistics)
    bool notice;  // the found-in-memory notice is shown (and cancelled)
};

class MemoryStageExit : public testing::TestWithParam<ExitCase> {};

TEST_P(MemoryStageExit, EndsWithStatusZeroAfterRemovingTheImage)
{
    const ExitCase& c = GetParam();
    StartDesktopProcess();
    ChildResult r = RunSelfTest(std::string("MemoryStageExitChild.DISABLED_") + c.child, c.version, 120000);
    r.output.erase(std::remove(r.output.begin(), r.output.end(), '\r'), r.output.end());
    SCOPED_TRACE(r.output);
    EXPECT_EQ(0, r.exitCode);

    std::string path = After(r.output, "SAMPLE ");
    ASSERT_FALSE(path.empty());
    DWORD pid = strtoul(After(r.output, "PID ").c_str(), nullptr, 10);
    EXPECT_FALSE(EndStrayProcess(pid, 1000)) << "the child could not end what it started";
    EXPECT_FALSE(FileExists(path));

    // The image went in the memory stage: the announcement, then the removal.
    std::string shown = std::string(c.version) == "win98" ? "vexexit.exe" : path;
    std::string forced = "LINE System Memory    W32/Vexmor.Trojan removed\n";
    size_t at = r.output.find(forced);
    ASSERT_NE(std::string::npos, at);
    EXPECT_EQ(at + forced.size(), r.output.find("LINE " + shown + "     W32/Vexmor.Trojan removed\n"));

    EXPECT_EQ(!c.ends, r.output.find("RETURNED") != std::string::npos);
    EXPECT_EQ(!c.ends, r.output.find("LINE Scanning statistics") != std::string::npos);
    std::string box = std::string("BOX caption=Scourix Ver 1.0 text=") + kFoundInMemoryNotice + " buttons=1,2";
    EXPECT_EQ(c.notice, r.output.find(box) != std::string::npos);
    EXPECT_EQ(c.notice, r.output.find("BOX ") != std::string::npos) << "no other box is shown";
}

const ExitCase kExitCases[] = {
    {"WinXp", "Scan", "winxp", true, false},
    {"Win2k", "Scan", "win2k", true, false},
    {"Win7", "Scan", "win7", true, false},
    {"WinXpNoticeCancelled", "ScanRestartAdvised", "winxp", true, true},
    {"Win2kFoundInMemoryNoticeCancelled", "ScanRestartAdvised", "win2k", true, true},
    // The 9x family removes the image the same way but goes on to the file walk.
    {"Win98", "ScanRestartAdvised", "win98", false, false},
};

INSTANTIATE_TEST_SUITE_P(Platforms, MemoryStageExit, testing::ValuesIn(kExitCases),
                         [](const testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

} // namespace
