// The application object: one copy of the program at a time, the main dialog
// run modally, and the process ends when it closes.
#pragma once
#include "framework/framework.h"

class CCleanerApp : public CWinApp {
public:
    CCleanerApp() : CWinApp() {}
    BOOL InitInstance() override;
};
