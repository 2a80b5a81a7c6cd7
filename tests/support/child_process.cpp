#include "tests/support/child_process.h"

#include "tests/support/scratch.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace scx::test {

bool SetWineVersionFor(const std::string& exeName, const std::string& winVersion)
{
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName;
    if (winVersion.empty())
        return RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()) == ERROR_SUCCESS;
    HKEY h;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(h, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(winVersion.c_str()),
                             DWORD(winVersion.size() + 1));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

ChildResult RunChild(const std::string& exe, const std::string& args, const std::string& winVersion,
                     unsigned timeoutMs, const std::string& currentDir)
{
    ChildResult result;
    std::string run = exe;
    std::string copyName;
    if (!winVersion.empty()) {
        static int counter;
        size_t slash = exe.find_last_of('\\');
        std::string base = exe.substr(slash + 1);
        if (base.size() > 4)
            base.resize(base.size() - 4);
        copyName = base + "-" + winVersion + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(++counter) + ".exe";
        run = MakeScratchSubdir("ver") + "\\" + copyName;
        if (!CopyFileA(exe.c_str(), run.c_str(), FALSE) || !SetWineVersionFor(copyName, winVersion)) {
            result.output = "could not prepare " + run + ": error " + std::to_string(GetLastError());
            return result;
        }
    }

    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &sa, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string cmd = "\"" + run + "\" " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(run.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi);
    CloseHandle(writeEnd);
    if (!started)
        result.output = "could not start " + run + ": error " + std::to_string(GetLastError());
    if (started) {
        DWORD deadline = GetTickCount() + timeoutMs;
        bool timedOut = false;
        char buf[4096];
        for (;;) {
            DWORD avail = 0;
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
                DWORD got = 0;
                if (!ReadFile(readEnd, buf, sizeof buf, &got, nullptr) || got == 0)
                    break;
                result.output.append(buf, got);
            }
            if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0)
                break;
            if (GetTickCount() > deadline) {
                TerminateProcess(pi.hProcess, 1);
                WaitForSingleObject(pi.hProcess, 5000);
                timedOut = true;
                break;
            }
        }
        // Drain only what is there: a Wine background process started by the
        // child (its desktop, say) may hold the pipe open long after it ends.
        DWORD avail = 0, got = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
               ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0)
            result.output.append(buf, got);
        DWORD code = 0;
        if (!timedOut && GetExitCodeProcess(pi.hProcess, &code))
            result.exitCode = long(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    if (!copyName.empty()) {
        SetWineVersionFor(copyName, "");
        DeleteFileA(run.c_str());
    }
    return result;
}

ChildResult RunSelfTest(const std::string& testName, const std::string& winVersion, unsigned timeoutMs)
{
    SetEnvironmentVariableA("SCX_CHILD", "1");
    ChildResult r = RunChild(SelfPath(), "--gtest_also_run_disabled_tests --gtest_filter=" + testName,
                             winVersion, timeoutMs);
    SetEnvironmentVariableA("SCX_CHILD", nullptr);
    return r;
}

void StartDesktopProcess()
{
    HWND probe = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe)
        DestroyWindow(probe);
}

void SayToParent(const std::string& line)
{
    printf("%s\n", line.c_str());
    fflush(stdout);
}

bool IsChild()
{
    const char* v = getenv("SCX_CHILD");
    return v && *v == '1';
}

std::string EmbeddedProgram(const std::string& fileName, int resourceId)
{
    std::string path = ScratchDir() + "\\" + fileName;
    if (FileExists(path))
        return path;
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(10)); // RT_RCDATA
    HGLOBAL data = info ? LoadResource(nullptr, info) : nullptr;
    const uint8_t* bytes = data ? static_cast<const uint8_t*>(LockResource(data)) : nullptr;
    if (!bytes)
        return "";
    WriteBytes(path, std::vector<uint8_t>(bytes, bytes + SizeofResource(nullptr, info)));
    return path;
}

} // namespace scx::test
