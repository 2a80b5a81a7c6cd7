// The console program's quarantine: a neutralised copy and a manifest line
// before each removal, nothing removed without them, and the way back.
#include "cli/quarantine_format.h"
#include "cli/quarantine_trust.h"
#include "detect/detection.h"
#include "tests/support/child_process.h"
#include "tests/support/guarded_buffer.h"
#include "tests/support/samples.h"
#include "tests/support/scratch.h"
#include "tests/support/sha256.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

constexpr int kRecord = 1;
std::string RecordName() { return DetectionTable[kRecord].name; }

// --- the byte formats, in process ------------------------------------------

TEST(QuarantineFormat, Sha256MatchesKnownDigestsWhateverTheChunks)
{
    struct Case {
        std::string text;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const Case& c : cases) {
        // Fed in pieces of every size from 1 to 64: the block seams must not matter.
        for (size_t piece = 1; piece <= 64; ++piece) {
            Sha256State state;
            Sha256Begin(state);
            for (size_t at = 0; at < c.text.size(); at += piece)
                Sha256Add(state, reinterpret_cast<const uint8_t*>(c.text.data()) + at,
                          std::min(piece, c.text.size() - at));
            char hex[65];
            Sha256End(state, hex);
            ASSERT_STREQ(c.digest, hex) << "text \"" << c.text << "\" in pieces of " << piece;
        }
    }
    // Lengths around the padding boundary against the test support's digest.
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 4097u}) {
        std::vector<uint8_t> bytes(length);
        for (size_t i = 0; i < length; ++i)
            bytes[i] = uint8_t(i * 7 + 3);
        Sha256State state;
        Sha256Begin(state);
        Sha256Add(state, bytes.data(), bytes.size());
        char hex[65];
        Sha256End(state, hex);
        EXPECT_EQ(Sha256Hex(bytes.data(), bytes.size()), hex) << length << " bytes";
    }
}

TEST(QuarantineFormat, TransformLeavesNoByteAsItWasAndUndoesItself)
{
    std::vector<uint8_t> original = BuildSample(kRecord);
    std::vector<uint8_t> kept = original;
    // Transformed in uneven pieces, as the copy loop reads them.
    for (size_t at = 0; at < kept.size(); at += 777)
        TransformQuarantineBytes(kept.data() + at, std::min<size_t>(777, kept.size() - at), at);
    for (size_t i = 0; i < original.size(); ++i)
        ASSERT_NE(original[i], kept[i]) << "byte " << i << " kept as it was";
    TransformQuarantineBytes(kept.data(), kept.size(), 0);
    EXPECT_EQ(original, kept);
}

struct LineCase {
    const char* name;
    const char* line;
    bool parses;
    const char* restored;
};

const LineCase kLineCases[] = {
    {"Kept", "2026-12-10T07:02:11Z\t" "ABCDEF0123456789abcdef0123456789abcdef0123456789abcdef0123456789" "\tW32/Vexmor.Bc.Trojan\tC:\\a\\b.exe\t8425", true, ""},
    {"Restored", "t\t" "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789" "\tn\tC:\\b.exe\t1\trestored 2026-12-11T00:00:00Z", true, "2026-12-11T00:00:00Z"},
    {"FourFields", "t\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\tC:\\b.exe", false, ""},
    {"SevenFields", "t\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\tC:\\b.exe\t1\trestored x\ty", false, ""},
    {"ShortHash", "t\tabcdef\tn\tC:\\b.exe\t1", false, ""},
    {"HashNotHex", "t\tabcdefg123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\tC:\\b.exe\t1", false, ""},
    {"EmptyPath", "t\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\t\t1", false, ""},
    {"SizeNotANumber", "t\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\tC:\\b.exe\t1k", false, ""},
    {"SizeOverflows", "t\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\tC:\\b.exe\t99999999999999999999", false, ""},
    {"SixthFieldNotRestored", "t\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\tC:\\b.exe\t1\tdeleted x", false, ""},
    {"ControlCharacterInPath", "t\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\tC:\\b\x01.exe\t1", false, ""},
    {"Empty", "", false, ""},
};

class ManifestLine : public testing::TestWithParam<LineCase> {};

TEST_P(ManifestLine, ParsesOnlyWellFormedEntries)
{
    const LineCase& c = GetParam();
    ManifestEntry entry;
    ASSERT_EQ(c.parses, ParseManifestLine(c.line, strlen(c.line), entry));
    if (!c.parses)
        return;
    EXPECT_STREQ(c.restored, entry.restored);
    EXPECT_EQ(64u, strlen(entry.sha256));
    EXPECT_EQ(std::string(entry.sha256), [&] {
        std::string lower = entry.sha256;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        return lower;
    }()) << "the hash is kept in lower case";
    // Written again, it reads back as the same line.
    char again[kManifestLineChars + 64];
    ASSERT_TRUE(FormatManifestLine(entry, again, sizeof again));
    std::string text = again;
    ASSERT_EQ("\r\n", text.substr(text.size() - 2));
    ManifestEntry reread;
    ASSERT_TRUE(ParseManifestLine(again, text.size() - 2, reread));
    EXPECT_EQ(0, memcmp(&entry, &reread, sizeof entry));
}

