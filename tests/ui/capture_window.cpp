#include "tests/ui/capture_window.h"

#include "scan/scan_state.h"
#include "ui/scan_messages.h"

#include <cstring>

namespace scx::test {

namespace {
const char kClassName[] = "ScxCaptureWindow";

void RegisterOnce()
{
    static bool done = false;
    if (done)
        return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA; // replaced per window below
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    done = true;
}
} // namespace

CaptureWindow::CaptureWindow(bool becomeMainWindow)
{
    RegisterOnce();
    hwnd_ = CreateWindowExA(0, kClassName, "capture", WS_OVERLAPPED, 0, 0, 10, 10,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CaptureWindow::Proc));
    if (becomeMainWindow) {
        previous_ = ScanState.mainWindow;
        ScanState.mainWindow = hwnd_;
        installed_ = true;
    }
}

CaptureWindow::~CaptureWindow()
{
    if (installed_ && ScanState.mainWindow == hwnd_)
        ScanState.mainWindow = previous_;
    DestroyWindow(hwnd_);
}

void CaptureWindow::Clear()
{
    lines_.clear();
    statuses_.clear();
    events_.clear();
}

LRESULT CALLBACK CaptureWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* self = reinterpret_cast<CaptureWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && msg == kResultLineMessage) {
        // Bounded read: a missing terminator must show up as a failure, not a crash.
        std::string text(MessageText(lp), strnlen(MessageText(lp), sizeof ResultLine));
        self->lines_.push_back(text);
        self->events_.push_back({true, text});
        return 0;
    }
    if (self && msg == kStatusMessage) {
        std::string text(MessageText(lp), strnlen(MessageText(lp), sizeof StatusText));
        self->statuses_.push_back(text);
        self->events_.push_back({false, text});
        if (self->onStatus_)
            self->onStatus_(text);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace scx::test
