#include "platform/services.h"

#include "platform/handle_guard.h"

#include <windows.h>

namespace {

// A service that stays in stop-pending must not hold the scan for ever. Windows
// itself gives services 20 s to stop at shutdown; 30 one-second waits leave an
// honest but slow service room to finish and bound the scan's wait.
constexpr int kMaxStopPendingWaits = 30;
constexpr DWORD kStopPollInterval = 1000;

} // namespace

int StopServiceByName(const char* name)
{
    if (!name)
        return 0;
    ServiceGuard manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return 0;
    ServiceGuard service(OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS));
    if (!service)
        return 0;
    return StopOpenService(service.get());
}

int StopOpenService(SC_HANDLE service)
{
    SERVICE_STATUS status = {};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status))
        return 0;

    // The state last seen decides; a failed query leaves it as it was (at
    // first what the stop control itself reported).
    DWORD lastState = status.dwCurrentState;
    int waits = 0;
    for (;;) {
        SERVICE_STATUS polled = {};
        if (!QueryServiceStatus(service, &polled))
            break;
        lastState = polled.dwCurrentState;
        if (lastState != SERVICE_STOP_PENDING || waits >= kMaxStopPendingWaits)
            break;
        Sleep(kStopPollInterval);
        ++waits;
    }
    // Still stopping when the bound is reached counts as not stopped: the
    // caller then removes the registration and advises a restart.
    return lastState == SERVICE_STOPPED ? 1 : 0;
}
