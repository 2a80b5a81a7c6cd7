// UTF-16 <-> UTF-8 of file names: exact round trips, refusals, bounds.
#include "detect/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct RoundTripCase {
    const char* name;
    std::u16string wide;
    const char* utf8;
};

class Utf8RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(Utf8RoundTrip, EncodesAndComesBackExactly)
{
    const RoundTripCase& c = GetParam();
    char narrow[64];
    ASSERT_TRUE(Utf16ToUtf8(c.wide.data(), c.wide.size(), narrow, sizeof narrow));
    EXPECT_STREQ(c.utf8, narrow);
    char16_t back[32];
    size_t units = 99;
    ASSERT_TRUE(Utf8ToUtf16(narrow, back, 32, &units));
    EXPECT_EQ(c.wide, std::u16string(back, units));
    EXPECT_EQ(0, back[units]);
}

const RoundTripCase kRoundTrips[] = {
    {"Ascii", u"C:\\dir\\a.exe", "C:\\dir\\a.exe"},
    {"Empty", u"", ""},
    {"Latin1", u"caf\u00e9", "caf\xc3\xa9"},
    {"Cyrillic", u"\u041f\u0430\u043f\u043a\u0430", "\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0"},
    {"Chinese", u"\u6587\u4ef6", "\xe6\x96\x87\xe4\xbb\xb6"},
    {"AstralPair", u"a\U0001F600b", "a\xf0\x9f\x98\x80" "b"},
    {"LastBmpCharacter", u"\uffff", "\xef\xbf\xbf"},
    // Names the file system holds though they are not proper Unicode.
    {"LoneHigh", u"x\xd800y", "x\xed\xa0\x80y"},
    {"LoneLow", u"\xdc00", "\xed\xb0\x80"},
    {"LowThenHigh", u"\xdc00\xd800", "\xed\xb0\x80\xed\xa0\x80"},
    {"HighAtTheEnd", u"a\xdbff", "a\xed\xaf\xbf"},
};

INSTANTIATE_TEST_SUITE_P(Names, Utf8RoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const ::testing::TestParamInfo<RoundTripCase>& i) { return std::string(i.param.name); });

struct MalformedCase {
    const char* name;
    const char* utf8;
};

class Utf8Malformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(Utf8Malformed, IsRefusedAndLeavesAnEmptyResult)
{
    char16_t out[16];
    for (char16_t& u : out)
        u = 0x5A5A;
    EXPECT_FALSE(Utf8ToUtf16(GetParam().utf8, out, 16));
    EXPECT_EQ(0, out[0]);
}

const MalformedCase kMalformed[] = {
    {"StrayContinuation", "a\x80"},
    {"CutTwoByte", "a\xd0"},
    {"CutThreeByte", "\xe6\x96"},
    {"OverlongSlash", "\xc0\xaf"},
    {"OverlongThreeByte", "\xe0\x80\xaf"},
    {"AboveUnicode", "\xf4\x90\x80\x80"},
    {"FiveByteLead", "\xf8\x88\x80\x80\x80"},
    {"ByteFF", "\xff"},
    // A pair has one form only: four bytes.
    {"PairAsTwoThreeByteForms", "\xed\xa0\xbd\xed\xb8\x80"},
};

INSTANTIATE_TEST_SUITE_P(Inputs, Utf8Malformed, ::testing::ValuesIn(kMalformed),
                         [](const ::testing::TestParamInfo<MalformedCase>& i) { return std::string(i.param.name); });

// Sentinel bytes behind the size given show any write past it.
TEST(Utf8Bounds, TooSmallBuffersAreRefusedWithoutOverrun)
{
    const std::u16string wide = u"\u6587\u4ef6"; // 6 bytes in UTF-8
    char narrow[16];
    for (size_t size = 0; size <= 7; ++size) {
        memset(narrow, 0x5A, sizeof narrow);
        EXPECT_EQ(size == 7, Utf16ToUtf8(wide.data(), wide.size(), narrow, size)) << size;
        for (size_t i = size; i < sizeof narrow; ++i)
            ASSERT_EQ(0x5A, narrow[i]) << size;
        if (size > 0 && size < 7) {
            EXPECT_EQ('\0', narrow[0]);
        }
    }
    char16_t units[8];
    for (size_t count = 0; count <= 4; ++count) {
        for (char16_t& u : units)
            u = 0x5A5A;
        // "a" + astral pair: three units and the terminator.
        EXPECT_EQ(count == 4, Utf8ToUtf16("a\xf0\x9f\x98\x80", units, count)) << count;
        for (size_t i = count; i < 8; ++i)
            ASSERT_EQ(0x5A5A, units[i]) << count;
    }
}

TEST(Utf8Bounds, LongestPathFitsItsBuffer)
{
    std::u16string wide(kLongPathUnits, u'\u6587');
    std::string narrow(kLongPathUtf8Size, 'x');
    ASSERT_TRUE(Utf16ToUtf8(wide.data(), wide.size(), &narrow[0], narrow.size()));
    EXPECT_EQ(kLongPathUtf8Size - 1, strlen(narrow.c_str()));
}

struct CharCase {
    const char* text;
    size_t chars;
    size_t offsetOfSecond;
};

TEST(Utf8Characters, CountsAndOffsetsNeverSplitASequence)
{
    const CharCase cases[] = {
        {"", 0, 0},
        {"ab", 2, 1},
        {"\xd0\x9f\xd0\xb0", 2, 2},
        {"\xf0\x9f\x98\x80x", 2, 4},
        {"\x80x", 2, 1}, // a stray byte is one character
        {"\xe6\x96", 2, 1}, // a cut sequence: each byte on its own
    };
    for (const CharCase& c : cases) {
        EXPECT_EQ(c.chars, Utf8CharCount(c.text)) << c.text;
        EXPECT_EQ(c.offsetOfSecond, Utf8OffsetOfChar(c.text, 1)) << c.text;
        EXPECT_EQ(strlen(c.text), Utf8OffsetOfChar(c.text, 99)) << c.text;
    }
}

} // namespace