INSTANTIATE_TEST_SUITE_P(Quarantine, ManifestLine, testing::ValuesIn(kLineCases),
                         [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// Names may hold bytes that would break a line (DEL through Win32; TAB, CR,
// LF and other control characters through the native API). Each must write
// out as one line and read back as the same name: a CR LF in a name must not
// forge a second entry.
TEST(QuarantineFormat, EveryNameReadsBackFromItsLine)
{
    const char* const paths[] = {
        "C:\\a\\vex\x7F.exe",
        "C:\\a\\tab\there.exe",
        "C:\\a\\x.exe\r\n2026-01-01T00:00:00Z\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\tC:\\evil.exe\t1",
        "C:\\a\\bell\x01\x1F.exe",
        "C:\\a\\pipe|7C|.exe",
        "C:\\caf\xC3\xA9\\\xE6\x96\x87.exe",
    };
    for (const char* path : paths) {
        static ManifestEntry entry;
        memset(&entry, 0, sizeof entry);
        strcpy(entry.time, "2026-12-10T07:02:11Z");
        strcpy(entry.sha256, "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789");
        strcpy(entry.name, "W32/Vexmor.Bc.Trojan");
        strcpy(entry.path, path);
        entry.size = 8425;
        static char line[kManifestLineChars + 64];
        ASSERT_TRUE(FormatManifestLine(entry, line, sizeof line)) << path;
        std::string text = line;
        ASSERT_EQ("\r\n", text.substr(text.size() - 2));
        const std::string body = text.substr(0, text.size() - 2);
        EXPECT_EQ(4, std::count(body.begin(), body.end(), '\t')) << "five fields: " << body;
        EXPECT_TRUE(std::none_of(body.begin(), body.end(),
                                 [](char c) { return (c != '\t' && static_cast<unsigned char>(c) < 0x20) || c == 0x7F; }))
            << "no raw control byte: " << body;
        static ManifestEntry reread;
        ASSERT_TRUE(ParseManifestLine(body.data(), body.size(), reread)) << body;
        EXPECT_STREQ(path, reread.path);
    }
    // An escape stands only for a byte that needs one, and never for NUL:
    // each name has one spelling.
    for (const char* field : {"C:\\a|41.exe", "C:\\a|00.exe", "C:\\a|7", "C:\\a|7f.exe", "C:\\a|G1.exe"}) {
        std::string bad = std::string("t\tabcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789\tn\t") +
                          field + "\t1";
        ManifestEntry entry;
        EXPECT_FALSE(ParseManifestLine(bad.data(), bad.size(), entry)) << field;
    }
}

// --- which existing folder may hold the quarantine --------------------------

// A self-relative descriptor built with the system's own calls.
struct DescriptorShape {
    const char* owner;      // string SID, or null for none
    bool dacl;              // false: no access list at all
    struct Entry {
        const char* sid;
        DWORD mask;
        BYTE flags;
        bool deny;
    };
    std::vector<Entry> entries;
};

std::vector<uint8_t> BuildDescriptor(const DescriptorShape& shape)
{
    std::vector<PSID> sids;
    auto sid = [&](const char* text) {
        PSID s = nullptr;
        ConvertStringSidToSidA(text, &s);
        sids.push_back(s);
        return s;
    };
    union {
        ACL acl;
        DWORD words[512];
    } space;
    SECURITY_DESCRIPTOR absolute;
    InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
    if (shape.owner)
        SetSecurityDescriptorOwner(&absolute, sid(shape.owner), FALSE);
    if (shape.dacl) {
        InitializeAcl(&space.acl, sizeof space, ACL_REVISION);
        for (const DescriptorShape::Entry& e : shape.entries) {
            if (e.deny)
                AddAccessDeniedAceEx(&space.acl, ACL_REVISION, e.flags, e.mask, sid(e.sid));
            else
                AddAccessAllowedAceEx(&space.acl, ACL_REVISION, e.flags, e.mask, sid(e.sid));
        }
        SetSecurityDescriptorDacl(&absolute, TRUE, &space.acl, FALSE);
    }
    DWORD size = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    if (!MakeSelfRelativeSD(&absolute, bytes.data(), &size))
        bytes.clear();
    for (PSID s : sids)
        LocalFree(s);
    return bytes;
}

constexpr const char* kAdmins = "S-1-5-32-544";
constexpr const char* kSystemSid = "S-1-5-18";
constexpr const char* kUsers = "S-1-5-32-545";
constexpr const char* kEveryone = "S-1-1-0";
constexpr const char* kCreatorOwner = "S-1-3-0";
constexpr const char* kRunner = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr BYTE kInheritBoth = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

struct TrustCase {
    const char* name;
    DescriptorShape shape;
    FolderTrust expected;
};

TEST(QuarantineFolderTrust, OnlyAFolderNoOneElseMayWriteIsUsed)
{
    const DescriptorShape::Entry adminsFull = {kAdmins, FILE_ALL_ACCESS, kInheritBoth, false};
    const DescriptorShape::Entry systemFull = {kSystemSid, FILE_ALL_ACCESS, kInheritBoth, false};
    const TrustCase cases[] = {
        {"MadeByTheScan", {kAdmins, true, {adminsFull, systemFull}}, FolderTrust::kTrusted},
        {"OwnedBySystem", {kSystemSid, true, {adminsFull, systemFull}}, FolderTrust::kTrusted},
        {"OwnedByTheRunner", {kRunner, true, {{kRunner, FILE_ALL_ACCESS, 0, false}}}, FolderTrust::kTrusted},
        {"UsersMayRead", {kAdmins, true, {adminsFull, {kUsers, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, kInheritBoth, false}}}, FolderTrust::kTrusted},
        {"CreatorOwnerForWhatIsMadeInside", {kAdmins, true, {adminsFull, {kCreatorOwner, GENERIC_ALL, kInheritBoth | INHERIT_ONLY_ACE, false}}}, FolderTrust::kTrusted},
        {"OwnedByAUser", {kUsers, true, {adminsFull, systemFull}}, FolderTrust::kOwnerNotTrusted},
        {"OwnedByAnotherAccount", {"S-1-5-21-1-2-3-1002", true, {adminsFull}}, FolderTrust::kOwnerNotTrusted},
        {"NoOwner", {nullptr, true, {adminsFull}}, FolderTrust::kOwnerNotTrusted},
        {"NoAccessList", {kAdmins, false, {}}, FolderTrust::kNoAccessList},
        {"UsersMayAddFiles", {kAdmins, true, {adminsFull, {kUsers, FILE_ADD_FILE, 0, false}}}, FolderTrust::kOthersMayWrite},
        {"UsersMayAddFolders", {kAdmins, true, {adminsFull, {kUsers, FILE_ADD_SUBDIRECTORY, 0, false}}}, FolderTrust::kOthersMayWrite},
        {"UsersMayDeleteCopies", {kAdmins, true, {adminsFull, {kUsers, FILE_DELETE_CHILD, 0, false}}}, FolderTrust::kOthersMayWrite},
        {"UsersMayChangeTheList", {kAdmins, true, {adminsFull, {kUsers, WRITE_DAC, 0, false}}}, FolderTrust::kOthersMayWrite},
        {"EveryoneGenericWrite", {kAdmins, true, {adminsFull, {kEveryone, GENERIC_WRITE, 0, false}}}, FolderTrust::kOthersMayWrite},
        {"UsersWriteWhatIsMadeInside", {kAdmins, true, {adminsFull, {kUsers, FILE_GENERIC_WRITE, kInheritBoth | INHERIT_ONLY_ACE, false}}}, FolderTrust::kOthersMayWrite},
        {"CreatorOwnerOnTheFolderItself", {kAdmins, true, {adminsFull, {kCreatorOwner, GENERIC_ALL, 0, false}}}, FolderTrust::kOthersMayWrite},
        // Denying entries are not weighed: the allowing one counts all the same.
        {"DenyBeforeAllow", {kAdmins, true, {{kUsers, FILE_ALL_ACCESS, 0, true}, adminsFull, {kUsers, FILE_ADD_FILE, 0, false}}}, FolderTrust::kOthersMayWrite},
    };
    for (const TrustCase& c : cases) {
        std::vector<uint8_t> descriptor = BuildDescriptor(c.shape);
        ASSERT_FALSE(descriptor.empty()) << c.name;
        PSID runner = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidA(kRunner, &runner));
        EXPECT_EQ(int(c.expected), int(JudgeQuarantineFolder(descriptor.data(), descriptor.size(),
                                                             static_cast<uint8_t*>(runner), GetLengthSid(runner))))
            << c.name;
        // Without a runner, only Administrators and SYSTEM own trusted folders.
        if (std::string(c.name) == "OwnedByTheRunner") {
            EXPECT_EQ(int(FolderTrust::kOwnerNotTrusted),
                      int(JudgeQuarantineFolder(descriptor.data(), descriptor.size(), nullptr, 0)));
        }
        // Cut anywhere, a descriptor never passes (read inside a guard page).
        if (c.expected == FolderTrust::kTrusted) {
            for (size_t n = 0; n < descriptor.size(); ++n) {
                GuardedBuffer cut(std::vector<uint8_t>(descriptor.begin(), descriptor.begin() + n));
                EXPECT_NE(int(FolderTrust::kTrusted),
                          int(JudgeQuarantineFolder(cut.data(), cut.size(), static_cast<uint8_t*>(runner),
                                                    GetLengthSid(runner))))
                    << c.name << " cut at " << n;
            }
        }
        LocalFree(runner);
    }
}

// A manifest is read from a folder anyone with access may have written to.
// The parser must read no byte past the length it is given (the line ends
// at a guard page here, with no NUL), and whatever it accepts must write out
// and read back as the same entry.
TEST(QuarantineFormat, ManifestParserStaysInsideHostileLines)
{
    const std::string valid = "2026-12-10T07:02:11Z\t"
                              "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789"
                              "\tW32/Vexmor.Bc.Trojan\tC:\\a\\b.exe\t8425\trestored 2026-12-11T00:00:00Z";
    auto check = [](const std::vector<uint8_t>& bytes, const std::string& what) {
        GuardedBuffer line(bytes);
        ASSERT_NE(nullptr, line.data());
        ManifestEntry entry;
        if (!ParseManifestLine(reinterpret_cast<const char*>(line.data()), line.size(), entry))
            return;
        ASSERT_LT(strlen(entry.time), sizeof entry.time) << what;
        ASSERT_EQ(64u, strlen(entry.sha256)) << what;
        ASSERT_LT(strlen(entry.path), sizeof entry.path) << what;
        char again[kManifestLineChars + 64];
        ASSERT_TRUE(FormatManifestLine(entry, again, sizeof again)) << what;
        ManifestEntry reread;
        ASSERT_TRUE(ParseManifestLine(again, strlen(again) - 2, reread)) << what;
        ASSERT_EQ(0, memcmp(&entry, &reread, sizeof entry)) << what;
    };
    // Every cut of the line.
    for (size_t n = 0; n <= valid.size(); ++n)
        check(std::vector<uint8_t>(valid.begin(), valid.begin() + n), "cut at " + std::to_string(n));
    // Bytes changed into field and line breakers, NULs, high bytes and noise.
    const uint8_t breakers[] = {'\t', '\0', '\r', '\n', 0x7F, 0xFF, 'x', '9', ' '};
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> bytes(valid.begin(), valid.end());
        for (int k = 1 + int(next() % 4); k > 0; --k) {
            uint8_t b = round % 2 ? breakers[next() % sizeof breakers] : uint8_t(next());
            bytes[next() % bytes.size()] = b;
        }
        if (round % 5 == 0)
            bytes.resize(next() % (bytes.size() + 1));
        check(bytes, "round " + std::to_string(round));
        if (HasFatalFailure())
            return;
    }
    // Longer than any line the program writes: refused, not cut.
    std::string longLine = valid;
    longLine.insert(longLine.find("C:"), std::string(kManifestLineChars, 'p'));
    ManifestEntry entry;
    GuardedBuffer tooLong(std::vector<uint8_t>(longLine.begin(), longLine.end()));
    EXPECT_FALSE(ParseManifestLine(reinterpret_cast<const char*>(tooLong.data()), tooLong.size(), entry));
}

