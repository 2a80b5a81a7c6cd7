// The shipped console program against the planted table of awkward names:
// every sample removed and reported by its exact name in the UTF-8 report,
// every near miss untouched, the statistics adding up, and a file it could
// not open listed as not checked. The program is a parameter of the case, so
// the 32-bit one runs the same table where the host can start it.
#include "detect/detection.h"
#include "platform/handle_guard.h"
#include "tests/support/awkward_names.h"
#include "tests/support/child_process.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"
#include "tests/support/system_requests.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace scx::test;

namespace {

constexpr int kRecord = 1;
constexpr DWORD kRunTimeoutMs = 240000;

struct ProgramCase {
    const char* name;
    const char* fileName; // written from the test program's resource
    int resource;
    bool i386;
};

long RunProgram(const std::string& exe, const std::string& args)
{
    std::string command = "\"" + exe + "\" " + args;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return -1;
    if (WaitForSingleObject(process.hProcess, kRunTimeoutMs) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return long(code);
}

bool HasLine(const std::string& text, const std::string& line)
{
    return ("\r\n" + text).find("\r\n" + line + "\r\n") != std::string::npos;
}

class CliAwkwardNames : public testing::Test {
protected:
    void SetUp() override { dir_ = MakeScratchSubdir("awkward"); }
    void TearDown() override
    {
        ForgetPendingRenamesUnder(dir_);
        RemoveLongTree(dir_);
    }
    // The whole case for one program.
    void RunTable(const ProgramCase& program);
    std::string dir_;
};

void CliAwkwardNames::RunTable(const ProgramCase& program)
{
    if (program.i386) {
#ifndef _WIN64
        GTEST_SKIP() << "the 32-bit suite runs its own program as the first case";
#else
        const char* runsI386 = getenv("SCX_HOST_RUNS_I386");
        if (runsI386 && strcmp(runsI386, "0") == 0)
            GTEST_SKIP() << "this host cannot execute i386 code, so the 32-bit program cannot run here";
#endif
    }
    const std::string exe = EmbeddedProgram(program.fileName, program.resource);
    if (exe.empty() && program.resource != 1)
        GTEST_SKIP() << "the 32-bit console program was not built before this suite";
    ASSERT_FALSE(exe.empty());

    const std::vector<PlantedCase> planted = PlantAwkwardNames(dir_, kRecord, false);
    ASSERT_FALSE(planted.empty());
    // A file the program cannot open: held here without any sharing (of a
    // record's length, so the check must open it to decide).
    const std::string held = dir_ + "\\held.bin";
    ASSERT_TRUE(ExactWrite(held, BuildSample(kRecord, SampleKind::PatternByteChanged)));
    HandleGuard hold(CreateFileW(ExactWidePath(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold.valid());
    const std::string report = MakeScratchSubdir("awkward-report") + "\\report.txt";

    const long code = RunProgram(exe, "/Q /F:" + dir_ + " /L:" + report);
    hold.Close();

    const std::vector<uint8_t> bytes = ExactRead(report);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(1, code) << text;
    const std::string name = DetectionTable[kRecord].name;
    const size_t count = planted.size();
    for (const PlantedCase& p : planted) {
        EXPECT_TRUE(HasLine(text, p.infected + "     " + name + " removed")) << p.infected << "\n" << text;
        EXPECT_FALSE(ExactExists(p.infected)) << p.infected;
        EXPECT_EQ(p.nearMissBytes, ExactRead(p.nearMiss)) << p.nearMiss;
    }
    EXPECT_TRUE(HasLine(text, "Total files scanned\t\t:  " + std::to_string(2 * count + 1))) << text;
    EXPECT_TRUE(HasLine(text, "Total files infected\t\t:  " + std::to_string(count))) << text;
    EXPECT_TRUE(HasLine(text, "Total files removed\t\t:  " + std::to_string(count))) << text;
    EXPECT_TRUE(HasLine(text, "Not checked: " + held + " (sharing violation)")) << text;
    EXPECT_TRUE(HasLine(text, "Not checked: 1 file could not be opened")) << text;
}

TEST_F(CliAwkwardNames, ShippedProgramRemovesEverySampleByItsExactName)
{
    RunTable({"ShippedProgram", "scourix-cli.exe", 1, false});
}

// Carried by the 64-bit suite when the 32-bit build came first.
TEST_F(CliAwkwardNames, ThirtyTwoBitProgramRemovesEverySampleByItsExactName)
{
    RunTable({"ThirtyTwoBitProgram", "scourix-cli-32bit.exe", 2, true});
}

} // namespace
