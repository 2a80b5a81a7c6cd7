// The notifications the dialog's front end sends its window during a scan.
// Numbers of the dialog's own, so no system message (a modal box disables
// its owner with WM_ENABLE) can pass for one. Each is sent, never posted:
// the text pointer in LPARAM is valid only while it is handled.
#pragma once
#include <windows.h>

// LPARAM: the line for the result list (const char*).
constexpr UINT kResultLineMessage = WM_APP + 0x08;
// WPARAM: StatusPace; LPARAM: the text for the status label (const char*).
constexpr UINT kStatusMessage = WM_APP + 0x09;
// Show the kept status now: a walk has ended.
constexpr UINT kStatusSettleMessage = WM_APP + 0x0A;

inline const char* MessageText(LPARAM lParam) { return reinterpret_cast<const char*>(lParam); }
