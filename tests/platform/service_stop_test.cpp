// Stopping a service by name under the service control manager, with test
// services that stop quickly, slowly, refuse, or never finish stopping.
#include "platform/platform_probe.h"
#include "platform/process_kill.h"
#include "platform/services.h"
#include "tests/platform/test_service.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using namespace scx::test;

namespace {

std::string UniqueName(const char* hint)
{
    static int counter;
    return std::string("ScxStop_") + hint + "_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(++counter);
}

struct StopCase {
    const char* name;
    const char* mode;     // behaviour of the test service
    unsigned delayMs;     // how long an honest service stays stop-pending
    int expected;         // StopServiceByName's result
    DWORD minMs, maxMs;   // how long the call may take
    DWORD stateAfter;     // the service's state once the call returned
};

class StopServiceByNameTest : public testing::TestWithParam<StopCase> {};

TEST_P(StopServiceByNameTest, ResultWaitAndStateAfter)
{
    const StopCase& c = GetParam();
    TestService service(UniqueName(c.name), c.mode, c.delayMs);
    ASSERT_TRUE(service.running()) << "test service " << service.name() << " did not start";

    DWORD start = GetTickCount();
    int result = StopServiceByName(service.name().c_str());
    DWORD elapsed = GetTickCount() - start;

    EXPECT_EQ(c.expected, result);
    EXPECT_GE(elapsed, c.minMs);
    EXPECT_LE(elapsed, c.maxMs);
    EXPECT_EQ(c.stateAfter, service.State());
}

// Stop-pending for three polls and then stopped: 1 after about three seconds.
// A slow but honest service (15 s) is still waited for. One that never
// leaves stop-pending gives 0 after the bound of 30 one-second waits.
const StopCase kStopCases[] = {
    {"ThreePollsThenStopped", "honest", 2500, 1, 2400, 5000, SERVICE_STOPPED},
    {"StoppedAtFirstQuery", "instant", 0, 1, 0, 900, SERVICE_STOPPED},
    {"SlowButHonest", "honest", 15000, 1, 14900, 18000, SERVICE_STOPPED},
    {"RefusesStop", "refuse", 0, 0, 0, 900, SERVICE_RUNNING},
    {"StuckInStopPending", "stuck", 0, 0, 29500, 34000, SERVICE_STOP_PENDING},
};

INSTANTIATE_TEST_SUITE_P(Services, StopServiceByNameTest, testing::ValuesIn(kStopCases),
                         [](const testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

TEST(StopServiceByName, UnknownOrNotRunningServiceGivesZeroAtOnce)
{
    DWORD start = GetTickCount();
    EXPECT_EQ(0, StopServiceByName(UniqueName("NoSuchService").c_str()));
    EXPECT_EQ(0, StopServiceByName(""));

    TestService installed(UniqueName("NotStarted"), "installed-only");
    ASSERT_TRUE(ServiceExists(installed.name()));
    EXPECT_EQ(0, StopServiceByName(installed.name().c_str()));
    EXPECT_EQ(DWORD(SERVICE_STOPPED), installed.State());
    EXPECT_LT(GetTickCount() - start, 900u);
}

} // namespace
