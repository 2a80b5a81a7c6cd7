// The console front end: runs one scan with the options given and answers the
// engine's questions from them. Never opens a window.
#pragma once
#include "cli/cli_options.h"
#include "scan/front_end.h"

// Runs the whole program for parsed options; returns the exit code (or ends
// the process with it after the memory stage).
int RunConsoleScan(const CliOptions& options);

// The first half of RunConsoleScan: checks the folder, the rights and the
// report file and writes the report's header. kScanOpened, or the exit code
// that ends the program.
constexpr int kScanOpened = -1;
int OpenConsoleScan(const CliOptions& options);

// /LIST and /RESTORE: no scan. 0 when done, kExitCouldNotRun with the reason
// on standard error otherwise.
int RunQuarantineCommand(const CliOptions& options);

// The front end RunConsoleScan passes to the scan.
FrontEnd& ConsoleFrontEnd();
// What the console does when the scan ends after the memory stage: the report
// gets the statistics the dialog would not show, and the program ends with
// the report's exit code.
[[noreturn]] void EndConsoleAfterMemoryStage();
