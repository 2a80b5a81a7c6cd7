#include "platform/platform_probe.h"

#include <windows.h>

static bool QueryVersion(OSVERSIONINFOA* info)
{
    ZeroMemory(info, sizeof *info);
    info->dwOSVersionInfoSize = sizeof *info; // 148
    return GetVersionExA(info) != 0;
}

int GetPlatformCode()
{
    OSVERSIONINFOA info;
    if (!QueryVersion(&info))
        return 0;
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
        return 4;
    case VER_PLATFORM_WIN32_NT:
        return 5;
    default:
        return 1;
    }
}

int GetNtVersionCode()
{
    OSVERSIONINFOA info;
    if (!QueryVersion(&info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;
    if (info.dwMajorVersion <= 4)
        return 5;
    if (info.dwMajorVersion == 5)
        return 6;
    return 0;
}
