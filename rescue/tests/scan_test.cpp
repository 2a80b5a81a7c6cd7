// The walk, the check, the report and the actions, seen from outside: a
// planted tree, the program's lines, statistics and exit code, and the files
// left behind.
#include "rescue/tests/hive_fixture.h"
#include "rescue/tests/rescue_fixture.h"

#include "cli/quarantine_format.h"
#include "tests/support/mail_samples.h"
#include "tests/support/sample_bytes.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace scx::rescue_test {
namespace {

using scx::test::BuildSample;
using scx::test::SampleKind;
using scx::test::SampleMachine;

const std::string kNonUtf8 = "caf\xE9.exe";

// The infected files of the planted tree, in walk order, with their records.
struct Planted {
    const char* path;       // below the root
    const char* shown;      // as the report shows it
    const char* name;
};
const Planted kInfected[] = {
    {"Program Files/App/TOOL.EXE", "C:\\Program Files\\App\\TOOL.EXE", "W32/Vexmor.A.VirTool"},
    {"WINDOWS/system32/vexsvc.exe", "C:\\WINDOWS\\system32\\vexsvc.exe", "W32/Vexmor.Bc.Trojan"},
    {"docs/caf\xE9.exe", "C:\\docs\\caf?.exe", "W32/Vexmor.Xb.Trojan"},
    {"docs/readonly.exe", "C:\\docs\\readonly.exe", "W32/Vexmor.N.Trojan"},
};

class PlantedTree : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        root = dir + "/root";
        MakeFolders(root + "/Program Files/App");
        MakeFolders(root + "/WINDOWS/system32/config");
        MakeFolders(root + "/WINDOWS/system32/drivers/etc");
        MakeFolders(root + "/docs");
        MakeFolders(root + "/locked");
        const auto i386 = SampleMachine::I386;
        ASSERT_TRUE(WriteFile(root + "/Program Files/App/TOOL.EXE", BuildSample(0, SampleKind::Exact, i386)));
        ASSERT_TRUE(WriteFile(root + "/WINDOWS/system32/vexsvc.exe", BuildSample(1, SampleKind::Exact, i386)));
        ASSERT_TRUE(WriteFile(root + "/docs/" + kNonUtf8, BuildSample(9, SampleKind::Exact, i386)));
        ASSERT_TRUE(WriteFile(root + "/docs/readonly.exe", BuildSample(3, SampleKind::Exact, i386)));
        chmod((root + "/docs/readonly.exe").c_str(), 0444);
        // Near misses: one byte longer, one pattern byte changed, patterns one
        // byte off, no PE signature, too many sections.
        ASSERT_TRUE(WriteFile(root + "/docs/near_longer.exe", BuildSample(1, SampleKind::LongerByOne, i386)));
        ASSERT_TRUE(WriteFile(root + "/docs/near_pattern.exe", BuildSample(1, SampleKind::PatternByteChanged, i386)));
        ASSERT_TRUE(WriteFile(root + "/docs/near_distance.exe", BuildSample(4, SampleKind::WrongDistance, i386)));
        ASSERT_TRUE(WriteFile(root + "/docs/near_nope.exe", BuildSample(5, SampleKind::NoPeSignature, i386)));
        ASSERT_TRUE(WriteFile(root + "/docs/near_sections.exe", BuildSample(6, SampleKind::TwentyOneSections, i386)));
        ASSERT_TRUE(WriteText(root + "/WINDOWS/system32/drivers/etc/hosts", "127.0.0.1 localhost\n"));
        ASSERT_TRUE(WriteMinimalHive(root + "/WINDOWS/system32/config/SOFTWARE"));
        // Huge and sparse: never read, one at a record's length read as it is.
        int fd = open((root + "/docs/huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_EQ(ftruncate(fd, 5ll << 30), 0);
        close(fd);
        fd = open((root + "/docs/sparse.exe").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_EQ(ftruncate(fd, 3666432), 0);
        close(fd);
        // Links are never followed: a loop, and a link to an infected file.
        ASSERT_EQ(symlink("..", (root + "/docs/loop").c_str()), 0);
        ASSERT_EQ(symlink("../WINDOWS/system32/vexsvc.exe", (root + "/docs/link.exe").c_str()), 0);
        // An unreadable folder with an infected file inside.
        ASSERT_TRUE(WriteFile(root + "/locked/hidden.exe", BuildSample(2, SampleKind::Exact, i386)));
        chmod((root + "/locked").c_str(), 0);
        before = Snapshot();
    }
    void TearDown() override
    {
        chmod((root + "/locked").c_str(), 0755);
        ScratchTest::TearDown();
    }

    std::map<std::string, std::vector<uint8_t>> Snapshot()
    {
        chmod((root + "/locked").c_str(), 0755);
        std::map<std::string, std::vector<uint8_t>> files;
        for (const std::string& f : ListTree(root)) {
            char target[256];
            ssize_t n = readlink((root + "/" + f).c_str(), target, sizeof target);
            if (n >= 0) // a link: what it names, never what it leads to
                files[f] = std::vector<uint8_t>(target, target + n);
            else
                files[f] = f == "docs/huge.bin" ? std::vector<uint8_t>() : ReadFile(root + "/" + f);
        }
        chmod((root + "/locked").c_str(), 0);
        return files;
    }

    std::vector<std::string> Expected(const char* outcome)
    {
        std::vector<std::string> lines;
        for (const Planted& p : kInfected)
            lines.push_back(std::string(p.shown) + "     " + p.name + " " + outcome);
        return lines;
    }

    std::string root;
    std::map<std::string, std::vector<uint8_t>> before;
};

// 13 regular files outside the unreadable folder (links are not files).
constexpr int kFilesScanned = 13;

TEST_F(PlantedTree, ReportOnlyListsEveryInfectedFileAndChangesNothing)
{
    RescueRun run = RunRescue({root}, true);
    EXPECT_EQ(ResultLines(run), Expected("not disinfected as per user's selection")) << run.out;
    EXPECT_EQ(StatisticsCount(run, "Total files scanned"), kFilesScanned);
    EXPECT_EQ(StatisticsCount(run, "Total files infected"), 4);
    EXPECT_EQ(StatisticsCount(run, "Total files removed"), 0);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.out.find("Exit code: 2 (found and not all removed)"), std::string::npos);
    EXPECT_NE(run.err.find("not checked: C:\\locked"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("files/s"), std::string::npos) << "no progress line off a terminal";
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(PlantedTree, RemoveDeletesExactlyTheInfectedFiles)
{
    RescueRun run = RunRescue({"--remove", root}, true);
    EXPECT_EQ(ResultLines(run), Expected("removed")) << run.out << run.err;
    EXPECT_EQ(StatisticsCount(run, "Total files removed"), 4);
    EXPECT_EQ(run.code, 1);
    auto expected = before;
    for (const Planted& p : kInfected)
        expected.erase(p.path);
    EXPECT_EQ(Snapshot(), expected);
}

TEST_F(PlantedTree, QuarantineKeepsEachCopyBeforeRemovingAndRestoresIt)
{
    const std::string q = dir + "/quarantine";
    RescueRun run = RunRescue({"--quarantine", q, root}, true);
    // A name that is not UTF-8 cannot be written to the manifest: that file
    // stays where it is.
    auto expected = Expected("removed");
    expected[2] = "C:\\docs\\caf?.exe     W32/Vexmor.Xb.Trojan Unable to remove";
    EXPECT_EQ(ResultLines(run), expected) << run.out << run.err;
    EXPECT_NE(run.err.find("Quarantine: C:\\docs\\caf?.exe was left in place"), std::string::npos) << run.err;
    EXPECT_EQ(run.code, 2);

    std::vector<uint8_t> manifest = ReadFile(q + "/manifest.tsv");
    std::string text(manifest.begin(), manifest.end());
    std::vector<std::string> shas;
    ManifestEntry entry;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        ASSERT_TRUE(ParseManifestLine(text.data() + start, end - start, entry));
        shas.push_back(entry.sha256);
        start = end + 2;
    }
    ASSERT_EQ(shas.size(), 3u) << text;
    EXPECT_TRUE(Exists(root + "/docs/" + kNonUtf8));

    for (const std::string& sha : shas) {
        RescueRun restore = RunRescue({"--restore", sha, "--quarantine", q, root});
        EXPECT_EQ(restore.code, 0) << restore.err;
    }
    auto now = Snapshot();
    for (const Planted& p : kInfected)
        EXPECT_EQ(now[p.path], before[p.path]) << p.path;
    // Restored once: a second restore is refused and replaces nothing.
    RescueRun again = RunRescue({"--restore", shas[0], "--quarantine", q, root});
    EXPECT_EQ(again.code, 5);
    EXPECT_NE(again.err.find("was restored before"), std::string::npos) << again.err;
}

TEST_F(PlantedTree, JsonAgreesWithTheTextReport)
{
    RescueRun text = RunRescue({root}, true);
    RescueRun json = RunRescue({"--json", root}, true);
    ASSERT_EQ(json.code, text.code);
    std::vector<std::string> findings;
    nlohmann::json summary;
    for (const std::string& line : json.lines) {
        nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(object.is_discarded()) << line;
        if (object["type"] == "finding") {
            findings.push_back(object["line"].get<std::string>());
            EXPECT_EQ(object["line"], object["path"].get<std::string>() + "     " +
                                          object["name"].get<std::string>() + " " +
                                          object["outcome"].get<std::string>());
        } else {
            summary = object;
        }
    }
    EXPECT_EQ(findings, ResultLines(text));
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["scanned"], StatisticsCount(text, "Total files scanned"));
    EXPECT_EQ(summary["infected"], StatisticsCount(text, "Total files infected"));
    EXPECT_EQ(summary["removed"], StatisticsCount(text, "Total files removed"));
    EXPECT_EQ(summary["exit_code"], text.code);
}

TEST_F(PlantedTree, DriveLetterIsTheOneGiven)
{
    RescueRun run = RunRescue({"--drive", "e:", root}, true);
    ASSERT_FALSE(ResultLines(run).empty());
    EXPECT_EQ(ResultLines(run)[0], "E:\\Program Files\\App\\TOOL.EXE     W32/Vexmor.A.VirTool not disinfected as per "
                                   "user's selection");
}

// On a terminal, standard error shows the progress line, and clears it.
TEST_F(PlantedTree, ProgressLineOnATerminalOnly)
{
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        GTEST_SKIP() << "no pseudo-terminal on this host";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(slave, 2);
        execl(SCX_RESCUE_PROGRAM, SCX_RESCUE_PROGRAM, root.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    close(slave);
    std::string report, terminal;
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, size_t(n));
    while ((n = read(master, buffer, sizeof buffer)) > 0) // EIO once the child is gone
        terminal.append(buffer, size_t(n));
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    close(master);
    EXPECT_NE(terminal.find(" files/s, C:\\"), std::string::npos) << terminal;
    EXPECT_NE(terminal.rfind("\r\033[K"), std::string::npos) << "cleared at the end";
    EXPECT_EQ(report.find("files/s"), std::string::npos);
    EXPECT_NE(report.find("Scanning statistics"), std::string::npos);
}

class MailHosts : public ScratchTest {};

// A Windows 9x installation: the hosts file in the Windows folder, no hive.
TEST_F(MailHosts, InfectedHostsFileIsReportedOrRemovedAndTheRegistryNoted)
{
    struct Case {
        const char* label;
        std::vector<std::string> options;
        const char* outcome;
        bool left;
    };
    const Case cases[] = {
        {"report only", {}, "Not Disinfected As Per User's Selection", true},
        {"remove", {"--remove"}, "removed", false},
        {"quarantine", {"--quarantine", dir + "/q"}, "removed", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string root = dir + "/" + c.label;
        MakeFolders(root + "/windows");
        const std::string hosts =
            scx::test::MailFileWith(3000, 200, std::string(scx::test::kMailPattern, scx::test::kMailPatternLength));
        ASSERT_TRUE(WriteText(root + "/windows/HOSTS", hosts));
        std::vector<std::string> args = c.options;
        args.push_back(root);
        RescueRun run = RunRescue(args);
        EXPECT_EQ(ResultLines(run), std::vector<std::string>{std::string("C:\\windows\\HOSTS     W32/Nyxem.Worm ") +
                                                             c.outcome})
            << run.out;
        EXPECT_NE(run.out.find("Registry: not cleaned (no NT registry hive"), std::string::npos) << run.out;
        EXPECT_EQ(Exists(root + "/windows/HOSTS"), c.left);
        EXPECT_EQ(run.code, 2);
        if (std::string(c.label) == "quarantine") {
            std::vector<uint8_t> manifest = ReadFile(dir + "/q/manifest.tsv");
            std::string text(manifest.begin(), manifest.end());
            ManifestEntry entry;
            ASSERT_TRUE(ParseManifestLine(text.data(), text.find("\r\n"), entry)) << text;
            EXPECT_STREQ(entry.name, "W32/Nyxem.Worm");
            EXPECT_STREQ(entry.path, "C:\\windows\\HOSTS");
        }
    }
}

TEST(CommandLine, AnswersAsDocumented)
{
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* text; // expected in stdout or stderr
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: scourix-rescue"},
        {{"--version"}, 0, "scourix-rescue 1.0.0"},
        {{}, 4, "ROOT is missing"},
        {{"a", "b"}, 4, "only one ROOT"},
        {{"--bogus", "x"}, 4, "unknown or incomplete option --bogus"},
        {{"--drive", "CC", "x"}, 4, "drive letter"},
        {{"--restore", "00", "x"}, 4, "--restore needs --quarantine"},
        {{"/nonexistent/scourix-root"}, 5, "cannot be opened as a folder"},
    };
    for (const Case& c : cases) {
        RescueRun run = RunRescue(c.args);
        EXPECT_EQ(run.code, c.code) << c.text;
        EXPECT_NE((run.out + run.err).find(c.text), std::string::npos) << run.out << run.err;
    }
}

} // namespace
} // namespace scx::rescue_test
