#include "ui/dialog_front_end.h"

#include "scan/engine.h"
#include "scan/scan_state.h"
#include "ui/scan_messages.h"
#include "ui/show_message.h"

namespace {

class DialogFront final : public FrontEnd {
public:
    void resultLine(const char* text) override { Send(kResultLineMessage, 0, text); }
    void status(const char* text, StatusPace pace) override { Send(kStatusMessage, WPARAM(pace), text); }
    void statusSettled() override { Send(kStatusSettleMessage, 0, nullptr); }
    int ask(FrontEndQuestion, const char* text, const char* caption, UINT flags) override
    {
        // The box stops the scan until answered: the label must already name
        // the entry it stopped at, not the one before the last refresh.
        statusSettled();
        return ShowMessage(text, caption, flags);
    }
    void notice(const char* text, const char* caption) override { MessageBoxA(nullptr, text, caption, MB_OK); }
    bool poll(bool refreshNow) override { return PumpWhenDue(refreshNow, lastRefresh_, refreshedOnce_); }
    bool attached() override { return ScanState.mainWindow != nullptr; }

private:
    static void Send(UINT message, WPARAM wParam, const char* text)
    {
        SendMessageA(ScanState.mainWindow, message, wParam, reinterpret_cast<LPARAM>(text));
    }
    DWORD lastRefresh_ = 0;
    bool refreshedOnce_ = false;
};

DialogFront g_dialogFrontEnd;

} // namespace

FrontEnd& DialogFrontEnd() { return g_dialogFrontEnd; }

void RunDialogScan()
{
    if (RunScan(g_dialogFrontEnd) == kScanEndAfterMemoryStage)
        ExitProcess(0); // the scan must not go on in this state
}
