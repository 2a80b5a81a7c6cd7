// The mail-attachment content scan: the signature record, which files match,
// and what each action does to a matching file.
#include "scan/engine.h"
#include "scan/mail_scan.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/mail_samples.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

const char kName[] = "W32/Nyxem.Worm";

std::string Pattern() { return kMailPattern; }

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Sets ActionMode and the counters it touches, and puts them back afterwards.
struct ActionScope {
    int savedMode = ActionMode;
    explicit ActionScope(int mode) { ActionMode = mode; }
    ~ActionScope() { ActionMode = savedMode; }
};

} // namespace

TEST(MailSignature, RecordHoldsItsValuesAndTheScrambledPattern)
{
    const auto* raw = reinterpret_cast<const uint8_t*>(&MailSignature);
    EXPECT_STREQ(kName, MailSignature.name);
    EXPECT_EQ(134042, MailSignature.size);
    EXPECT_EQ(1888, MailSignature.offset);
    EXPECT_EQ(100, MailSignature.length);
    EXPECT_EQ(0, MailSignature.block);
    EXPECT_EQ(1, MailSignature.mode);
    EXPECT_EQ(4, MailSignature.unused1);
    EXPECT_EQ(18, MailSignature.sizeRule);
    EXPECT_EQ(0, MailSignature.unused2);
    // Little-endian fields at their positions.
    EXPECT_EQ(0x9A, raw[25]);
    EXPECT_EQ(0x0B, raw[26]);
    EXPECT_EQ(0x02, raw[27]);
    EXPECT_EQ(100, raw[31]);
    EXPECT_EQ(1, raw[135]);
    EXPECT_EQ(18, raw[139]);
    for (size_t i = 143; i < 170; ++i)
        EXPECT_EQ(0, raw[i]) << i;
    ASSERT_EQ(kMailPatternLength, strlen(kMailPattern));
    for (size_t i = 0; i < kMailPatternLength; ++i) {
        const uint8_t plain = static_cast<uint8_t>(kMailPattern[i]);
        EXPECT_TRUE(plain > 0x20 && plain <= 0x60) << i;
        const uint8_t expected = MailSignatureDescrambled ? plain : plain ^ 0x6B;
        EXPECT_EQ(expected, MailSignature.pattern[i]) << i;
    }
}

// ---- Which files match (through the file scan, action "none") ----

struct ContentCase {
    const char* name;
    std::string content;
    bool matches;
};

class MailContent : public ::testing::TestWithParam<ContentCase> {};

TEST_P(MailContent, MatchesOnlyWhatTheHeadHolds)
{
    const ContentCase& c = GetParam();
    const std::string dir = MakeScratchSubdir("mail");
    const std::string path = dir + "\\attach.uue";
    ASSERT_TRUE(WriteText(path, c.content));
    RecordingFrontEnd frontEnd;
    ActionScope action(0); // counted, nothing done, nothing reported
    const int infectedBefore = ScanState.filesInfected;

    EXPECT_EQ(c.matches ? 1 : 0, ScanMailAttachment("W32/Vexmor.Trojan", path.c_str()));
    EXPECT_EQ(infectedBefore + (c.matches ? 1 : 0), ScanState.filesInfected);
    EXPECT_TRUE(frontEnd.lines().empty());
    EXPECT_TRUE(frontEnd.statuses().empty()); // no show-status request
    EXPECT_EQ(Bytes(c.content), ReadBytes(path)); // the file is left as it was
    RemoveTree(dir);
}

