#include "engine/engine.h"
// Placeholder so the program links; replaced by the real routine.
int RunScan() { return 1; }
