#include "ui/dialog_front_end.h"

#include "detect/text.h"
#include "scan/engine.h"
#include "scan/scan_state.h"
#include "ui/scan_messages.h"
#include "ui/show_message.h"

namespace {

class DialogFront final : public FrontEnd {
public:
    void resultLine(const char* text) override
    {
        // The label names the file a result line is about.
        statusSettled();
        Send(kResultLineMessage, 0, text);
    }
    void status(const char* text, StatusPace pace) override
    {
        // Most entries of a walk are never painted: an offered status within
        // the interval costs a copy, and the window hears of it only when the
        // interval has passed or the label must be settled.
        if (pace == kStatusOffered && shownOnce_ && !Due()) {
            CopyText(waiting_, sizeof waiting_, text);
            isWaiting_ = true;
            return;
        }
        Show(text);
    }
    void statusSettled() override
    {
        if (isWaiting_)
            Show(waiting_);
    }
    int ask(FrontEndQuestion, const char* text, const char* caption, UINT flags) override
    {
        // The box stops the scan until answered: the label must already name
        // the entry it stopped at, not the one before the last refresh.
        statusSettled();
        return ShowMessage(text, caption, flags);
    }
    void notice(const char* text, const char* caption) override
    {
        statusSettled();
        MessageBoxA(nullptr, text, caption, MB_OK);
    }
    bool poll(bool refreshNow) override
    {
        // A long check between two offers must not leave the label behind.
        if (isWaiting_ && Due())
            Show(waiting_);
        return PumpWhenDue(refreshNow, lastRefresh_, refreshedOnce_);
    }
    bool attached() override { return ScanState.mainWindow != nullptr; }

private:
    bool Due() const { return GetTickCount() - lastShown_ >= kRefreshIntervalMs; }
    void Show(const char* text)
    {
        isWaiting_ = false;
        shownOnce_ = true;
        lastShown_ = GetTickCount();
        Send(kStatusMessage, 0, text);
    }
    // The one place where text goes to the window.
    static void Send(UINT message, WPARAM wParam, const char* text)
    {
        SendMessageA(ScanState.mainWindow, message, wParam, reinterpret_cast<LPARAM>(text));
    }
    DWORD lastRefresh_ = 0;
    bool refreshedOnce_ = false;
    // The newest offered status not yet sent; the sender reuses its buffer.
    char waiting_[sizeof StatusText] = {};
    bool isWaiting_ = false;
    bool shownOnce_ = false;
    DWORD lastShown_ = 0;
};

DialogFront g_dialogFrontEnd;

} // namespace

FrontEnd& DialogFrontEnd() { return g_dialogFrontEnd; }

void RunDialogScan()
{
    if (RunScan(g_dialogFrontEnd) == kScanEndAfterMemoryStage)
        ExitProcess(0); // the scan must not go on in this state
}
