// The walk stays on ROOT's file system unless --cross-filesystems is given.
// The other file system is a tmpfs mounted on a folder of the tree in a
// private user and mount namespace, so no rights beyond the test's own are
// needed and nothing outside the child ever sees the mount.
#include "rescue/tests/rescue_fixture.h"
#include "rescue/tests/rescue_fixture.h"

#include "detect/detection.h"
#include "tests/support/sample_bytes.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace scx::rescue_test {
namespace {

using scx::test::BuildSample;
using scx::test::SampleKind;
using scx::test::SampleMachine;

// The child's own answer when it cannot make the namespace or the mount;
// scourix-rescue never ends with it.
constexpr int kNoNamespace = 97;
constexpr char kNoNamespaceMark[] = "no namespace: ";

bool WriteLine(const char* path, const std::string& text)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return ok;
}

// In the child: a user and mount namespace of its own (root there maps to
// whoever runs the test), a tmpfs on mountPoint holding bytes as fileName,
// then scourix-rescue with args. After the scan standard error says whether
// the file is still on the tmpfs, which goes with the namespace.
int ScanWithOtherFileSystem(const std::string& mountPoint, const std::string& fileName,
                            const std::vector<uint8_t>& bytes, const std::vector<std::string>& args)
{
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        fprintf(stderr, "%sunshare: %s\n", kNoNamespaceMark, strerror(errno));
        return kNoNamespace;
    }
    if (!WriteLine("/proc/self/setgroups", "deny") ||
        !WriteLine("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteLine("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        fprintf(stderr, "%sthe user namespace's maps cannot be written: %s\n", kNoNamespaceMark, strerror(errno));
        return kNoNamespace;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("scourix-test", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16m,mode=0755") != 0) {
        fprintf(stderr, "%smount: %s\n", kNoNamespaceMark, strerror(errno));
        return kNoNamespace;
    }
    const std::string planted = mountPoint + "/" + fileName;
    if (!WriteFile(planted, bytes)) {
        fprintf(stderr, "%s%s cannot be written on the tmpfs\n", kNoNamespaceMark, planted.c_str());
        return kNoNamespace;
    }
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(SCX_RESCUE_PROGRAM)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(SCX_RESCUE_PROGRAM, argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 126;
    fprintf(stderr, "tmpfs file after the scan: %s\n", Exists(planted) ? "there" : "gone");
    return WEXITSTATUS(status);
}

class OtherFileSystem : public ScratchTest {};

TEST_F(OtherFileSystem, EnteredOnlyWithCrossFilesystems)
{
    const std::vector<uint8_t> near = BuildSample(0, SampleKind::Exact, SampleMachine::I386);
    const std::vector<uint8_t> far = BuildSample(1, SampleKind::Exact, SampleMachine::I386);
    const std::string nearLine = std::string("C:\\docs\\near.exe     ") + DetectionTable[0].name + " ";
    const std::string farLine = std::string("C:\\mnt\\far.exe     ") + DetectionTable[1].name + " ";
    const std::string skipped = "scourix-rescue: not entered (another file system): C:\\mnt";
    struct Case {
        const char* label;
        std::vector<std::string> options;
        std::vector<std::string> lines;
        int scanned;
        bool skipNoticed;
        const char* farAfter;
        int code;
    };
    const char* const kept = "not disinfected as per user's selection";
    const Case cases[] = {
        // The folder is named on standard error and nothing in it is counted.
        {"stays on its own", {}, {nearLine + kept}, 1, true, "there", 2},
        {"stays on its own, removing", {"--remove"}, {nearLine + "removed"}, 1, true, "there", 1},
        {"crosses when asked", {"--cross-filesystems"}, {nearLine + kept, farLine + kept}, 2, false, "there", 2},
        {"crosses and removes", {"--cross-filesystems", "--remove"}, {nearLine + "removed", farLine + "removed"}, 2,
         false, "gone", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string root = dir + "/" + c.label;
        MakeFolders(root + "/docs");
        MakeFolders(root + "/mnt");
        ASSERT_TRUE(WriteFile(root + "/docs/near.exe", near));
        std::vector<std::string> args = c.options;
        args.push_back(root);
        RescueRun run = RunInChild([&] { return ScanWithOtherFileSystem(root + "/mnt", "far.exe", far, args); });
        if (run.code == kNoNamespace && run.err.find(kNoNamespaceMark) != std::string::npos)
            GTEST_SKIP() << "no private user and mount namespace with a tmpfs here: " << run.err;
        EXPECT_EQ(ResultLines(run), c.lines) << run.out << run.err;
        EXPECT_EQ(StatisticsCount(run, "Total files scanned"), c.scanned) << run.out;
        EXPECT_EQ(run.err.find(skipped) != std::string::npos, c.skipNoticed) << run.err;
        EXPECT_NE(run.err.find(std::string("tmpfs file after the scan: ") + c.farAfter), std::string::npos) << run.err;
        EXPECT_EQ(run.code, c.code) << run.err;
        // The mount went with the namespace: the folder below is empty again.
        EXPECT_EQ(ListTree(root + "/mnt"), std::vector<std::string>());
    }
}

} // namespace
} // namespace scx::rescue_test
