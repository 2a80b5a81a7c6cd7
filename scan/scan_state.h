// Process-wide scan state shared by the engine, the memory stage, the repair
// routines and the front ends, and the buffers the engine formats its
// reports in.
#pragma once
#include <windows.h>

#include "detect/utf8.h"

enum : int {
    kActionDelete = 100,
    kActionRename = 101,
    kActionDeleteToo = 102,
    kActionLeave = 103,
};

struct ScanStateData {
    HWND mainWindow;
    // UTF-8; a folder path or "!:".
    char scanTarget[MAX_PATH * 3 + 1];
    char detectedName[260];
    unsigned char stopRequested;
    int scanRunning;
    unsigned char summaryStarted;
    int rebootNeeded;
    int filesScanned;
    int filesInfected;
    int filesRemoved;
    unsigned char memoryStageMode;
    unsigned char lastCheckInfected;
    int forcedAction;
    char programFilesPattern[260];
    int programFilesPending;
    int programFilesVisited;
    // Set by the memory stage when a running trojan could be neither ended
    // nor have its service stopped; never cleared.
    int memoryRestartNeeded;
    // The file under check (UTF-8), for the auto-start repair; empty between
    // checks.
    char currentFilePath[kLongPathUtf8Size];
    // The auto-start value last deleted (or chosen for deletion). Longer
    // value names are cut to fit.
    char autoStartValueName[260];
    // The walker's listing size of the file under check, so the check needs
    // no second system call to learn it; walkedSizeKnown is 0 outside a walk.
    int walkedSizeKnown;
    DWORD walkedSizeLow;
    DWORD walkedSizeHigh;
};

extern ScanStateData ScanState;
extern int ActionMode;
// Texts are UTF-8. Both buffers take the longest path the file system holds,
// so no path on a line or the label is cut.
constexpr size_t kResultLineSize = kLongPathUtf8Size + 512;
constexpr size_t kStatusTextSize = kLongPathUtf8Size;
extern char ResultLine[kResultLineSize];
extern char StatusText[kStatusTextSize];

// Formats into ResultLine and passes it to the front end as a result line.
void ReportResultLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Copies text into StatusText and passes it to the front end as a status
// shown now.
void ReportStatus(const char* text);

// Where reports, questions and the end after the memory stage go.
#include "scan/front_end.h"
