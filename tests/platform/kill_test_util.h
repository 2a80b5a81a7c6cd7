// Shared pieces of the kill-by-image tests: running fixture samples in the
// test's own scratch folders, under names no other process carries.
#pragma once
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

#include <windows.h>

#include <string>

namespace scx::test {

// A name unique to this test process: prefix + pid + suffix + ".exe".
inline std::string UniqueExeName(const std::string& prefix, const std::string& suffix = "")
{
    return prefix + std::to_string(GetCurrentProcessId()) + suffix + ".exe";
}

// Writes an infected sample (record 0) or a clean program at path.
inline bool WriteRunnable(const std::string& path, bool infected = true)
{
    return infected ? WriteSample(path, 0) : WriteBytes(path, BuildCleanProgram());
}

// Deletes path, retrying while the process that held it finishes ending.
inline bool DeleteWithRetry(const std::string& path, DWORD ms = 5000)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (DeleteFileA(path.c_str()))
            return true;
        if (GetTickCount() - start > ms)
            return false;
        Sleep(100);
    }
}

inline std::string Upper(std::string s)
{
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return s;
}

} // namespace scx::test
