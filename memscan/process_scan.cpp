#include "memscan/memscan.h"
// Placeholder so the program links; replaced by the real routine.
void RunMemoryScan() {}
void ScanProcessesToolhelp() {}
short ScanProcessesPsapi() { return 0; }
