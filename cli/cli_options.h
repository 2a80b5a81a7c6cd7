// Command line of the console program and the exit codes it promises.
#pragma once
#include <windows.h>

enum CliExitCode : int {
    kExitClean = 0,          // nothing found
    kExitAllRemoved = 1,     // found, every infected file removed
    kExitNotAllRemoved = 2,  // found, something left (detect only, failures, walk cut short)
    kExitRestartNeeded = 3,  // removal scheduled or trojan still running: restart
    kExitUsage = 4,          // bad command line (and /?)
    kExitCouldNotRun = 5,    // no scan ran to its end
};

struct CliOptions {
    bool quiet = false;        // /Q
    bool detectOnly = false;   // /N
    bool allowRestart = false; // /R
    bool help = false;         // /?
    char folder[MAX_PATH] = {};     // /F:folder, as given
    char reportPath[MAX_PATH] = {}; // /L:file, as given
    char backupFolder[MAX_PATH] = {}; // /B:folder: keep a copy of each file before removing it
    char restoreSha256[80] = {};      // /RESTORE:sha256 (with /B): put a kept file back; no scan
    char listFolder[MAX_PATH] = {};   // /LIST:folder: print that quarantine's manifest; no scan
    char error[160] = {};           // why the command line was refused
};

// Parses the switches (argv[1..]). False with options.error set on a usage
// error. Switches are case-insensitive and start with '/' or '-'.
bool ParseCliOptions(int argc, const char* const* argv, CliOptions& options);

// The switches as one line for the report, e.g. "/Q /F:C:\data": room for
// every switch with the longest values.
constexpr size_t kSwitchesChars = 3 * MAX_PATH + 32;
void FormatSwitches(const CliOptions& options, char* out, size_t size);

extern const char kCliUsage[];

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
