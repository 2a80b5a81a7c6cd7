#include "engine/engine.h"
// Placeholder so the program links; replaced by the real routine.
int ScanMailAttachment(const char*, const char*) { return 0; }
