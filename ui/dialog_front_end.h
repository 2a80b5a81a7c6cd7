// The main dialog as the scan's front end: result lines and statuses go to
// ScanState.mainWindow, questions to the skinned message box. Statuses are
// paced here, not in the window: of the entries offered within one refresh
// interval only the newest is sent, and it is sent before anything that must
// follow it on screen (a result line, a question, a notice, the end of a walk).
#pragma once
#include "scan/front_end.h"

FrontEnd& DialogFrontEnd();

// The dialog's scan: RunScan through the dialog's front end. When the trojan
// was running the process ends here with status 0, before any statistics;
// otherwise it returns once the scan has finished.
void RunDialogScan();
