#include "memscan/memscan.h"
// Placeholder so the program links; replaced by the real routine.
int KillProcessByImage(const char*) { return 0; }
int KillByExeNameToolhelp(const char*) { return 0; }
int KillByNamePerfData(const char*) { return 0; }
bool KillByPathPsapi(const char*) { return false; }
