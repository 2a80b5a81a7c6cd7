// Ending the processes that run from a file, by the method each Windows
// family allows. Nothing here reports: callers decide what a failure means.
#pragma once
#include <windows.h>

// Windows 9x: Toolhelp snapshot entries whose image is the file.
int KillByExeNameToolhelp(const char* path);
// NT 4: the performance data's process instances named after the file.
int KillByNamePerfData(const char* path);
// NT 5.x: PSAPI processes whose image path is the file.
bool KillByPathPsapi(const char* path);