// --- the console program, run as a child -----------------------------------

std::string CliPath() { return EmbeddedProgram("scourix-cli.exe"); }

ChildResult RunCli(const std::string& args) { return RunChild(CliPath(), args, "", 120000); }

std::string ReadText(const std::string& path)
{
    std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Names of the entries of folder, sorted.
std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(data.cFileName, ".") != 0 && strcmp(data.cFileName, "..") != 0)
            names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Sha256Of(const std::vector<uint8_t>& bytes) { return Sha256Hex(bytes.data(), bytes.size()); }

// The original bytes back from a kept copy, or empty when it is not one.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& kept)
{
    if (kept.size() < sizeof kQuarantineMagic || memcmp(kept.data(), kQuarantineMagic, sizeof kQuarantineMagic) != 0)
        return {};
    std::vector<uint8_t> bytes(kept.begin() + sizeof kQuarantineMagic, kept.end());
    TransformQuarantineBytes(bytes.data(), bytes.size(), 0);
    return bytes;
}

void ClearAttributes(const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); }

class QuarantineRun : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(CliPath().empty());
        dir_ = MakeScratchSubdir("scan");
        side_ = MakeScratchSubdir("side");
        quarantine_ = side_ + "\\quarantine";
        report_ = side_ + "\\report.txt";
    }
    void TearDown() override
    {
        RemoveTree(dir_);
        RemoveTree(side_);
    }
    std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
    std::string Scan(const std::string& extra = "") const
    {
        return "/F:" + dir_ + " /L:" + report_ + " /B:" + quarantine_ + extra;
    }
    std::vector<std::string> Manifest() const { return SplitLines(ReadText(quarantine_ + "\\manifest.tsv")); }
    std::vector<std::string> Report() const { return SplitLines(ReadText(report_)); }

    std::string dir_, side_, quarantine_, report_;
};

TEST_F(QuarantineRun, EachFileIsKeptNeutralisedAndListedBeforeItGoes)
{
    const std::string plain = Path("vexa.exe");
    const std::string hidden = Path("sub\\vexb.scr");
    ASSERT_TRUE(MakeDirs(Path("sub")));
    ASSERT_TRUE(WriteSample(plain, kRecord));
    ASSERT_TRUE(WriteSample(hidden, kRecord, SampleKind::Exact));
    ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    const std::vector<uint8_t> original = BuildSample(kRecord);
    const std::string digest = Sha256Of(original);

    ChildResult run = RunCli(Scan());

    ASSERT_EQ(1, run.exitCode) << run.output;
    EXPECT_FALSE(FileExists(plain));
    EXPECT_FALSE(FileExists(hidden));
    const std::vector<std::string> report = Report();
    EXPECT_TRUE(Contains(report, plain + "     " + RecordName() + " removed")) << ReadText(report_);
    EXPECT_TRUE(Contains(report, hidden + "     " + RecordName() + " removed")) << ReadText(report_);
    EXPECT_TRUE(Contains(report, "Action: remove, after keeping a copy in " + quarantine_)) << ReadText(report_);

    // Both files had the same bytes: one copy, two lines.
    EXPECT_EQ((std::vector<std::string>{digest + ".vxq", "manifest.tsv"}), ListFolder(quarantine_));
    const std::vector<std::string> lines = Manifest();
    ASSERT_EQ(2u, lines.size()) << ReadText(quarantine_ + "\\manifest.tsv");
    EXPECT_EQ("\r\n", ReadText(quarantine_ + "\\manifest.tsv").substr(ReadText(quarantine_ + "\\manifest.tsv").size() - 2));
    std::vector<std::string> paths;
    for (const std::string& line : lines) {
        std::vector<std::string> f = SplitTabs(line);
        ASSERT_EQ(5u, f.size()) << line;
        EXPECT_TRUE(std::regex_match(f[0], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << f[0];
        EXPECT_EQ(digest, f[1]);
        EXPECT_EQ(RecordName(), f[2]);
        EXPECT_EQ(std::to_string(original.size()), f[4]);
        paths.push_back(f[3]);
    }
    EXPECT_EQ((std::vector<std::string>{plain, hidden}), paths) << "in the order of removal";

    const std::vector<uint8_t> kept = ReadBytes(quarantine_ + "\\" + digest + ".vxq");
    ASSERT_GE(kept.size(), 2u);
    EXPECT_FALSE(kept[0] == 'M' && kept[1] == 'Z') << "no loader may see a program";
    EXPECT_EQ(original, Decode(kept));

    // What the quarantine holds is found by no record: a scan of it finds nothing.
    ChildResult again = RunCli("/N /F:" + quarantine_);
    EXPECT_EQ(0, again.exitCode) << again.output;
    EXPECT_NE(std::string::npos, again.output.find("Total files infected\t\t:  0")) << again.output;
}

// Checks that folder's access list names exactly Administrators and SYSTEM
// with full control, inherited by what is made inside, and nothing from above.
void ExpectAdministratorsAndSystemOnly(const std::string& folder)
{
    std::vector<uint8_t> buffer(4096);
    DWORD needed = 0;
    ASSERT_TRUE(GetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION,
                                 reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data()), DWORD(buffer.size()), &needed))
        << GetLastError();
    auto* descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data());
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl != nullptr) << "a folder without an access list is open to everyone";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "entries from the parent would be inherited";
    ASSERT_EQ(2u, acl->AceCount);
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr, system = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                         &admins));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
    bool sawAdmins = false, sawSystem = false;
    std::string seen;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        LPVOID raw = nullptr;
        ASSERT_TRUE(GetAce(acl, i, &raw));
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        ASSERT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(DWORD(FILE_ALL_ACCESS), ace->Mask & FILE_ALL_ACCESS);
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
        PSID sid = &ace->SidStart;
        char* text = nullptr;
        if (ConvertSidToStringSidA(sid, &text)) {
            seen += std::string(" ") + text;
            LocalFree(text);
        }
        sawAdmins = sawAdmins || EqualSid(sid, admins);
        sawSystem = sawSystem || EqualSid(sid, system);
    }
    FreeSid(admins);
    FreeSid(system);
    EXPECT_TRUE(sawAdmins && sawSystem) << "entries for" << seen;
}