std::vector<ContentCase> ContentCases()
{
    const std::string p = Pattern();
    std::string changed = p;
    changed[63] = changed[63] == 'A' ? 'B' : 'A';
    std::string everySpace; // each of the six stripped characters inside
    const char kSpaces[] = " \t\n\v\f\r";
    for (size_t i = 0; i < p.size(); ++i) {
        everySpace += p[i];
        if (i % 15 == 14)
            everySpace += kSpaces[(i / 15) % 6];
    }
    return {
        {"SplitAcrossLinesIn3000Bytes", MailFileWith(3000, 1200, SplitPattern()), true},
        {"WholeIn3000Bytes", MailFileWith(3000, 40, p), true},
        {"EverySpaceKindInside", MailFileWith(3000, 500, everySpace), true},
        {"BeginInCapitals", "BEGIN" + MailFileWith(3000, 700, p).substr(5), true},
        {"BeginInMixedCase", "bEgIn" + MailFileWith(3000, 700, p).substr(5), true},
        {"ShortestFile", "begin" + p, true},
        {"EndOfExactly4096Bytes", MailFileWith(4096, 4096 - 100, p), true},
        {"EndOfHeadIn10000Bytes", MailFileWith(10000, 4096 - 100, p), true},
        {"AfterAPartialStart", MailFileWith(3000, 300, p.substr(0, 60) + p), true},
        {"NoBeginWord", "xegin" + MailFileWith(3000, 700, p).substr(5), false},
        {"BeginAfterSpace", " " + MailFileWith(2999, 700, p), false},
        {"BeginCutShort", std::string("begi"), false},
        {"EmptyFile", std::string(), false},
        {"OneByteChanged", MailFileWith(3000, 700, changed), false},
        {"NulInside", MailFileWith(3000, 700, p.substr(0, 50) + std::string(1, '\0') + p.substr(50)), false},
        {"UnitSeparatorInside", MailFileWith(3000, 700, p.substr(0, 50) + "\x1f" + p.substr(50)), false},
        {"OnlyBeyondTheHead", MailFileWith(10000, 5000, p), false},
        {"OnlyInTheLastBlock", MailFileWith(10000, 10000 - 150, p), false},
        {"AcrossTheHeadEnd", MailFileWith(10000, 4096 - 50, p), false},
        {"ShorterThanThePattern", "begin" + p.substr(0, 90), false},
        {"NoPattern", MailFileWith(3000, 0, ""), false},
    };
}

