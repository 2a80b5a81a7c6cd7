#include "cli/console_scan.h"

#include "cli/quarantine.h"
#include "detect/text.h"
#include "detect/utf8.h"
#include "platform/bind.h"
#include "platform/handle_guard.h"
#include "scan/engine.h"
#include "scan/product.h"
#include "scan/statistics.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#ifndef SCX_VERSION_TEXT
#define SCX_VERSION_TEXT "1.0.0.0"
#endif

namespace {

constexpr DWORD kStatusIntervalMs = 250; // at most four status lines a second
constexpr int kMaxNotices = 32;
constexpr size_t kNoticeChars = 320;

struct ConsoleState {
    CliOptions options;
    char quarantine[MAX_PATH]; // full path of the /B folder, or empty
    HANDLE report = INVALID_HANDLE_VALUE;
    HANDLE out = INVALID_HANDLE_VALUE;
    bool outIsConsole = false;
    bool statusShown = false;
    DWORD lastStatusTick = 0;
    bool finished = false;
    int exitCode = kExitCouldNotRun;
    bool restartRequested = false;
    char notices[kMaxNotices][kNoticeChars];
    int noticeCount = 0;
    int noticesDropped = 0;
    int notChecked = 0;
};

ConsoleState g_console;

void WriteAll(HANDLE file, const char* data, DWORD length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, length, &written, nullptr) || written == 0)
            return;
        data += written;
        length -= written;
    }
}

// The scan's texts are UTF-8 and go out as they are; what the system gave in
// the code page (machine name, switches) is not valid UTF-8 once it holds a
// non-ASCII byte and is converted, bytes it cannot map becoming '?'.
void WriteUtf8Line(HANDLE file, const char* text)
{
    if (file == INVALID_HANDLE_VALUE)
        return;
    static wchar_t wide[kResultLineSize];
    if (Utf8ToUtf16(text, wide, kResultLineSize)) {
        WriteAll(file, text, static_cast<DWORD>(strlen(text)));
        WriteAll(file, "\r\n", 2);
        return;
    }
    static char utf8[4096];
    int wideLength = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
    int utf8Length = wideLength > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) : 0;
    if (utf8Length <= 0) {
        // Old systems without the UTF-8 conversion: plain ASCII only.
        size_t n = 0;
        for (; text[n] != '\0' && n < sizeof utf8 - 1; ++n)
            utf8[n] = (static_cast<unsigned char>(text[n]) < 0x80) ? text[n] : '?';
        utf8[n] = '\0';
        utf8Length = static_cast<int>(n) + 1;
    }
    WriteAll(file, utf8, static_cast<DWORD>(utf8Length - 1));
    WriteAll(file, "\r\n", 2);
}

void ReportLine(const char* text) { WriteUtf8Line(g_console.report, text); }

void ReportLinef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ReportLinef(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    ReportLine(line);
}

void ClearStatus()
{
    if (!g_console.statusShown)
        return;
    static const char blank[] = "\r                                                                               \r";
    WriteAll(g_console.out, blank, sizeof blank - 1);
    g_console.statusShown = false;
}

void PrintLine(HANDLE to, const char* text)
{
    if (g_console.options.quiet || to == INVALID_HANDLE_VALUE || to == nullptr)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(to, &mode)) {
        // The console shows its own code page: go through wide characters.
        static wchar_t wide[kResultLineSize];
        size_t n = 0;
        if (!Utf8ToUtf16(text, wide, kResultLineSize, &n)) {
            const int got = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
            n = got > 0 ? size_t(got - 1) : 0;
        }
        DWORD written = 0;
        if (n > 0)
            WriteConsoleW(to, wide, static_cast<DWORD>(n), &written, nullptr);
        WriteConsoleW(to, L"\r\n", 2, &written, nullptr);
        return;
    }
    WriteAll(to, text, static_cast<DWORD>(strlen(text)));
    WriteAll(to, "\r\n", 2);
}

void Note(const char* text)
{
    ClearStatus();
    PrintLine(GetStdHandle(STD_ERROR_HANDLE), text);
    if (g_console.noticeCount < kMaxNotices)
        CopyText(g_console.notices[g_console.noticeCount++], kNoticeChars, text);
    else
        ++g_console.noticesDropped;
}

void LocalTimeText(char* out, size_t size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    snprintf(out, size, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
}

void WindowsVersionText(char* out, size_t size)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) {
        CopyText(out, size, "unknown");
        return;
    }
    const char* family = info.dwPlatformId == VER_PLATFORM_WIN32_NT        ? "NT"
                         : info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? "9x"
                                                                           : "other";
    char servicePack[sizeof info.szCSDVersion + 1];
    CopyText(servicePack, sizeof servicePack, info.szCSDVersion);
    snprintf(out, size, "%lu.%lu build %lu (%s family)%s%s", info.dwMajorVersion, info.dwMinorVersion,
             info.dwBuildNumber & 0xFFFF, family, servicePack[0] ? " " : "", servicePack);
}

