// Running a test program (or any program) as a child, optionally as another
// Windows version, and reading its exit code and output.
#pragma once
#include <string>

namespace scx::test {

struct ChildResult {
    long exitCode = -1;    // -1: could not start or timed out (then killed)
    std::string output;    // standard output and error together
};

// Runs exe with args. When winVersion is not empty ("win98", "winxp", ...),
// a copy of exe with its own name runs under Wine's per-program version
// setting for that version. currentDir may be empty.
ChildResult RunChild(const std::string& exe, const std::string& args,
                     const std::string& winVersion = "", unsigned timeoutMs = 60000,
                     const std::string& currentDir = "");

// Runs this test program again with --gtest_filter=testName, disabled tests
// included (child-only cases are named DISABLED_...), with the extra
// environment variable SCX_CHILD=1.
ChildResult RunSelfTest(const std::string& testName, const std::string& winVersion = "",
                        unsigned timeoutMs = 60000);

// Writes the program this test program carries as its RCDATA resource
// resourceId into the scratch folder under fileName (once) and returns its
// path, or "".
std::string EmbeddedProgram(const std::string& fileName, int resourceId = 1);

// The system's desktop process starts with the session's first window;
// started from inside a child it would keep the child's output pipe open, so
// a test reading a child's output starts it first.
void StartDesktopProcess();

// A line of a child's output for its parent, written through at once: a
// child that ends itself leaves no later moment to flush it.
void SayToParent(const std::string& line);

// True inside a child started by RunSelfTest.
bool IsChild();

// Sets (or with an empty version, removes) Wine's version setting for one
// program file name, e.g. "sample.exe".
bool SetWineVersionFor(const std::string& exeName, const std::string& winVersion);

} // namespace scx::test
