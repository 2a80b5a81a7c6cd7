// Repair of what lets the trojan start again: its auto-start values, and
// the hosts file check that goes with them.
#pragma once
#include <windows.h>

int RepairAutoStart(const char* detectionName);
void CleanRunKey(HKEY root, const char* subKeyPath);
