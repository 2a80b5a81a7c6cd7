// The fixture samples have the shape the detection records describe, read
// back with a PE reading of the test's own, and they run under Wine.
#include "detect/detection.h"
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
    uint32_t peOffset, machine, magic, optionalSize, sections, entry, sectionVa, sectionRaw;
};

Layout Parse(const std::vector<uint8_t>& b)
{
    Layout l{};
    l.peOffset = Read32(b, 0x3C);
    l.machine = Read16(b, l.peOffset + 4);
    l.sections = Read16(b, l.peOffset + 6);
    l.optionalSize = Read16(b, l.peOffset + 20);
    l.magic = Read16(b, l.peOffset + 24);
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

struct MachineCase {
    const char* name;
    SampleMachine machine;
    uint16_t fileMachine;
    uint16_t magic;
};

const MachineCase kMachines[] = {
    {"PE32", SampleMachine::I386, 0x014C, 0x010B},
    {"PE32plus", SampleMachine::Amd64, 0x8664, 0x020B},
};

// The check reads the section table 248 bytes after the PE signature.
constexpr uint32_t kCheckedSectionTable = 248;

} // namespace

class SampleShape : public ::testing::TestWithParam<int> {};

class SampleLayout : public ::testing::TestWithParam<std::tuple<int, MachineCase>> {};

TEST_P(SampleLayout, CarriesBothPatternsAtTheRecordsDistancesAndLength)
{
    const auto [rec, m] = GetParam();
    const DetectionRecord& r = DetectionTable[rec];
    std::vector<uint8_t> b = BuildSample(rec, SampleKind::Exact, m.machine);
    ASSERT_EQ(size_t(r.size), b.size());
    ASSERT_EQ('M', b[0]);
    Layout l = Parse(b);
    ASSERT_EQ(0, memcmp(&b[l.peOffset], "PE\0\0", 4));
    EXPECT_EQ(m.fileMachine, l.machine);
    EXPECT_EQ(m.magic, l.magic);
    // The real section table lies where the check reads it, whatever the machine.
    EXPECT_EQ(kCheckedSectionTable, 24 + l.optionalSize);
    EXPECT_EQ(0, memcmp(&b[l.peOffset + kCheckedSectionTable], ".text", 6));
    EXPECT_EQ(1u, l.sections);
    EXPECT_TRUE(PatternAt(b, FileOffset(l, int64_t(l.entry) + r.offset1), r.pattern1));
    EXPECT_TRUE(PatternAt(b, FileOffset(l, int64_t(l.entry) + r.offset2), r.pattern2));
}

TEST_P(SampleLayout, NearMissesDifferInExactlyTheIntendedWay)
{
    const auto [rec, m] = GetParam();
    const SampleMachine machine = m.machine;
    const DetectionRecord& r = DetectionTable[rec];
    const std::vector<uint8_t> exact = BuildSample(rec, SampleKind::Exact, machine);
    const Layout l = Parse(exact);
    const size_t p1 = FileOffset(l, int64_t(l.entry) + r.offset1);
    const size_t p2 = FileOffset(l, int64_t(l.entry) + r.offset2);

    EXPECT_EQ(exact.size() + 1, BuildSample(rec, SampleKind::LongerByOne, machine).size());
    EXPECT_EQ(exact.size() - 1, BuildSample(rec, SampleKind::ShorterByOne, machine).size());

    std::vector<uint8_t> changed = BuildSample(rec, SampleKind::PatternByteChanged, machine);
    ASSERT_EQ(exact.size(), changed.size());
    EXPECT_FALSE(PatternAt(changed, p1, r.pattern1));
    size_t differing = 0;
    for (size_t i = 0; i < exact.size(); ++i)
        differing += exact[i] != changed[i];
    EXPECT_EQ(1u, differing);

    std::vector<uint8_t> noPe = BuildSample(rec, SampleKind::NoPeSignature, machine);
    EXPECT_NE(0, memcmp(&noPe[l.peOffset], "PE\0\0", 4));

    EXPECT_EQ(21u, Parse(BuildSample(rec, SampleKind::TwentyOneSections, machine)).sections);

    std::vector<uint8_t> moved = BuildSample(rec, SampleKind::WrongDistance, machine);
    EXPECT_EQ(exact.size(), moved.size());
    EXPECT_TRUE(PatternAt(moved, p1 + 1, r.pattern1));
    EXPECT_TRUE(PatternAt(moved, p2 + 1, r.pattern2));
}

INSTANTIATE_TEST_SUITE_P(Records, SampleLayout,
                         ::testing::Combine(::testing::Range(0, kDetectionRecordCount),
                                            ::testing::ValuesIn(kMachines)),
                         [](const auto& info) {
                             return "R" + std::to_string(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

// A sample is written for the machine the test program itself runs as, since
// that is the one the host is known to run.
TEST_P(SampleShape, RunsUntilKilledAndKeepsItsFileLocked)
{
    const auto* self = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(self);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(self + dos->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, Parse(BuildSample(GetParam())).machine);

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
