// One quarantine for both programs, tested with both real programs: what
// scourix-rescue keeps, the Windows console program (the x64 build's, under
// Wine) lists and restores, and what the console program keeps,
// scourix-rescue restores. The tree lies inside the x64 build's Wine prefix
// and is that prefix's drive E: (or the next free letter) for the test's
// length, so the same file has the same Windows path for both programs.
#include "rescue/tests/rescue_fixture.h"
#include "rescue/tests/rescue_fixture.h"

#include "cli/quarantine_format.h"
#include "detect/detection.h"
#include "tests/support/sample_bytes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace scx::rescue_test {
namespace {

constexpr int kRecord = 1;

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The manifest line the console program lists for sha, if any.
bool ListedEntry(const RescueRun& list, const std::string& sha, ManifestEntry& entry)
{
    for (const std::string& line : list.lines)
        if (ParseManifestLine(line.data(), line.size(), entry) && sha == entry.sha256)
            return true;
    return false;
}

bool HasLine(const RescueRun& run, const std::string& line)
{
    for (const std::string& l : run.lines)
        if (l == line)
            return true;
    return false;
}

class ProgramPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        char real[PATH_MAX];
        if (!realpath(SCX_X64_BUILD_DIR, real))
            GTEST_SKIP() << "no x64 build at " << SCX_X64_BUILD_DIR << ": the console program is not built "
                         << "(cmake --preset x64 && cmake --build --preset x64 --target scourix-cli)";
        const std::string build = real;
        cli = build + "/cli/scourix-cli64.exe";
        if (!FileExists(cli))
            GTEST_SKIP() << "the console program " << cli << " is not built "
                         << "(cmake --preset x64 && cmake --build --preset x64 --target scourix-cli)";
        prefix = build + "/wine/prefix";
        if (!FileExists(prefix + "/.scourix-ready"))
            GTEST_SKIP() << "the x64 build's Wine prefix is not made (tools/wine-prefix.sh " << build
                         << " setup, or run its suite first)";
        // A run that was killed leaves its drive behind, leading to a tree
        // that is gone with the prefix's scratch folder: it goes now.
        for (char letter = 'd'; letter < 'z'; ++letter) {
            const std::string link = prefix + "/dosdevices/" + letter + ":";
            char target[PATH_MAX];
            ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, size_t(n)).find("/drive_c/scratch/rescue-pair.") != std::string::npos)
                unlink(link.c_str());
        }
        for (char letter = 'e'; letter < 'z' && drive.empty(); ++letter) {
            struct stat st;
            const std::string link = prefix + "/dosdevices/" + letter + ":";
            if (lstat(link.c_str(), &st) != 0 && lstat((link + ":").c_str(), &st) != 0) {
                drive = std::string(1, char(letter - 'a' + 'A')) + ":";
                driveLink = link;
            }
        }
        ASSERT_FALSE(drive.empty()) << "every drive letter of the prefix is taken";
        const std::string name = "rescue-pair." + std::to_string(getpid());
        base = prefix + "/drive_c/scratch/" + name;
        windowsBase = "C:\\scratch\\" + name;
        RemoveTree(base);
        MakeFolders(base);
    }
    void TearDown() override
    {
        // Never left behind: the drive leads into this test's tree.
        if (!driveLink.empty())
            unlink(driveLink.c_str());
        if (!base.empty() && !HasFailure())
            RemoveTree(base);
    }

    // The prefix's drive letter leads to root (inside the prefix, as
    // tools/wine-run.sh demands of every drive).
    void MapDrive(const std::string& root)
    {
        unlink(driveLink.c_str());
        ASSERT_EQ(symlink(root.c_str(), driveLink.c_str()), 0) << driveLink;
    }

    RescueRun RunConsole(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {"/bin/bash", SCX_WINE_RUN, cli};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv);
    }

    std::string cli, prefix, drive, driveLink, base, windowsBase;
};

