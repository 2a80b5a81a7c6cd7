// The new name of a renamed infected file, as both checks give it.
#include "detect/rename_rule.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct RenameCase {
    const char* name;
    const char* path;
    const char* renamed; // null: no new name
};

class RenameRule : public ::testing::TestWithParam<RenameCase> {};

TEST_P(RenameRule, GivesTheNewNameOrRefuses)
{
    const RenameCase& c = GetParam();
    char out[260];
    const bool made = MakeRenamedPath(c.path, out, sizeof out);
    ASSERT_EQ(c.renamed != nullptr, made) << c.path;
    if (made) {
        EXPECT_STREQ(c.renamed, out);
    }
}

const RenameCase kRenameCases[] = {
    {"Extension", "C:\\d\\setup.exe", "C:\\d\\setup.Vxe"},
    {"LastDotOnly", "C:\\d\\a.b.uue", "C:\\d\\a.b.Vue"},
    {"TrailingDotGetsAV", "C:\\d\\hosts.", "C:\\d\\hosts.V"},
    {"BareFileName", "x.com", "x.Vom"},
    {"NoExtension", "C:\\d\\hosts", nullptr},
    // A dot in a folder name must not send the file into another folder.
    {"DotOnlyInTheFolder", "C:\\tools.d\\setup", nullptr},
    {"AlreadyRenamed", "C:\\d\\setup.Vxe", nullptr},
    // A character of several UTF-8 bytes is replaced whole.
    {"CyrillicExtension", "C:\\d\\a.\xd0\xb5\xd1\x85\xd0\xb5", "C:\\d\\a.V\xd1\x85\xd0\xb5"},
};

INSTANTIATE_TEST_SUITE_P(Names, RenameRule, ::testing::ValuesIn(kRenameCases),
                         [](const ::testing::TestParamInfo<RenameCase>& i) { return std::string(i.param.name); });

// A buffer filled with a sentinel byte shows a write past the size given.
struct Sentinelled {
    static constexpr char kSentinel = 0x5A;
    char bytes[32];
    Sentinelled() { memset(bytes, kSentinel, sizeof bytes); }
    bool UntouchedFrom(size_t at) const
    {
        for (size_t i = at; i < sizeof bytes; ++i)
            if (bytes[i] != kSentinel)
                return false;
        return true;
    }
};

// The new name is one character longer for a trailing dot: the buffer must
// take it with its terminator, or no name is given.
TEST(RenameRuleBounds, NeverWritesPastTheBuffer)
{
    const char* path = "C:\\d\\hosts."; // 11 characters
    Sentinelled exact;
    EXPECT_TRUE(MakeRenamedPath(path, exact.bytes, 13));
    EXPECT_STREQ("C:\\d\\hosts.V", exact.bytes);
    EXPECT_TRUE(exact.UntouchedFrom(13));

    Sentinelled oneShort;
    EXPECT_FALSE(MakeRenamedPath(path, oneShort.bytes, 12));
    EXPECT_TRUE(oneShort.UntouchedFrom(12));

    Sentinelled shorterThanThePath;
    EXPECT_FALSE(MakeRenamedPath("C:\\d\\setup.exe", shorterThanThePath.bytes, 8));
    EXPECT_TRUE(shorterThanThePath.UntouchedFrom(8));
}

} // namespace
