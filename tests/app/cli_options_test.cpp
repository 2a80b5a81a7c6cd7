// The console program's command line and the exit code a scan ends with.
#include "cli/cli_options.h"
#include "cli/console_scan.h"
#include "cli/console_text.h"
#include "detect/text.h"
#include "scan/scan_state.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

// The switches as the program's command line, behind its own name.
bool Parse(const std::vector<const char*>& args, CliOptions& options)
{
    std::vector<const char*> argv = {"scourix-cli.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseCliOptions(static_cast<int>(argv.size()), argv.data(), options);
}

struct ParseCase {
    const char* name;
    std::vector<const char*> args;
    bool accepted;
    bool quiet, detectOnly, allowRestart, help;
    const char* folder;
    const char* report;
};

class ParseSwitches : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseSwitches, AcceptsOrRefuses)
{
    const ParseCase& c = GetParam();
    CliOptions options;
    bool ok = Parse(c.args, options);
    ASSERT_EQ(c.accepted, ok) << options.error;
    if (!ok) {
        EXPECT_NE('\0', options.error[0]) << "a refusal says why";
        return;
    }
    EXPECT_EQ(c.quiet, options.quiet);
    EXPECT_EQ(c.detectOnly, options.detectOnly);
    EXPECT_EQ(c.allowRestart, options.allowRestart);
    EXPECT_EQ(c.help, options.help);
    EXPECT_STREQ(c.folder, options.folder);
    EXPECT_STREQ(c.report, options.reportPath);
}

