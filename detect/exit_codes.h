// The exit codes the scanning programs promise, and how a scan's end maps to
// one. Free of <windows.h>: the console program and the native rescue
// scanner share the table.
#pragma once

enum CliExitCode : int {
    kExitClean = 0,          // nothing found
    kExitAllRemoved = 1,     // found, every infected file removed
    kExitNotAllRemoved = 2,  // found, something left (detect only, failures, walk cut short)
    kExitRestartNeeded = 3,  // removal scheduled or trojan still running: restart
    kExitUsage = 4,          // bad command line (and /?)
    kExitCouldNotRun = 5,    // no scan ran to its end
};

struct ScanOutcome {
    int filesInfected;
    int filesRemoved;
    bool restartNeeded;        // removal scheduled, or the trojan kept running
    bool stopped;              // the scan was stopped before its end
    bool endedAfterMemoryStage;
};

// The exit code for how a scan that ran ended.
int ExitCodeFor(const ScanOutcome& outcome);
// One line that says what the code means.
const char* ExitCodeMeaning(int code);
