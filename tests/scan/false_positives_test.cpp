// A whole scan of clean drives finds nothing: every PE file that Wine
// installs, mounted read-only and mapped as a drive by false_positives.sh,
// and the whole C: drive of the prefix's copy. The script checks afterwards
// that no file changed.
#include "detect/text.h"
#include "tests/scan/engine_fixture.h"

#include <cstdio>
#include <cstdlib>

using namespace scx::test;

namespace {

bool MentionsDetection(const std::string& line)
{
    for (const char* word : {"removed", "Unable", "renamed", "Rename failed", "disinfected", "Vexmor", "Nyxem"})
        if (line.find(word) != std::string::npos && line.find("Total files removed") == std::string::npos)
            return true;
    return false;
}

} // namespace

class CleanDrives : public EngineTest {};

TEST_F(CleanDrives, WholeScanDetectsNothingAndChangesNothing)
{
    const char* drive = getenv("SCX_CLEAN_DRIVE"); // e.g. "P:"; set by the script
    if (!drive || !*drive)
        GTEST_SKIP() << "run through tests/scan/false_positives.sh";
    const std::string root = std::string(drive) + "\\";
    ASSERT_EQ(UINT(DRIVE_FIXED), GetDriveTypeA(root.c_str())) << root;

    CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, "!:");
    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    EXPECT_EQ(0, ScanState.filesInfected);
    EXPECT_EQ(0, ScanState.filesRemoved);
    EXPECT_EQ(0, ScanState.rebootNeeded);
    for (const std::string& line : lines())
        EXPECT_FALSE(MentionsDetection(line)) << line;
    EXPECT_EQ("Scanning completed", statuses().back());
    bool sawClean = false, sawC = false;
    for (const std::string& s : statuses()) {
        sawClean = sawClean || s.compare(0, root.size(), root) == 0;
        sawC = sawC || s.compare(0, 3, "C:\\") == 0;
    }
    EXPECT_TRUE(sawClean) << "the clean drive was not walked";
    EXPECT_TRUE(sawC);
    printf("clean scan: %d files checked on every fixed drive\n", ScanState.filesScanned);
}
