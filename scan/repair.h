// Repair of what lets the trojan start again: its auto-start values, and
// the hosts file check that goes with them.
#pragma once
#include "platform/deferred_removal.h"
#include "platform/registry_values.h"
#include "platform/services.h"

int RepairAutoStart(const char* detectionName);
void CleanRunKey(HKEY root, const char* subKeyPath);
