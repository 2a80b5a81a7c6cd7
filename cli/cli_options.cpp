#include "cli/cli_options.h"

#include "engine/scan_state.h"

#include <cstdio>
#include <cstring>

const char kCliUsage[] =
    "Scourix command-line scanner: finds and removes the W32/Vexmor trojan family.\n"
    "\n"
    "scourix-cli [/Q] [/N] [/F:folder] [/L:file] [/R] [/?]\n"
    "\n"
    "  /Q         print nothing\n"
    "  /N         detect only: leave infected files where they are\n"
    "  /F:folder  scan this folder instead of every local fixed drive\n"
    "  /L:file    write a report (UTF-8 text) to this file\n"
    "  /R         restart Windows when the removal needs it (never without /R)\n"
    "  /?         show this text\n"
    "\n"
    "Switches may start with / or - and are not case-sensitive.\n"
    "Exit codes: 0 nothing found, 1 found and all removed, 2 found and not all\n"
    "removed, 3 removal scheduled (restart needed), 4 usage error, 5 the scan\n"
    "could not run.\n";

namespace {

bool Refuse(CliOptions& options, const char* why, const char* arg)
{
    snprintf(options.error, sizeof options.error, "%s: %.100s", why, arg);
    return false;
}

// "F:value" or "F" followed by ':'; value may not be empty.
bool TakeValue(CliOptions& options, const char* arg, const char* rest, char* dest, size_t size)
{
    if (rest[0] != ':' || rest[1] == '\0')
        return Refuse(options, "switch needs a value after ':'", arg);
    if (dest[0] != '\0')
        return Refuse(options, "switch given twice", arg);
    if (!CopyText(dest, size, rest + 1))
        return Refuse(options, "value too long", arg);
    return true;
}

} // namespace

bool ParseCliOptions(int argc, const char* const* argv, CliOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr || (arg[0] != '/' && arg[0] != '-') || arg[1] == '\0')
            return Refuse(options, "not a switch", arg ? arg : "");
        char name = arg[1];
        if (name >= 'a' && name <= 'z')
            name = static_cast<char>(name - 'a' + 'A');
        const char* rest = arg + 2;
        switch (name) {
        case 'Q':
        case 'N':
        case 'R':
        case '?':
            if (rest[0] != '\0')
                return Refuse(options, "unknown switch", arg);
            if (name == 'Q')
                options.quiet = true;
            else if (name == 'N')
                options.detectOnly = true;
            else if (name == 'R')
                options.allowRestart = true;
            else
                options.help = true;
            break;
        case 'F':
            if (!TakeValue(options, arg, rest, options.folder, sizeof options.folder))
                return false;
            break;
        case 'L':
            if (!TakeValue(options, arg, rest, options.reportPath, sizeof options.reportPath))
                return false;
            break;
        default:
            return Refuse(options, "unknown switch", arg);
        }
    }
    return true;
}

void FormatSwitches(const CliOptions& options, char* out, size_t size)
{
    CopyText(out, size, "");
    auto add = [&](const char* text, const char* value) {
        if (out[0] != '\0')
            AppendText(out, size, " ");
        AppendText(out, size, text);
        if (value)
            AppendText(out, size, value);
    };
    if (options.quiet)
        add("/Q", nullptr);
    if (options.detectOnly)
        add("/N", nullptr);
    if (options.folder[0])
        add("/F:", options.folder);
    if (options.reportPath[0])
        add("/L:", options.reportPath);
    if (options.allowRestart)
        add("/R", nullptr);
    if (out[0] == '\0')
        CopyText(out, size, "(none)");
}

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
