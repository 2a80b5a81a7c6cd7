// Pieces of the kill-by-image methods, apart so that tests can drive them
// with their own processes and data.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// A Toolhelp entry's szExeFile against the path of the file. Where both are
// full paths (Windows 9x reports full paths) the whole paths must name the
// same file; where the snapshot gives a bare name, file names are compared.
// ASCII letter case is ignored.
bool ToolhelpEntryMatches(const char* exeFile, const char* path);

// Parses the counter-title list and the performance-data block given, and
// ends every process whose instance name is the target of path (see
// PerfInstanceNameMatches). 1 when at least one termination succeeded.
int KillByNamePerfDataFrom(const char* path, const uint8_t* titles, size_t titlesLength,
                           const uint8_t* block, size_t blockLength);
