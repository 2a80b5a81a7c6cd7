// System repair: auto-start values, hosts file, service registrations,
// deferred removal and restart.
#pragma once
#include <windows.h>

int RepairAutoStart(const char* detectionName);
void CleanRunKey(HKEY root, const char* subKeyPath);
int RemoveRegistryValue(HKEY root, const char* subKeyPath, const char* valueName);
// buffer holds 261 characters.
int ReadRegistryValue(HKEY root, const char* subKeyPath, const char* valueName, char* buffer);

int DeleteServiceRegistration(const char* serviceName);
int DeleteMachineKey(const char* subKeyPath);

int ScheduleRemovalAtRestart(const char* path);
bool AddWininitRename(const char* destination, const char* source);
int RestartWindows();
