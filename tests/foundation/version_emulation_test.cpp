// The harness can run a program as any Windows version the product supports.
#include "tests/support/child_process.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace scx::test;

namespace {

struct VersionCase {
    const char* name;
    DWORD platformId;
    DWORD major;
    DWORD minor;
};

const VersionCase kVersions[] = {
    {"win98", 1, 4, 10},
    {"nt40", 2, 4, 0},
    {"win2k", 2, 5, 0},
    {"winxp", 2, 5, 1},
    {"win7", 2, 6, 1},
    {"win10", 2, 6, 2},
};

std::string Describe(DWORD platform, DWORD major, DWORD minor)
{
    char buf[64];
    snprintf(buf, sizeof buf, "platform=%lu version=%lu.%lu", platform, major, minor);
    return buf;
}

std::string OwnVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return "failed";
    return Describe(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

} // namespace

// Child side: prints what GetVersionExA reports.
TEST(VersionEmulation, DISABLED_PrintVersion)
{
    printf("[[%s]]\n", OwnVersion().c_str());
    fflush(stdout);
}

class VersionEmulationCase : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionEmulationCase, ChildReportsRequestedVersion)
{
    const VersionCase& c = GetParam();
    ChildResult r = RunSelfTest("VersionEmulation.DISABLED_PrintVersion", c.name);
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("[[" + Describe(c.platformId, c.major, c.minor) + "]]"))
        << r.output;
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionEmulationCase, ::testing::ValuesIn(kVersions),
                         [](const auto& info) { return std::string(info.param.name); });

// The whole program, as the harness's SCX_WINVER asked (win7 by default).
TEST(VersionEmulation, WholeProgramRunsAsRequestedVersion)
{
    const char* env = getenv("SCX_WINVER");
    std::string wanted = env && *env ? env : "win7";
    for (const VersionCase& c : kVersions) {
        if (wanted == c.name) {
            EXPECT_EQ(Describe(c.platformId, c.major, c.minor), OwnVersion());
            return;
        }
    }
    FAIL() << "unknown version " << wanted;
}
