// A stand-in for the directory walker, linked into the process-listing tests
// in place of the engine's: it records each call and marks chosen image paths
// infected the way the trojan check does in memory-stage mode.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace scx::test::fakewalker {

struct Call {
    std::string path;
    int forcedAction;  // ScanState.forcedAction at the call
    bool memoryStage;  // ScanState.memoryStageMode at the call
};

void Reset();
// Walks of this path (letter case ignored) set ScanState.lastCheckInfected,
// unless they are forced walks.
void MarkInfected(const std::string& path);
// What every walk returns.
void SetReturn(int value);
// Called during the first (unforced) walk of an infected path.
void OnInfectedWalk(std::function<void(const std::string&)> hook);
const std::vector<Call>& Calls();
// The calls for one path (letter case ignored), in order.
std::vector<Call> CallsFor(const std::string& path);

} // namespace scx::test::fakewalker
