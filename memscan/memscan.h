// Memory stage and process control: platform probes, process listings,
// termination by image, service stop.
#pragma once
#include <windows.h>

// 4 Windows 9x family, 5 NT family, 1 other, 0 when the version query fails.
int GetPlatformCode();
// 5 NT 4, 6 NT 5.x, 0 otherwise (NT 6 and later included).
int GetNtVersionCode();

// May end the process (NT family, trojan found in memory).
void RunMemoryScan();

struct ProcessRecord {
    DWORD processId;
    char imagePath[260];
    ProcessRecord* next;
};

void ScanProcessesToolhelp();
short ScanProcessesPsapi();

// 1 when the processes running from path were dealt with (or no method
// applies), 0 on failure.
int KillProcessByImage(const char* path);
int KillByExeNameToolhelp(const char* path);
int KillByNamePerfData(const char* path);
bool KillByPathPsapi(const char* path);

// 1 when the service was told to stop and was then seen stopped.
int StopServiceByName(const char* name);
