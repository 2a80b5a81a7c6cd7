// The one way the scan reaches whoever presents it: the dialog program or the
// console program. Every report carries its own text, in UTF-8; the scan keeps
// formatting into ResultLine and StatusText and passes them on.
#pragma once
#include <windows.h>

// A front end that shows a per-entry status repaints it and attends to its
// window at most once per interval: a user sees no more than that, and under
// Wine a pump and a repaint per entry cost many times the walk itself.
constexpr DWORD kRefreshIntervalMs = 15;
// Messages handled at one refresh, so a flood cannot hold up the walk.
constexpr int kMessagesPerRefresh = 16;

enum FrontEndQuestion : int {
    kQuestionStopScan = 1,      // "Terminate the Scan now?" (yes / no)
    kQuestionRestart = 2,       // removal scheduled: restart now? (yes / no)
    kQuestionFoundInMemory = 3, // trojan running: restart now? (ok / cancel)
};

enum StatusPace : int {
    kStatusNow = 0,
    // The entry under examination: it may wait for the next refresh.
    kStatusOffered = 1,
};

class FrontEnd {
public:
    virtual void resultLine(const char* text) = 0;
    virtual void status(const char* text, StatusPace pace) = 0;
    // A walk has ended: the last offered status must be shown now.
    virtual void statusSettled() = 0;
    // Returns IDYES, IDNO, IDOK, IDCANCEL or -1 like ShowMessage.
    virtual int ask(FrontEndQuestion which, const char* text, const char* caption, UINT flags) = 0;
    // The two plain system boxes of the memory stage ("Could not kill process",
    // "false"/"TEMP"); the scan goes on after them.
    virtual void notice(const char* text, const char* caption) = 0;
    // Attends to the window when a refresh is due (or at once when
    // refreshNow), then answers whether a stop was asked for.
    virtual bool poll(bool refreshNow) = 0;
    // Someone listens for result lines: without a listener some repairs do
    // not even format theirs.
    virtual bool attached() = 0;
    // Asked just before an infected file is deleted. False keeps the file:
    // the removal is reported as failed and nothing else is tried.
    virtual bool mayRemove(const char*, const char*) { return true; }
    // A listed file that could not be opened for checking (it is still
    // counted as scanned): its path and the reason, e.g. "sharing violation".
    virtual void notChecked(const char*, const char*) {}
    virtual ~FrontEnd() = default;
};

// Makes frontEnd the one the scan reports to while the scope lives; outside
// every scope a quiet one shows nothing and answers each question with -1.
class FrontEndScope {
public:
    explicit FrontEndScope(FrontEnd& frontEnd);
    ~FrontEndScope();
    FrontEndScope(const FrontEndScope&) = delete;
    FrontEndScope& operator=(const FrontEndScope&) = delete;

private:
    FrontEnd* previous_;
};

FrontEnd& CurrentFrontEnd();

// The scan's call sites.
inline void FrontEndResultLine(const char* text) { CurrentFrontEnd().resultLine(text); }
inline void FrontEndStatus(const char* text, StatusPace pace) { CurrentFrontEnd().status(text, pace); }
inline void FrontEndStatusSettled() { CurrentFrontEnd().statusSettled(); }
inline int FrontEndAsk(FrontEndQuestion which, const char* text, const char* caption, UINT flags)
{
    return CurrentFrontEnd().ask(which, text, caption, flags);
}
inline void FrontEndNotice(const char* text, const char* caption) { CurrentFrontEnd().notice(text, caption); }
inline bool FrontEndPoll(bool refreshNow) { return CurrentFrontEnd().poll(refreshNow); }
inline bool FrontEndAttached() { return CurrentFrontEnd().attached(); }
inline void FrontEndNotChecked(const char* path, const char* reason) { CurrentFrontEnd().notChecked(path, reason); }
inline bool FrontEndMayRemove(const char* path, const char* detectionName)
{
    return CurrentFrontEnd().mayRemove(path, detectionName);
}

// Pumps up to kMessagesPerRefresh messages through PumpScanMessages when
// refreshNow is set, on the first call, or once kRefreshIntervalMs has passed
// since the last refresh (tick arithmetic, so the counter's wrap is harmless);
// then returns whether a stop was asked for. Each front end keeps its own clock.
bool PumpWhenDue(bool refreshNow, DWORD& lastRefresh, bool& refreshedOnce);
