#include "repair/repair.h"
// Placeholder so the program links; replaced by the real routine.
int ScheduleRemovalAtRestart(const char*) { return 0; }
bool AddWininitRename(const char*, const char*) { return false; }
int RestartWindows() { return 0; }
