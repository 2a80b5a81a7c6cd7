#include "ui/dialog_front_end.h"

#include "scan/scan_state.h"
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

} // namespace

const FrontEnd& DialogFrontEnd() { return kDialogFrontEnd; }
