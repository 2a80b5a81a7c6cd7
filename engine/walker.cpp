#include "engine/engine.h"
#include <cstring>
// Placeholder so the program links; replaced by the real routine.
int WalkDirectory(const char*) { return 0; }
void PumpScanMessages() {}
void ShortenPathForDisplay(const char* s, char* d, short n) { CopyText(d, size_t(n) + 1, s); }
