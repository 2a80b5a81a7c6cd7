// The matching steps over memory: the search and position modes, blocks 0
// and 1, the size rules and the white-space stripping, with records set up
// as the live one never is.
#include "detect/mail_match.h"
#include "tests/support/mail_samples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace scx::test;

namespace {

MailSignatureRecord PlainRecord()
{
    MailSignatureRecord r = {};
    strcpy(r.name, "W32/Nyxem.Worm");
    r.length = 100;
    r.mode = 1;
    r.sizeRule = 18;
    memcpy(r.pattern, kMailPattern, kMailPatternLength);
    return r;
}

// "begin" and filler without white space, the pattern at raw (and stripped)
// position pos, total length len.
std::string Dense(size_t len, size_t pos, const std::string& insert = kMailPattern)
{
    std::string s = "begin" + MailFiller(len - 5);
    s.replace(pos, insert.size(), insert);
    s.resize(len);
    return s;
}

struct MatchCase {
    const char* name;
    int16_t mode;
    int16_t block;
    int16_t offset;
    int16_t sizeRule;
    int32_t sizeDelta; // record size = content length + sizeDelta
    uint16_t length;
    std::string content;
    bool matches;
};

} // namespace

class MailMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MailMatch, AppliesTheRecord)
{
    const MatchCase& c = GetParam();
    MailSignatureRecord r = PlainRecord();
    r.mode = c.mode;
    r.block = c.block;
    r.offset = c.offset;
    r.sizeRule = c.sizeRule;
    r.size = static_cast<int32_t>(c.content.size()) + c.sizeDelta;
    r.length = c.length;
    const auto* bytes = reinterpret_cast<const uint8_t*>(c.content.data());
    EXPECT_EQ(c.matches, MatchMailContent(r, bytes, c.content.size()));
}

std::vector<MatchCase> MatchCases()
{
    const std::string p = kMailPattern;
    const std::string spaced = p.substr(0, 50) + "\r\n " + p.substr(50);
    return {
        {"PositionHeadAtOffset", 0, 0, 200, 18, 0, 100, Dense(3000, 200), true},
        {"PositionHeadOneAfter", 0, 0, 201, 18, 0, 100, Dense(3000, 200), false},
        {"PositionHeadIgnoresSpaces", 0, 0, 200, 18, 0, 100,
         "begin" + std::string(40, ' ') + Dense(3000, 200).substr(5), true},
        {"PositionHeadPastStrippedEnd", 0, 0, 2950, 18, 0, 100, Dense(3000, 2950), false},
        {"PositionNegativeOffset", 0, 0, -1, 18, 0, 100, Dense(3000, 200), false},
        {"PositionTailFromEnd", 0, 1, 150, 18, 0, 100, Dense(3000, 2850), true},
        {"PositionTailOfLongFile", 0, 1, 300, 18, 0, 100, Dense(10000, 9700), true},
        {"PositionTailWindowPastEnd", 0, 1, 99, 18, 0, 100, Dense(3000, 2901), false},
        {"PositionTailOffsetBeyondLength", 0, 1, 3001, 18, 0, 100, Dense(3000, 0 + 5), false},
        {"SearchTailFindsLastBlock", 1, 1, 0, 18, 0, 100, Dense(10000, 8000), true},
        {"SearchTailSkipsHead", 1, 1, 0, 18, 0, 100, Dense(10000, 100), false},
        {"SearchTailStripsSpaces", 1, 1, 0, 18, 0, 100, Dense(10000, 8000, spaced), true},
        {"SearchUnknownBlockUsesRawTail", 1, 7, 0, 18, 0, 100, Dense(10000, 8000), true},
        {"SearchUnknownBlockDoesNotStrip", 1, 7, 0, 18, 0, 100, Dense(10000, 8000, spaced), false},
        {"SearchUnknownBlockNotHead", 1, 7, 0, 18, 0, 100, Dense(10000, 100), false},
        {"SizeExactHolds", 1, 0, 0, 16, 0, 100, Dense(3000, 200), true},
        {"SizeExactOneShort", 1, 0, 0, 16, 1, 100, Dense(3000, 200), false},
        {"SizeExactOneOver", 1, 0, 0, 16, -1, 100, Dense(3000, 200), false},
        {"SizeNearLowEdge", 1, 0, 0, 17, 4096, 100, Dense(3000, 200), true},
        {"SizeNearHighEdge", 1, 0, 0, 17, -4096, 100, Dense(6000, 200), true},
        {"SizeNearBelowRange", 1, 0, 0, 17, 4097, 100, Dense(3000, 200), false},
        {"SizeNearAboveRange", 1, 0, 0, 17, -4097, 100, Dense(6000, 200), false},
        {"SizeRuleOtherIgnoresSize", 1, 0, 0, 5, 99999, 100, Dense(3000, 200), true},
        {"LengthZeroDisables", 1, 0, 0, 18, 0, 0, Dense(3000, 200), false},
        {"LengthBeyondPatternField", 1, 0, 0, 18, 0, 101, Dense(3000, 200), false},
        {"ShorterLengthMatchesPrefix", 1, 0, 0, 18, 0, 40, Dense(3000, 200, p.substr(0, 40)), true},
    };
}

INSTANTIATE_TEST_SUITE_P(Records, MailMatch, ::testing::ValuesIn(MatchCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MailStrip, KeepsAllButTheSixSpaceCharactersAndStaysInItsBuffer)
{
    const uint8_t src[] = {'a', ' ', '\t', '\n', 0x0B, '\f', '\r', 'b', 0x00, 0x1F, 0x7F, 0xA0, 'c'};
    uint8_t dest[16];
    memset(dest, 0xEE, sizeof dest);
    EXPECT_EQ(7u, StripWhiteSpace(src, sizeof src, dest, sizeof dest));
    const uint8_t kept[] = {'a', 'b', 0x00, 0x1F, 0x7F, 0xA0, 'c'};
    EXPECT_EQ(0, memcmp(dest, kept, sizeof kept));
    EXPECT_EQ(0xEE, dest[7]);

    memset(dest, 0xEE, sizeof dest);
    EXPECT_EQ(3u, StripWhiteSpace(src, sizeof src, dest, 3));
    for (size_t i = 3; i < sizeof dest; ++i)
        EXPECT_EQ(0xEE, dest[i]) << i;
}
