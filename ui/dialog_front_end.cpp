#include "ui/dialog_front_end.h"

#include "scan/engine.h"
#include "scan/scan_state.h"
#include "ui/scan_messages.h"
#include "ui/show_message.h"

#include "detect/utf8.h"

namespace {

// The scan's UTF-8 text in the code page the window shows: a character the
// code page lacks becomes '?' (text that is not UTF-8 keeps its ASCII only).
// One buffer per kind of text, as a status may still be held while a line is
// sent. ANSI text never takes more bytes than its UTF-8 form.
const char* ForWindow(const char* text, int slot)
{
    static wchar_t wide[kResultLineSize];
    static char converted[2][kResultLineSize];
    if (!text)
        return nullptr;
    char* out = converted[slot];
    if (Utf8ToUtf16(text, wide, kResultLineSize) &&
        WideCharToMultiByte(CP_ACP, 0, wide, -1, out, int(kResultLineSize), nullptr, nullptr) > 0)
        return out;
    size_t n = 0;
    for (; text[n] != '\0' && n < kResultLineSize - 1; ++n)
        out[n] = static_cast<unsigned char>(text[n]) < 0x80 ? text[n] : '?';
    out[n] = '\0';
    return out;
}

class DialogFront final : public FrontEnd {
public:
    void resultLine(const char* text) override { Send(kResultLineMessage, 0, ForWindow(text, 0)); }
    void status(const char* text, StatusPace pace) override { Send(kStatusMessage, WPARAM(pace), ForWindow(text, 1)); }
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
