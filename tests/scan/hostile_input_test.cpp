// Hostile input under Wine: the engine's fixed buffers at their limit, one
// past it and far past it, with the bytes around them watched; and files that
// vanish, are swapped for a folder or locked without sharing between listing
// and checking, or lie in a tree far too deep for a path. Each time the
// neighbouring work must still be done.
#include "detect/text.h"
#include "tests/scan/engine_fixture.h"

#include <algorithm>
#include <cstring>
#include <functional>

using namespace scx::test;

namespace {

constexpr int kRecord = 1; // 8425 bytes: quick to write

// The bytes that follow a buffer, up to the next of the engine's own buffers
// (which may be written legitimately), recorded before a write.
class Neighbours {
public:
    Neighbours(const void* buffer, size_t size) : at_(static_cast<const unsigned char*>(buffer) + size)
    {
        size_t watched = kMaxWatched;
        const void* engineBuffers[] = {ResultLine, StatusText, &ScanState, &ActionMode};
        for (const void* other : engineBuffers) {
            const auto* o = static_cast<const unsigned char*>(other);
            if (o >= at_ && size_t(o - at_) < watched)
                watched = size_t(o - at_);
        }
        before_.assign(at_, at_ + watched);
    }
    bool Unchanged() const { return memcmp(at_, before_.data(), before_.size()) == 0; }

private:
    static constexpr size_t kMaxWatched = 64;
    const unsigned char* at_;
    std::vector<unsigned char> before_;
};

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::wstring Long(const std::string& path) { return L"\\\\?\\" + std::wstring(path.begin(), path.end()); }

bool WriteLong(const std::string& path, const std::vector<uint8_t>& bytes)
{
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

} // namespace

// --- Reports at and past the size of their buffers -------------------------

struct ReportCase {
    const char* name;
    bool result;   // ResultLine through ReportResultLine, else StatusText
    size_t length; // characters offered
};

class BoundedReport : public EngineTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(BoundedReport, IsCutToTheBufferAndTouchesNothingBeyond)
{
    const ReportCase& c = GetParam();
    const std::string text(c.length, 'x');
    char* buffer = c.result ? ResultLine : StatusText;
    const size_t size = c.result ? sizeof ResultLine : sizeof StatusText;
    const ScanStateData stateBefore = ScanState;
    const int actionBefore = ActionMode;
    Neighbours around(buffer, size);

    if (c.result)
        ReportResultLine("%s", text.c_str());
    else
        ReportStatus(text.c_str());

