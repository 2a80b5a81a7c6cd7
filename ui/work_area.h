// Where windows may go: the work area (the screen less the taskbar and
// docked bars) of the primary monitor or of the monitor holding a window.
#pragma once
#include <windows.h>

// The primary monitor's work area; the whole screen where none is reported.
RECT PrimaryWorkArea();

// The work area of the monitor that holds most of the window. Where the
// multi-monitor calls are missing (Windows 95, NT 4), the primary one's.
RECT WorkAreaOfWindow(HWND window);

// The top-left corner that centres a width x height window over `over`,
// moved as little as needed to keep it inside `area` (its top-left corner
// first, where it is larger than the area).
POINT CentredPosition(const RECT& over, int width, int height, const RECT& area);
