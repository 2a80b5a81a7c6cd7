// Plants harmless fixture samples in the Wine prefix so that a scan has
// something to find: an infected file, a read-only hidden one, a running
// infected process and an auto-start value that launches it. Each sample is a
// small program that only sleeps; it carries a detection record's patterns at
// the record's exact length.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/samples.h"
#include "tests/support/scratch.h"

using namespace scx::test;

namespace {

const char kFolder[] = "C:\\fixture-samples";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "Vexmor fixture";

bool Plant(const std::string& path, int record)
{
    if (!WriteSample(path, record)) {
        fprintf(stderr, "could not write %s\n", path.c_str());
        return false;
    }
    printf("  %s\n", path.c_str());
    return true;
}

} // namespace

int main()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    RemoveTree(kFolder);
    if (!MakeDirs(std::string(kFolder) + "\\hidden")) {
        fprintf(stderr, "could not create %s\n", kFolder);
        return 1;
    }
    printf("Planting fixture samples:\n");
    std::string plain = std::string(kFolder) + "\\invoice.exe";
    std::string hidden = std::string(kFolder) + "\\hidden\\readme.exe";
    std::string running = std::string(kFolder) + "\\svcupd.exe";
    if (!Plant(plain, 1) || !Plant(hidden, 0))
        return 1;
    if (!SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
        fprintf(stderr, "could not make %s read-only and hidden\n", hidden.c_str());
        return 1;
    }
    printf("    (read-only, hidden)\n");
    if (!Plant(running, 7))
        return 1;

    std::string cmd = "\"" + running + "\" /quiet";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string line = cmd;
    if (!CreateProcessA(running.c_str(), &line[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, kFolder,
                        &si, &pi)) {
        fprintf(stderr, "could not start %s (error %lu)\n", running.c_str(), GetLastError());
        return 1;
    }
    WaitForInputIdle(pi.hProcess, 0);
    Sleep(300);
    printf("    (running, process id %lu)\n", pi.dwProcessId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS ||
        RegSetValueExA(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(cmd.c_str()),
                       DWORD(cmd.size() + 1)) != ERROR_SUCCESS) {
        fprintf(stderr, "could not write the Run value\n");
        return 1;
    }
    RegCloseKey(key);
    printf("  HKLM\\%s: \"%s\" = %s\n\n", kRunKey, kRunValue, cmd.c_str());
    return 0;
}
