// The trojan file check: every record's sample is found with its own name and
// removed, near misses and malformed files are left alone without a line, and
// each action mode does and reports what it should.
#include "detect/pe_match.h"
#include "detect/text.h"
#include "tests/scan/engine_fixture.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <functional>

using namespace scx::test;

namespace {

const char kFamily[] = "W32/Vexmor.Trojan";

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { memcpy(&b[at], &v, 2); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { memcpy(&b[at], &v, 4); }

// GoogleTest names allow letters, digits and '_' only.
std::string NameToken(const std::string& detection)
{
    std::string out;
    for (char c : detection.substr(detection.find('.') + 1))
        out += isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out;
}

std::string RecordCaseName(int record)
{
    return "R" + std::to_string(record) + "_" + NameToken(RecordName(record));
}

} // namespace

class TrojanCheck : public EngineTest {};

// --- Every record -----------------------------------------------------------

// Both machines' samples: a 64-bit test program runs PE32+ stand-ins, and
// the check must find them exactly as it finds the PE32 ones.
class RecordSample : public EngineTest,
                     public ::testing::WithParamInterface<std::tuple<int, SampleMachine>> {};

TEST_P(RecordSample, IsFoundWithItsOwnNameAndRemoved)
{
    const auto [record, machine] = GetParam();
    const std::string path = Path("sample.exe");
    ASSERT_TRUE(WriteSample(path, record, SampleKind::Exact, machine));

    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_EQ(std::vector<std::string>{RemovedLine(path, RecordName(record))}, lines());
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(1, ScanState.filesInfected);
    EXPECT_EQ(1, ScanState.filesRemoved);
    EXPECT_STREQ(RecordName(record).c_str(), ScanState.detectedName);
    EXPECT_STREQ("", ScanState.currentFilePath);
}

INSTANTIATE_TEST_SUITE_P(Records, RecordSample,
                         ::testing::Combine(::testing::Range(0, kDetectionRecordCount),
                                            ::testing::Values(SampleMachine::I386, SampleMachine::Amd64)),
                         [](const auto& info) {
                             return RecordCaseName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) == SampleMachine::I386 ? "_PE32" : "_PE32plus");
                         });

namespace {
std::string NearMissName(int record, SampleKind kind)
{
    static const char* const kKinds[] = {"Exact", "LongerByOne", "ShorterByOne", "PatternByteChanged",
                                         "NoPeSignature", "TwentyOneSections", "WrongDistance"};
    return RecordCaseName(record) + "_" + kKinds[int(kind)];
}
} // namespace

class NearMiss : public EngineTest,
                 public ::testing::WithParamInterface<std::tuple<int, SampleKind>> {};

