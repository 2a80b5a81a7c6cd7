// Where a rename entry goes in the text of wininit.ini, and that everything
// else is kept byte for byte.
#include "detect/wininit_edit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class StringOutput final : public WininitOutput {
public:
    explicit StringOutput(long limit = -1) : limit_(limit) {}
    bool Write(const char* data, size_t length) override
    {
        size_t allowed = length;
        if (limit_ >= 0 && text.size() + length > size_t(limit_))
            allowed = size_t(limit_) - text.size();
        text.append(data, allowed);
        return allowed == length;
    }
    std::string text;

private:
    long limit_;
};

const char kEntry[] = "NUL=C:\\NEW.EXE\r\n";

std::string Rewrite(const std::string& old, bool* ok = nullptr)
{
    MemoryWininitInput in(old.data(), old.size());
    StringOutput out;
    bool result = RewriteWininit(in, out, "NUL", "C:\\NEW.EXE");
    if (ok)
        *ok = result;
    return out.text;
}

struct PlacementCase {
    const char* name;
    std::string old;
    std::string expected;
};

const std::string kLong(700, 'x');
const std::string kPieceThenBracket = std::string(647, 'y') + "[tail]\r\n"; // one line, two pieces

const PlacementCase kPlacementCases[] = {
    {"SectionFollowedByAnother", "[rename]\r\nNUL=C:\\OLD.EXE\r\n[other]\r\nx=1\r\n",
     "[rename]\r\nNUL=C:\\OLD.EXE\r\n" + std::string(kEntry) + "[other]\r\nx=1\r\n"},
    {"SectionIsLast", "[boot]\r\na=b\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n",
     "[boot]\r\na=b\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n" + std::string(kEntry)},
    {"NoSection", "[boot]\r\na=b\r\n", "[boot]\r\na=b\r\n[rename]\r\n" + std::string(kEntry)},
    {"EmptyFile", "", "[rename]\r\n" + std::string(kEntry)},
    {"EmptySectionBeforeAnother", "[rename]\r\n[x]\r\n", "[rename]\r\n" + std::string(kEntry) + "[x]\r\n"},
    {"HeaderInCapitals", "[RENAME]\r\nA=B\r\n[x]\r\n", "[RENAME]\r\nA=B\r\n" + std::string(kEntry) + "[x]\r\n"},
    {"LongerHeaderBeginningWithIt", "[rename]old\r\nA=B\r\n", "[rename]old\r\nA=B\r\n" + std::string(kEntry)},
    {"HeaderWithBlanksNotRecognised", "  [rename]\r\nA=B\r\n[x]\r\n",
     "  [rename]\r\nA=B\r\n[x]\r\n[rename]\r\n" + std::string(kEntry)},
    {"LineFeedOnlyEndsKept", "[rename]\nA=B\n[x]\ny\n", "[rename]\nA=B\n" + std::string(kEntry) + "[x]\ny\n"},
    {"LastLineWithoutEnd", "[boot]\r\na=b", "[boot]\r\na=b\r\n[rename]\r\n" + std::string(kEntry)},
    {"LastLineOfSectionWithoutEnd", "[rename]\r\nNUL=C:\\OLD.EXE",
     "[rename]\r\nNUL=C:\\OLD.EXE\r\n" + std::string(kEntry)},
    {"LongLineCopiedInPieces", "[rename]\r\n" + kLong + "\r\n[z]\r\n",
     "[rename]\r\n" + kLong + "\r\n" + std::string(kEntry) + "[z]\r\n"},
    {"LongLineWithoutEndAtFileEnd", "[rename]\r\n" + kLong, "[rename]\r\n" + kLong + "\r\n" + std::string(kEntry)},
    // A piece is tested as though it began a line, so a header in a second
    // piece counts; but the entry never splits a line in two.
    {"HeaderInSecondPieceCounts", std::string(647, 'a') + "[rename]\r\nA=B\r\n",
     std::string(647, 'a') + "[rename]\r\nA=B\r\n" + std::string(kEntry)},
    {"NoEntryInsideLongLine", "[rename]\r\n" + kPieceThenBracket + "[z]\r\n",
     "[rename]\r\n" + kPieceThenBracket + std::string(kEntry) + "[z]\r\n"},
    {"NulBytesKept", std::string("[rename]\r\nA=\0B\r\n[x]\r\n", 21),
     std::string("[rename]\r\nA=\0B\r\n", 16) + std::string(kEntry) + "[x]\r\n"},
    {"OnlyFirstSectionUsed", "[rename]\r\nA=B\r\n[x]\r\n[rename]\r\nC=D\r\n",
     "[rename]\r\nA=B\r\n" + std::string(kEntry) + "[x]\r\n[rename]\r\nC=D\r\n"},
};

class WininitPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(WininitPlacement, EntryPlacedAndOldLinesKept)
{
    const PlacementCase& c = GetParam();
    bool ok = false;
    std::string result = Rewrite(c.old, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(c.expected, result);
}

INSTANTIATE_TEST_SUITE_P(Files, WininitPlacement, ::testing::ValuesIn(kPlacementCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WininitEdit, TwoEntriesStandInTheOrderAdded)
{
    std::string once = Rewrite("[rename]\r\nNUL=C:\\OLD.EXE\r\n[x]\r\n");
    MemoryWininitInput in(once.data(), once.size());
    StringOutput out;
    ASSERT_TRUE(RewriteWininit(in, out, "NUL", "C:\\SECOND.EXE"));
    EXPECT_EQ("[rename]\r\nNUL=C:\\OLD.EXE\r\nNUL=C:\\NEW.EXE\r\nNUL=C:\\SECOND.EXE\r\n[x]\r\n", out.text);
}

TEST(WininitEdit, NewFileHoldsHeaderAndEntryOnly)
{
    StringOutput out;
    ASSERT_TRUE(WriteNewWininit(out, "NUL", "C:\\PROGRA~1\\VX.EXE"));
    EXPECT_EQ("[rename]\r\nNUL=C:\\PROGRA~1\\VX.EXE\r\n", out.text);
}

TEST(WininitEdit, PiecesAreAtMost647Characters)
{
    std::string text = kLong + "\nab";
    MemoryWininitInput in(text.data(), text.size());
    char piece[kWininitPieceChars + 1];
    EXPECT_EQ(647, ReadWininitPiece(in, piece));
    EXPECT_EQ(54, ReadWininitPiece(in, piece)); // 53 x and the line feed
    EXPECT_EQ(2, ReadWininitPiece(in, piece));
    EXPECT_EQ(0, ReadWininitPiece(in, piece));
}

// A write that fails anywhere, in a rewrite or a new file, is reported.
TEST(WininitEdit, EveryShortWriteIsReported)
{
    const std::string old = "[rename]\r\nNUL=C:\\OLD.EXE\r\n[x]\r\n";
    const size_t full = Rewrite(old).size();
    for (size_t limit = 0; limit < full; ++limit) {
        MemoryWininitInput in(old.data(), old.size());
        StringOutput out{long(limit)};
        EXPECT_FALSE(RewriteWininit(in, out, "NUL", "C:\\NEW.EXE")) << limit;
    }
    for (size_t limit = 0; limit < 10 + sizeof kEntry - 1; ++limit) {
        StringOutput out{long(limit)};
        EXPECT_FALSE(WriteNewWininit(out, "NUL", "C:\\NEW.EXE")) << limit;
    }
}

class FailingInput final : public WininitInput {
public:
    explicit FailingInput(const std::string& text) : text_(text) {}
    int NextByte() override { return pos_ < text_.size() ? (unsigned char)text_[pos_++] : kError; }

private:
    std::string text_;
    size_t pos_ = 0;
};

TEST(WininitEdit, ReadErrorIsReportedNotTakenForTheEnd)
{
    FailingInput in("[boot]\r\na=b\r\n");
    StringOutput out;
    EXPECT_FALSE(RewriteWininit(in, out, "NUL", "C:\\NEW.EXE"));
}

} // namespace
