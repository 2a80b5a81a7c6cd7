// The NT-family process listing, with a stand-in walker deciding which images
// are infected: which processes end, which images get the forced walk, and
// when the service named after the image is stopped and unregistered.
// Runs as Windows XP, 2000 and 7.
#include "scan/scan_state.h"
#include "platform/platform_probe.h"
#include "scan/memory_stage.h"
#include "tests/scan/exact_names.h"
#include "tests/scan/fake_walker.h"
#include "tests/platform/test_service.h"
#include "tests/support/system_requests.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <windows.h>

#include <string>

using namespace scx::test;
namespace fw = scx::test::fakewalker;

namespace {

class PsapiScan : public testing::Test {
protected:
    void SetUp() override
    {
        fw::Reset();
        ScanState.memoryRestartNeeded = 0;
        ScanState.forcedAction = 0;
        dir_ = MakeScratchSubdir("procs");
    }
    void TearDown() override
    {
        ActionMode = 0;
        ScanState.memoryRestartNeeded = 0;
        fw::Reset();
    }
    // A clean program under the given name, started and listed.
    ProcessGuard Start(const std::string& name, std::string* path)
    {
        *path = dir_ + "\\" + name;
        EXPECT_TRUE(WriteBytes(*path, BuildCleanProgram()));
        ProcessGuard g = StartProgram(*path);
        EXPECT_TRUE(g.IsRunning()) << *path;
        return g;
    }
    std::string dir_;
};

bool NtFiveFamily()
{
    int code = GetNtVersionCode();
    return code == 5 || code == 6;
}

struct ActionCase {
    const char* name;
    int actionMode;
    bool ends; // the infected process is ended and its image force-walked
};

class PsapiScanByAction : public PsapiScan, public testing::WithParamInterface<ActionCase> {};

TEST_P(PsapiScanByAction, EndsOnlyInfectedProcessesAndForceWalksTheirImages)
{
    const ActionCase& c = GetParam();
    std::string victimPath, bystanderPath;
    ProcessGuard victim = Start("victim.exe", &victimPath);
    ProcessGuard bystander = Start("bystander.exe", &bystanderPath);
    fw::MarkInfected(victimPath);
    fw::SetReturn(7);
    ActionMode = c.actionMode;

    ScanProcessesPsapi();

    // Both images were offered to the check, as full paths.
    std::vector<fw::Call> victimCalls = fw::CallsFor(victimPath);
    ASSERT_GE(victimCalls.size(), 1u);
    EXPECT_EQ(0, victimCalls[0].forcedAction);
    ASSERT_EQ(1u, fw::CallsFor(bystanderPath).size());
    EXPECT_EQ(0, fw::CallsFor(bystanderPath)[0].forcedAction);
    EXPECT_TRUE(bystander.IsRunning());
    EXPECT_EQ(0, ScanState.forcedAction);

    if (c.ends) {
        EXPECT_EQ(0, victim.WaitExit(3000)) << "the infected process ends with exit code 0";
        ASSERT_EQ(2u, victimCalls.size());
        EXPECT_EQ(c.actionMode, victimCalls[1].forcedAction);
    } else {
        EXPECT_TRUE(victim.IsRunning());
        EXPECT_EQ(1u, victimCalls.size());
    }
    EXPECT_EQ(0, ScanState.memoryRestartNeeded);
}

const ActionCase kActionCases[] = {
    {"Delete", 100, true},
    {"Rename", 101, true},
    {"DeleteToo", 102, true},
    {"Leave", 103, false},
    {"NoAction", 0, false},
};

INSTANTIATE_TEST_SUITE_P(Actions, PsapiScanByAction, testing::ValuesIn(kActionCases),
                         [](const testing::TestParamInfo<ActionCase>& info) { return std::string(info.param.name); });

// An infected process that cannot be ended (here: gone by the time it is to
// be terminated) has the service named after its image stopped and its
// registration removed, on NT 4, 2000 and XP only.
struct ServiceCase {
    const char* name;
    const char* serviceMode;
    int walkerReturn;
    const char* nameTail; // ends the service name; the image is that name + ".exe"
};

class PsapiScanService : public PsapiScan, public testing::WithParamInterface<ServiceCase> {};

TEST_P(PsapiScanService, ServiceOfAnUnendableProcess)
{
    const ServiceCase& c = GetParam();
    std::string serviceName = "ScxVictim" + std::to_string(GetCurrentProcessId()) + c.name + c.nameTail;
    std::string set1 = "SYSTEM\\ControlSet001\\Services\\" + serviceName;
    std::string set2 = "SYSTEM\\ControlSet002\\Services\\" + serviceName;
    bool set1Existed = MachineKeyExists("SYSTEM\\ControlSet001"), set2Existed = MachineKeyExists("SYSTEM\\ControlSet002");
    ASSERT_TRUE(CreateMachineKey(set1 + "\\Enum") && CreateMachineKey(set1 + "\\Security") && CreateMachineKey(set2 + "\\Enum"));

    {
        TestService service(serviceName, c.serviceMode);
        ASSERT_TRUE(service.running());
        std::string victimPath;
        ProcessGuard victim = Start(serviceName + ".exe", &victimPath);
        fw::MarkInfected(victimPath);
        fw::SetReturn(c.walkerReturn);
        fw::OnInfectedWalk([&victim](const std::string&) {
            DWORD pid = victim.pid();
            EXPECT_TRUE(victim.StopAndWaitGone()) << "process " << pid << " still openable";
        });
        ActionMode = 100;

        ScanProcessesPsapi();

        size_t victimWalks = fw::CallsFor(victimPath).size();
        if (!NtFiveFamily()) {
            // Vista and later: no service is touched.
            EXPECT_EQ(DWORD(SERVICE_RUNNING), service.State());
            EXPECT_TRUE(MachineKeyExists(set1 + "\\Enum"));
            EXPECT_TRUE(MachineKeyExists(set2 + "\\Enum"));
            EXPECT_EQ(0, ScanState.memoryRestartNeeded);
            EXPECT_EQ(c.walkerReturn ? 2u : 1u, victimWalks);
        } else if (std::string(c.serviceMode) == "refuse") {
            // Not stopped: the registration goes all the same and a restart
            // is advised; the forced walk only follows a nonzero result.
            EXPECT_EQ(DWORD(SERVICE_RUNNING), service.State());
            EXPECT_FALSE(MachineKeyExists(set1));
            EXPECT_FALSE(MachineKeyExists(set2));
            EXPECT_EQ(1, ScanState.memoryRestartNeeded);
            EXPECT_EQ(c.walkerReturn ? 2u : 1u, victimWalks);
        } else {
            EXPECT_EQ(DWORD(SERVICE_STOPPED), service.State());
            EXPECT_FALSE(MachineKeyExists(set1));
            EXPECT_FALSE(MachineKeyExists(set2));
            EXPECT_EQ(0, ScanState.memoryRestartNeeded);
            ASSERT_EQ(2u, victimWalks);
            EXPECT_EQ(100, fw::CallsFor(victimPath)[1].forcedAction);
        }
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (set1 + "\\Enum").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (set1 + "\\Security").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, set1.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (set2 + "\\Enum").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, set2.c_str());
    if (!set1Existed) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001");
    }
    if (!set2Existed) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002");
    }
}

