// The console program's command line and the exit code a scan ends with.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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
    std::vector<const char*> argv = {"scourix-cli.exe"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    CliOptions options;
    bool ok = ParseCliOptions(static_cast<int>(argv.size()), argv.data(), options);
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

} // namespace
