#include "ui/paced_status.h"

#include "detect/text.h"

void PacedStatus::Report(HWND label, const char* text, StatusPace pace)
{
    if (pace == kStatusOffered && shownOnce_ && GetTickCount() - lastShown_ < kRefreshIntervalMs) {
        // The sender reuses its buffer as soon as the report returns: keep a copy.
        CopyText(waiting_, sizeof waiting_, text);
        isWaiting_ = true;
        return;
    }
    Show(label, text);
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
