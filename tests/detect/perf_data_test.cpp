// Reading the process table out of performance data and the counter titles,
// and the name rules of the perf-data kill method. The buffers end at an
// inaccessible page, so a read past their end crashes the test.
#include "detect/perf_data.h"
#include "tests/support/perf_block.h"
#include "tests/support/guarded_buffer.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winperf.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

using namespace scx::test;

// The blocks built here and the parser use the layout the SDK publishes. A
// 64-bit build has the same one: its headers declare the title fields that
// are pointers in a 32-bit build as DWORDs, so the data looks alike to both.
static_assert(offsetof(PERF_DATA_BLOCK, HeaderLength) == 24, "block header length");
static_assert(sizeof(PERF_OBJECT_TYPE) == 64 && offsetof(PERF_OBJECT_TYPE, NumCounters) == 32 &&
                  offsetof(PERF_OBJECT_TYPE, NumInstances) == 40,
              "object type");
static_assert(sizeof(PERF_COUNTER_DEFINITION) == 40 && offsetof(PERF_COUNTER_DEFINITION, CounterOffset) == 36,
              "counter definition");
static_assert(sizeof(PERF_INSTANCE_DEFINITION) == 24 && offsetof(PERF_INSTANCE_DEFINITION, NameOffset) == 16,
              "instance definition");

namespace {

struct Expected {
    int32_t processId;
    std::string name;
};

struct TableCase {
    const char* name;
    std::function<std::vector<uint8_t>()> build;
    std::vector<Expected> expected;
};

std::vector<uint8_t> Plain(const std::vector<PerfTestInstance>& instances)
{
    return BuildPerfBlock(instances).bytes;
}

std::vector<PerfTestInstance> Many(int n)
{
    std::vector<PerfTestInstance> v;
    for (int i = 0; i < n; ++i)
        v.push_back({U16("p" + std::to_string(i)), uint32_t(1000 + i)});
    return v;
}

std::vector<Expected> ManyExpected(int n)
{
    std::vector<Expected> v;
    for (int i = 0; i < n; ++i)
        v.push_back({1000 + i, "p" + std::to_string(i)});
    return v;
}

const TableCase kTableCases[] = {
    {"IdleAndTotalStoredAsMinusTwo",
     [] { return Plain({{U16("Idle"), 0}, {U16("svchost"), 100}, {U16("svchost#1"), 101}, {U16("_Total"), 0}}); },
     {{-2, "Idle"}, {100, "svchost"}, {101, "svchost#1"}, {-2, "_Total"}}},
    {"NoInstancesGivesNoEntries",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}});
         b.Put32(b.object + 40, 0xFFFFFFFF); // PERF_NO_INSTANCES
         return b.bytes;
     },
     {}},
    {"MoreThan254InstancesFill254", [] { return Plain(Many(300)); }, ManyExpected(254)},
    {"ExactlySixteenCharactersKept", [] { return Plain({{U16("abcdefghijklmnop"), 7}}); },
     {{7, "abcdefghijklmnop"}}},
    {"SeventeenCharactersLeaveNameEmpty", [] { return Plain({{U16("abcdefghijklmnopq"), 7}, {U16("b"), 8}}); },
     {{7, ""}, {8, "b"}}},
    {"UnconvertibleNameIsUnknown", [] { return Plain({{u"caf\u00e9", 9}, {U16(std::string(300, 'x')), 10}}); },
     {{9, "unknown"}, {10, "unknown"}}},
    {"MissingSignatureGivesNoEntries",
     [] {
         std::vector<uint8_t> v = Plain({{U16("a"), 1}});
         v[0] = 'Q';
         return v;
     },
     {}},
    {"NoIdProcessCounterGivesNoEntries", [] { return BuildPerfBlock({{U16("a"), 1}}, 785).bytes; }, {}},
    {"CounterOffsetOutsideBufferStops",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}});
         b.Put32(b.object + 64 + 40 + 36, 0x7FFFFFF0);
         return b.bytes;
     },
     {}},
    {"CounterOffsetOutsideItsCounterBlockStops",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}, {U16("b"), 2}});
         b.Put32(b.object + 64 + 40 + 36, 24); // just past a 24-byte block
         return b.bytes;
     },
     {}},
    {"CounterBlockLengthPastEndStopsThere",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}, {U16("b"), 2}, {U16("c"), 3}});
         b.Put32(b.counterBlocks[1], 0xFFFFFFF0);
         return b.bytes;
     },
     {{1, "a"}}},
    {"InstanceLengthPastEndStopsThere",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}, {U16("b"), 2}});
         b.Put32(b.instances[1], 0x80000000);
         return b.bytes;
     },
     {{1, "a"}}},
    {"NameOffsetOutsideBufferIsUnknown",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}});
         b.Put32(b.instances[0] + 16, 0xFFFFFF00);
         return b.bytes;
     },
     {{1, "unknown"}}},
    {"NumInstancesBeyondDataStopsAtEnd",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}, {U16("b"), 2}});
         b.Put32(b.object + 40, 200);
         return b.bytes;
     },
     {{1, "a"}, {2, "b"}}},
    {"ObjectOutsideBufferGivesNoEntries",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}});
         b.Put32(24, 0xFFFFFFF0);
         return b.bytes;
     },
     {}},
    {"CountersBeyondBufferGiveNoEntries",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}});
         b.Put32(b.object + 8, 0x7FFFFFFF); // counter definitions start past the end
         b.Put32(b.object + 32, 0xFFFFFFFF);
         return b.bytes;
     },
     {}},
    {"CutInsideSecondInstanceKeepsFirst",
     [] {
         PerfBlock b = BuildPerfBlock({{U16("a"), 1}, {U16("bbbbbbbb"), 2}});
         b.bytes.resize(b.instances[1] + 30); // name starts, never ends
         return b.bytes;
     },
     {{1, "a"}}},
    {"EmptyBufferGivesNoEntries", [] { return std::vector<uint8_t>(); }, {}},
};

