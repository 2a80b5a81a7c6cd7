// The one way the scan reaches whoever presents it: the dialog program
// (through ScanState.mainWindow and its boxes) or the console program.
#pragma once
#include <windows.h>

// A front end that shows a per-entry status repaints it and attends to its
// window at most once per interval: a user sees no more than that, and under
// Wine a pump and a repaint per entry cost many times the walk itself.
constexpr DWORD kRefreshIntervalMs = 15;
// Messages handled at one refresh, so a flood cannot hold up the walk.
constexpr int kMessagesPerRefresh = 16;
// WM_ENABLE lParam: the window may keep the status for its next refresh.
constexpr LPARAM kStatusOffered = 1;
// Show the kept status now: a walk has ended.
constexpr UINT kStatusSettleMessage = WM_APP + 0x0A;

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
    // StatusText holds the entry under examination; the front end may show
    // it at its next refresh instead of now.
    void (*offerStatus)();
    // Attends to the window when a refresh is due (or at once when refreshNow),
    // then answers whether a stop was asked for.
    bool (*stopAsked)(bool refreshNow);
    // A walk has ended: the last offered status must be shown now.
    void (*statusSettled)();
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

// Installs the front end the scan reports to and returns the one it
// replaces. Null installs one that shows nothing and answers every question
// with -1. The table must outlive its use.
const FrontEnd* SetFrontEnd(const FrontEnd* frontEnd);
const FrontEnd& CurrentFrontEnd();

// The engine's call sites.
inline void FrontEndResultLine() { CurrentFrontEnd().resultLine(); }
inline void FrontEndStatus() { CurrentFrontEnd().status(); }
inline void FrontEndOfferStatus() { CurrentFrontEnd().offerStatus(); }
inline bool FrontEndStopAsked(bool refreshNow) { return CurrentFrontEnd().stopAsked(refreshNow); }
inline void FrontEndStatusSettled() { CurrentFrontEnd().statusSettled(); }
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

// Pumps up to kMessagesPerRefresh messages through PumpScanMessages when
// refreshNow is set, on the first call, or once kRefreshIntervalMs has passed
// since the last refresh (tick arithmetic, so the counter's wrap is harmless);
// then returns whether a stop was asked for. Each front end keeps its own clock.
bool PumpWhenDue(bool refreshNow, DWORD& lastRefresh, bool& refreshedOnce);
