#include "engine/front_end.h"

#include "engine/scan_state.h"
#include "ui/show_message.h"

namespace {

void DialogResultLine() { SendMessageA(ScanState.mainWindow, WM_SETREDRAW, 0, 0); }
void DialogStatus() { SendMessageA(ScanState.mainWindow, WM_ENABLE, 0, 0); }

int DialogAsk(FrontEndQuestion, const char* text, const char* caption, UINT flags)
{
    return ShowMessage(text, caption, flags);
}

void DialogPlainBox(const char* text, const char* caption) { MessageBoxA(nullptr, text, caption, MB_OK); }
void DialogEnd() { ExitProcess(0); }
bool DialogAttached() { return ScanState.mainWindow != nullptr; }

const FrontEnd kDialogFrontEnd = {
    DialogResultLine, DialogStatus, DialogAsk, DialogPlainBox, DialogEnd, DialogAttached, nullptr,
};

const FrontEnd* g_frontEnd = &kDialogFrontEnd;

} // namespace

void SetFrontEnd(const FrontEnd* frontEnd) { g_frontEnd = frontEnd ? frontEnd : &kDialogFrontEnd; }

const FrontEnd& CurrentFrontEnd() { return *g_frontEnd; }
