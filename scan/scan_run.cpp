#include "scan/engine.h"
#include "scan/memory_stage.h"

#include "detect/text.h"
#include "platform/deferred_removal.h"
#include "scan/product.h"
#include "scan/statistics.h"

#include <cstring>

namespace {

const char kEveryFixedDrive[] = "!:";

// The extra walk of a drive's "Program Files" folder, when the walker found
// one and nothing below such a folder has been walked yet.
void WalkPendingProgramFiles()
{
    if (ScanState.programFilesPending == 1 && ScanState.programFilesVisited == 0) {
        WalkDirectory(ScanState.programFilesPattern);
        ScanState.programFilesPending = 0;
    }
}

void WalkFixedDrives()
{
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        char root[] = "C:\\";
        root[0] = letter;
        if (GetDriveTypeA(root) != DRIVE_FIXED)
            continue;
        char pattern[] = "C:\\*.*";
        pattern[0] = letter;
        WalkDirectory(pattern);
        WalkPendingProgramFiles();
    }
}

void WalkOneFolder(const char* folder)
{
    char pattern[sizeof ScanState.scanTarget + 4];
    // A target too long to take "\*.*" cannot be walked.
    if (CopyText(pattern, sizeof pattern, folder) && AppendText(pattern, sizeof pattern, "\\*.*"))
        WalkDirectory(pattern);
    WalkPendingProgramFiles();
}

void ReportStatistics()
{
    if (ScanState.filesInfected > 0)
        ReportResultLine(" ");
    WriteStatistics([](const char* text) { ReportResultLine("%s", text); });
}

} // namespace

ScanEnd RunScan(FrontEnd& frontEnd)
{
    FrontEndScope scope(frontEnd);
    // A stop confirmed before the scan began skips both stages.
    if (ScanState.scanTarget[0] != '\0' && !ScanState.stopRequested) {
        if (RunMemoryScan())
            return kScanEndAfterMemoryStage;
        if (strcmp(ScanState.scanTarget, kEveryFixedDrive) == 0)
            WalkFixedDrives();
        else
            WalkOneFolder(ScanState.scanTarget);
    }

    ScanState.summaryStarted = 1;
    ReportStatistics();
    ReportStatus(ScanState.stopRequested ? "Scanning terminated" : "Scanning completed");

    if (ScanState.rebootNeeded != 0) {
        int answer = FrontEndAsk(kQuestionRestart, "The system has to be restarted to remove the virus completely from your "
                                 "system. \n\n Restart now?",
                                 kProductCaption, MB_YESNO | MB_ICONQUESTION);
        if (answer == IDYES)
            RestartWindows();
    }
    return kScanFinished;
}
