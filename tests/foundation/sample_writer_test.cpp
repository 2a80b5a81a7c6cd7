// The fixture samples have the shape the detection records describe, read
// back with a PE reading of the test's own, and they run under Wine.
#include "engine/detection.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>
#include <windows.h>

#include <cstring>

using namespace scx::test;

namespace {

uint32_t Read32(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v = 0;
    memcpy(&v, &b[at], 4);
    return v;
}
uint16_t Read16(const std::vector<uint8_t>& b, size_t at)
{
    uint16_t v = 0;
    memcpy(&v, &b[at], 2);
    return v;
}

struct Layout {
    uint32_t peOffset, sections, entry, sectionVa, sectionRaw;
};

Layout Parse(const std::vector<uint8_t>& b)
{
    Layout l{};
    l.peOffset = Read32(b, 0x3C);
    l.sections = Read16(b, l.peOffset + 6);
    l.entry = Read32(b, l.peOffset + 24 + 16);
    uint32_t sh = l.peOffset + 24 + Read16(b, l.peOffset + 20);
    l.sectionVa = Read32(b, sh + 12);
    l.sectionRaw = Read32(b, sh + 20);
    return l;
}

// File offset of an RVA in the samples' single section.
size_t FileOffset(const Layout& l, int64_t rva) { return size_t(rva - l.sectionVa + l.sectionRaw); }

bool PatternAt(const std::vector<uint8_t>& b, size_t at, const unsigned char* pattern)
{
    return at + kPatternLength <= b.size() && memcmp(&b[at], pattern, kPatternLength) == 0;
}

bool ListedByToolhelp(DWORD pid)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 e = {};
    e.dwSize = sizeof e;
    bool found = false;
    for (BOOL ok = Process32First(snap, &e); ok && !found; ok = Process32Next(snap, &e))
        found = e.th32ProcessID == pid;
    CloseHandle(snap);
    return found;
}

} // namespace

class SampleShape : public ::testing::TestWithParam<int> {};

TEST_P(SampleShape, CarriesBothPatternsAtTheRecordsDistancesAndLength)
{
    const DetectionRecord& r = DetectionTable[GetParam()];
    std::vector<uint8_t> b = BuildSample(GetParam());
    ASSERT_EQ(size_t(r.size), b.size());
    ASSERT_EQ('M', b[0]);
    Layout l = Parse(b);
    ASSERT_EQ(0, memcmp(&b[l.peOffset], "PE\0\0", 4));
    EXPECT_EQ(1u, l.sections);
    EXPECT_TRUE(PatternAt(b, FileOffset(l, int64_t(l.entry) + r.offset1), r.pattern1));
    EXPECT_TRUE(PatternAt(b, FileOffset(l, int64_t(l.entry) + r.offset2), r.pattern2));
}

TEST_P(SampleShape, NearMissesDifferInExactlyTheIntendedWay)
{
    const int rec = GetParam();
    const DetectionRecord& r = DetectionTable[rec];
    const std::vector<uint8_t> exact = BuildSample(rec);
    const Layout l = Parse(exact);
    const size_t p1 = FileOffset(l, int64_t(l.entry) + r.offset1);
    const size_t p2 = FileOffset(l, int64_t(l.entry) + r.offset2);

    EXPECT_EQ(exact.size() + 1, BuildSample(rec, SampleKind::LongerByOne).size());
    EXPECT_EQ(exact.size() - 1, BuildSample(rec, SampleKind::ShorterByOne).size());

    std::vector<uint8_t> changed = BuildSample(rec, SampleKind::PatternByteChanged);
    ASSERT_EQ(exact.size(), changed.size());
    EXPECT_FALSE(PatternAt(changed, p1, r.pattern1));
    size_t differing = 0;
    for (size_t i = 0; i < exact.size(); ++i)
        differing += exact[i] != changed[i];
    EXPECT_EQ(1u, differing);

    std::vector<uint8_t> noPe = BuildSample(rec, SampleKind::NoPeSignature);
    EXPECT_NE(0, memcmp(&noPe[l.peOffset], "PE\0\0", 4));

    EXPECT_EQ(21u, Parse(BuildSample(rec, SampleKind::TwentyOneSections)).sections);

    std::vector<uint8_t> moved = BuildSample(rec, SampleKind::WrongDistance);
    EXPECT_EQ(exact.size(), moved.size());
    EXPECT_TRUE(PatternAt(moved, p1 + 1, r.pattern1));
    EXPECT_TRUE(PatternAt(moved, p2 + 1, r.pattern2));
}

TEST_P(SampleShape, RunsUntilKilledAndKeepsItsFileLocked)
{
    std::string dir = MakeScratchSubdir("run");
    std::string path = dir + "\\sample" + std::to_string(GetParam()) + ".exe";
    ASSERT_TRUE(WriteSample(path, GetParam()));
    {
        ProcessGuard p = StartProgram(path);
        ASSERT_TRUE(p.valid()) << GetLastError();
        Sleep(200);
        ASSERT_TRUE(p.IsRunning());
        EXPECT_TRUE(ListedByToolhelp(p.pid()));
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    }
    EXPECT_TRUE(DeleteFileA(path.c_str())) << GetLastError();
    RemoveTree(dir);
}

INSTANTIATE_TEST_SUITE_P(Records, SampleShape, ::testing::Range(0, kDetectionRecordCount));

TEST(CleanProgram, RunsAndCarriesNoRecordsPatterns)
{
    std::vector<uint8_t> b = BuildCleanProgram(8192);
    for (int rec = 0; rec < kDetectionRecordCount; ++rec) {
        const DetectionRecord& r = DetectionTable[rec];
        for (size_t at = 0; at + kPatternLength <= b.size(); ++at)
            ASSERT_FALSE(PatternAt(b, at, r.pattern1) || PatternAt(b, at, r.pattern2));
    }
    std::string dir = MakeScratchSubdir("clean");
    std::string path = dir + "\\clean.exe";
    ASSERT_TRUE(WriteBytes(path, b));
    ProcessGuard p = StartProgram(path);
    ASSERT_TRUE(p.valid());
    Sleep(200);
    EXPECT_TRUE(p.IsRunning());
    p.Stop();
    RemoveTree(dir);
}
