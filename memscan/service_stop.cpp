#include "memscan/memscan.h"
// Placeholder so the program links; replaced by the real routine.
int StopServiceByName(const char*) { return 0; }
