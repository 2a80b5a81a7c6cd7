#include "tests/support/test_drive.h"
#include "tests/support/scratch.h"

#include <winioctl.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace scx::test {

namespace {

// The mount manager's request to define or remove a drive letter.
struct UnixDriveRequest {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool DefineDrive(char letter, const char* unixPath, ULONG type)
{
    HANDLE mgr = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (mgr == INVALID_HANDLE_VALUE)
        return false;
    std::vector<char> buffer(sizeof(UnixDriveRequest) + (unixPath ? strlen(unixPath) + 1 : 0), 0);
    auto* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
    request->size = ULONG(buffer.size());
    request->type = type;
    request->letter = WCHAR(letter - 'A' + 'a');
    if (unixPath) {
        request->mountPointOffset = USHORT(sizeof(UnixDriveRequest));
        strcpy(buffer.data() + sizeof(UnixDriveRequest), unixPath);
    }
    DWORD returned = 0;
    BOOL done = DeviceIoControl(mgr, kDefineUnixDrive, buffer.data(), DWORD(buffer.size()), nullptr, 0,
                                &returned, nullptr);
    CloseHandle(mgr);
    return done != 0;
}

std::wstring UnixToNt(const std::string& unixPath)
{
    std::wstring nt = L"\\\\?\\unix";
    for (char c : unixPath)
        nt += c == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(c));
    return nt;
}


} // namespace

TestDrive::TestDrive(char letter, UINT type) : letter_(letter)
{
    const char* scratch = getenv("SCX_SCRATCH_UNIX");
    if (!scratch)
        return;
    std::string prefix = scratch;
    size_t at = prefix.find("/drive_c/");
    if (at == std::string::npos)
        return;
    prefix.resize(at);
    unixFolder_ = prefix + "/scx-drive-" + letter + "-" + std::to_string(GetCurrentProcessId());
    RemoveWideTree(UnixToNt(unixFolder_));
    if (!CreateDirectoryW(UnixToNt(unixFolder_).c_str(), nullptr))
        return;
    ok_ = DefineDrive(letter, unixFolder_.c_str(), type) && GetDriveTypeA(root().c_str()) == type;
}

TestDrive::TestDrive(char letter, UINT type, const std::string& existingUnixFolder) : letter_(letter)
{
    ok_ = DefineDrive(letter, existingUnixFolder.c_str(), type) && GetDriveTypeA(root().c_str()) == type;
}

TestDrive::~TestDrive()
{
    DefineDrive(letter_, nullptr, DRIVE_NO_ROOT_DIR);
    if (!unixFolder_.empty())
        RemoveWideTree(UnixToNt(unixFolder_));
}

std::string TestDrive::root() const { return std::string(1, letter_) + ":\\"; }

} // namespace scx::test
