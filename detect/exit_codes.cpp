#include "detect/exit_codes.h"

int ExitCodeFor(const ScanOutcome& outcome)
{
    if (outcome.restartNeeded)
        return kExitRestartNeeded;
    // The file walk did not run (or was cut short): never report a clean or
    // fully cleaned machine.
    if (outcome.endedAfterMemoryStage)
        return kExitNotAllRemoved;
    if (outcome.filesInfected <= 0)
        return outcome.stopped ? kExitCouldNotRun : kExitClean;
    if (outcome.stopped || outcome.filesRemoved < outcome.filesInfected)
        return kExitNotAllRemoved;
    return kExitAllRemoved;
}

const char* ExitCodeMeaning(int code)
{
    switch (code) {
    case kExitClean:
        return "nothing found";
    case kExitAllRemoved:
        return "found and all removed";
    case kExitNotAllRemoved:
        return "found and not all removed";
    case kExitRestartNeeded:
        return "removal scheduled, restart needed";
    case kExitUsage:
        return "usage error";
    case kExitCouldNotRun:
        return "the scan could not run";
    default:
        return "unknown";
    }
}
