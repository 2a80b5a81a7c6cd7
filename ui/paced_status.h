// The status label of a scan, refreshed by time: of the entries offered
// between two refreshes only the latest is painted, and it is never lost.
// Shared by the main dialog and the walk benchmark's stand-in window.
#pragma once
#include <windows.h>

#include "scan/front_end.h"

class PacedStatus {
public:
    // A status for the label: kStatusOffered waits for the next refresh;
    // kStatusNow is shown at once.
    void Report(HWND label, const char* text, StatusPace pace);
    // The offered text that is still waiting, shown now. Before a result
    // line and when a walk ends, so the label never lags behind what
    // follows it.
    void Settle(HWND label);
    // Times the label was painted with a new text.
    long repaints() const { return repaints_; }

private:
    void Show(HWND label, const char* text);

    char waiting_[260] = {};
    bool isWaiting_ = false;
    bool shownOnce_ = false;
    DWORD lastShown_ = 0;
    long repaints_ = 0;
};