void WriteHeader(const char* scanTarget)
{
    char machine[MAX_COMPUTERNAME_LENGTH + 1] = "unknown";
    DWORD machineSize = sizeof machine;
    if (!GetComputerNameA(machine, &machineSize))
        CopyText(machine, sizeof machine, "unknown");
    char windows[200];
    WindowsVersionText(windows, sizeof windows);
    char started[32];
    LocalTimeText(started, sizeof started);
    char switches[700];
    FormatSwitches(g_console.options, switches, sizeof switches);

    ReportLine("Scourix command-line scan report");
    ReportLinef("Program: scourix-cli %s", SCX_VERSION_TEXT);
    ReportLinef("Machine: %s", machine);
    ReportLinef("Windows: %s", windows);
    ReportLinef("Started: %s", started);
    ReportLinef("Switches: %s", switches);
    if (strcmp(scanTarget, "!:") == 0)
        ReportLine("Scan: every local fixed drive");
    else
        ReportLinef("Scan: folder %s", scanTarget);
    if (g_console.options.detectOnly)
        ReportLine("Action: detect only (infected files are left)");
    else if (g_console.quarantine[0] != '\0')
        ReportLinef("Action: remove, after keeping a copy in %s", g_console.quarantine);
    else
        ReportLine("Action: remove");
    ReportLine("Results:");
}

// Writes the end of the report once; later calls keep the first code.
void Finish(int exitCode, const char* howItEnded)
{
    if (g_console.finished)
        return;
    g_console.finished = true;
    g_console.exitCode = exitCode;
    ClearStatus();

    char ended[32];
    LocalTimeText(ended, sizeof ended);
    ReportLinef("Ended: %s", ended);
    ReportLinef("End: %s", howItEnded);
    if (g_console.notChecked > 0)
        ReportLinef("Not checked: %d file%s could not be opened", g_console.notChecked,
                    g_console.notChecked == 1 ? "" : "s");
    for (int i = 0; i < g_console.noticeCount; ++i)
        ReportLinef("Notice: %s", g_console.notices[i]);
    if (g_console.noticesDropped > 0)
        ReportLinef("Notice: %d more not written", g_console.noticesDropped);
    if (ScanState.rebootNeeded != 0 || ScanState.memoryRestartNeeded == 1)
        ReportLine(g_console.restartRequested ? "Restart: needed, requested (/R)"
                                              : "Restart: needed, not requested (no /R)");
    ReportLinef("Exit code: %d (%s)", exitCode, ExitCodeMeaning(exitCode));
    if (g_console.report != INVALID_HANDLE_VALUE)
        FlushFileBuffers(g_console.report);
}

ScanOutcome CurrentOutcome(bool endedAfterMemoryStage)
{
    ScanOutcome outcome = {};
    outcome.filesInfected = ScanState.filesInfected;
    outcome.filesRemoved = ScanState.filesRemoved;
    outcome.restartNeeded = ScanState.rebootNeeded != 0 || ScanState.memoryRestartNeeded == 1;
    outcome.stopped = ScanState.stopRequested != 0;
    outcome.endedAfterMemoryStage = endedAfterMemoryStage;
    return outcome;
}

// The memory stage ends the program: the dialog would show no statistics,
// the report still gets them.
void FinishAfterMemoryStage()
{
    if (g_console.finished)
        return;
    WriteStatistics(ReportLine);
    Note(SCX_TROJAN_REPORT_NAME " was running; the file walk did not run. Restart Windows and scan again.");
    Finish(ExitCodeFor(CurrentOutcome(true)), "trojan found in memory; the file walk did not run");
}

// --- the front end the engine talks to -------------------------------------

void ConsoleStatus(const char* text)
{
    if (g_console.options.quiet || !g_console.outIsConsole)
        return;
    DWORD now = GetTickCount();
    if (g_console.statusShown && now - g_console.lastStatusTick < kStatusIntervalMs)
        return;
    g_console.lastStatusTick = now;
    // One console line of 79 characters, overwritten by the next status.
    static wchar_t wide[kStatusTextSize];
    size_t n = 0;
    wide[0] = L'\r';
    if (!Utf8ToUtf16(text, wide + 1, kStatusTextSize - 1, &n))
        n = 0;
    if (n > 79)
        n = (wide[79] >= 0xD800 && wide[79] <= 0xDBFF) ? 78 : 79; // a pair is never split
    for (; n < 79; ++n)
        wide[1 + n] = L' ';
    DWORD written = 0;
    WriteConsoleW(g_console.out, wide, static_cast<DWORD>(n + 1), &written, nullptr);
    g_console.statusShown = true;
}

