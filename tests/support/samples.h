// Harmless fixture samples: small PE programs that carry a detection record's
// two patterns at the record's distances from the entry point, at the record's
// exact length. The entry point only sleeps in a loop, so a sample started as a
// process stays alive (and keeps its file locked) until killed.
//
// The records describe 32-bit programs, but a host may run 64-bit code only;
// so by default a sample has the machine of the test program that writes it,
// and a 64-bit one is a PE32+ image laid out so that the check still reads its
// section table where it expects one.
#pragma once
#include <windows.h>

#include "tests/support/sample_bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scx::test {

bool WriteSample(const std::string& path, int record, SampleKind kind = SampleKind::Exact,
                 SampleMachine machine = kNativeSampleMachine);

// A started process, ended (and waited for) when the guard goes.
class ProcessGuard {
public:
    ProcessGuard() = default;
    explicit ProcessGuard(const PROCESS_INFORMATION& pi) : pi_(pi) {}
    ~ProcessGuard() { Stop(); }
    ProcessGuard(ProcessGuard&& other) noexcept : pi_(other.pi_) { other.pi_ = {}; }
    ProcessGuard& operator=(ProcessGuard&& other) noexcept;
    ProcessGuard(const ProcessGuard&) = delete;
    ProcessGuard& operator=(const ProcessGuard&) = delete;

    bool valid() const { return pi_.hProcess != nullptr; }
    DWORD pid() const { return pi_.dwProcessId; }
    HANDLE handle() const { return pi_.hProcess; }
    bool IsRunning() const;
    // Waits up to ms for the process to end; returns its exit code or -1.
    long WaitExit(DWORD ms) const;
    void Stop();
    // Stop, then waits until the id can no longer be opened at all (the
    // system keeps an ended process openable for a moment). False when it
    // still can be after five seconds.
    bool StopAndWaitGone();

private:
    PROCESS_INFORMATION pi_ = {};
};

// Starts path (with an optional command-line tail) and waits until it is
// listed and its image is mapped, so that it keeps its file locked.
ProcessGuard StartProgram(const std::string& path, const std::string& args = "",
                          const std::string& currentDir = "");

// A process that a child test program started and should have ended: waits
// up to graceMs for it, then ends it. True when it was still running.
bool EndStrayProcess(DWORD pid, DWORD graceMs);

} // namespace scx::test
