#include "scan/memory_stage.h"

#include "platform/deferred_removal.h"
#include "platform/platform_probe.h"
#include "scan/product.h"
#include "scan/scan_state.h"

namespace {
const char kFoundInMemoryText[] =
    SCX_TROJAN_REPORT_NAME " found in memory! registry entries created by the worm are removed. "
    "You must restart the computer and run this program to continue scanning.\n\n"
    "Restart the computer now?";
} // namespace

bool RunMemoryScan()
{
    int platform = GetPlatformCode();
    ScanState.memoryStageMode = 1;
    if (platform == 4) {
        // The 9x family never ends the program here, whatever was found.
        ScanProcessesToolhelp();
    } else if (platform == 5) {
        if (ScanProcessesPsapi() != 0) {
            if (ScanState.memoryRestartNeeded == 1 &&
                FrontEndAsk(kQuestionFoundInMemory, kFoundInMemoryText, kProductCaption, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK)
                RestartWindows();
            // The trojan was running: the scan does not go on in this state.
            ScanState.memoryStageMode = 0;
            return true;
        }
    }
    ScanState.memoryStageMode = 0;
    return false;
}