const ServiceCase kServiceCases[] = {
    {"Stops", "honest", 0, ""},
    // Only the last dot of the image's name starts its extension.
    {"StopsNameWithTwoDots", "honest", 0, ".v2"},
    {"RefusesStop", "refuse", 0, ""},
    {"RefusesStopWalkerCounted", "refuse", 3, ""},
};

INSTANTIATE_TEST_SUITE_P(Services, PsapiScanService, testing::ValuesIn(kServiceCases),
                         [](const testing::TestParamInfo<ServiceCase>& info) { return std::string(info.param.name); });

// Images under names the code page cannot spell, or deeper than MAX_PATH:
// the walker is handed the exact name (UTF-8), the infected process ends and
// its image gets the forced walk by that name; a program beside it runs on.
class PsapiScanExactNames : public PsapiScan, public testing::WithParamInterface<AwkwardFolder> {};

TEST_P(PsapiScanExactNames, ImageIsWalkedAndEndedByItsExactName)
{
    const std::string unseen = RunningSampleUnseenReason();
    if (!unseen.empty())
        GTEST_SKIP() << unseen;
    const std::string folder = GetParam().make(dir_);
    ASSERT_TRUE(MakeDirsExact(folder)) << folder;
    const std::string victimPath = folder + "\\троян木马.exe";
    const std::string bystanderPath = folder + "\\троян木马2.exe";
    ASSERT_TRUE(WriteBytesExact(victimPath, BuildCleanProgram()));
    ASSERT_TRUE(WriteBytesExact(bystanderPath, BuildCleanProgram()));
    ProcessGuard victim = StartProgramExact(victimPath);
    ProcessGuard bystander = StartProgramExact(bystanderPath);
    if (!victim.valid() && WideOf(folder).size() >= MAX_PATH)
        GTEST_SKIP() << "the system starts no program from a path longer than MAX_PATH (CreateProcess "
                        "refuses it), so no process runs from there";
    ASSERT_TRUE(victim.IsRunning() && bystander.IsRunning()) << folder;
    fw::MarkInfected(victimPath);
    ActionMode = 100;

    ScanProcessesPsapi();

    const std::vector<fw::Call> victimCalls = fw::CallsFor(victimPath);
    ASSERT_EQ(2u, victimCalls.size()) << "checked, then force-walked, both by the exact name";
    EXPECT_EQ(0, victimCalls[0].forcedAction);
    EXPECT_EQ(100, victimCalls[1].forcedAction);
    EXPECT_EQ(0, victim.WaitExit(3000));
    ASSERT_EQ(1u, fw::CallsFor(bystanderPath).size());
    EXPECT_TRUE(bystander.IsRunning());
    for (const fw::Call& call : fw::Calls())
        EXPECT_EQ(std::string::npos, call.path.find('?')) << call.path;
    bystander.Stop();
    RemoveLongTree(dir_);
}

const AwkwardFolder kAwkwardFolders[] = {
    {"Cyrillic", CyrillicFolder},
    {"Chinese", ChineseFolder},
    {"Mixed", MixedFolder},
    // No folder longer than MAX_PATH: no process can be started from one
    // (CreateProcess refuses it), so nothing runs there to be found.
};

INSTANTIATE_TEST_SUITE_P(Folders, PsapiScanExactNames, testing::ValuesIn(kAwkwardFolders),
                         [](const testing::TestParamInfo<AwkwardFolder>& info) { return std::string(info.param.name); });

} // namespace