// Whether path's access list, read back, holds aces entries, the first for
// sid: a system that does not keep a list set by hand answers otherwise.
bool ListReadsBackAs(const std::string& path, DWORD aces, PSID sid)
{
    std::vector<uint8_t> buffer(4096);
    DWORD needed = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    LPVOID first = nullptr;
    return GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), DWORD(buffer.size()), &needed) &&
           GetSecurityDescriptorDacl(buffer.data(), &present, &acl, &defaulted) && present && acl &&
           acl->AceCount == aces && GetAce(acl, 0, &first) &&
           EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(first)->SidStart, sid);
}

// Whether this system keeps the access list the quarantine asks for when it
// is set on a folder by hand. Wine 8 keeps some, but answers for this one
// with a list made from the Unix mode bits.
bool FoldersKeepSuchAccessLists(const std::string& probe)
{
    if (!CreateDirectoryA(probe.c_str(), nullptr))
        return false;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr, system = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
    AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
    union {
        ACL acl;
        DWORD words[64];
    } space;
    SECURITY_DESCRIPTOR descriptor;
    bool set = admins && system && InitializeAcl(&space.acl, sizeof space, ACL_REVISION) &&
               AddAccessAllowedAceEx(&space.acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                     FILE_ALL_ACCESS, admins) &&
               AddAccessAllowedAceEx(&space.acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                     FILE_ALL_ACCESS, system) &&
               InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&descriptor, TRUE, &space.acl, FALSE) &&
               SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED) &&
               SetFileSecurityA(probe.c_str(), DACL_SECURITY_INFORMATION, &descriptor);
    bool kept = set && ListReadsBackAs(probe, 2, admins);
    if (admins)
        FreeSid(admins);
    if (system)
        FreeSid(system);
    RemoveDirectoryA(probe.c_str());
    return kept;
}

TEST_F(QuarantineRun, FolderMadeByTheScanIsForAdministratorsAndSystemOnly)
{
    if (!FoldersKeepSuchAccessLists(side_ + "\\probe"))
        GTEST_SKIP() << "this system does not keep an access list for Administrators and SYSTEM set on a "
                        "folder (Wine 8 answers with one made from the Unix mode bits): not checkable here";
    ASSERT_TRUE(WriteSample(Path("vex.exe"), kRecord));
    ChildResult run = RunCli(Scan());
    ASSERT_EQ(1, run.exitCode) << run.output;
    ExpectAdministratorsAndSystemOnly(quarantine_);
}

