#include "tests/scan/fake_walker.h"

#include "detect/text.h"
#include "scan/engine.h"

#include <cstring>

namespace scx::test::fakewalker {
namespace {
std::vector<std::string> g_infected;
std::vector<Call> g_calls;
int g_return;
std::function<void(const std::string&)> g_hook;
} // namespace

void Reset()
{
    g_infected.clear();
    g_calls.clear();
    g_return = 0;
    g_hook = nullptr;
}
void MarkInfected(const std::string& path) { g_infected.push_back(path); }
void SetReturn(int value) { g_return = value; }
void OnInfectedWalk(std::function<void(const std::string&)> hook) { g_hook = std::move(hook); }
const std::vector<Call>& Calls() { return g_calls; }

std::vector<Call> CallsFor(const std::string& path)
{
    std::vector<Call> out;
    for (const Call& c : g_calls)
        if (_stricmp(c.path.c_str(), path.c_str()) == 0)
            out.push_back(c);
    return out;
}

} // namespace scx::test::fakewalker

using namespace scx::test::fakewalker;

int WalkDirectory(const char* pattern)
{
    ScanState.lastCheckInfected = 0;
    g_calls.push_back({pattern, ScanState.forcedAction, ScanState.memoryStageMode != 0});
    if (ScanState.forcedAction == 0) {
        for (const std::string& p : g_infected) {
            if (_stricmp(p.c_str(), pattern) == 0) {
                ScanState.lastCheckInfected = 1;
                if (g_hook)
                    g_hook(pattern);
                break;
            }
        }
    }
    return g_return;
}

void PumpScanMessages() {}

void ShortenPathForDisplay(const char* source, char* destination, short maxLength)
{
    CopyText(destination, size_t(maxLength) + 1, source);
}
