// One quarantine format for both programs: copies the console program makes
// (written here with the same format functions it uses) restore with
// scourix-rescue, and scourix-rescue's copies read back with those functions.
#include "rescue/tests/rescue_fixture.h"

#include "cli/quarantine_format.h"
#include "tests/support/sample_bytes.h"

#include <cstring>
#include <iostream>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace scx::rescue_test {
namespace {

// What the console program's /B leaves for one file.
void KeepAsTheConsoleDoes(const std::string& folder, const std::vector<uint8_t>& bytes, const char* windowsPath)
{
    MakeFolders(folder);
    ManifestEntry entry = {};
    strcpy(entry.time, "2026-12-10T07:02:11Z");
    strcpy(entry.sha256, Sha256Of(bytes).c_str());
    strcpy(entry.name, "W32/Vexmor.Bc.Trojan");
    strcpy(entry.path, windowsPath);
    entry.size = bytes.size();
    char line[kManifestLineChars + 64];
    ASSERT_TRUE(FormatManifestLine(entry, line, sizeof line));
    ASSERT_TRUE(WriteText(folder + "/manifest.tsv", line));
    std::vector<uint8_t> copy(kQuarantineMagic, kQuarantineMagic + sizeof kQuarantineMagic);
    std::vector<uint8_t> body = bytes;
    TransformQuarantineBytes(body.data(), body.size(), 0);
    copy.insert(copy.end(), body.begin(), body.end());
    ASSERT_TRUE(WriteFile(folder + "/" + entry.sha256 + ".vxq", copy));
}

class SharedQuarantine : public ScratchTest {};

TEST_F(SharedQuarantine, ConsoleCopyRestoresBelowTheRootWhateverTheCase)
{
    const std::vector<uint8_t> sample =
        scx::test::BuildSample(1, scx::test::SampleKind::Exact, scx::test::SampleMachine::I386);
    const std::string q = dir + "/q", root = dir + "/root";
    MakeFolders(root + "/windows/SYSTEM32");
    KeepAsTheConsoleDoes(q, sample, "C:\\WINDOWS\\system32\\vexsvc.exe");

    RescueRun run = RunRescue({"--restore", Sha256Of(sample), "--quarantine", q, root});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(ReadFile(root + "/windows/SYSTEM32/vexsvc.exe"), sample);
    // The line is marked as the console program marks it.
    std::vector<uint8_t> manifest = ReadFile(q + "/manifest.tsv");
    ManifestEntry entry;
    std::string text(manifest.begin(), manifest.end());
    ASSERT_TRUE(ParseManifestLine(text.data(), text.find("\r\n"), entry)) << text;
    EXPECT_NE(entry.restored[0], '\0');
}

TEST_F(SharedQuarantine, RestoreRefusesWhatItMustNotDo)
{
    const std::vector<uint8_t> sample =
        scx::test::BuildSample(1, scx::test::SampleKind::Exact, scx::test::SampleMachine::I386);
    const std::string sha = Sha256Of(sample);
    struct Case {
        const char* label;
        const char* path;
        bool taken;          // a file stands at the original path
        bool damageCopy;
        const char* why;
    };
    const Case cases[] = {
        {"path taken", "C:\\data\\vexsvc.exe", true, false, "exists; nothing was replaced"},
        {"other drive", "D:\\data\\vexsvc.exe", false, false, "is not on drive C:"},
        {"folder missing", "C:\\nowhere\\vexsvc.exe", false, false, "does not exist below"},
        {"damaged copy", "C:\\data\\vexsvc.exe", false, true, "is damaged; nothing was restored"},
        {"leaves the root", "C:\\..\\escape.exe", false, false, "does not exist below"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string base = dir + "/" + c.label;
        const std::string q = base + "/q", root = base + "/root";
        MakeFolders(root + "/data");
        KeepAsTheConsoleDoes(q, sample, c.path);
        if (c.taken) {
            ASSERT_TRUE(WriteText(root + "/data/vexsvc.exe", "mine"));
        }
        if (c.damageCopy) {
            std::vector<uint8_t> copy = ReadFile(q + "/" + sha + ".vxq");
            copy[100] ^= 1;
            ASSERT_TRUE(WriteFile(q + "/" + sha + ".vxq", copy));
        }
        const auto before = ListTree(base);
        RescueRun run = RunRescue({"--restore", sha, "--quarantine", q, root});
        EXPECT_EQ(run.code, 5);
        EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
        EXPECT_EQ(ListTree(base), before);
        if (c.taken) {
            EXPECT_EQ(ReadFile(root + "/data/vexsvc.exe"), std::vector<uint8_t>({'m', 'i', 'n', 'e'}));
        }
    }
}

TEST_F(SharedQuarantine, RescueCopyReadsBackWithTheConsoleFormat)
{
    const std::vector<uint8_t> sample =
        scx::test::BuildSample(7, scx::test::SampleKind::Exact, scx::test::SampleMachine::I386);
    const std::string q = dir + "/q", root = dir + "/root";
    MakeFolders(root + "/Users/Ana María");
    ASSERT_TRUE(WriteFile(root + "/Users/Ana María/tz.exe", sample));
    RescueRun run = RunRescue({"--quarantine", q, "--drive", "D:", root});
    ASSERT_EQ(run.code, 1) << run.out << run.err;

    std::vector<uint8_t> manifest = ReadFile(q + "/manifest.tsv");
    std::string text(manifest.begin(), manifest.end());
    ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
    ManifestEntry entry;
    ASSERT_TRUE(ParseManifestLine(text.data(), text.size() - 2, entry)) << text;
    EXPECT_STREQ(entry.path, "D:\\Users\\Ana María\\tz.exe");
    EXPECT_STREQ(entry.name, "W32/Vexmor.Tz.Trojan");
    EXPECT_EQ(entry.size, sample.size());
    EXPECT_EQ(entry.sha256, Sha256Of(sample));

    std::vector<uint8_t> copy = ReadFile(q + "/" + entry.sha256 + ".vxq");
    ASSERT_EQ(copy.size(), sample.size() + sizeof kQuarantineMagic);
    EXPECT_EQ(memcmp(copy.data(), kQuarantineMagic, sizeof kQuarantineMagic), 0);
    std::vector<uint8_t> body(copy.begin() + sizeof kQuarantineMagic, copy.end());
    TransformQuarantineBytes(body.data(), body.size(), 0);
    EXPECT_EQ(body, sample);
}

// A folder someone else made, or may add to, decides nothing: a root run
// would otherwise write planted bytes wherever a planted line says.
TEST_F(SharedQuarantine, FolderOthersControlIsNeitherFilledNorRestoredFrom)
{
    const std::vector<uint8_t> sample =
        scx::test::BuildSample(1, scx::test::SampleKind::Exact, scx::test::SampleMachine::I386);
    const std::string sha = Sha256Of(sample);
    struct Case {
        const char* label;
        mode_t mode;
        uid_t owner; // 0: this user
        const char* why;
    };
    const Case cases[] = {
        {"others may write", 0777, 0, "others may write to the quarantine folder"},
        {"others may write, sticky", 01777, 0, "others may write to the quarantine folder"},
        {"another user's", 0755, 4242, "the quarantine folder belongs to another user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string base = dir + "/" + c.label;
        const std::string q = base + "/q", root = base + "/root";
        MakeFolders(root + "/data");
        KeepAsTheConsoleDoes(q, sample, "C:\\data\\vexsvc.exe");
        ASSERT_EQ(chmod(q.c_str(), c.mode), 0);
        if (c.owner != 0 && chown(q.c_str(), c.owner, gid_t(-1)) != 0) {
            // A user namespace maps one user only; only a real root can hand a folder on.
            std::cout << "[ SKIPPED  ] " << c.label << ": no folder can be given to another user here\n";
            continue;
        }

        RescueRun restore = RunRescue({"--restore", sha, "--quarantine", q, root});
        EXPECT_EQ(restore.code, 5);
        EXPECT_NE(restore.err.find(c.why), std::string::npos) << restore.err;
        EXPECT_FALSE(Exists(root + "/data/vexsvc.exe"));

        // Nothing is kept there, so nothing is removed.
        ASSERT_TRUE(WriteFile(root + "/data/tz.exe", sample));
        const auto before = ListTree(q);
        RescueRun scan = RunRescue({"--quarantine", q, "--remove", root});
        EXPECT_NE(scan.err.find(c.why), std::string::npos) << scan.err;
        EXPECT_EQ(ReadFile(root + "/data/tz.exe"), sample);
        EXPECT_EQ(ListTree(q), before);
    }
}

// Runs take turns on one folder, as the console program's runs do: a restore
// waits while another run holds the manifest, and gives up after a while
// without touching anything.
TEST_F(SharedQuarantine, OneRunAtATimeRewritesTheManifest)
{
    const std::vector<uint8_t> sample =
        scx::test::BuildSample(1, scx::test::SampleKind::Exact, scx::test::SampleMachine::I386);
    const std::string q = dir + "/q", root = dir + "/root";
    MakeFolders(root + "/data");
    KeepAsTheConsoleDoes(q, sample, "C:\\data\\vexsvc.exe");
    const std::vector<uint8_t> manifest = ReadFile(q + "/manifest.tsv");

    int held = open((q + "/manifest.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    RescueRun refused = RunRescue({"--restore", Sha256Of(sample), "--quarantine", q, root});
    EXPECT_EQ(refused.code, 5);
    EXPECT_NE(refused.err.find("the quarantine is in use by another run"), std::string::npos) << refused.err;
    EXPECT_FALSE(Exists(root + "/data/vexsvc.exe"));
    EXPECT_EQ(ReadFile(q + "/manifest.tsv"), manifest);

    std::thread other([held] {
        usleep(500 * 1000);
        close(held);
    });
    RescueRun waited = RunRescue({"--restore", Sha256Of(sample), "--quarantine", q, root});
    other.join();
    EXPECT_EQ(waited.code, 0) << waited.err;
    EXPECT_EQ(ReadFile(root + "/data/vexsvc.exe"), sample);
    EXPECT_FALSE(Exists(q + "/manifest.lock")) << "the lock outlived its run";
}

} // namespace
} // namespace scx::rescue_test
