// The main dialog as the scan's front end: result lines and statuses go to
// ScanState.mainWindow, questions to the skinned message box.
#pragma once
#include "scan/front_end.h"

const FrontEnd& DialogFrontEnd();