TEST_F(ProgramPair, EachRestoresWhatTheOtherKept)
{
    const std::vector<uint8_t> sample =
        scx::test::BuildSample(kRecord, scx::test::SampleKind::Exact, scx::test::SampleMachine::I386);
    const std::string sha = Sha256Of(sample);
    const std::string name = DetectionTable[kRecord].name;
    enum class Program { Rescue, Console };
    struct Case {
        const char* label;
        Program keeps;
        Program restores;
    };
    const Case cases[] = {
        {"rescue-keeps-console-restores", Program::Rescue, Program::Console},
        {"console-keeps-rescue-restores", Program::Console, Program::Rescue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string root = base + "/" + c.label + "/root";
        const std::string q = base + "/" + c.label + "/q";
        const std::string windowsQ = windowsBase + "\\" + c.label + "\\q";
        const std::string file = root + "/Program Files/App/tool.exe";
        const std::string windowsFile = drive + "\\Program Files\\App\\tool.exe";
        MakeFolders(root + "/Program Files/App");
        ASSERT_TRUE(WriteFile(file, sample));
        ASSERT_TRUE(WriteText(root + "/Program Files/App/readme.txt", "stays\n"));
        MapDrive(root);

        const std::string removedLine = windowsFile + "     " + name + " removed";
        if (c.keeps == Program::Rescue) {
            RescueRun keep = RunRescue({"--quarantine", q, "--remove", "--drive", drive, root});
            ASSERT_EQ(keep.code, 1) << keep.out << keep.err;
            EXPECT_EQ(ResultLines(keep), std::vector<std::string>{removedLine}) << keep.out;
        } else {
            RescueRun keep = RunConsole({"/F:" + drive + "\\", "/B:" + windowsQ});
            ASSERT_EQ(keep.code, 1) << keep.out << keep.err;
            EXPECT_TRUE(HasLine(keep, removedLine)) << keep.out;
        }
        EXPECT_FALSE(Exists(file));
        EXPECT_EQ(ReadFile(root + "/Program Files/App/readme.txt"), std::vector<uint8_t>({'s', 't', 'a', 'y', 's', '\n'}));

        // The console program lists the copy under the Windows path.
        RescueRun list = RunConsole({"/LIST:" + windowsQ});
        EXPECT_EQ(list.code, 0) << list.out << list.err;
        ManifestEntry entry;
        ASSERT_TRUE(ListedEntry(list, sha, entry)) << list.out << list.err;
        EXPECT_STREQ(entry.path, windowsFile.c_str());
        EXPECT_EQ(entry.name, name);
        EXPECT_EQ(entry.size, sample.size());
        EXPECT_STREQ(entry.restored, "");

        if (c.restores == Program::Console) {
            RescueRun restore = RunConsole({"/B:" + windowsQ, "/RESTORE:" + sha});
            EXPECT_EQ(restore.code, 0) << restore.out << restore.err;
        } else {
            RescueRun restore = RunRescue({"--restore", sha, "--quarantine", q, "--drive", drive, root});
            EXPECT_EQ(restore.code, 0) << restore.out << restore.err;
            EXPECT_NE((restore.out + restore.err).find("restored " + windowsFile), std::string::npos)
                << restore.out << restore.err;
        }
        EXPECT_EQ(ReadFile(file), sample) << "the exact bytes are back at " << windowsFile;

        // Either program sees the line marked, whichever marked it: the
        // console program lists it as restored, scourix-rescue will not
        // restore it twice.
        RescueRun listed = RunConsole({"/LIST:" + windowsQ});
        ASSERT_TRUE(ListedEntry(listed, sha, entry)) << listed.out << listed.err;
        EXPECT_STRNE(entry.restored, "") << listed.out;
        RescueRun again = RunRescue({"--restore", sha, "--quarantine", q, "--drive", drive, root});
        EXPECT_EQ(again.code, 5);
        EXPECT_NE(again.err.find("was restored before"), std::string::npos) << again.err;
        EXPECT_EQ(ReadFile(file), sample);
    }
}

} // namespace
} // namespace scx::rescue_test