TEST_P(NearMiss, IsNotDetectedAndWritesNoLine)
{
    const auto [record, kind] = GetParam();
    const std::string path = Path("near.exe");
    ASSERT_TRUE(WriteSample(path, record, kind));

    EXPECT_EQ(0, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_TRUE(lines().empty());
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(0, ScanState.filesInfected);
    EXPECT_STREQ("", ScanState.currentFilePath);
}

INSTANTIATE_TEST_SUITE_P(
    Records, NearMiss,
    ::testing::Combine(::testing::Range(0, kDetectionRecordCount),
                       ::testing::Values(SampleKind::LongerByOne, SampleKind::ShorterByOne,
                                         SampleKind::PatternByteChanged, SampleKind::NoPeSignature,
                                         SampleKind::TwentyOneSections, SampleKind::WrongDistance)),
    [](const auto& info) { return NearMissName(std::get<0>(info.param), std::get<1>(info.param)); });

// --- Malformed files ----------------------------------------------------------

namespace {

constexpr int kSmallRecord = 1; // 8425 bytes
constexpr uint32_t kSamplePeAt = 0x40;

struct BadFile {
    const char* name;
    std::function<std::vector<uint8_t>()> build;
};

std::vector<uint8_t> SampleWith(const std::function<void(std::vector<uint8_t>&)>& change)
{
    std::vector<uint8_t> b = BuildSample(kSmallRecord);
    change(b);
    return b;
}

const BadFile kBadFiles[] = {
    {"EmptyFile", [] { return std::vector<uint8_t>(); }},
    {"TextAtARecordSize",
     [] {
         std::vector<uint8_t> b(size_t(DetectionTable[kSmallRecord].size), 'a');
         for (size_t i = 79; i < b.size(); i += 80)
             b[i] = '\n';
         return b;
     }},
    {"DosProgramWithoutPeHeader",
     [] {
         std::vector<uint8_t> b(size_t(DetectionTable[kSmallRecord].size), 0x90);
         b[0] = 'M';
         b[1] = 'Z';
         Put32(b, 0x3C, 0);
         return b;
     }},
    {"PeHeaderPointerBeyondTheEnd", [] { return SampleWith([](auto& b) { Put32(b, 0x3C, 0xFFF0); }); }},
    {"FileEndsInsideTheDosHeader", [] { return std::vector<uint8_t>{'M', 'Z', 0, 0, 0, 0, 0, 0}; }},
    {"TwentyOneSections", [] { return BuildSample(kSmallRecord, SampleKind::TwentyOneSections); }},
    {"SixtyFiveThousandSections", [] { return SampleWith([](auto& b) { Put16(b, kSamplePeAt + 6, 0xFFFF); }); }},
    {"SectionTableRunsPastTheEnd",
     [] {
         // The headers moved to the file's tail, where 248 bytes still fit
         // but the twenty section entries do not.
         return SampleWith([](auto& b) {
             const uint32_t at = uint32_t(b.size()) - 260;
             memmove(&b[at], &b[kSamplePeAt], 248);
             Put32(b, 0x3C, at);
             Put16(b, at + 6, 20);
         });
     }},
    {"RecordSizeButNoPeSignature", [] { return BuildSample(kSmallRecord, SampleKind::NoPeSignature); }},
    {"SignatureWithoutItsZeroBytes",
     [] { return SampleWith([](auto& b) { b[kSamplePeAt + 2] = 'X'; }); }},
};

} // namespace

class MalformedFile : public EngineTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(MalformedFile, IsNotDetectedAndWritesNoLine)
{
    const std::string path = Path("bad.exe");
    ASSERT_TRUE(WriteBytes(path, GetParam().build()));

    EXPECT_EQ(0, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_TRUE(lines().empty());
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(0, ScanState.filesInfected);
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedFile, ::testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrojanCheck, MissingOrUnreadableFileIsNotInfected)
{
    EXPECT_EQ(0, CheckTrojanFile(kFamily, Path("absent.exe").c_str()));
    EXPECT_EQ(0, CheckTrojanFile(kFamily, dir_.c_str())); // a folder
    EXPECT_TRUE(lines().empty());
}

// --- PE reading -----------------------------------------------------------------

namespace {

// Two sections: .a at RVA 0x1000 (0x1000 long) from file offset 0x400, .b at
// RVA 0x2000 (0x800 long) from file offset 0x1400; 0x2000 bytes in all.
std::vector<uint8_t> TwoSectionImage(uint16_t sections = 2)
{
    std::vector<uint8_t> b(0x2000, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x80);
    memcpy(&b[0x80], "PE\0\0", 4);
    Put16(b, 0x80 + 4 + 2, sections);
    Put32(b, 0x80 + 24 + 16, 0x1234); // AddressOfEntryPoint
    Put32(b, 0x80 + 24 + 60, 0x400);  // SizeOfHeaders
    const size_t sh = 0x80 + 248;
    Put32(b, sh + 8, 0x1000);
    Put32(b, sh + 12, 0x1000);
    Put32(b, sh + 20, 0x400);
    Put32(b, sh + 40 + 8, 0x800);
    Put32(b, sh + 40 + 12, 0x2000);
    Put32(b, sh + 40 + 20, 0x1400);
    return b;
}

class FdHolder {
public:
    explicit FdHolder(const std::string& path) : fd_(_open(path.c_str(), _O_RDONLY | _O_BINARY)) {}
    ~FdHolder()
    {
        if (fd_ != -1)
            _close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

struct RvaCase {
    const char* name;
    uint32_t rva;
    uint32_t offset;
};

const RvaCase kRvaCases[] = {
    {"InsideTheFirstSection", 0x1010, 0x410},
    {"InsideTheSecondSection", 0x2010, 0x1410},
    {"BeforeTheFirstSectionWrapsPastTheEnd", 0x100, 0x100},
    {"MappingToOffsetZeroGivesSizeOfHeaders", 0xC00, 0x400},
    {"PastEverySectionUsesTheLastOne", 0x2100, 0x1500},
    {"OffsetAtTheEndIsTheRvaItself", 0x2C00, 0x2C00},
};

} // namespace

class RvaMapping : public EngineTest, public ::testing::WithParamInterface<RvaCase> {};

TEST_P(RvaMapping, GivesTheFileOffset)
{
    const std::string path = Path("image.dll");
    ASSERT_TRUE(WriteBytes(path, TwoSectionImage()));
    FdHolder file(path);
    ASSERT_NE(-1, file.fd());
    PeHeaders.fileLength = 0x2000;
    ASSERT_EQ(1, ReadPeHeaders(file.fd()));
    EXPECT_EQ(0x1234u, PeHeaders.entryPoint);
    EXPECT_EQ(GetParam().offset, RvaToFileOffset(GetParam().rva, file.fd()));
}

INSTANTIATE_TEST_SUITE_P(Rvas, RvaMapping, ::testing::ValuesIn(kRvaCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct SectionCountCase {
    const char* name;
    uint16_t sections;
    int expected;
};

class SectionCount : public EngineTest, public ::testing::WithParamInterface<SectionCountCase> {};

TEST_P(SectionCount, DecidesWhetherTheHeadersAreRead)
{
    const std::string path = Path("image.dll");
    ASSERT_TRUE(WriteBytes(path, TwoSectionImage(GetParam().sections)));
    FdHolder file(path);
    ASSERT_NE(-1, file.fd());
    EXPECT_EQ(GetParam().expected, ReadPeHeaders(file.fd()));
}

INSTANTIATE_TEST_SUITE_P(Counts, SectionCount,
                         ::testing::Values(SectionCountCase{"None", 0, 1}, SectionCountCase{"Two", 2, 1},
                                           SectionCountCase{"Twenty", 20, 1},
                                           SectionCountCase{"TwentyOne", 21, 0},
                                           SectionCountCase{"Maximum", 0xFFFF, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrojanCheck, SampleWithTwentySectionsIsStillFound)
{
    // The first section covers both pattern windows; the other nineteen
    // entries are whatever bytes follow it.
    std::vector<uint8_t> b = BuildSample(kSmallRecord);
    Put16(b, kSamplePeAt + 6, 20);
    const std::string path = Path("twenty.exe");
    ASSERT_TRUE(WriteBytes(path, b));
    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));
    EXPECT_FALSE(FileExists(path));
}

// --- Actions ----------------------------------------------------------------------

namespace {
constexpr int kRecord = 9; // W32/Vexmor.Xb.Trojan
}

TEST_F(TrojanCheck, RenameGivesTheExtensionAV)
{
    ActionMode = kActionRename;
    const std::string path = Path("x.exe");
    ASSERT_TRUE(WriteSample(path, kRecord));

    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_EQ(std::vector<std::string>{path + "     " + RecordName(kRecord) + " renamed"}, lines());
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(FileExists(Path("x.Vxe")));
    EXPECT_EQ(1, ScanState.filesInfected);
    EXPECT_EQ(0, ScanState.filesRemoved);
}

TEST_F(TrojanCheck, RenameLooksOnlyAtTheFileName)
{
    // A dot in a folder name must not send the file into another folder.
    ActionMode = kActionRename;
    const std::string folder = Path("tools.d");
    ASSERT_TRUE(MakeDirs(folder));
    const std::string path = folder + "\\setup";
    ASSERT_TRUE(WriteSample(path, kRecord));

    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));

    // A name without an extension cannot change: nothing is moved, and the
    // user is not told it was renamed.
    EXPECT_EQ(std::vector<std::string>{path + "     " + RecordName(kRecord) + " Rename failed"}, lines());
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists(Path("tools.V")));
}

TEST_F(TrojanCheck, RenameFailsWhenTheNewNameExists)
{
    ActionMode = kActionRename;
    const std::string path = Path("x.exe");
    ASSERT_TRUE(WriteSample(path, kRecord));
    ASSERT_TRUE(WriteText(Path("x.Vxe"), "already here"));

    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_EQ(std::vector<std::string>{path + "     " + RecordName(kRecord) + " Rename failed"}, lines());
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(std::vector<uint8_t>({'a', 'l', 'r', 'e', 'a', 'd', 'y', ' ', 'h', 'e', 'r', 'e'}),
              ReadBytes(Path("x.Vxe")));
}

TEST_F(TrojanCheck, LeaveReportsTheUsersChoice)
{
    ActionMode = kActionLeave;
    const std::string path = Path("x.exe");
    ASSERT_TRUE(WriteSample(path, kRecord));

    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_EQ(std::vector<std::string>{path + "     " + RecordName(kRecord) +
                                       " not disinfected as per user's selection"},
              lines());
    EXPECT_TRUE(FileExists(path));
}

class UnknownActionMode : public EngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(UnknownActionMode, CountsTheMatchButDoesAndSaysNothing)
{
    ActionMode = GetParam();
    const std::string path = Path("x.exe");
    ASSERT_TRUE(WriteSample(path, kRecord));

    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_TRUE(lines().empty());
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(1, ScanState.filesInfected);
    EXPECT_EQ(0, ScanState.filesRemoved);
}

INSTANTIATE_TEST_SUITE_P(Modes, UnknownActionMode, ::testing::Values(0, 99, 104, -1),
                         [](const auto& info) {
                             return info.param < 0 ? std::string("Minus1") : "Mode" + std::to_string(info.param);
                         });

TEST_F(TrojanCheck, ModeOneHundredTwoDeletesLikeOneHundred)
{
    ActionMode = kActionDeleteToo;
    const std::string path = Path("x.exe");
    ASSERT_TRUE(WriteSample(path, kRecord));
    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));
    EXPECT_EQ(std::vector<std::string>{RemovedLine(path, RecordName(kRecord))}, lines());
    EXPECT_FALSE(FileExists(path));
}

struct AttributeCase {
    const char* name;
    DWORD attributes;
};

class ProtectedSample : public EngineTest, public ::testing::WithParamInterface<AttributeCase> {};

TEST_P(ProtectedSample, IsDeletedAfterTheAttributesAreReset)
{
    const std::string path = Path("x.exe");
    ASSERT_TRUE(WriteSample(path, kRecord));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), GetParam().attributes));

    EXPECT_EQ(1, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_EQ(std::vector<std::string>{RemovedLine(path, RecordName(kRecord))}, lines());
    EXPECT_FALSE(FileExists(path));
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, ProtectedSample,
    ::testing::Values(AttributeCase{"ReadOnly", FILE_ATTRIBUTE_READONLY}, AttributeCase{"Hidden", FILE_ATTRIBUTE_HIDDEN},
                      AttributeCase{"System", FILE_ATTRIBUTE_SYSTEM},
                      AttributeCase{"AllThree", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrojanCheck, ForcedActionDeletesWithoutMatching)
{
    // The memory stage's second pass: the image is acted on as it stands.
    ActionMode = kActionDelete;
    ScanState.forcedAction = kActionDelete;
    const std::string path = Path("running.exe");
    ASSERT_TRUE(WriteText(path, "not a program at all"));

    EXPECT_EQ(0, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_EQ(std::vector<std::string>({"System Memory    W32/Vexmor.Trojan removed", RemovedLine(path, kFamily)}),
              lines());
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(0, ScanState.filesInfected);
    EXPECT_EQ(1, ScanState.filesRemoved);
}

TEST_F(TrojanCheck, ForcedLeaveReportsWhatTheStatusAndLastMatchHold)
{
    ScanState.forcedAction = kActionLeave;
    CopyText(StatusText, sizeof StatusText, "C:\\shown\\path.exe");
    CopyText(ScanState.detectedName, sizeof ScanState.detectedName, "W32/Vexmor.N.Trojan");
    const std::string path = Path("running.exe");
    ASSERT_TRUE(WriteText(path, "x"));

    EXPECT_EQ(0, CheckTrojanFile(kFamily, path.c_str()));

    EXPECT_EQ(kActionLeave, ActionMode);
    EXPECT_EQ(std::vector<std::string>({"System Memory    W32/Vexmor.Trojan removed",
                                        "C:\\shown\\path.exe     W32/Vexmor.N.Trojan not disinfected as per "
                                        "user's selection"}),
              lines());
    EXPECT_TRUE(FileExists(path));
}

TEST_F(TrojanCheck, AutoStartNameIsClearedOnlyWhileNothingWasFound)
{
    const std::string clean = Path("clean.txt");
    ASSERT_TRUE(WriteText(clean, "hello"));
    memset(ScanState.autoStartValueName, 'x', sizeof ScanState.autoStartValueName - 1);

    CheckTrojanFile(kFamily, clean.c_str());
    for (size_t i = 0; i < 128; ++i)
        ASSERT_EQ('\0', ScanState.autoStartValueName[i]) << i;
    for (size_t i = 128; i < sizeof ScanState.autoStartValueName - 1; ++i)
        ASSERT_EQ('x', ScanState.autoStartValueName[i]) << i;

    memset(ScanState.autoStartValueName, 'y', 10);
    ScanState.filesInfected = 1;
    CheckTrojanFile(kFamily, clean.c_str());
    EXPECT_EQ(0, memcmp(ScanState.autoStartValueName, "yyyyyyyyyy", 10));
}
