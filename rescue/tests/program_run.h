// Runs other programs beside scourix-rescue as the tests see them: the
// Windows console program under Wine, or scourix-rescue inside a namespace
// the test prepares first.
#pragma once
#include "rescue/tests/rescue_fixture.h"

#include <functional>

namespace scx::rescue_test {

// Runs body in a child whose standard output and error are captured; the
// child ends with what body returns (body may exec and never return).
RescueRun RunInChild(const std::function<int()>& body);
// Runs argv (argv[0] is a path) in a child.
RescueRun RunProgram(const std::vector<std::string>& argv);
// Removes path and everything below it, links not followed.
void RemoveTreeAt(const std::string& path);

} // namespace scx::rescue_test