int ConsoleAsk(FrontEndQuestion which)
{
    switch (which) {
    case kQuestionStopScan:
        return IDNO; // only Ctrl+C stops an unattended scan
    case kQuestionRestart:
        if (!g_console.options.allowRestart)
            return IDNO;
        // The restart ends this program: the report must be complete first.
        g_console.restartRequested = true;
        Finish(ExitCodeFor(CurrentOutcome(false)), ScanState.stopRequested ? "Scanning terminated" : "Scanning completed");
        return IDYES;
    case kQuestionFoundInMemory:
        if (!g_console.options.allowRestart)
            return IDCANCEL;
        g_console.restartRequested = true;
        FinishAfterMemoryStage();
        return IDOK;
    }
    return IDNO;
}

// With /B nothing goes before its copy is kept: a file that cannot be copied
// stays where it is and counts as not removed.
bool ConsoleMayRemove(const char* path, const char* detectionName)
{
    if (g_console.quarantine[0] == '\0')
        return true;
    char why[200];
    if (QuarantineFile(g_console.quarantine, path, detectionName, why, sizeof why))
        return true;
    char line[kNoticeChars];
    snprintf(line, sizeof line, "Quarantine: %s was left in place: %s", path, why);
    Note(line);
    return false;
}

class ConsoleFront final : public FrontEnd {
public:
    void resultLine(const char* text) override
    {
        ClearStatus();
        PrintLine(g_console.out, text);
        ReportLine(text);
    }
    // Already paced to its own interval, whatever the pace asked.
    void status(const char* text, StatusPace) override { ConsoleStatus(text); }
    void statusSettled() override {}
    int ask(FrontEndQuestion which, const char*, const char*, UINT) override { return ConsoleAsk(which); }
    void notice(const char* text, const char* caption) override
    {
        char line[kNoticeChars];
        snprintf(line, sizeof line, "%s (%s)", text, caption);
        Note(line);
    }
    bool poll(bool refreshNow) override { return PumpWhenDue(refreshNow, lastRefresh_, refreshedOnce_); }
    bool attached() override { return true; }
    bool mayRemove(const char* path, const char* detectionName) override
    {
        return ConsoleMayRemove(path, detectionName);
    }
    // Counted as scanned, yet never read: the report says so, path by path.
    void notChecked(const char* path, const char* reason) override
    {
        ++g_console.notChecked;
        WriteAll(g_console.report, "Not checked: ", 13);
        WriteAll(g_console.report, path, static_cast<DWORD>(strlen(path)));
        WriteAll(g_console.report, " (", 2);
        WriteAll(g_console.report, reason, static_cast<DWORD>(strlen(reason)));
        WriteAll(g_console.report, ")\r\n", 3);
    }

private:
    DWORD lastRefresh_ = 0;
    bool refreshedOnce_ = false;
};

ConsoleFront g_consoleFrontEnd;

BOOL WINAPI OnConsoleControl(DWORD)
{
    // Ctrl+C, Ctrl+Break, closing the console, log-off, shut-down: stop the
    // scan at the next entry; the statistics and the report still follow.
    ScanState.stopRequested = 1;
    return TRUE;
}

// On NT 5 and later, a scan that removes files needs an administrator's
// token; older systems have no such test and are not asked. Every security
// call is bound at run time so that the program still loads on Windows 95.
bool HasAdministratorRights()
{
    using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    using AllocSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                                     DWORD, DWORD, PSID*);
    using FreeSidFn = PVOID(WINAPI*)(PSID);
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    if (!advapi)
        return true;
    auto check = Bind<CheckTokenMembershipFn>(advapi, "CheckTokenMembership");
    auto allocSid = Bind<AllocSidFn>(advapi, "AllocateAndInitializeSid");
    auto freeSid = Bind<FreeSidFn>(advapi, "FreeSid");
    if (!check || !allocSid || !freeSid)
        return true;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!allocSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins))
        return true;
    BOOL member = FALSE;
    BOOL ok = check(nullptr, admins, &member);
    freeSid(admins);
    return !ok || member;
}

int CannotRun(const char* why)
{
    PrintLine(GetStdHandle(STD_ERROR_HANDLE), why);
    return kExitCouldNotRun;
}

