#include "tests/support/samples.h"

#include "tests/support/scratch.h"

namespace scx::test {

bool WriteSample(const std::string& path, int record, SampleKind kind, SampleMachine machine)
{
    return WriteBytes(path, BuildSample(record, kind, machine));
}

ProcessGuard& ProcessGuard::operator=(ProcessGuard&& other) noexcept
{
    if (this != &other) {
        Stop();
        pi_ = other.pi_;
        other.pi_ = {};
    }
    return *this;
}

bool ProcessGuard::IsRunning() const
{
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

long ProcessGuard::WaitExit(DWORD ms) const
{
    if (!pi_.hProcess || WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return long(code);
}

void ProcessGuard::Stop()
{
    if (pi_.hProcess) {
        if (IsRunning()) {
            TerminateProcess(pi_.hProcess, 1);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        CloseHandle(pi_.hProcess);
    }
    if (pi_.hThread)
        CloseHandle(pi_.hThread);
    pi_ = {};
}

bool ProcessGuard::StopAndWaitGone()
{
    DWORD pid = pi_.dwProcessId;
    Stop();
    for (int i = 0; i < 100; ++i) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        if (!h)
            return true;
        CloseHandle(h);
        Sleep(50);
    }
    return false;
}

bool EndStrayProcess(DWORD pid, DWORD graceMs)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process)
        return false;
    bool running = WaitForSingleObject(process, graceMs) == WAIT_TIMEOUT;
    if (running)
        TerminateProcess(process, 1);
    CloseHandle(process);
    return running;
}

ProcessGuard StartProgram(const std::string& path, const std::string& args, const std::string& currentDir)
{
    std::string cmd = "\"" + path + "\"";
    if (!args.empty())
        cmd += " " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi))
        return ProcessGuard();
    ProcessGuard guard(pi);
    // Give the loader a moment to map the image (which locks the file).
    WaitForInputIdle(pi.hProcess, 0);
    Sleep(150);
    return guard;
}

} // namespace scx::test
