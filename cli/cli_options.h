// Command line of the console program and the exit codes it promises.
#pragma once
#include <windows.h>

#include "detect/exit_codes.h"

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