// The full path of a folder switch's value, without a trailing backslash,
// short enough for the names the quarantine puts inside.
bool QuarantineFolderPath(const char* given, char* out, size_t size)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(given, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full)
        return false;
    size_t length = strlen(full);
    while (length > 3 && full[length - 1] == '\\')
        full[--length] = '\0';
    char probe[MAX_PATH];
    return QuarantinePath(full, "0000000000000000000000000000000000000000000000000000000000000000.vxq", probe,
                          sizeof probe) &&
           CopyText(out, size, full);
}

} // namespace

FrontEnd& ConsoleFrontEnd() { return g_consoleFrontEnd; }

void EndConsoleAfterMemoryStage()
{
    FinishAfterMemoryStage();
    if (g_console.report != INVALID_HANDLE_VALUE)
        CloseHandle(g_console.report);
    g_console.report = INVALID_HANDLE_VALUE;
    ExitProcess(static_cast<UINT>(g_console.exitCode));
}

int OpenConsoleScan(const CliOptions& options)
{
    g_console.options = options;
    g_console.out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    g_console.outIsConsole = g_console.out != INVALID_HANDLE_VALUE && GetConsoleMode(g_console.out, &mode);

    char target[sizeof ScanState.scanTarget] = "!:";
    if (options.folder[0] != '\0') {
        char full[MAX_PATH];
        DWORD n = GetFullPathNameA(options.folder, sizeof full, full, nullptr);
        if (n == 0 || n >= sizeof full)
            return CannotRun("scourix-cli: the folder name is not usable");
        // The walker adds "\*.*" itself.
        size_t length = strlen(full);
        while (length > 0 && full[length - 1] == '\\')
            full[--length] = '\0';
        DWORD attributes = GetFileAttributesA(full);
        if (length == 0 || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return CannotRun("scourix-cli: the folder does not exist");
        // The scan takes UTF-8.
        wchar_t wide[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, full, -1, wide, MAX_PATH) <= 0 ||
            !Utf16ToUtf8(wide, wcslen(wide), target, sizeof target) || strlen(target) + 4 >= sizeof ScanState.scanTarget)
            return CannotRun("scourix-cli: the folder name is too long to scan");
    }
    g_console.quarantine[0] = '\0';
    if (options.backupFolder[0] != '\0' && !QuarantineFolderPath(options.backupFolder, g_console.quarantine,
                                                                sizeof g_console.quarantine))
        return CannotRun("scourix-cli: the quarantine folder name is not usable (too long?)");
    if (!options.detectOnly && !HasAdministratorRights())
        return CannotRun("scourix-cli: administrator rights are needed to remove files (run elevated, or use /N)");

    if (options.reportPath[0] != '\0') {
        g_console.report = CreateFileA(options.reportPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (g_console.report == INVALID_HANDLE_VALUE)
            return CannotRun("scourix-cli: the report file cannot be written");
    }

    // Cleared before the handler is in place, so that a Ctrl+C while the
    // header is written still stops the scan.
    ScanState.stopRequested = 0;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    WriteHeader(target);
    CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, target);
    ActionMode = options.detectOnly ? kActionLeave : kActionDelete;
    return kScanOpened;
}

int RunConsoleScan(const CliOptions& options)
{
    int opened = OpenConsoleScan(options);
    if (opened != kScanOpened)
        return opened;
    HandleGuard closeReport(g_console.report);
    ScanState.scanRunning = 1;
    if (RunScan(g_consoleFrontEnd) == kScanEndAfterMemoryStage)
        EndConsoleAfterMemoryStage();
    ScanState.scanRunning = 0;

    Finish(ExitCodeFor(CurrentOutcome(false)), ScanState.stopRequested ? "Scanning terminated" : "Scanning completed");
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    return g_console.exitCode;
}

int RunQuarantineCommand(const CliOptions& options)
{
    g_console.options = options;
    char folder[MAX_PATH];
    const char* given = options.listFolder[0] ? options.listFolder : options.backupFolder;
    if (!QuarantineFolderPath(given, folder, sizeof folder))
        return CannotRun("scourix-cli: the quarantine folder name is not usable (too long?)");
    char message[600];
    if (options.listFolder[0]) {
        if (ListQuarantine(folder, GetStdHandle(STD_OUTPUT_HANDLE), message, sizeof message))
            return kExitClean;
    } else if (RestoreFromQuarantine(folder, options.restoreSha256, message, sizeof message)) {
        PrintLine(GetStdHandle(STD_OUTPUT_HANDLE), message);
        return kExitClean;
    }
    char line[700];
    snprintf(line, sizeof line, "scourix-cli: %s", message);
    return CannotRun(line);
}
