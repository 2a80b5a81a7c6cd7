#include "ui/paced_status.h"

#include "scan/front_end.h"
#include "scan/scan_state.h"

void PacedStatus::Report(HWND label, LPARAM lParam)
{
    if (lParam == kStatusOffered && shownOnce_ && GetTickCount() - lastShown_ < kRefreshIntervalMs) {
        // StatusText is reused as soon as the request returns: keep a copy.
        CopyText(waiting_, sizeof waiting_, StatusText);
        isWaiting_ = true;
        return;
    }
    Show(label, StatusText);
}

void PacedStatus::Settle(HWND label)
{
    if (isWaiting_)
        Show(label, waiting_);
}

void PacedStatus::Show(HWND label, const char* text)
{
    isWaiting_ = false;
    SetWindowTextA(label, text);
    ++repaints_;
    shownOnce_ = true;
    lastShown_ = GetTickCount();
}
