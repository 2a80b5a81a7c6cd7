#include "cli/cli_options.h"
#include "cli/quarantine_format.h"
#include "detect/text.h"


#include <cstdio>
#include <cstring>

const char kCliUsage[] =
    "Scourix command-line scanner: finds and removes the W32/Vexmor trojan family.\n"
    "\n"
    "scourix-cli [/Q] [/N] [/F:folder] [/L:file] [/B:folder] [/R] [/?]\n"
    "scourix-cli /B:folder /RESTORE:sha256 [/Q]\n"
    "scourix-cli /LIST:folder\n"
    "\n"
    "  /Q         print nothing\n"
    "  /N         detect only: leave infected files where they are\n"
    "  /F:folder  scan this folder instead of every local fixed drive\n"
    "  /L:file    write a report (UTF-8 text) to this file\n"
    "  /B:folder  keep a neutralised copy of each file in this quarantine folder\n"
    "             before removing it; a file that cannot be copied is left in place\n"
    "  /R         restart Windows when the removal needs it (never without /R)\n"
    "  /RESTORE:sha256  put the file kept under this SHA-256 in the /B folder back\n"
    "             at its original path (never over an existing file)\n"
    "  /LIST:folder     print the manifest of a quarantine folder\n"
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

// True when the switch's word (up to ':' or the end) is word, in any case.
bool IsWord(const char* arg, const char* word)
{
    size_t n = strlen(word);
    return _strnicmp(arg + 1, word, n) == 0 && (arg[1 + n] == ':' || arg[1 + n] == '\0');
}

// The switches that do no scan exclude those that shape one.
bool CheckCombination(CliOptions& options)
{
    const bool scanSwitches = options.detectOnly || options.allowRestart || options.folder[0] || options.reportPath[0];
    if (options.listFolder[0] && (scanSwitches || options.backupFolder[0] || options.restoreSha256[0] || options.quiet))
        return Refuse(options, "/LIST goes alone", "/LIST");
    if (options.restoreSha256[0]) {
        if (!options.backupFolder[0])
            return Refuse(options, "/RESTORE needs the quarantine folder", "/B:folder");
        if (scanSwitches)
            return Refuse(options, "/RESTORE runs no scan; only /B and /Q go with it", "/RESTORE");
    }
    return true;
}

bool ParseCliOptions(int argc, const char* const* argv, CliOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr || (arg[0] != '/' && arg[0] != '-') || arg[1] == '\0')
            return Refuse(options, "not a switch", arg ? arg : "");
        if (IsWord(arg, "RESTORE")) {
            // Checked here, whatever its length: a malformed value is a usage error.
            static const char kNotSha256[] = "/RESTORE needs a SHA-256 (64 hexadecimal digits)";
            const char* rest = arg + 8;
            if (rest[0] == ':' && options.restoreSha256[0] == '\0' && strlen(rest + 1) >= sizeof options.restoreSha256)
                return Refuse(options, kNotSha256, arg);
            if (!TakeValue(options, arg, rest, options.restoreSha256, sizeof options.restoreSha256))
                return false;
            if (!NormaliseSha256Hex(options.restoreSha256))
                return Refuse(options, kNotSha256, arg);
            continue;
        }
        if (IsWord(arg, "LIST")) {
            if (!TakeValue(options, arg, arg + 5, options.listFolder, sizeof options.listFolder))
                return false;
            continue;
        }
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
        case 'B':
            if (!TakeValue(options, arg, rest, options.backupFolder, sizeof options.backupFolder))
                return false;
            break;
        default:
            return Refuse(options, "unknown switch", arg);
        }
    }
    return CheckCombination(options);
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
    if (options.backupFolder[0])
        add("/B:", options.backupFolder);
    if (options.allowRestart)
        add("/R", nullptr);
    if (out[0] == '\0')
        CopyText(out, size, "(none)");
}
