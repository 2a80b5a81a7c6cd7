#include "engine/front_end.h"

#include "engine/engine.h"
#include "engine/scan_state.h"
#include "ui/show_message.h"

namespace {

void DialogResultLine() { SendMessageA(ScanState.mainWindow, WM_SETREDRAW, 0, 0); }
void DialogStatus() { SendMessageA(ScanState.mainWindow, WM_ENABLE, 0, 0); }

void DialogOfferStatus() { SendMessageA(ScanState.mainWindow, WM_ENABLE, 0, kStatusOffered); }
void DialogStatusSettled() { SendMessageA(ScanState.mainWindow, kStatusSettleMessage, 0, 0); }

DWORD g_dialogLastRefresh;
bool g_dialogRefreshedOnce;

bool DialogStopAsked(bool refreshNow) { return PumpWhenDue(refreshNow, g_dialogLastRefresh, g_dialogRefreshedOnce); }

int DialogAsk(FrontEndQuestion, const char* text, const char* caption, UINT flags)
{
    return ShowMessage(text, caption, flags);
}

void DialogPlainBox(const char* text, const char* caption) { MessageBoxA(nullptr, text, caption, MB_OK); }
void DialogEnd() { ExitProcess(0); }
bool DialogAttached() { return ScanState.mainWindow != nullptr; }

const FrontEnd kDialogFrontEnd = {
    DialogResultLine, DialogStatus, DialogOfferStatus, DialogStopAsked, DialogStatusSettled, DialogAsk, DialogPlainBox, DialogEnd, DialogAttached, nullptr,
};

const FrontEnd* g_frontEnd = &kDialogFrontEnd;

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

void SetFrontEnd(const FrontEnd* frontEnd) { g_frontEnd = frontEnd ? frontEnd : &kDialogFrontEnd; }

const FrontEnd& CurrentFrontEnd() { return *g_frontEnd; }
