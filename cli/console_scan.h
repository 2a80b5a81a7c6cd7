// The console front end: runs one scan with the options given and answers the
// engine's questions from them. Never opens a window.
#pragma once
#include "cli/cli_options.h"

// Runs the whole program for parsed options; returns the exit code (or ends
// the process with it after the memory stage).
int RunConsoleScan(const CliOptions& options);
