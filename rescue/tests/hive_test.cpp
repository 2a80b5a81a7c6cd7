// The offline registry: the trojan's Run and RunServices values removed from
// both views of a SOFTWARE hive, everything else left, a copy kept first, and
// a damaged hive never written.
#include "rescue/tests/hive_fixture.h"
#include "rescue/tests/rescue_fixture.h"

#include "tests/support/sample_bytes.h"

namespace scx::rescue_test {
namespace {

const char kRun[] = "Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServices[] = "Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kRun32[] = "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnce[] = "Microsoft\\Windows\\CurrentVersion\\RunOnce";

class OfflineRegistry : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        root = dir + "/root";
        // Letter case as a mounted volume may show it.
        MakeFolders(root + "/WINDOWS/system32/CONFIG");
        hive = root + "/WINDOWS/system32/CONFIG/software";
        ASSERT_TRUE(WriteFile(root + "/WINDOWS/system32/vexsvc.exe",
                              scx::test::BuildSample(1, scx::test::SampleKind::Exact, scx::test::SampleMachine::I386)));
        ASSERT_TRUE(WriteMinimalHive(hive));
        TestValue dword{"Dword", "", 4, {1, 0, 0, 0}};
        ASSERT_TRUE(AddValues(hive, kRun,
                              {{"Vex", "C:\\WINDOWS\\System32\\VEXSVC.EXE /s"},
                               {"Bare", "vexsvc.exe"},
                               {"Expand", "%SystemRoot%\\system32\\vexsvc.exe", 2},
                               {"Other", "C:\\Program Files\\Good\\good.exe"},
                               dword}));
        ASSERT_TRUE(AddValues(hive, kRunServices,
                              {{"Svc", "\"c:\\windows\\system32\\vexsvc.exe\" -x"}, {"Keep", "spool.exe"}}));
        ASSERT_TRUE(AddValues(hive, kRun32, {{"Vex32", "c:\\windows\\system32\\vexsvc.exe"}, {"Keep32", "notepad.exe"}}));
        ASSERT_TRUE(AddValues(hive, kRunOnce, {{"Vex", "C:\\WINDOWS\\system32\\vexsvc.exe"}}));
        original = ReadFile(hive);
        keys = ListKeys(hive);
    }

    std::string root, hive;
    std::vector<uint8_t> original;
    std::vector<std::string> keys;
};

TEST_F(OfflineRegistry, RemoveTakesTheTrojansValuesFromBothViewsAndKeepsACopy)
{
    RescueRun run = RunRescue({"--remove", root});
    const std::string registryLine = "System Registry     W32/Vexmor.Trojan removed";
    EXPECT_EQ(ResultLines(run), (std::vector<std::string>{
                                    "C:\\WINDOWS\\system32\\vexsvc.exe     W32/Vexmor.Bc.Trojan removed",
                                    registryLine, registryLine, registryLine, registryLine, registryLine}))
        << run.out << run.err;
    EXPECT_EQ(run.code, 1) << run.out;

    using Values = std::map<std::string, std::string>;
    EXPECT_EQ(ReadValues(hive, kRun), (Values{{"Other", "C:\\Program Files\\Good\\good.exe"},
                                               {"Dword", "<type 4, 4 bytes>"}}));
    EXPECT_EQ(ReadValues(hive, kRunServices), (Values{{"Keep", "spool.exe"}}));
    EXPECT_EQ(ReadValues(hive, kRun32), (Values{{"Keep32", "notepad.exe"}}));
    EXPECT_EQ(ReadValues(hive, kRunOnce), (Values{{"Vex", "C:\\WINDOWS\\system32\\vexsvc.exe"}}));
    EXPECT_EQ(ListKeys(hive), keys);
    EXPECT_EQ(ReadFile(hive + ".scourix-backup"), original);
    EXPECT_NE(run.out.find("Registry: 5 auto-start value(s) removed from C:\\WINDOWS\\system32\\CONFIG\\software; "
                           "the hive before is kept as software.scourix-backup"),
              std::string::npos)
        << run.out;
}

TEST_F(OfflineRegistry, ReportOnlyLeavesTheHiveAsItWas)
{
    RescueRun run = RunRescue({root});
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.out.find("Registry: 5 auto-start value(s) start an infected file; not removed (report only)"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(ReadFile(hive), original);
    EXPECT_FALSE(Exists(hive + ".scourix-backup"));
}

TEST_F(OfflineRegistry, DamagedHiveIsNeverWrittenAndSaysSo)
{
    struct Case {
        const char* label;
        std::vector<uint8_t> bytes;
        const char* why;
    };
    std::vector<uint8_t> truncated(original.begin(), original.begin() + 0x1800);
    std::vector<uint8_t> badSum = original;
    badSum[0x30] ^= 0xFF;
    std::vector<uint8_t> notHive(9000, 'x');
    std::vector<uint8_t> badBin = original;
    badBin[0x1000] = 'X';
    const Case cases[] = {
        {"truncated", truncated, "is truncated"},
        {"bad checksum", badSum, "cannot be read as a hive"},
        {"not a hive", notHive, "is not a registry hive"},
        {"spoiled bin", badBin, "cannot be read as a hive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(WriteFile(hive, c.bytes));
        ASSERT_TRUE(WriteFile(root + "/WINDOWS/system32/vexsvc.exe",
                              scx::test::BuildSample(1, scx::test::SampleKind::Exact, scx::test::SampleMachine::I386)));
        RescueRun run = RunRescue({"--remove", root});
        EXPECT_EQ(ReadFile(hive), c.bytes);
        EXPECT_FALSE(Exists(hive + ".scourix-backup"));
        EXPECT_NE(run.out.find(std::string("Registry: not cleaned: C:\\WINDOWS\\system32\\CONFIG\\software ") + c.why),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("it was left alone"), std::string::npos);
        // The file went, the values that start it may not have.
        EXPECT_EQ(run.code, 2);
    }
}

} // namespace
} // namespace scx::rescue_test
