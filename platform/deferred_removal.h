// Removal of a file at the next start of Windows, and the restart itself.
#pragma once

// path: UTF-8.
int ScheduleRemovalAtRestart(const char* path);
bool AddWininitRename(const char* destination, const char* source);
int RestartWindows();