    const std::vector<std::string>& seen = c.result ? lines() : statuses();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(text.substr(0, size - 1), seen[0]);
    EXPECT_TRUE(around.Unchanged());
    EXPECT_EQ(0, memcmp(&stateBefore, &ScanState, sizeof ScanState));
    EXPECT_EQ(actionBefore, ActionMode);
}

INSTANTIATE_TEST_SUITE_P(Buffers, BoundedReport,
                         ::testing::Values(ReportCase{"ResultAtLimit", true, 511},
                                           ReportCase{"ResultOnePast", true, 512},
                                           ReportCase{"ResultFarPast", true, 5000},
                                           ReportCase{"StatusAtLimit", false, 259},
                                           ReportCase{"StatusOnePast", false, 260},
                                           ReportCase{"StatusFarPast", false, 5000}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- An infected file whose path does not fit the path buffers ---------------

class LongPathCheck : public EngineTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(LongPathCheck, LeavesTheStateBuffersTerminatedAndTheirNeighboursAlone)
{
    // A folder chain that brings the file's path to the length asked for.
    std::string path = dir_;
    const size_t want = GetParam();
    while (want - path.size() - 1 > 100) {
        const size_t segment = std::min<size_t>(100, want - path.size() - 2 - 10);
        path += "\\" + std::string(segment, 'd');
        ASSERT_TRUE(CreateDirectoryW(Long(path).c_str(), nullptr));
    }
    const size_t nameLength = want - path.size() - 1;
    ASSERT_GE(nameLength, 5u);
    path += "\\" + std::string(nameLength - 4, 'f') + ".exe";
    ASSERT_EQ(want, path.size());
    ASSERT_TRUE(WriteLong(path, BuildSample(kRecord)));

    ActionMode = kActionLeave; // whatever is found stays
    // The same file at a short path first: whatever the check writes past the
    // state on its own account (buffers of other parts, which the linker may
    // place there in one build and not in another) is then already in place,
    // so only a spill of the long path can change the bytes watched.
    const std::string shortPath = Path("short.exe");
    ASSERT_TRUE(WriteBytes(shortPath, BuildSample(kRecord)));
    ASSERT_EQ(1, CheckTrojanFile("W32/Vexmor.Trojan", shortPath.c_str()));
    ScanState.filesInfected = 1; // keeps the remembered auto-start name
    CopyText(ScanState.autoStartValueName, sizeof ScanState.autoStartValueName, "remembered");
    Neighbours afterState(&ScanState, sizeof ScanState);
    Neighbours afterStatus(StatusText, sizeof StatusText);
    Neighbours afterResult(ResultLine, sizeof ResultLine);

    const int found = CheckTrojanFile("W32/Vexmor.Trojan", path.c_str());

    // Whether Wine lets the narrow calls open such a path is its business;
    // either way nothing may spill.
    EXPECT_TRUE(found == 0 || found == 1);
    EXPECT_EQ('\0', ScanState.currentFilePath[0]);
    EXPECT_STREQ("remembered", ScanState.autoStartValueName);
    EXPECT_LT(strnlen(StatusText, sizeof StatusText), sizeof StatusText);
    EXPECT_LT(strnlen(ScanState.detectedName, sizeof ScanState.detectedName), sizeof ScanState.detectedName);
    EXPECT_TRUE(afterState.Unchanged());
    EXPECT_TRUE(afterStatus.Unchanged());
    EXPECT_TRUE(afterResult.Unchanged());
    for (const std::string& line : lines())
        EXPECT_LT(line.size(), sizeof ResultLine);
    RemoveLongTree(dir_);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongPathCheck, ::testing::Values(259, 260, 261, 400, 1000),
                         [](const auto& info) { return "Path" + std::to_string(info.param); });

// --- Entries that change between listing and checking ------------------------

struct FaultCase {
    const char* name;
    // What happens to victim.exe once the walker shows it (null: nothing).
    void (*onShown)(const std::string& victim);
    bool lockWithoutSharing; // held open without sharing through the walk
    bool victimStays;        // still there, byte for byte, afterwards
};

void Vanish(const std::string& victim) { DeleteFileA(victim.c_str()); }
void BecomeFolder(const std::string& victim)
{
    DeleteFileA(victim.c_str());
    CreateDirectoryA(victim.c_str(), nullptr);
}
void BecomeClean(const std::string& victim) { WriteBytes(victim, BuildCleanProgram(8425)); }

class ChangingEntry : public EngineTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ChangingEntry, IsNotReportedAndTheWalkGoesOn)
{
    const FaultCase& c = GetParam();
    const std::string victim = Path("victim.exe");
    const std::string later = Path("zzz\\later.exe");
    const std::vector<uint8_t> sample = BuildSample(kRecord);
    ASSERT_TRUE(WriteBytes(victim, sample));
    ASSERT_TRUE(MakeDirs(Path("zzz")));
    ASSERT_TRUE(WriteSample(later, kRecord));

    HANDLE lock = INVALID_HANDLE_VALUE;
    if (c.lockWithoutSharing) {
        lock = CreateFileA(victim.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    }
    bool acted = false;
    // Acts at the moment the walker shows an entry: after listing it, before checking it.
    frontEnd().OnStatus([&](const std::string& shown) {
        if (c.onShown && !acted && EndsWith(shown, "\\victim.exe")) {
            acted = true;
            c.onShown(victim);
        }
    });

    EXPECT_GT(WalkDirectory(Pattern().c_str()), 0);
    if (lock != INVALID_HANDLE_VALUE)
        CloseHandle(lock);

    EXPECT_EQ(c.onShown != nullptr, acted);
    ASSERT_EQ(1u, lines().size()) << (lines().empty() ? "" : lines()[0]);
    EXPECT_EQ(RemovedLine(later, RecordName(kRecord)), lines()[0]);
    EXPECT_FALSE(FileExists(later));
    EXPECT_EQ(1, ScanState.filesInfected);
    if (c.victimStays) {
        EXPECT_EQ(sample, ReadBytes(victim));
    }
    RemoveDirectoryA(victim.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ChangingEntry,
    ::testing::Values(FaultCase{"VanishesAfterListing", Vanish, false, false},
                      FaultCase{"BecomesAFolderAfterListing", BecomeFolder, false, false},
                      FaultCase{"BecomesCleanAfterListing", BecomeClean, false, false},
                      FaultCase{"LockedWithoutSharing", nullptr, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// --- A tree far deeper than any path ----------------------------------------

class DeepTree : public EngineTest {};

TEST_F(DeepTree, EveryLevelBeyondThePathLimitIsCheckedAndItsSiblingsWalked)
{
    // Twelve levels of 60-character names: over 700 characters deep, each
    // level holding a sample that lies beyond MAX_PATH from level 4 on.
    std::string deep = dir_ + "\\a";
    ASSERT_TRUE(MakeDirs(deep));
    std::string level = deep;
    for (int i = 0; i < 12; ++i) {
        level += "\\" + std::string(59, char('a' + i)) + std::to_string(i % 10);
        ASSERT_TRUE(CreateDirectoryW(Long(level).c_str(), nullptr));
        ASSERT_TRUE(WriteLong(level + "\\s.exe", BuildSample(kRecord)));
    }
    ASSERT_TRUE(MakeDirs(Path("b")));
    ASSERT_TRUE(WriteSample(Path("b\\after.exe"), kRecord));

    EXPECT_GT(WalkDirectory(Pattern().c_str()), 0);

    EXPECT_FALSE(FileExists(Path("b\\after.exe")));
    EXPECT_EQ(RemovedLine(Path("b\\after.exe"), RecordName(kRecord)), lines().back());
    for (const std::string& s : statuses())
        EXPECT_LE(s.size(), 60u);
    // Every level's sample was found and removed, whole path in its line.
    EXPECT_EQ(13u, lines().size());
    std::string walk = deep;
    for (int i = 0; i < 12; ++i) {
        walk += "\\" + std::string(59, char('a' + i)) + std::to_string(i % 10);
        const std::string file = walk + "\\s.exe";
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Long(file).c_str())) << file.size();
        EXPECT_NE(lines().end(), std::find(lines().begin(), lines().end(), RemovedLine(file, RecordName(kRecord))))
            << file.size();
    }
    EXPECT_EQ(13, ScanState.filesRemoved);
    RemoveLongTree(dir_);
}
