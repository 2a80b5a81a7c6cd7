// A drive letter of the test's own: a folder inside the Wine prefix (outside
// drive C:, so walks of C: never meet it) made into a drive of the given type
// through Wine's mount manager, and removed again when the guard goes.
#pragma once
#include <windows.h>

#include <string>

namespace scx::test {

class TestDrive {
public:
    // letter 'A'..'Z'; type DRIVE_FIXED, DRIVE_REMOTE, DRIVE_CDROM, ...
    TestDrive(char letter, UINT type = DRIVE_FIXED);
    // The drive leads to an existing Unix folder, which is left as it is.
    TestDrive(char letter, UINT type, const std::string& existingUnixFolder);
    ~TestDrive();
    TestDrive(const TestDrive&) = delete;
    TestDrive& operator=(const TestDrive&) = delete;

    bool ok() const { return ok_; }
    // "Q:\"
    std::string root() const;

private:
    char letter_;
    bool ok_ = false;
    std::string unixFolder_; // made here, removed again
};

} // namespace scx::test
