// Restart of Windows, forced, once the user agreed.
#include "platform/deferred_removal.h"

#include "platform/handle_guard.h"
#include "platform/platform_probe.h"

#include <windows.h>

namespace {

} // namespace

int RestartWindows()
{
    if (GetPlatformCode() != 4) {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            return 0;
        HandleGuard tokenGuard(token);
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        SetLastError(0);
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        DWORD error = GetLastError();
        if (error != 0)
            return int(error); // ERROR_NOT_ALL_ASSIGNED: the user may not shut down
    }
    return ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
}