TEST_F(QuarantineRun, RestorePutsTheBytesBackOnceAndMarksTheLine)
{
    const std::string sample = Path("deep\\vex.exe");
    ASSERT_TRUE(MakeDirs(Path("deep")));
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);
    ASSERT_EQ(1, RunCli(Scan()).exitCode);
    ASSERT_FALSE(FileExists(sample));
    std::string digest = Sha256Of(original);
    std::transform(digest.begin(), digest.end(), digest.begin(), ::toupper); // any case will do

    ChildResult restore = RunCli("/B:" + quarantine_ + " /RESTORE:" + digest);

    EXPECT_EQ(0, restore.exitCode) << restore.output;
    EXPECT_NE(std::string::npos, restore.output.find("restored " + sample)) << restore.output;
    EXPECT_EQ(original, ReadBytes(sample)) << "byte for byte";
    const std::vector<std::string> lines = Manifest();
    ASSERT_EQ(1u, lines.size());
    std::vector<std::string> f = SplitTabs(lines[0]);
    ASSERT_EQ(6u, f.size()) << lines[0];
    EXPECT_EQ(sample, f[3]);
    EXPECT_TRUE(std::regex_match(f[5], std::regex(R"(restored \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << f[5];
    EXPECT_EQ((std::vector<std::string>{Sha256Of(original) + ".vxq", "manifest.tsv"}), ListFolder(quarantine_))
        << "the copy stays; no working file is left";

    // Removed again and restored again is refused: the line says it was done.
    ASSERT_TRUE(DeleteFileA(sample.c_str()));
    ChildResult twice = RunCli("/B:" + quarantine_ + " /RESTORE:" + digest);
    EXPECT_EQ(5, twice.exitCode) << twice.output;
    EXPECT_NE(std::string::npos, twice.output.find("restored before")) << twice.output;
    EXPECT_FALSE(FileExists(sample));
}

// A manifest whose last line was cut short, with no line end (a scan killed
// mid-line, or an edit): the next entry starts a line of its own, so it is
// still found and restored.
TEST_F(QuarantineRun, EntryAfterALineCutShortStartsALineOfItsOwn)
{
    const std::string cut = "2026-01-01T00:00:00Z\t0123";
    ASSERT_TRUE(MakeDirs(quarantine_));
    ASSERT_TRUE(WriteText(quarantine_ + "\\manifest.tsv", cut));
    const std::string sample = Path("vex.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);
    ASSERT_EQ(1, RunCli(Scan()).exitCode);

    const std::vector<std::string> lines = Manifest();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(cut, lines[0]) << "the cut line is left as it was";
    EXPECT_EQ(sample, SplitTabs(lines[1]).at(3));
    ChildResult restore = RunCli("/B:" + quarantine_ + " /RESTORE:" + Sha256Of(original));
    EXPECT_EQ(0, restore.exitCode) << restore.output;
    EXPECT_EQ(original, ReadBytes(sample));
}

TEST_F(QuarantineRun, RestoreNeverReplacesAFileAtTheOriginalPath)
{
    const std::string sample = Path("vex.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::string digest = Sha256Of(ReadBytes(sample));
    ASSERT_EQ(1, RunCli(Scan()).exitCode);
    const std::string manifestBefore = ReadText(quarantine_ + "\\manifest.tsv");
    ASSERT_TRUE(WriteText(sample, "a new file by that name"));

    ChildResult restore = RunCli("/B:" + quarantine_ + " /RESTORE:" + digest);

    EXPECT_EQ(5, restore.exitCode) << restore.output;
    EXPECT_NE(std::string::npos, restore.output.find(sample + " exists; nothing was replaced")) << restore.output;
    EXPECT_EQ("a new file by that name", ReadText(sample));
    EXPECT_EQ(manifestBefore, ReadText(quarantine_ + "\\manifest.tsv")) << "the line stays unmarked";
    EXPECT_EQ(2u, ListFolder(quarantine_).size()) << "no working file is left";
    EXPECT_EQ(1u, ListFolder(dir_).size()) << "no working file is left beside the original";
}

TEST_F(QuarantineRun, RestoreRefusesWhatItCannotVouchFor)
{
    const std::string sample = Path("vex.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::string digest = Sha256Of(ReadBytes(sample));
    ASSERT_EQ(1, RunCli(Scan()).exitCode);

    struct Case {
        const char* name;
        std::string args;
        const char* says;
    };
    const Case cases[] = {
        {"UnknownHash", "/B:" + quarantine_ + " /RESTORE:" + std::string(64, '0'), "is not in the quarantine"},
        {"NotAHash", "/B:" + quarantine_ + " /RESTORE:1234", "needs a SHA-256"},
        {"NotAHashFrom80Characters", "/B:" + quarantine_ + " /RESTORE:" + std::string(100, 'a'), "needs a SHA-256"},
        {"NoQuarantineThere", "/B:" + side_ + "\\none /RESTORE:" + digest, "there is no quarantine folder"},
    };
    for (const Case& c : cases) {
        ChildResult run = RunCli(c.args);
        // A malformed value is a usage error whatever its length.
        const long code = std::string(c.says) == "needs a SHA-256" ? 4 : 5;
        EXPECT_EQ(code, run.exitCode) << c.name << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find(c.says)) << c.name << ": " << run.output;
    }
    EXPECT_FALSE(FileExists(sample));

    // A kept copy whose bytes changed is not put back.
    const std::string keptPath = quarantine_ + "\\" + digest + ".vxq";
    std::vector<uint8_t> kept = ReadBytes(keptPath);
    kept[kept.size() / 2] ^= 0x01;
    ASSERT_TRUE(WriteBytes(keptPath, kept));
    ChildResult damaged = RunCli("/B:" + quarantine_ + " /RESTORE:" + digest);
    EXPECT_EQ(5, damaged.exitCode) << damaged.output;
    EXPECT_NE(std::string::npos, damaged.output.find("damaged")) << damaged.output;
    EXPECT_FALSE(FileExists(sample));
    EXPECT_EQ(0u, ListFolder(dir_).size()) << "no working file is left beside the original";
}

TEST_F(QuarantineRun, SameBytesAgainReplaceADamagedEarlierCopy)
{
    const std::string sample = Path("vex.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);
    const std::string keptPath = quarantine_ + "\\" + Sha256Of(original) + ".vxq";
    ASSERT_EQ(1, RunCli(Scan()).exitCode);
    std::vector<uint8_t> kept = ReadBytes(keptPath);
    ASSERT_FALSE(kept.empty());
    kept.resize(kept.size() / 2); // a copy cut short
    ASSERT_TRUE(WriteBytes(keptPath, kept));

    ASSERT_TRUE(WriteSample(sample, kRecord));
    ChildResult again = RunCli(Scan());

    EXPECT_EQ(1, again.exitCode) << again.output;
    EXPECT_FALSE(FileExists(sample));
    EXPECT_EQ(2u, Manifest().size());
    EXPECT_EQ(original, Decode(ReadBytes(keptPath))) << "the second removal's copy gives the bytes back";
    EXPECT_EQ(2u, ListFolder(quarantine_).size()) << "no working file is left";
}

TEST_F(QuarantineRun, ListPrintsTheManifest)
{
    ASSERT_TRUE(WriteSample(Path("vex.exe"), kRecord));
    ASSERT_EQ(1, RunCli(Scan()).exitCode);
    ChildResult list = RunCli("/LIST:" + quarantine_);
    EXPECT_EQ(0, list.exitCode) << list.output;
    EXPECT_EQ(ReadText(quarantine_ + "\\manifest.tsv"), list.output);

    ChildResult none = RunCli("/LIST:" + side_ + "\\none");
    EXPECT_EQ(5, none.exitCode) << none.output;
}

// Ways the copy cannot be kept. The file must stay, reported like a failed
// delete, with code 2 and nothing half-written left in the folder.
enum class Blocker { ManifestHeld, ManifestIsAFolder };

struct BlockedCase {
    const char* name;
    Blocker blocker;
    bool longPath; // the file's path nearly MAX_PATH long: the notice still says why
};

class QuarantineBlocked : public QuarantineRun, public testing::WithParamInterface<BlockedCase> {};

TEST_P(QuarantineBlocked, FileStaysWhenItsCopyCannotBeKept)
{
    const BlockedCase& c = GetParam();
    std::string sample = Path("vex.exe");
    if (c.longPath) {
        std::string deep = dir_;
        while (deep.size() + 61 < MAX_PATH - 12)
            deep += "\\" + std::string(60, 'd');
        deep += "\\" + std::string(MAX_PATH - 13 - deep.size() - 1, 'e'); // the longest folder a file can be made in
        ASSERT_TRUE(MakeDirs(deep));
        sample = deep + "\\vex.exe";
    }
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);
    std::string folder = quarantine_;
    HANDLE held = INVALID_HANDLE_VALUE;
    std::vector<std::string> folderBefore;
    switch (c.blocker) {
    case Blocker::ManifestHeld:
        ASSERT_TRUE(MakeDirs(folder));
        ASSERT_TRUE(WriteText(folder + "\\manifest.tsv", ""));
        held = CreateFileA((folder + "\\manifest.tsv").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        break;
    case Blocker::ManifestIsAFolder:
        ASSERT_TRUE(MakeDirs(folder + "\\manifest.tsv"));
        break;
    }
    if (c.blocker == Blocker::ManifestHeld || c.blocker == Blocker::ManifestIsAFolder)
        folderBefore = ListFolder(folder);

    ChildResult run = RunCli("/F:" + dir_ + " /L:" + report_ + " /B:" + folder);
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);

    EXPECT_EQ(2, run.exitCode) << run.output;
    EXPECT_EQ(original, ReadBytes(sample)) << "the infected file stays as it was";
    const std::vector<std::string> report = Report();
    EXPECT_TRUE(Contains(report, sample + "     " + RecordName() + " Unable to remove")) << ReadText(report_);
    EXPECT_TRUE(Contains(report, "Total files removed\t\t:  0")) << ReadText(report_);
    EXPECT_TRUE(Contains(report, "Exit code: 2 (found and not all removed)")) << ReadText(report_);
    EXPECT_FALSE(Contains(report, "Restart: needed, not requested (no /R)")) << "no removal at restart either";
    bool noticed = false;
    for (const std::string& line : report)
        noticed = noticed || (line.rfind("Notice: Quarantine: " + sample + " was left in place: ", 0) == 0 &&
                              std::regex_search(line, std::regex(R"(cannot be written \(error \d+\)$)")));
    EXPECT_TRUE(noticed) << "the notice names the file and says why, whole: " << ReadText(report_);
    if (!folderBefore.empty()) {
        EXPECT_EQ(folderBefore, ListFolder(folder)) << "nothing half-written stays behind";
    }
    ClearAttributes(sample);
}

const BlockedCase kBlockedCases[] = {
    {"ManifestHeldOpen", Blocker::ManifestHeld, false},
    {"ManifestIsAFolder", Blocker::ManifestIsAFolder, false},
    {"ManifestIsAFolderLongPath", Blocker::ManifestIsAFolder, true},
};

INSTANTIATE_TEST_SUITE_P(Quarantine, QuarantineBlocked, testing::ValuesIn(kBlockedCases),
                         [](const testing::TestParamInfo<BlockedCase>& info) { return std::string(info.param.name); });

TEST_F(QuarantineRun, LockedFileIsCopiedThenLeftForTheRestart)
{
    const std::string sample = Path("held.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);
    // Open without delete sharing: readable, but neither deletable nor freed
    // by ending a process.
    HANDLE held = CreateFileA(sample.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    ChildResult run = RunCli(Scan());
    CloseHandle(held);

    EXPECT_EQ(3, run.exitCode) << run.output;
    EXPECT_TRUE(FileExists(sample));
    EXPECT_TRUE(Contains(Report(), sample + "     " + RecordName() + " Unable to remove")) << ReadText(report_);
    ASSERT_EQ(1u, Manifest().size());
    EXPECT_EQ(original, Decode(ReadBytes(quarantine_ + "\\" + Sha256Of(original) + ".vxq")));
    // Take back the removal at restart that the scan asked for.
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_SET_VALUE,
                      &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

DWORD WINAPI FillPipe(void* writeEnd)
{
    static char junk[1 << 20];
    DWORD written = 0;
    WriteFile(static_cast<HANDLE>(writeEnd), junk, sizeof junk, &written, nullptr);
    return 0;
}

TEST_F(QuarantineRun, ManifestLineIsWrittenWhenTheCopyIsMadeNotAtTheEnd)
{
    // Two infected files; the first one's result line can never be printed
    // (standard output is a pipe nobody reads, filled beforehand), so the scan
    // stalls right after the first removal and is then killed.
    const std::string first = Path("vexa.exe");
    const std::string second = Path("sub\\vexb.exe");
    ASSERT_TRUE(MakeDirs(Path("sub")));
    ASSERT_TRUE(WriteSample(first, kRecord));
    ASSERT_TRUE(WriteSample(second, kRecord));
    const std::vector<uint8_t> original = ReadBytes(first);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 4096));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE filler = CreateThread(nullptr, 0, FillPipe, writeEnd, 0, nullptr);
    ASSERT_NE(nullptr, filler);
    Sleep(200);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string command = "\"" + CliPath() + "\" " + Scan();
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child));

    bool lineSeen = false;
    for (DWORD waited = 0; waited < 60000 && !lineSeen; waited += 100) {
        Sleep(100);
        lineSeen = Manifest().size() == 1 && ReadText(quarantine_ + "\\manifest.tsv").back() == '\n';
    }
    Sleep(300); // the removal that follows the line
    const bool stillRunning = WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT;
    TerminateProcess(child.hProcess, 99);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(readEnd); // frees the filler's write
    WaitForSingleObject(filler, 10000);
    CloseHandle(filler);
    CloseHandle(writeEnd);

    ASSERT_TRUE(lineSeen) << "no manifest line while the scan ran";
    EXPECT_TRUE(stillRunning) << "the scan was to be stopped before its end";
    const std::vector<std::string> lines = Manifest();
    ASSERT_EQ(1u, lines.size());
    std::vector<std::string> f = SplitTabs(lines[0]);
    ASSERT_EQ(5u, f.size()) << lines[0];
    EXPECT_EQ(first, f[3]);
    EXPECT_EQ(original, Decode(ReadBytes(quarantine_ + "\\" + f[1] + ".vxq")));
    EXPECT_FALSE(FileExists(first));
    EXPECT_TRUE(FileExists(second)) << "the walk never reached it";
}

// --- folders others could write to, and manifests they could plant ---------

// The README's example names a folder whose parents may not exist yet.
TEST_F(QuarantineRun, MissingParentFoldersAreMade)
{
    const std::string folder = side_ + "\\Scourix\\Quarantine";
    const std::string sample = Path("vex.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);

    ChildResult run = RunCli("/F:" + dir_ + " /L:" + report_ + " /B:" + folder);

    EXPECT_EQ(1, run.exitCode) << run.output;
    EXPECT_FALSE(FileExists(sample));
    EXPECT_EQ(original, Decode(ReadBytes(folder + "\\" + Sha256Of(original) + ".vxq")));
    ChildResult restore = RunCli("/B:" + folder + " /RESTORE:" + Sha256Of(original));
    EXPECT_EQ(0, restore.exitCode) << restore.output;
    EXPECT_EQ(original, ReadBytes(sample));
}

// The neutralised form of bytes, as the quarantine keeps them.
std::vector<uint8_t> Encode(std::vector<uint8_t> bytes)
{
    TransformQuarantineBytes(bytes.data(), bytes.size(), 0);
    bytes.insert(bytes.begin(), kQuarantineMagic, kQuarantineMagic + sizeof kQuarantineMagic);
    return bytes;
}

std::string PlantedLine(const std::string& sha, const std::string& path, size_t size)
{
    return "2026-01-01T00:00:00Z\t" + sha + "\tW32/Vexmor.Trojan\t" + path + "\t" + std::to_string(size) + "\r\n";
}

// Gives everyone full control of folder (what a folder a standard user made
// first may grant); false when this system does not keep such a list.
bool OpenFolderToEveryone(const std::string& folder)
{
    PSID everyone = nullptr;
    if (!ConvertStringSidToSidA("S-1-1-0", &everyone))
        return false;
    union {
        ACL acl;
        DWORD words[64];
    } space;
    SECURITY_DESCRIPTOR descriptor;
    bool set = InitializeAcl(&space.acl, sizeof space, ACL_REVISION) &&
               AddAccessAllowedAceEx(&space.acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                     FILE_ALL_ACCESS, everyone) &&
               InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&descriptor, TRUE, &space.acl, FALSE) &&
               SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, &descriptor);
    bool kept = set && ListReadsBackAs(folder, 1, everyone);
    LocalFree(everyone);
    return kept;
}

enum class Hostile {
    FolderNameIsAFile,
    RelativeTarget,
    DriveRelativeTarget,
    DotDotTarget,
    DevicePathTarget,
    LinkAmongParents,
    FullwidthDotsOnWindows98,
    FullwidthDotsOnNt,
    DelInTheName,
    ContinuationBytes,
};

struct HostileCase {
    const char* name;
    Hostile kind;
    long code;
    const char* says; // in the program's output
};

class QuarantineHostile : public QuarantineRun, public testing::WithParamInterface<HostileCase> {};

TEST_P(QuarantineHostile, NothingIsLostAndNothingIsPlanted)
{
    const HostileCase& c = GetParam();
    const std::string sample = Path(c.kind == Hostile::DelInTheName ? "vex\x7F.exe" : "vex.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);
    // What a planter wants written, and where.
    const std::vector<uint8_t> planted = BuildCleanProgram();
    const std::string plantedSha = Sha256Of(planted);
    std::string target;
    std::string winVersion;
    std::vector<std::string> mustNotExist;
    ChildResult run;
    auto plant = [&](const std::string& path) {
        ASSERT_TRUE(MakeDirs(quarantine_));
        ASSERT_TRUE(WriteBytes(quarantine_ + "\\" + plantedSha + ".vxq", Encode(planted)));
        ASSERT_TRUE(WriteText(quarantine_ + "\\manifest.tsv", PlantedLine(plantedSha, path, planted.size())));
        target = path;
    };
    const std::string fullwidth = "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC"; // "．．＼"

    switch (c.kind) {
    case Hostile::FolderNameIsAFile:
        ASSERT_TRUE(WriteText(quarantine_, "not a folder"));
        run = RunCli(Scan());
        EXPECT_EQ("not a folder", ReadText(quarantine_));
        break;
    case Hostile::RelativeTarget:
        plant("planted.exe");
        mustNotExist = {Path("planted.exe"), side_ + "\\planted.exe", quarantine_ + "\\planted.exe"};
        run = RunChild(CliPath(), "/B:" + quarantine_ + " /RESTORE:" + plantedSha, "", 120000, dir_);
        break;
    case Hostile::DriveRelativeTarget:
        plant("C:planted.exe");
        mustNotExist = {Path("planted.exe")};
        run = RunChild(CliPath(), "/B:" + quarantine_ + " /RESTORE:" + plantedSha, "", 120000, dir_);
        break;
    case Hostile::DotDotTarget:
        ASSERT_TRUE(MakeDirs(Path("sub")));
        plant(Path("sub\\..\\planted.exe"));
        mustNotExist = {Path("planted.exe")};
        run = RunCli("/B:" + quarantine_ + " /RESTORE:" + plantedSha);
        break;
    case Hostile::DevicePathTarget:
        plant("\\\\?\\" + Path("planted.exe"));
        mustNotExist = {Path("planted.exe")};
        run = RunCli("/B:" + quarantine_ + " /RESTORE:" + plantedSha);
        break;
    case Hostile::LinkAmongParents: {
        const std::string elsewhere = side_ + "\\elsewhere";
        ASSERT_TRUE(MakeDirs(elsewhere));
        if (!MakeSymbolicLink(Path("link"), elsewhere, true))
            GTEST_SKIP() << "no folder link can be made here (error " << GetLastError() << ")";
        plant(Path("link\\planted.exe"));
        mustNotExist = {elsewhere + "\\planted.exe"};
        run = RunCli("/B:" + quarantine_ + " /RESTORE:" + plantedSha);
        RemoveDirectoryA(Path("link").c_str());
        break;
    }
    case Hostile::FullwidthDotsOnWindows98:
    case Hostile::FullwidthDotsOnNt:
        ASSERT_TRUE(MakeDirs(Path("sub")));
        // The code page would turn it into "..\": one folder up.
        plant(Path("sub\\") + fullwidth + "planted.exe");
        mustNotExist = {Path("planted.exe"), Path("sub\\..planted.exe")};
        winVersion = c.kind == Hostile::FullwidthDotsOnWindows98 ? "win98" : "";
        run = RunChild(CliPath(), "/B:" + quarantine_ + " /RESTORE:" + plantedSha, winVersion, 120000);
        break;
    case Hostile::DelInTheName: {
        ASSERT_EQ(1, RunCli(Scan()).exitCode);
        ASSERT_FALSE(FileExists(sample));
        const std::string manifest = ReadText(quarantine_ + "\\manifest.tsv");
        EXPECT_NE(std::string::npos, manifest.find("vex|7F.exe\t")) << manifest;
        run = RunCli("/B:" + quarantine_ + " /RESTORE:" + Sha256Of(original));
        EXPECT_EQ(original, ReadBytes(sample)) << "restored byte for byte under its exact name";
        break;
    }
    case Hostile::ContinuationBytes: {
        ASSERT_EQ(1, RunCli(Scan()).exitCode);
        std::string manifest = ReadText(quarantine_ + "\\manifest.tsv");
        const std::string good = manifest;
        manifest += std::string(3000, '\x80') + "\r\n" + good;
        ASSERT_TRUE(WriteText(quarantine_ + "\\manifest.tsv", manifest));
        run = RunCli("/LIST:" + quarantine_);
        EXPECT_EQ(0u, run.output.find(manifest)) << "everything is listed, the second entry too";
        break;
    }
    }

    EXPECT_EQ(c.code, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(c.says)) << run.output;
    for (const std::string& path : mustNotExist)
        EXPECT_FALSE(FileExists(path)) << path << " was written";
    if (!target.empty() && c.code != 0) {
        EXPECT_EQ(PlantedLine(plantedSha, target, planted.size()), ReadText(quarantine_ + "\\manifest.tsv"))
            << "the line stays unmarked";
    }
    if (c.kind == Hostile::FullwidthDotsOnNt) {
        // On the NT family the name is written back exactly as it was.
        std::wstring exact;
        std::string utf8 = Path("sub\\") + fullwidth + "planted.exe";
        exact.resize(utf8.size() + 1);
        exact.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &exact[0], int(exact.size())) - 1));
        HANDLE h = CreateFileW(exact.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h) << "restored under its exact name";
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        DeleteFileW(exact.c_str());
    }
    // Nothing lost: the infected file is in place, or its copy gives it back.
    if (!FileExists(sample)) {
        EXPECT_EQ(original, Decode(ReadBytes(quarantine_ + "\\" + Sha256Of(original) + ".vxq")));
    } else {
        EXPECT_EQ(original, ReadBytes(sample));
    }
}

