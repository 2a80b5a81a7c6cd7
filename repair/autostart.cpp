#include "repair/repair.h"
// Placeholder so the program links; replaced by the real routine.
int RepairAutoStart(const char*) { return 1; }
void CleanRunKey(HKEY, const char*) {}
int RemoveRegistryValue(HKEY, const char*, const char*) { return 0; }
int ReadRegistryValue(HKEY, const char*, const char*, char*) { return 0; }