INSTANTIATE_TEST_SUITE_P(Files, MailContent, ::testing::ValuesIn(ContentCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MailContentFile, MissingFileIsNoMatch)
{
    RecordingFrontEnd frontEnd;
    ActionScope action(kActionDelete);
    const std::string path = MakeScratchSubdir("mail") + "\\absent.uue";
    EXPECT_EQ(0, ScanMailAttachment("W32/Vexmor.Trojan", path.c_str()));
    EXPECT_TRUE(frontEnd.lines().empty());
}

// A second scan in the same process must use the same plain pattern, not
// scramble it again; the line goes out even without a window.
TEST(MailContentFile, EveryCallFindsThePatternAgain)
{
    const std::string dir = MakeScratchSubdir("again");
    const std::string path = dir + "\\a.uue";
    const std::string content = MailFileWith(3000, 900, SplitPattern());
    ASSERT_TRUE(WriteText(path, content));
    ActionScope action(kActionLeave);
    RecordingFrontEnd frontEnd;
    frontEnd.SetAttached(false);
    for (int round = 0; round < 3; ++round) {
        memset(ResultLine, '#', sizeof ResultLine);
        EXPECT_EQ(1, ScanMailAttachment("W32/Vexmor.Trojan", path.c_str())) << round;
        EXPECT_EQ(path + "     W32/Nyxem.Worm Not Disinfected As Per User's Selection",
                  std::string(ResultLine))
            << round;
    }
    EXPECT_EQ(3u, frontEnd.lines().size());
    EXPECT_EQ(Bytes(content), ReadBytes(path));
    RemoveTree(dir);
}

// ---- What each action does to a matching file ----

struct ActionCase {
    const char* name;
    int mode;
    const char* fileName;
    const char* lineSuffix;   // null: no line
    bool keepsFile;
    const char* renamedTo;    // null: no new file
    int removedDelta;
};

class MailAction : public ::testing::TestWithParam<ActionCase> {};

TEST_P(MailAction, ActsByActionMode)
{
    const ActionCase& c = GetParam();
    const std::string dir = MakeScratchSubdir("act");
    const std::string path = dir + "\\" + c.fileName;
    const std::string content = MailFileWith(2500, 800, SplitPattern());
    ASSERT_TRUE(WriteText(path, content));
    RecordingFrontEnd frontEnd;
    ActionScope action(c.mode);
    const int removedBefore = ScanState.filesRemoved;
    const int infectedBefore = ScanState.filesInfected;
    const int rebootBefore = ScanState.rebootNeeded;

    EXPECT_EQ(1, ScanMailAttachment("W32/Vexmor.Trojan", path.c_str()));

    EXPECT_EQ(infectedBefore + 1, ScanState.filesInfected);
    EXPECT_EQ(removedBefore + c.removedDelta, ScanState.filesRemoved);
    EXPECT_EQ(rebootBefore, ScanState.rebootNeeded);
    EXPECT_STREQ(kName, ScanState.detectedName);
    EXPECT_EQ(path, std::string(StatusText));
    if (c.lineSuffix) {
        EXPECT_EQ(std::vector<std::string>{path + "     W32/Nyxem.Worm " + c.lineSuffix}, frontEnd.lines());
    } else {
        EXPECT_TRUE(frontEnd.lines().empty());
    }
    EXPECT_EQ(c.keepsFile, FileExists(path));
    if (c.renamedTo) {
        EXPECT_EQ(Bytes(content), ReadBytes(dir + "\\" + c.renamedTo));
    }
    RemoveTree(dir);
}

const ActionCase kActionCases[] = {
    {"Delete100", 100, "mail.uue", "removed", false, nullptr, 1},
    {"Delete102", 102, "mail.uue", "removed", false, nullptr, 1},
    {"Rename", 101, "mail.uue", "renamed", false, "mail.Vue", 0},
    {"RenameLastDotOnly", 101, "a.b.uue", "renamed", false, "a.b.Vue", 0},
    // No extension (the hosts file's case): the name cannot change.
    {"RenameWithoutExtension", 101, "hosts", "Rename failed", true, nullptr, 0},
    // Windows drops a trailing dot: "hosts." is the file hosts, which becomes hosts.V.
    {"RenameTrailingDot", 101, "hosts.", "renamed", false, "hosts.V", 0},
    {"Leave", 103, "mail.uue", "Not Disinfected As Per User's Selection", true, nullptr, 0},
    {"UnknownMode", 104, "mail.uue", nullptr, true, nullptr, 0},
};

INSTANTIATE_TEST_SUITE_P(Modes, MailAction, ::testing::ValuesIn(kActionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MailActionRefused, ReadOnlyFileReportsRemoveFailed)
{
    const std::string dir = MakeScratchSubdir("ro");
    const std::string path = dir + "\\mail.uue";
    ASSERT_TRUE(WriteText(path, MailFileWith(2500, 800, Pattern())));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    RecordingFrontEnd frontEnd;
    ActionScope action(kActionDelete);
    const int removedBefore = ScanState.filesRemoved;
    const int rebootBefore = ScanState.rebootNeeded;

    EXPECT_EQ(1, ScanMailAttachment("W32/Vexmor.Trojan", path.c_str()));
    EXPECT_EQ(std::vector<std::string>{path + "     W32/Nyxem.Worm Remove failed"}, frontEnd.lines());
    EXPECT_TRUE(FileExists(path)); // attributes are not reset
    EXPECT_EQ(removedBefore, ScanState.filesRemoved);
    EXPECT_EQ(rebootBefore, ScanState.rebootNeeded);
    RemoveTree(dir);
}

TEST(MailActionRefused, ExistingTargetReportsRenameFailed)
{
    const std::string dir = MakeScratchSubdir("ren");
    const std::string path = dir + "\\mail.uue";
    const std::string content = MailFileWith(2500, 800, Pattern());
    ASSERT_TRUE(WriteText(path, content));
    ASSERT_TRUE(WriteText(dir + "\\mail.Vue", "occupied"));
    RecordingFrontEnd frontEnd;
    ActionScope action(kActionRename);

    EXPECT_EQ(1, ScanMailAttachment("W32/Vexmor.Trojan", path.c_str()));
    EXPECT_EQ(std::vector<std::string>{path + "     W32/Nyxem.Worm Rename failed"}, frontEnd.lines());
    EXPECT_EQ(Bytes(content), ReadBytes(path));
    EXPECT_EQ(Bytes("occupied"), ReadBytes(dir + "\\mail.Vue"));
    RemoveTree(dir);
}

// Only the file's own name is given a new extension: a dot in a folder name
// must never move the file into a neighbouring folder.
TEST(MailActionRefused, RenameNeverMovesIntoAnotherFolder)
{
    const std::string dir = MakeScratchSubdir("fold");
    ASSERT_TRUE(MakeDirs(dir + "\\a.b"));
    ASSERT_TRUE(MakeDirs(dir + "\\a.V"));
    const std::string path = dir + "\\a.b\\hosts";
    const std::string content = MailFileWith(2500, 800, Pattern());
    ASSERT_TRUE(WriteText(path, content));
    RecordingFrontEnd frontEnd;
    ActionScope action(kActionRename);

    EXPECT_EQ(1, ScanMailAttachment("W32/Vexmor.Trojan", path.c_str()));
    EXPECT_EQ(std::vector<std::string>{path + "     W32/Nyxem.Worm Rename failed"}, frontEnd.lines());
    EXPECT_EQ(Bytes(content), ReadBytes(path));
    EXPECT_FALSE(FileExists(dir + "\\a.V\\hosts"));
    RemoveTree(dir);
}
