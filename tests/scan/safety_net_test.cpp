// A whole scan of every fixed drive while a folder on C: holds each record's
// sample next to its clean look-alikes: the samples go, and every look-alike
// is still there afterwards, byte for byte.
#include "detect/text.h"
#include "tests/scan/engine_fixture.h"

#include <algorithm>
#include <cstdio>

using namespace scx::test;

namespace {

struct LookAlike {
    const char* name;
    SampleKind kind;
};

const LookAlike kLookAlikes[] = {
    {"longer", SampleKind::LongerByOne},
    {"shorter", SampleKind::ShorterByOne},
    {"bytechanged", SampleKind::PatternByteChanged},
    {"wrongdistance", SampleKind::WrongDistance},
    {"nopesig", SampleKind::NoPeSignature},
    {"sections21", SampleKind::TwentyOneSections},
};

} // namespace

class SafetyNet : public EngineTest {};

TEST_F(SafetyNet, WholeScanRemovesSamplesAndLeavesEveryLookAlikeByteForByte)
{
    struct Kept {
        std::string path;
        std::vector<uint8_t> bytes;
    };
    std::vector<Kept> kept;
    std::vector<std::string> samples;
    for (int r = 0; r < kDetectionRecordCount; ++r) {
        const std::string folder = dir_ + "\\rec" + std::to_string(r);
        ASSERT_TRUE(MakeDirs(folder));
        // Same base name as the sample, so a match by name alone would show.
        for (const LookAlike& l : kLookAlikes) {
            Kept k{folder + "\\" + l.name + "\\prog.exe", BuildSample(r, l.kind)};
            ASSERT_TRUE(MakeDirs(folder + "\\" + l.name));
            ASSERT_TRUE(WriteBytes(k.path, k.bytes)) << k.path;
            kept.push_back(std::move(k));
        }
        samples.push_back(folder + "\\prog.exe");
        ASSERT_TRUE(WriteSample(samples.back(), r));
    }

    CopyText(ScanState.scanTarget, sizeof ScanState.scanTarget, "!:");
    EXPECT_EQ(kScanFinished, RunScan(frontEnd()));

    for (const std::string& s : samples) {
        EXPECT_FALSE(FileExists(s)) << s;
        EXPECT_NE(lines().end(), std::find_if(lines().begin(), lines().end(), [&](const std::string& line) {
                      return line.compare(0, s.size() + 5, s + "     ") == 0 && line.size() > 8 &&
                             line.compare(line.size() - 8, 8, " removed") == 0;
                  })) << s;
    }
    EXPECT_EQ(kDetectionRecordCount, ScanState.filesInfected);
    EXPECT_EQ(kDetectionRecordCount, ScanState.filesRemoved);
    for (const Kept& k : kept)
        EXPECT_EQ(k.bytes, ReadBytes(k.path)) << k.path << " changed or went";
    printf("safety net: %zu look-alikes intact, %zu samples removed, %d files checked\n", kept.size(),
           samples.size(), ScanState.filesScanned);
}
