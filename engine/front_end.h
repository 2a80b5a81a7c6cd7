// The one way the engine reaches whoever presents a scan: the dialog program
// (default, through ScanState.mainWindow and its boxes) or the console program.
#pragma once
#include <windows.h>

enum FrontEndQuestion : int {
    kQuestionStopScan = 1,      // "Terminate the Scan now?" (yes / no)
    kQuestionRestart = 2,       // removal scheduled: restart now? (yes / no)
    kQuestionFoundInMemory = 3, // trojan running: restart now? (ok / cancel)
};

struct FrontEnd {
    // ResultLine holds the next line for the result list.
    void (*resultLine)();
    // StatusText holds the next text for the status label.
    void (*status)();
    // Returns IDYES, IDNO, IDOK, IDCANCEL or -1 like ShowMessage.
    int (*ask)(FrontEndQuestion which, const char* text, const char* caption, UINT flags);
    // The two plain system boxes of the memory stage ("Could not kill process",
    // "false"/"TEMP"); the scan goes on after them.
    void (*plainBox)(const char* text, const char* caption);
    // The trojan was running: the program ends here, it does not return.
    void (*endAfterMemoryStage)();
    // Someone listens for result lines (the dialog: ScanState.mainWindow set).
    bool (*attached)();
    // Asked just before an infected file is deleted. False keeps the file:
    // the removal is reported as failed and nothing else is tried. Null
    // (the dialog) always allows it.
    bool (*mayRemove)(const char* path, const char* detectionName);
};

// Null restores the dialog front end. The table must outlive its use.
void SetFrontEnd(const FrontEnd* frontEnd);
const FrontEnd& CurrentFrontEnd();

// The engine's call sites.
inline void FrontEndResultLine() { CurrentFrontEnd().resultLine(); }
inline void FrontEndStatus() { CurrentFrontEnd().status(); }
inline int FrontEndAsk(FrontEndQuestion which, const char* text, const char* caption, UINT flags)
{
    return CurrentFrontEnd().ask(which, text, caption, flags);
}
inline void FrontEndPlainBox(const char* text, const char* caption) { CurrentFrontEnd().plainBox(text, caption); }
[[noreturn]] inline void FrontEndEndAfterMemoryStage()
{
    CurrentFrontEnd().endAfterMemoryStage();
    ExitProcess(0); // a front end that came back still ends here
}
inline bool FrontEndAttached() { return CurrentFrontEnd().attached(); }
inline bool FrontEndMayRemove(const char* path, const char* detectionName)
{
    bool (*ask)(const char*, const char*) = CurrentFrontEnd().mayRemove;
    return ask == nullptr || ask(path, detectionName);
}
