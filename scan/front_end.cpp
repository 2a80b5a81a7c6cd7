#include "scan/front_end.h"

#include "scan/engine.h"
#include "scan/scan_state.h"

namespace {

// Outside a scan nothing is shown and nothing is asked: the scan layer knows
// no window of its own.
class QuietFrontEnd final : public FrontEnd {
public:
    void resultLine(const char*) override {}
    void status(const char*, StatusPace) override {}
    void statusSettled() override {}
    int ask(FrontEndQuestion, const char*, const char*, UINT) override { return -1; }
    void notice(const char*, const char*) override {}
    bool poll(bool) override { return ScanState.stopRequested != 0; }
    bool attached() override { return false; }
};

QuietFrontEnd g_quietFrontEnd;
FrontEnd* g_frontEnd = &g_quietFrontEnd;

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

FrontEndScope::FrontEndScope(FrontEnd& frontEnd) : previous_(g_frontEnd) { g_frontEnd = &frontEnd; }

FrontEndScope::~FrontEndScope() { g_frontEnd = previous_; }

FrontEnd& CurrentFrontEnd() { return *g_frontEnd; }