const ParseCase kParseCases[] = {
    {"Nothing", {}, true, false, false, false, false, "", ""},
    {"AllSlash", {"/Q", "/N", "/R", "/F:C:\\data", "/L:C:\\r.txt"}, true, true, true, true, false, "C:\\data", "C:\\r.txt"},
    {"LowerCaseDash", {"-q", "-n", "-r", "-f:C:\\a b", "-l:r.txt"}, true, true, true, true, false, "C:\\a b", "r.txt"},
    {"Help", {"/?"}, true, false, false, false, true, "", ""},
    {"ValueKeepsColons", {"/f:C:\\x:y"}, true, false, false, false, false, "C:\\x:y", ""},
    {"UnknownSwitch", {"/X"}, false},
    {"LongerName", {"/QUIET"}, false},
    {"NotASwitch", {"C:\\data"}, false},
    {"BareSlash", {"/"}, false},
    {"FolderWithoutValue", {"/F"}, false},
    {"FolderEmptyValue", {"/F:"}, false},
    {"ReportWithoutColon", {"/Lreport.txt"}, false},
    {"FolderTwice", {"/F:C:\\a", "/F:C:\\b"}, false},
    {"OneBadAmongGood", {"/Q", "/Z", "/N"}, false},
    {"FolderTooLong", {"/F:C:\\" "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                       "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                       "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
     false},
};

INSTANTIATE_TEST_SUITE_P(Cli, ParseSwitches, testing::ValuesIn(kParseCases),
                         [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(CliSwitches, ReportShowsSwitchesInOneOrder)
{
    const char* argv[] = {"x", "-r", "/l:rep.txt", "/f:C:\\d", "/n", "/q"};
    CliOptions options;
    ASSERT_TRUE(ParseCliOptions(6, argv, options));
    char text[700];
    FormatSwitches(options, text, sizeof text);
    EXPECT_STREQ("/Q /N /F:C:\\d /L:rep.txt /R", text);
    CliOptions none;
    FormatSwitches(none, text, sizeof text);
    EXPECT_STREQ("(none)", text);
}

// The quarantine's switches: /B goes with a scan, /RESTORE only with /B (and
// /Q), /LIST alone.
struct QuarantineSwitchCase {
    const char* name;
    std::vector<const char*> args;
    bool accepted;
    const char* backup;
    const char* restore;
    const char* list;
};

class QuarantineSwitches : public testing::TestWithParam<QuarantineSwitchCase> {};

TEST_P(QuarantineSwitches, AcceptsOrRefuses)
{
    const QuarantineSwitchCase& c = GetParam();
    CliOptions options;
    bool ok = Parse(c.args, options);
    ASSERT_EQ(c.accepted, ok) << options.error;
    if (!ok) {
        EXPECT_NE('\0', options.error[0]) << "a refusal says why";
        return;
    }
    EXPECT_STREQ(c.backup, options.backupFolder);
    EXPECT_STREQ(c.restore, options.restoreSha256);
    EXPECT_STREQ(c.list, options.listFolder);
}

const QuarantineSwitchCase kQuarantineSwitchCases[] = {
    {"BackupWithScan", {"/Q", "/B:C:\\q", "/F:C:\\d", "/L:r.txt", "/R"}, true, "C:\\q", "", ""},
    {"RestoreAnyCase", {"-b:C:\\q", "-restore:ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789", "/q"}, true, "C:\\q",
     "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789", ""},
    // A malformed value is refused here, whatever its length.
    {"RestoreShort", {"/B:C:\\q", "/RESTORE:abc"}, false},
    {"RestoreNotHex", {"/B:C:\\q", "/RESTORE:ghijkl0123456789abcdef0123456789abcdef0123456789abcdef0123456789"}, false},
    {"RestoreOneDigitTooMany", {"/B:C:\\q", "/RESTORE:abcdef0123456789abcdef0123456789abcdef0123456789abcdef01234567890"}, false},
    {"RestoreEightyAndMore", {"/B:C:\\q", "/RESTORE:abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789"}, false},
    {"List", {"/List:C:\\q"}, true, "", "", "C:\\q"},
    {"RestoreWithoutFolder", {"/RESTORE:abc"}, false},
    {"RestoreWithScanSwitch", {"/B:C:\\q", "/RESTORE:abc", "/F:C:\\d"}, false},
    {"RestoreWithDetectOnly", {"/B:C:\\q", "/RESTORE:abc", "/N"}, false},
    {"ListWithOthers", {"/LIST:C:\\q", "/Q"}, false},
    {"ListAndBackup", {"/LIST:C:\\q", "/B:C:\\q"}, false},
    {"ListWithoutValue", {"/LIST"}, false},
    {"RestoreEmptyValue", {"/B:C:\\q", "/RESTORE:"}, false},
    {"BackupTwice", {"/B:C:\\a", "/B:C:\\b"}, false},
    {"WordNotSwitch", {"/LISTING:C:\\q"}, false},
};

INSTANTIATE_TEST_SUITE_P(Cli, QuarantineSwitches, testing::ValuesIn(kQuarantineSwitchCases),
                         [](const testing::TestParamInfo<QuarantineSwitchCase>& info) {
                             return std::string(info.param.name);
                         });

// The longest values every switch may take still leave the last switch in
// the report's header.
TEST(CliSwitches, ReportShowsEverySwitchWithTheLongestValues)
{
    const std::string folder = "/F:C:\\" + std::string(MAX_PATH - 4, 'f');
    const std::string report = "/L:C:\\" + std::string(MAX_PATH - 4, 'l');
    const std::string backup = "/B:C:\\" + std::string(MAX_PATH - 4, 'b');
    const char* argv[] = {"x", "/Q", "/N", folder.c_str(), report.c_str(), backup.c_str(), "/R"};
    CliOptions options;
    ASSERT_TRUE(ParseCliOptions(7, argv, options)) << options.error;
    char text[kSwitchesChars];
    memset(text, 0x5A, sizeof text);
    FormatSwitches(options, text, sizeof text);
    EXPECT_EQ("/Q /N " + folder + " " + report + " " + backup + " /R", std::string(text));
}

// On a Windows 9x console WriteConsoleW is a stub that fails: the text must
// still appear, in the console's code page.
BOOL WINAPI FailingWriteConsoleW(HANDLE, const VOID*, DWORD, LPDWORD, LPVOID)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

std::wstring g_wideSeen;
BOOL WINAPI RecordingWriteConsoleW(HANDLE, const VOID* text, DWORD count, LPDWORD written, LPVOID)
{
    g_wideSeen.append(static_cast<const wchar_t*>(text), count);
    *written = count;
    return TRUE;
}

TEST(CliConsoleText, WhereWriteConsoleWFailsTheCodePageTextAppears)
{
    const std::string path = ScratchDir() + "\\console.txt";
    auto run = [&](WriteConsoleWFn writer, auto write) {
        WriteConsoleWFn saved = g_writeConsoleW;
        g_writeConsoleW = writer;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        bool ok = file != INVALID_HANDLE_VALUE && write(file);
        CloseHandle(file);
        g_writeConsoleW = saved;
        std::vector<uint8_t> bytes = ReadBytes(path);
        DeleteFileA(path.c_str());
        EXPECT_TRUE(ok);
        return std::string(bytes.begin(), bytes.end());
    };
    UINT codePage = GetConsoleOutputCP();
    char e[4] = "";
    WideCharToMultiByte(codePage ? codePage : CP_OEMCP, 0, L"\u00e9", 1, e, sizeof e, "?", nullptr);

    // Wide text: in the code page, characters it lacks as '?'.
    const wchar_t wide[] = L"Total caf\u00e9 \u6587\r\n";
    EXPECT_EQ(std::string("Total caf") + e + " ?\r\n",
              run(FailingWriteConsoleW, [&](HANDLE h) { return WriteConsoleWide(h, wide, wcslen(wide)); }));

    // The manifest's UTF-8, a long run of stray continuation bytes inside:
    // all of it appears, the bad bytes as '?', and the damage is reported.
    const std::string utf8 = "before caf\xC3\xA9 " + std::string(3000, '\x80') + " after\r\n";
    bool damaged = false;
    EXPECT_EQ("before caf" + std::string(e) + " " + std::string(3000, '?') + " after\r\n",
              run(FailingWriteConsoleW, [&](HANDLE h) { return WriteConsoleUtf8(h, utf8.data(), utf8.size(), &damaged); }));
    EXPECT_TRUE(damaged);

    // Where WriteConsoleW works it is used, with every character.
    g_wideSeen.clear();
    damaged = false;
    EXPECT_EQ("", run(RecordingWriteConsoleW, [&](HANDLE h) {
        return WriteConsoleUtf8(h, "caf\xC3\xA9 \xF0\x9F\x98\x80", 10, &damaged);
    }));
    EXPECT_EQ(std::wstring(L"caf\u00e9 \U0001F600"), g_wideSeen);
    EXPECT_FALSE(damaged);
}

TEST(CliSwitches, ReportShowsTheQuarantineFolder)
{
    const char* argv[] = {"x", "/b:C:\\q", "/q"};
    CliOptions options;
    ASSERT_TRUE(ParseCliOptions(3, argv, options));
    char text[700];
    FormatSwitches(options, text, sizeof text);
    EXPECT_STREQ("/Q /B:C:\\q", text);
}

struct OutcomeCase {
    const char* name;
    ScanOutcome outcome;
    int code;
};

class ExitCodes : public testing::TestWithParam<OutcomeCase> {};

TEST_P(ExitCodes, FollowTheOutcome)
{
    EXPECT_EQ(GetParam().code, ExitCodeFor(GetParam().outcome));
}

// infected, removed, restart, stopped, ended after the memory stage
const OutcomeCase kOutcomeCases[] = {
    {"Clean", {0, 0, false, false, false}, kExitClean},
    {"AllRemoved", {3, 3, false, false, false}, kExitAllRemoved},
    {"SomeLeft", {3, 2, false, false, false}, kExitNotAllRemoved},
    {"DetectOnly", {2, 0, false, false, false}, kExitNotAllRemoved},
    {"Scheduled", {2, 1, true, false, false}, kExitRestartNeeded},
    {"StoppedCleanSoFar", {0, 0, false, true, false}, kExitCouldNotRun},
    {"StoppedAfterRemoving", {1, 1, false, true, false}, kExitNotAllRemoved},
    {"StoppedButScheduled", {1, 0, true, true, false}, kExitRestartNeeded},
    {"MemoryStageEnded", {1, 1, false, false, true}, kExitNotAllRemoved},
    {"MemoryStageRestart", {1, 0, true, false, true}, kExitRestartNeeded},
};

INSTANTIATE_TEST_SUITE_P(Cli, ExitCodes, testing::ValuesIn(kOutcomeCases),
                         [](const testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

// --- the memory stage ends the program: report and code ----------------------
// The engine's end-of-process path, driven through the front end in a child:
// the trojan was running, the stage removed it, and the program ends there.

std::string ReportPathFor(const char* name) { return ScratchDir() + "\\" + name + ".txt"; }

void OpenAndEnd(const char* name, bool restartNeeded)
{
    static CliOptions options;
    options.quiet = true;
    CopyText(options.folder, sizeof options.folder, ScratchDir().c_str());
    CopyText(options.reportPath, sizeof options.reportPath, ReportPathFor(name).c_str());
    ASSERT_EQ(kScanOpened, OpenConsoleScan(options));
    FrontEndScope console(ConsoleFrontEnd());
    ScanState.memoryStageMode = 1;
    ScanState.filesInfected = 1;
    ScanState.memoryRestartNeeded = restartNeeded ? 1 : 0;
    ReportResultLine("System Memory    W32/Vexmor.Trojan removed");
    // Without /R the notice is answered with Cancel: no restart.
    ASSERT_EQ(IDCANCEL, FrontEndAsk(kQuestionFoundInMemory, "found", "Scourix Ver 1.0", MB_OKCANCEL));
    EndConsoleAfterMemoryStage();
}

TEST(CliMemoryStageEnd, DISABLED_Ended) { OpenAndEnd("Ended", false); }
TEST(CliMemoryStageEnd, DISABLED_RestartNeeded) { OpenAndEnd("RestartNeeded", true); }

std::vector<std::string> ReportLines(const std::string& path)
{
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

struct EndCase {
    const char* name;
    long code;
    std::vector<std::string> tail; // the report from "Results:" on, times left out
};

class MemoryStageEnd : public testing::TestWithParam<EndCase> {};

TEST_P(MemoryStageEnd, ReportIsCompleteAndCodeFits)
{
    const EndCase& c = GetParam();
    std::string report = ReportPathFor(c.name);
    DeleteFileA(report.c_str());
    ChildResult child = RunSelfTest(std::string("CliMemoryStageEnd.DISABLED_") + c.name);
    EXPECT_EQ(c.code, child.exitCode) << child.output;
    std::vector<std::string> lines = ReportLines(report);
    auto at = std::find(lines.begin(), lines.end(), "Results:");
    ASSERT_NE(lines.end(), at) << child.output;
    std::vector<std::string> tail;
    for (; at != lines.end(); ++at)
        if (at->compare(0, 7, "Ended: ") != 0)
            tail.push_back(*at);
    EXPECT_EQ(c.tail, tail);
    DeleteFileA(report.c_str());
}

const std::vector<std::string> kEndedHead = {
    "Results:",
    "System Memory    W32/Vexmor.Trojan removed",
    "Scanning statistics",
    "------------------------------",
    "Total files scanned\t\t:  0",
    "Total files infected\t\t:  1",
    "Total files removed\t\t:  0",
    "End: trojan found in memory; the file walk did not run",
    "Notice: W32/Vexmor.Trojan was running; the file walk did not run. Restart Windows and scan again.",
};

std::vector<std::string> With(std::vector<std::string> lines, std::initializer_list<const char*> more)
{
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

const EndCase kEndCases[] = {
    {"Ended", 2, With(kEndedHead, {"Exit code: 2 (found and not all removed)"})},
    {"RestartNeeded", 3,
     With(kEndedHead, {"Restart: needed, not requested (no /R)", "Exit code: 3 (removal scheduled, restart needed)"})},
};

INSTANTIATE_TEST_SUITE_P(Cli, MemoryStageEnd, testing::ValuesIn(kEndCases),
                         [](const testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

// --- questions answered by the switches --------------------------------------

void AnswerQuestions(bool allowRestart)
{
    static CliOptions options;
    options.quiet = true;
    options.allowRestart = allowRestart;
    std::string report = ReportPathFor(allowRestart ? "WithR" : "WithoutR");
    CopyText(options.folder, sizeof options.folder, ScratchDir().c_str());
    CopyText(options.reportPath, sizeof options.reportPath, report.c_str());
    ASSERT_EQ(kScanOpened, OpenConsoleScan(options));
    FrontEndScope console(ConsoleFrontEnd());
    ScanState.filesInfected = 1;
    ScanState.rebootNeeded = 1;
    EXPECT_EQ(IDNO, FrontEndAsk(kQuestionStopScan, "Terminate the Scan now?", "Scourix Ver 1.0", MB_YESNO));
    if (!allowRestart) {
        EXPECT_EQ(IDNO, FrontEndAsk(kQuestionRestart, "Restart now?", "Scourix Ver 1.0", MB_YESNO));
        EXPECT_EQ(IDCANCEL, FrontEndAsk(kQuestionFoundInMemory, "found", "Scourix Ver 1.0", MB_OKCANCEL));
        return;
    }
    // Yes to the restart, and the report is complete before the restart
    // could end the program.
    EXPECT_EQ(IDYES, FrontEndAsk(kQuestionRestart, "Restart now?", "Scourix Ver 1.0", MB_YESNO));
    std::vector<std::string> lines = ReportLines(report);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("Restart: needed, requested (/R)", lines[lines.size() - 2]);
    EXPECT_EQ("Exit code: 3 (removal scheduled, restart needed)", lines.back());
}

TEST(CliQuestions, DISABLED_WithoutR) { AnswerQuestions(false); }
TEST(CliQuestions, DISABLED_WithR) { AnswerQuestions(true); }

TEST(CliQuestions, AnsweredBySwitchesNeverByAWindow)
{
    for (const char* name : {"WithoutR", "WithR"}) {
        ChildResult child = RunSelfTest(std::string("CliQuestions.DISABLED_") + name);
        EXPECT_EQ(0, child.exitCode) << name << "\n" << child.output;
        EXPECT_NE(std::string::npos, child.output.find("[  PASSED  ] 1 test")) << name << "\n" << child.output;
        DeleteFileA(ReportPathFor(name).c_str());
    }
}

} // namespace
