#include "tests/platform/test_service.h"

#include "tests/support/scratch.h"

#include <cstdio>
#include <cstring>

namespace {

// --- the service side, inside the process the service control manager starts

char g_mode[16];
DWORD g_delayMs;
SERVICE_STATUS_HANDLE g_statusHandle;
SERVICE_STATUS g_status;
HANDLE g_stopEvent;

void Report(DWORD state)
{
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted =
        (state == SERVICE_RUNNING && strcmp(g_mode, "refuse") != 0) ? SERVICE_ACCEPT_STOP : 0;
    g_status.dwWin32ExitCode = NO_ERROR;
    g_status.dwWaitHint = state == SERVICE_STOP_PENDING ? 2000 : 0;
    if (state == SERVICE_STOP_PENDING)
        ++g_status.dwCheckPoint;
    SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*)
{
    if (control == SERVICE_CONTROL_STOP) {
        if (strcmp(g_mode, "refuse") == 0)
            return ERROR_CALL_NOT_IMPLEMENTED;
        if (strcmp(g_mode, "instant") == 0) {
            Report(SERVICE_STOPPED);
            SetEvent(g_stopEvent);
            return NO_ERROR;
        }
        Report(SERVICE_STOP_PENDING);
        if (strcmp(g_mode, "stuck") != 0)
            SetEvent(g_stopEvent);
        return NO_ERROR;
    }
    if (control == SERVICE_CONTROL_INTERROGATE)
        SetServiceStatus(g_statusHandle, &g_status);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**)
{
    g_statusHandle = RegisterServiceCtrlHandlerExA("", Handler, nullptr);
    if (!g_statusHandle)
        return;
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stopEvent, INFINITE);
    if (strcmp(g_mode, "instant") == 0)
        return;
    // Still stopping: the checkpoints show progress until the delay is over.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < g_delayMs) {
        Sleep(g_delayMs - (GetTickCount() - start) < 500 ? g_delayMs - (GetTickCount() - start) : 500);
        Report(SERVICE_STOP_PENDING);
    }
    Report(SERVICE_STOPPED);
}

// Runs before the tests' main routine: a process started as the service
// serves and ends without ever running a test.
struct ServiceEntry {
    ServiceEntry()
    {
        const char* cmd = GetCommandLineA();
        const char* at = strstr(cmd, "--scx-test-service ");
        if (!at)
            return;
        unsigned long delay = 0;
        if (sscanf(at, "--scx-test-service %15s %lu", g_mode, &delay) < 1)
            ExitProcess(2);
        g_delayMs = delay;
        g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        static char emptyName[] = "";
        SERVICE_TABLE_ENTRYA table[] = {{emptyName, ServiceMain}, {nullptr, nullptr}};
        BOOL served = StartServiceCtrlDispatcherA(table);
        // Lets the control manager finish the last control call before the
        // process goes.
        Sleep(1000);
        ExitProcess(served ? 0 : 3);
    }
} g_serviceEntry;

} // namespace

namespace scx::test {

TestService::TestService(const std::string& name, const std::string& mode, unsigned delayMs) : name_(name)
{
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager_)
        return;
    // The service runs its own copy of this program, so that the test's own
    // image stays free.
    std::string exe = MakeScratchSubdir("svc") + "\\" + name + "-svc.exe";
    if (!CopyFileA(SelfPath().c_str(), exe.c_str(), FALSE))
        return;
    std::string binPath = "\"" + exe + "\" --scx-test-service " + mode + " " + std::to_string(delayMs);
    service_ = CreateServiceA(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binPath.c_str(), nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    if (!service_)
        return;
    if (mode == "installed-only")
        return;
    if (!StartServiceA(service_, 0, nullptr))
        return;
    for (int i = 0; i < 200; ++i) {
        if (State() == SERVICE_RUNNING) {
            started_ = true;
            break;
        }
        Sleep(50);
    }
}

DWORD TestService::State() const
{
    SERVICE_STATUS status = {};
    if (!service_ || !QueryServiceStatus(service_, &status))
        return 0;
    return status.dwCurrentState;
}

DWORD TestService::ProcessId() const
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!service_ || !QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                           sizeof status, &needed))
        return 0;
    return status.dwProcessId;
}

TestService::~TestService()
{
    if (service_) {
        // Only the process this test's own service runs in is ended.
        DWORD pid = ProcessId();
        if (pid && State() != SERVICE_STOPPED) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
            if (process) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
        for (int i = 0; i < 100 && State() != SERVICE_STOPPED && State() != 0; ++i)
            Sleep(50);
        DeleteService(service_);
        CloseServiceHandle(service_);
    }
    if (manager_)
        CloseServiceHandle(manager_);
}

bool ServiceExists(const std::string& name)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return false;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    bool exists = service != nullptr;
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return exists;
}

} // namespace scx::test
