// A service for the tests, run by the test program itself: started by Wine's
// service control manager with "--scx-test-service MODE DELAY_MS" on its
// command line, it never reaches the tests' main routine.
//   MODE honest   reports stop-pending on a stop, then stopped after DELAY_MS
//   MODE instant  reports stopped from the stop control itself
//   MODE refuse   does not accept the stop control
//   MODE stuck    reports stop-pending on a stop and never stops
#pragma once
#include <windows.h>

#include <string>

namespace scx::test {

// One service installed (CreateServiceA) and started for a test, removed
// again (its process ended if still running, the service deleted) when the
// guard goes.
class TestService {
public:
    TestService(const std::string& name, const std::string& mode, unsigned delayMs = 0);
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    // True when installed and seen running.
    bool running() const { return started_; }
    const std::string& name() const { return name_; }
    // Current state (SERVICE_RUNNING, ...), 0 when it cannot be queried.
    DWORD State() const;
    DWORD ProcessId() const;

private:
    std::string name_;
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
    bool started_ = false;
};

// Whether a service of that name is installed.
bool ServiceExists(const std::string& name);

} // namespace scx::test
