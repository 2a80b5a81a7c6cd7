// Shared support of the rescue scanner's tests: a scratch folder per test
// inside the build folder, files planted there, and runs of the program.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace scx::rescue_test {

struct RescueRun {
    int code = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines; // out split at line ends
};

// Runs body in a child whose standard output and error are captured (both
// at once: a program may fill either pipe while the other waits); the child
// ends with what body returns (body may exec and never return).
RescueRun RunInChild(const std::function<int()>& body);
// Runs argv (argv[0] is a path) in a child.
RescueRun RunProgram(const std::vector<std::string>& argv);
// Runs scourix-rescue with args; withoutOverride runs it without the right to
// pass over file permissions (so that a test run as root still meets an
// unreadable file as a user would).
RescueRun RunRescue(const std::vector<std::string>& args, bool withoutOverride = false);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteText(const std::string& path, const std::string& text);
std::vector<uint8_t> ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeFolders(const std::string& path);
// Removes path and everything below it, links not followed.
void RemoveTree(const std::string& path);
// The SHA-256 of bytes in lower-case hexadecimal, as manifests record it.
std::string Sha256Of(const std::vector<uint8_t>& bytes);
// Every file below root, relative, sorted (links listed, not followed).
std::vector<std::string> ListTree(const std::string& root);

// A test's own empty scratch folder: SCRATCH/<suite>.<test>.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir;
};

// The result lines of a text report (everything before the statistics' blank line).
std::vector<std::string> ResultLines(const RescueRun& run);
// The count after a statistics label, or -1.
int StatisticsCount(const RescueRun& run, const char* label);

} // namespace scx::rescue_test
