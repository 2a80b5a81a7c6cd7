// The notifications the dialog's front end sends its window during a scan.
// Numbers of the dialog's own, so no system message (a modal box disables
// its owner with WM_ENABLE) can pass for one. Each is sent, never posted:
// the text pointer in LPARAM is valid only while it is handled.
#pragma once
#include <windows.h>

// LPARAM: the line for the result list (const char*).
constexpr UINT kResultLineMessage = WM_APP + 0x08;
// LPARAM: the text for the status label (const char*), shown at once: the
// front end has already paced it.
constexpr UINT kStatusMessage = WM_APP + 0x09;

inline const char* MessageText(LPARAM lParam) { return reinterpret_cast<const char*>(lParam); }