class PerfTableCase : public ::testing::TestWithParam<TableCase> {};

TEST_P(PerfTableCase, FillsTableWithinBuffer)
{
    const TableCase& c = GetParam();
    GuardedBuffer data(c.build());
    PerfProcessEntry table[kPerfTableSize + 1];
    memset(table, 0xA5, sizeof table); // sentinel, also past the table
    int n = ParsePerfProcessTable(data.data(), data.size(), kTestIdProcessIndex, PerfAsciiNameConverter, table);
    ASSERT_EQ(int(c.expected.size()), n);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(c.expected[i].processId, table[i].processId) << "entry " << i;
        EXPECT_EQ(c.expected[i].name, std::string(table[i].name)) << "entry " << i;
    }
    // Unfilled entries are zero, and nothing is written past the table.
    for (int i = n; i < kPerfTableSize; ++i)
        EXPECT_EQ(0, table[i].processId) << "entry " << i;
    const uint8_t* past = reinterpret_cast<const uint8_t*>(&table[kPerfTableSize]);
    for (size_t i = 0; i < sizeof(PerfProcessEntry); ++i)
        ASSERT_EQ(0xA5, past[i]);
}

INSTANTIATE_TEST_SUITE_P(Blocks, PerfTableCase, ::testing::ValuesIn(kTableCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every truncation of a valid block: never a read past the end, and the
// entries read are a prefix of the full table.
TEST(PerfTable, EveryTruncationStaysInsideBuffer)
{
    std::vector<uint8_t> full = Plain({{U16("Idle"), 0}, {U16("svchost"), 100}, {U16("abc"), 5}});
    for (size_t len = 0; len <= full.size(); ++len) {
        GuardedBuffer data(std::vector<uint8_t>(full.begin(), full.begin() + len));
        PerfProcessEntry table[kPerfTableSize];
        int n = ParsePerfProcessTable(data.data(), data.size(), kTestIdProcessIndex, PerfAsciiNameConverter, table);
        ASSERT_LE(n, 3) << len;
        if (n >= 2) {
            EXPECT_STREQ("svchost", table[1].name);
        }
        if (len == full.size()) {
            EXPECT_EQ(3, n);
        }
    }
}

struct TitlesCase {
    const char* name;
    std::vector<uint8_t> list;
    bool ok;
    const char* processIndex;
    uint32_t idProcessIndex;
};

// A literal with embedded NULs, without its own terminator.
template <size_t N>
std::vector<uint8_t> Lit(const char (&s)[N])
{
    return std::vector<uint8_t>(s, s + N - 1);
}

const TitlesCase kTitlesCases[] = {
    {"Standard", StandardCounterTitles(), true, "230", 784},
    {"CaseIgnored", BuildCounterTitles({{"230", "PROCESS"}, {"784", "id PROCESS"}}), true, "230", 784},
    {"LaterMatchReplaces",
     BuildCounterTitles({{"230", "Process"}, {"784", "ID Process"}, {"232", "process"}, {"786", "ID Process"}}), true,
     "232", 786},
    {"NoProcessTitle", BuildCounterTitles({{"784", "ID Process"}}), false, "", 784},
    {"NoIdProcessTitle", BuildCounterTitles({{"230", "Process"}}), false, "230", 0},
    {"IndexNotANumber", BuildCounterTitles({{"230", "Process"}, {"x7", "ID Process"}}), false, "230", 0},
    {"StopsAtEmptyString", Lit("230\0Process\0\0" "784\0ID Process\0"), false, "230", 0},
    {"UnterminatedTailIgnored", Lit("230\0Process\0" "784\0ID Process"), false, "230", 0},
    {"TitleFirstHasNoIndex", Lit("Process\0" "784\0ID Process\0\0"), false, "", 784},
    {"Empty", {}, false, "", 0},
};

class CounterTitlesCase : public ::testing::TestWithParam<TitlesCase> {};

TEST_P(CounterTitlesCase, FindsProcessAndIdProcessIndexes)
{
    const TitlesCase& c = GetParam();
    GuardedBuffer data(c.list);
    PerfCounterTitles t;
    EXPECT_EQ(c.ok, ParseCounterTitles(data.data(), data.size(), &t));
    EXPECT_EQ(std::string(c.processIndex), t.haveProcess ? std::string(t.processIndex) : std::string());
    if (c.idProcessIndex) {
        EXPECT_EQ(c.idProcessIndex, t.haveIdProcess ? t.idProcessIndex : 0u);
    } else {
        EXPECT_FALSE(t.haveIdProcess);
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, CounterTitlesCase, ::testing::ValuesIn(kTitlesCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct TargetCase {
    const char* name;
    const char* path;
    const char* target; // nullptr: no target
};

const TargetCase kTargetCases[] = {
    {"ExtensionCut", "C:\\x\\svc.exe", "svc"},
    {"UpperCaseExtension", "C:\\WIN\\VEXMOR.EXE", "VEXMOR"},
    {"NoBackslashWhole", "abcde.exe", "abcde"},
    {"LastFourCutWhateverTheyAre", "C:\\d\\ABCDEFG", "ABC"},
    {"FourCharactersTooShort", "a.ex", nullptr},
    {"FiveCharacters", "ab.ex", "a"},
    {"NothingLeftAfterBackslash", "C:\\x\\.exe", nullptr},
};

class PerfTargetCase : public ::testing::TestWithParam<TargetCase> {};

TEST_P(PerfTargetCase, TargetFromPath)
{
    const TargetCase& c = GetParam();
    char target[32];
    memset(target, 'Z', sizeof target);
    bool ok = PerfTargetFromPath(c.path, target, sizeof target);
    ASSERT_EQ(c.target != nullptr, ok);
    if (ok) {
        EXPECT_STREQ(c.target, target);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, PerfTargetCase, ::testing::ValuesIn(kTargetCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PerfTarget, TooLongForBufferIsRefused)
{
    char target[4];
    EXPECT_FALSE(PerfTargetFromPath("C:\\abcd.exe", target, sizeof target));
    EXPECT_TRUE(PerfTargetFromPath("C:\\abc.exe", target, sizeof target));
    EXPECT_STREQ("abc", target);
}

struct MatchCase {
    const char* name;
    const char* instance;
    const char* target;
    bool matches;
};

// Only the image itself and its further instances ("#n") match: a process
// whose name merely begins with the target is not ended.
const MatchCase kMatchCases[] = {
    {"SameName", "svc", "svc", true},
    {"CaseIgnored", "SVC", "svc", true},
    {"FurtherInstance", "svc#1", "svc", true},
    {"FurtherInstanceTwoDigits", "Svc#12", "svc", true},
    {"LongerNameSharingPrefix", "svchost", "svc", false},
    {"LongerNameSharingPrefixWithInstance", "svchost#1", "svc", false},
    {"HashWithoutNumber", "svc#", "svc", false},
    {"HashWithLetters", "svc#1a", "svc", false},
    {"ShorterName", "sv", "svc", false},
    {"EmptyName", "", "svc", false},
    {"EmptyTargetNeverMatches", "", "", false},
    {"UnknownName", "unknown", "svc", false},
};

class PerfMatchCase : public ::testing::TestWithParam<MatchCase> {};

TEST_P(PerfMatchCase, InstanceNameMatch)
{
    const MatchCase& c = GetParam();
    EXPECT_EQ(c.matches, PerfInstanceNameMatches(c.instance, c.target));
}

INSTANTIATE_TEST_SUITE_P(Names, PerfMatchCase, ::testing::ValuesIn(kMatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