const HostileCase kHostileCases[] = {
    // Refused before the scan: nothing is removed without its copy.
    {"FolderNameIsAFile", Hostile::FolderNameIsAFile, 5, "the quarantine folder name is taken by a file; nothing was scanned"},
    {"RelativeTarget", Hostile::RelativeTarget, 5, "is not a full path"},
    {"DriveRelativeTarget", Hostile::DriveRelativeTarget, 5, "is not a full path"},
    {"DotDotTarget", Hostile::DotDotTarget, 5, "is not made of plain names"},
    {"DevicePathTarget", Hostile::DevicePathTarget, 5, "is not a full path"},
    // Windows says "is a link"; under Wine the child sees no folder there at all.
    {"LinkAmongParents", Hostile::LinkAmongParents, 5, " is not restored: the folder "},
    {"FullwidthDotsOnWindows98", Hostile::FullwidthDotsOnWindows98, 5, "cannot be written exactly on this system"},
    {"FullwidthDotsOnNt", Hostile::FullwidthDotsOnNt, 0, "restored "},
    {"DelInTheName", Hostile::DelInTheName, 0, "restored "},
    {"ContinuationBytes", Hostile::ContinuationBytes, 5, "the manifest is damaged"},
};

INSTANTIATE_TEST_SUITE_P(Quarantine, QuarantineHostile, testing::ValuesIn(kHostileCases),
                         [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

// A folder a standard user made first, open to everyone: a scan refuses it
// before removing anything, and a restore refuses the line planted in it.
TEST_F(QuarantineRun, FolderOthersMayWriteToIsNotUsed)
{
    ASSERT_TRUE(MakeDirs(quarantine_));
    if (!OpenFolderToEveryone(quarantine_))
        GTEST_SKIP() << "this system does not keep an access list set on a folder (Wine 8 answers with one made "
                        "from the Unix mode bits); the decision is tested on built descriptors";
    const std::string sample = Path("vex.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);
    ChildResult scan = RunCli(Scan());
    EXPECT_EQ(5, scan.exitCode) << scan.output;
    EXPECT_NE(std::string::npos, scan.output.find("is not used: others than Administrators and SYSTEM may write to it"))
        << scan.output;
    EXPECT_EQ(original, ReadBytes(sample)) << "nothing is removed";
    EXPECT_TRUE(ListFolder(quarantine_).empty());

    const std::vector<uint8_t> planted = BuildCleanProgram();
    const std::string line = PlantedLine(Sha256Of(planted), Path("planted.exe"), planted.size());
    ASSERT_TRUE(WriteBytes(quarantine_ + "\\" + Sha256Of(planted) + ".vxq", Encode(planted)));
    ASSERT_TRUE(WriteText(quarantine_ + "\\manifest.tsv", line));
    ChildResult restore = RunCli("/B:" + quarantine_ + " /RESTORE:" + Sha256Of(planted));
    EXPECT_EQ(5, restore.exitCode) << restore.output;
    EXPECT_NE(std::string::npos, restore.output.find("is not used")) << restore.output;
    EXPECT_FALSE(FileExists(Path("planted.exe")));
    EXPECT_EQ(line, ReadText(quarantine_ + "\\manifest.tsv"));
}

// Windows 9x reaches files through the ANSI functions: a name of the code
// page is kept, listed and restored as on the NT family.
TEST_F(QuarantineRun, KeptAndRestoredAsWindows98)
{
    ASSERT_EQ(1252u, GetACP());
    const std::string sample = Path("caf\xE9.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);

    ChildResult scan = RunChild(CliPath(), Scan(), "win98", 120000);
    ASSERT_EQ(1, scan.exitCode) << scan.output;
    EXPECT_FALSE(FileExists(sample));
    const std::vector<std::string> lines = Manifest();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(Path("caf\xC3\xA9.exe"), SplitTabs(lines[0]).at(3)) << "the path as UTF-8";

    ChildResult restore = RunChild(CliPath(), "/B:" + quarantine_ + " /RESTORE:" + Sha256Of(original), "win98", 120000);
    EXPECT_EQ(0, restore.exitCode) << restore.output;
    EXPECT_EQ(original, ReadBytes(sample));
}

// A copy that merely cannot be read now (held open by someone) may be the
// only copy of a file removed before: it is never replaced.
TEST_F(QuarantineRun, EarlierCopyThatCannotBeReadIsKept)
{
    const std::string sample = Path("vex.exe");
    ASSERT_TRUE(WriteSample(sample, kRecord));
    const std::vector<uint8_t> original = ReadBytes(sample);
    const std::string keptPath = quarantine_ + "\\" + Sha256Of(original) + ".vxq";
    ASSERT_EQ(1, RunCli(Scan()).exitCode);
    ASSERT_TRUE(WriteSample(sample, kRecord));
    // Held without read sharing, but with delete sharing: unreadable, yet
    // a delete would succeed.
    HANDLE held = CreateFileA(keptPath.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    ChildResult again = RunCli(Scan());
    CloseHandle(held);

    EXPECT_EQ(2, again.exitCode) << again.output;
    EXPECT_EQ(original, ReadBytes(sample)) << "the file stays without a copy of its own";
    EXPECT_NE(std::string::npos, ReadText(report_).find("an earlier copy of the same bytes cannot be read"))
        << ReadText(report_);
    EXPECT_EQ(original, Decode(ReadBytes(keptPath))) << "the earlier copy is still there";
    EXPECT_EQ(1u, Manifest().size());
}

// --- one writer of the manifest at a time -----------------------------------

struct Started {
    PROCESS_INFORMATION process = {};
    std::string outPath;
};

Started StartCli(const std::string& args, const std::string& outPath)
{
    Started started;
    started.outPath = outPath;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    std::string command = "\"" + CliPath() + "\" " + args;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started.process);
    CloseHandle(out);
    return started;
}

// Waits for the end; -1 when it did not end in time (then it is ended).
long Finish(Started& started, DWORD ms, std::string* output)
{
    long code = -1;
    if (WaitForSingleObject(started.process.hProcess, ms) == WAIT_OBJECT_0) {
        DWORD exit = 0;
        GetExitCodeProcess(started.process.hProcess, &exit);
        code = long(exit);
    } else {
        TerminateProcess(started.process.hProcess, 99);
        WaitForSingleObject(started.process.hProcess, 5000);
    }
    CloseHandle(started.process.hThread);
    CloseHandle(started.process.hProcess);
    if (output)
        *output = ReadText(started.outPath);
    return code;
}

// A restore and a scan on one folder at once, while a third run holds the
// manifest: both wait, and afterwards the manifest holds the restore's mark
// and the scan's new line alike.
TEST_F(QuarantineRun, RestoreAndScanAtOnceLoseNoLine)
{
    const std::string first = Path("vexa.exe");
    ASSERT_TRUE(WriteSample(first, kRecord));
    const std::vector<uint8_t> original = ReadBytes(first);
    ASSERT_EQ(1, RunCli(Scan()).exitCode);
    const std::string second = Path("sub\\vexb.exe");
    ASSERT_TRUE(MakeDirs(Path("sub")));
    ASSERT_TRUE(WriteSample(second, 0)); // other bytes: a copy of its own
    const std::vector<uint8_t> secondBytes = ReadBytes(second);

    HANDLE lock = CreateFileA((quarantine_ + "\\manifest.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    Started restore = StartCli("/B:" + quarantine_ + " /RESTORE:" + Sha256Of(original), side_ + "\\restore.txt");
    Started scan = StartCli("/F:" + Path("sub") + " /B:" + quarantine_, side_ + "\\scan.txt");
    Sleep(3000);
    const bool restoreWaited = WaitForSingleObject(restore.process.hProcess, 0) == WAIT_TIMEOUT;
    const bool scanWaited = WaitForSingleObject(scan.process.hProcess, 0) == WAIT_TIMEOUT;
    CloseHandle(lock);
    std::string restoreOutput, scanOutput;
    const long restoreCode = Finish(restore, 60000, &restoreOutput);
    const long scanCode = Finish(scan, 60000, &scanOutput);

    EXPECT_TRUE(restoreWaited) << "the restore did not wait for the manifest";
    EXPECT_TRUE(scanWaited) << "the scan did not wait for the manifest";
    EXPECT_EQ(0, restoreCode) << restoreOutput;
    EXPECT_EQ(1, scanCode) << scanOutput;
    EXPECT_EQ(original, ReadBytes(first));
    EXPECT_FALSE(FileExists(second));
    const std::vector<std::string> lines = Manifest();
    ASSERT_EQ(2u, lines.size()) << ReadText(quarantine_ + "\\manifest.tsv");
    int restored = 0, kept = 0;
    for (const std::string& line : lines) {
        std::vector<std::string> f = SplitTabs(line);
        restored += f.size() == 6 && f[3] == first;
        kept += f.size() == 5 && f[3] == second;
    }
    EXPECT_EQ(1, restored) << ReadText(quarantine_ + "\\manifest.tsv");
    EXPECT_EQ(1, kept) << ReadText(quarantine_ + "\\manifest.tsv");
    EXPECT_EQ(secondBytes, Decode(ReadBytes(quarantine_ + "\\" + Sha256Of(secondBytes) + ".vxq")));
}

// Held longer than either waits: each refuses with a line, nothing is lost.
TEST_F(QuarantineRun, ManifestHeldTooLongIsRefusedWithALine)
{
    const std::string first = Path("vexa.exe");
    ASSERT_TRUE(WriteSample(first, kRecord));
    const std::vector<uint8_t> original = ReadBytes(first);
    ASSERT_EQ(1, RunCli(Scan()).exitCode);
    const std::string manifestBefore = ReadText(quarantine_ + "\\manifest.tsv");
    const std::string second = Path("sub\\vexb.exe");
    ASSERT_TRUE(MakeDirs(Path("sub")));
    ASSERT_TRUE(WriteSample(second, 0)); // other bytes: a copy of its own
    const std::vector<uint8_t> secondBytes = ReadBytes(second);

    HANDLE lock = CreateFileA((quarantine_ + "\\manifest.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    Started restore = StartCli("/B:" + quarantine_ + " /RESTORE:" + Sha256Of(original), side_ + "\\restore.txt");
    Started scan = StartCli("/F:" + Path("sub") + " /L:" + report_ + " /B:" + quarantine_, side_ + "\\scan.txt");
    std::string restoreOutput, scanOutput;
    const long restoreCode = Finish(restore, 60000, &restoreOutput);
    const long scanCode = Finish(scan, 60000, &scanOutput);
    CloseHandle(lock);

    EXPECT_EQ(5, restoreCode) << restoreOutput;
    EXPECT_NE(std::string::npos, restoreOutput.find("the quarantine is in use by another run")) << restoreOutput;
    EXPECT_FALSE(FileExists(first));
    EXPECT_EQ(2, scanCode) << scanOutput;
    EXPECT_EQ(secondBytes, ReadBytes(second)) << "left in place";
    EXPECT_NE(std::string::npos, ReadText(report_).find("the quarantine is in use by another run")) << ReadText(report_);
    EXPECT_EQ(manifestBefore, ReadText(quarantine_ + "\\manifest.tsv"));
    EXPECT_EQ(original, Decode(ReadBytes(quarantine_ + "\\" + Sha256Of(original) + ".vxq")));
}

} // namespace
