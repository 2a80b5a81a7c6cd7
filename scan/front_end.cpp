#include "scan/front_end.h"

#include "scan/engine.h"
#include "scan/scan_state.h"

namespace {

// Until a front end is installed nothing is shown and nothing is asked: the
// scan layer knows no window of its own.
void QuietReport() {}
bool QuietStopAsked(bool) { return ScanState.stopRequested != 0; }
int QuietAsk(FrontEndQuestion, const char*, const char*, UINT) { return -1; }
void QuietBox(const char*, const char*) {}
bool QuietAttached() { return false; }

const FrontEnd kQuietFrontEnd = {
    QuietReport, QuietReport, QuietReport, QuietStopAsked, QuietReport, QuietAsk, QuietBox, QuietReport, QuietAttached, nullptr,
};

const FrontEnd* g_frontEnd = &kQuietFrontEnd;

} // namespace

bool PumpWhenDue(bool refreshNow, DWORD& lastRefresh, bool& refreshedOnce)
{
    if (refreshNow || !refreshedOnce || GetTickCount() - lastRefresh >= kRefreshIntervalMs) {
        MSG peek;
        for (int i = 0; i < kMessagesPerRefresh && !ScanState.stopRequested; ++i) {
            if (!PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE))
                break;
            PumpScanMessages();
        }
        // Counted from the end of the pump: a long question must not make
        // the next entry pump again at once.
        lastRefresh = GetTickCount();
        refreshedOnce = true;
    }
    return ScanState.stopRequested != 0;
}

const FrontEnd* SetFrontEnd(const FrontEnd* frontEnd)
{
    const FrontEnd* previous = g_frontEnd;
    g_frontEnd = frontEnd ? frontEnd : &kQuietFrontEnd;
    return previous;
}

const FrontEnd& CurrentFrontEnd() { return *g_frontEnd; }
