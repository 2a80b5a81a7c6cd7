#include "platform/services.h"

#include <windows.h>

namespace {

// Closes a service control manager or service handle on every way out.
class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE h) : h_(h) {}
    ~ServiceHandle()
    {
        if (h_)
            CloseServiceHandle(h_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    SC_HANDLE h_;
};

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
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return 0;
    ServiceHandle service(OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS));
    if (!service)
        return 0;

    SERVICE_STATUS status = {};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        return 0;

    // The state last seen decides; a failed query leaves it as it was (at
    // first what the stop control itself reported).
    DWORD lastState = status.dwCurrentState;
    int waits = 0;
    for (;;) {
        SERVICE_STATUS polled = {};
        if (!QueryServiceStatus(service.get(), &polled))
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
