// The formatter that stands in for the runtime's vsnprintf in the 32-bit
// shipped programs gives, for every conversion it takes, the runtime's own
// text and count, at every buffer size; what it does not take it refuses.
#include "runtime/format.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Output {
    int count;
    std::string text;
    bool tailIntact; // nothing written past the size given
};

constexpr size_t kRoom = 600;
constexpr char kSentinel = '\x5A';

Output Run(bool ours, size_t size, const char* format, va_list args)
{
    char buf[kRoom + 16];
    memset(buf, kSentinel, sizeof buf);
    int n = ours ? ScxVFormat(size ? buf : nullptr, size, format, args)
                 : vsnprintf(size ? buf : nullptr, size, format, args);
    Output out{n, size ? std::string(buf) : std::string(), true};
    for (size_t i = size; i < sizeof buf; ++i)
        out.tailIntact = out.tailIntact && buf[i] == kSentinel;
    return out;
}

// Every size from nothing to more than enough, so truncation is compared too.
void ExpectSame(const char* format, ...)
{
    SCOPED_TRACE(format);
    for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(5), size_t(16), size_t(90), kRoom}) {
        SCOPED_TRACE("size " + std::to_string(size));
        va_list a, b;
        va_start(a, format);
        va_copy(b, a);
        Output ours = Run(true, size, format, a);
        Output theirs = Run(false, size, format, b);
        va_end(b);
        va_end(a);
        EXPECT_EQ(theirs.count, ours.count);
        EXPECT_EQ(theirs.text, ours.text);
        EXPECT_TRUE(ours.tailIntact);
    }
}

int Ours(char* buf, size_t size, const char* format, ...)
{
    va_list a;
    va_start(a, format);
    int n = ScxVFormat(buf, size, format, a);
    va_end(a);
    return n;
}

TEST(RuntimeFormat, IntegersMatchTheRuntime)
{
    ExpectSame("%d|%i|%u|%x|%X|%o", 0, -1, 4000000000u, 0xBEEFu, 0xBEEFu, 8u);
    ExpectSame("%d %d %u", INT32_MIN, INT32_MAX, UINT32_MAX);
    ExpectSame("%ld %lu %lx", -123456L, 4294967295UL, 0xCAFEUL);
    ExpectSame("%lld %llu %llx", INT64_MIN, UINT64_MAX, 0x123456789ABCDEFULL);
    ExpectSame("%I64d %I64u %I32d", int64_t(-5), uint64_t(1) << 40, 7);
    ExpectSame("%zu %zd %jd %td", size_t(12345), size_t(7), intmax_t(-9), ptrdiff_t(-3));
    ExpectSame("%hd %hu %hhd %hhu", 70000, 70000, 300, 300);
}

TEST(RuntimeFormat, FlagsWidthAndPrecisionMatchTheRuntime)
{
    // The conversions the programs use, then every flag against width and precision.
    ExpectSame("%02u:%02u:%02u %04u %03x %08x", 7u, 59u, 0u, 2026u, 0xAu, 0xDEADu);
    ExpectSame("[%5d][%-5d][%05d][%+d][% d][%+05d][%-+6d]", 42, 42, -42, 42, 42, -42, 7);
    ExpectSame("[%.3d][%8.3d][%-8.3d][%08.3d][%.0d][%5.0d][%.0u]", 5, -5, 5, 5, 0, 0, 0u);
    ExpectSame("[%#x][%#X][%#o][%#x][%#o][%#10x][%#-10x][%#010x]", 255u, 255u, 8u, 0u, 0u, 1u, 1u, 1u);
    ExpectSame("[%*d][%-*d][%*d][%.*d][%.*d]", 6, 1, 6, 1, -6, 1, 3, 1, -3, 1);
}

TEST(RuntimeFormat, TextMatchesTheRuntime)
{
    const std::string path(150, 'p');
    ExpectSame("%s     %s removed", "C:\\x\\vx.exe", "W32/Vexmor.Trojan");
    ExpectSame("[%-79.79s] [%.100s] [%.80s]", path.c_str(), path.c_str(), "short");
    ExpectSame("[%10s][%-10s][%.2s][%*.*s][%s]", "ab", "ab", "abcdef", 6, 3, "abcdef", "");
    ExpectSame("[%c][%3c][%-3c][%%][100%%]", 'a', 'b', 'c');
    // Bytes above 0x7F (UTF-8, the ANSI code page) pass unchanged.
    ExpectSame("%s|%.3s", "\xD0\x9F\xD0\xB0\xC3\xA9", "\xD0\x9F\xD0\xB0");
}

TEST(RuntimeFormat, AlternateOctalZeroFollowsTheStandard)
{
    // C99: value and precision both 0 with '#' give "0"; the runtime's own
    // gives nothing here, which no program text relies on.
    char buf[8];
    EXPECT_EQ(1, Ours(buf, sizeof buf, "%#.0o", 0u));
    EXPECT_STREQ("0", buf);
}

TEST(RuntimeFormat, PrecisionNeverReadsPastIt)
{
    // A string without terminator inside the precision is read no further.
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    char buf[16];
    EXPECT_EQ(3, Ours(buf, sizeof buf, "%.3s", unterminated));
    EXPECT_STREQ("abc", buf);
}

TEST(RuntimeFormat, RefusesWhatItDoesNotFormat)
{
    // Floating point, pointers, %n, wide text and a cut-off conversion:
    // -1, and the caller's buffer-length checks treat the text as failed.
    char buf[32];
    EXPECT_EQ(-1, Ours(buf, sizeof buf, "%f", 1.5));
    EXPECT_EQ(-1, Ours(buf, sizeof buf, "%g", 1.5));
    EXPECT_EQ(-1, Ours(buf, sizeof buf, "%p", static_cast<void*>(buf)));
    int n = 0;
    EXPECT_EQ(-1, Ours(buf, sizeof buf, "ab%n", &n));
    EXPECT_EQ(0, n);
    EXPECT_EQ(-1, Ours(buf, sizeof buf, "%ls", L"wide"));
    EXPECT_EQ(-1, Ours(buf, sizeof buf, "%lc", L'w'));
    EXPECT_EQ(-1, Ours(buf, sizeof buf, "trailing %"));
}

} // namespace
