// The memory stage: the running processes checked by their image files,
// the infected ones ended, their services stopped and their files removed.
#pragma once

// True when the program must end right after it, with no walk and no
// statistics (NT family, trojan found in memory).
bool RunMemoryScan();

void ScanProcessesToolhelp();
short ScanProcessesPsapi();

// 1 when the processes running from path were dealt with (or no method
// applies), 0 on failure ("Could not kill process" shown).
int KillProcessByImage(const char* path);
