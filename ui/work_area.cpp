#include "ui/work_area.h"

#include "platform/bind.h"

namespace {

// MonitorFromWindow and GetMonitorInfoA: user32 of Windows 98 and 2000 on.
using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);
using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);

} // namespace

RECT PrimaryWorkArea()
{
    RECT area{};
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0) && area.right > area.left &&
        area.bottom > area.top)
        return area;
    area.left = 0;
    area.top = 0;
    area.right = GetSystemMetrics(SM_CXSCREEN);
    area.bottom = GetSystemMetrics(SM_CYSCREEN);
    return area;
}

RECT WorkAreaOfWindow(HWND window)
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (!user32 || !window)
        return PrimaryWorkArea();
    auto monitorFromWindow = Bind<MonitorFromWindowFn>(user32, "MonitorFromWindow");
    auto getMonitorInfo = Bind<GetMonitorInfoFn>(user32, "GetMonitorInfoA");
    if (!monitorFromWindow || !getMonitorInfo)
        return PrimaryWorkArea();
    HMONITOR monitor = monitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !getMonitorInfo(monitor, &info))
        return PrimaryWorkArea();
    // For the primary monitor the system's own figure, which follows a
    // changed work area at once.
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        return PrimaryWorkArea();
    return info.rcWork;
}

POINT CentredPosition(const RECT& over, int width, int height, const RECT& area)
{
    POINT p;
    p.x = (over.left + over.right) / 2 - width / 2;
    p.y = (over.top + over.bottom) / 2 - height / 2;
    if (p.x + width > area.right)
        p.x = area.right - width;
    if (p.x < area.left)
        p.x = area.left;
    if (p.y + height > area.bottom)
        p.y = area.bottom - height;
    if (p.y < area.top)
        p.y = area.top;
    return p;
}
