// Removal of a locked file at the next start of Windows: the pending-deletion
// list on the NT family, the [rename] section of wininit.ini on Windows 9x.
#include "platform/deferred_removal.h"

#include "detect/wininit_edit.h"
#include "platform/deferred_removal_detail.h"
#include "platform/handle_guard.h"
#include "platform/long_path.h"
#include "platform/platform_probe.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace {

class FileInput final : public WininitInput {
public:
    explicit FileInput(FILE* f) : f_(f) {}
    int NextByte() override
    {
        int c = getc(f_);
        if (c == EOF)
            return ferror(f_) ? kError : kEnd;
        return c;
    }

private:
    FILE* f_;
};

// Writes to a descriptor; a short write is a failure.
class FdOutput final : public WininitOutput {
public:
    FdOutput(int fd, long limit) : fd_(fd), limit_(limit) {}
    bool Write(const char* data, size_t length) override
    {
        size_t allowed = length;
        if (limit_ >= 0 && written_ + length > size_t(limit_))
            allowed = size_t(limit_) - written_;
        if (allowed > 0) {
            int n = _write(fd_, data, unsigned(allowed));
            if (n < 0)
                return false;
            written_ += size_t(n);
            if (size_t(n) != allowed)
                return false;
        }
        return allowed == length;
    }

private:
    int fd_;
    long limit_;
    size_t written_ = 0;
};

// The folder part of path, without the trailing backslash (a root keeps it).
bool FolderOf(const char* path, char* folder, size_t size)
{
    const char* slash = strrchr(path, '\\');
    if (!slash)
        return false;
    size_t n = size_t(slash - path);
    if (n == 2 && path[1] == ':')
        ++n; // "C:\"
    if (n == 0 || n >= size)
        return false;
    memcpy(folder, path, n);
    folder[n] = '\0';
    return true;
}

// A new, empty file beside target, named by GetTempFileNameA.
bool CreateFileBeside(const char* target, const char* prefix, char* newPath)
{
    char folder[MAX_PATH];
    if (!FolderOf(target, folder, sizeof folder) || strlen(folder) > MAX_PATH - 14)
        return false;
    return GetTempFileNameA(folder, prefix, 0, newPath) != 0;
}

// Writes the new content to a new file beside iniPath; newPath names it.
// On failure the new file is removed again.
template <typename Fill>
bool WriteNewFile(const char* iniPath, char* newPath, long writeLimit, Fill fill)
{
    if (!CreateFileBeside(iniPath, "wii", newPath))
        return false;
    int fd = _open(newPath, _O_WRONLY | _O_BINARY | _O_TRUNC, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        DeleteFileA(newPath);
        return false;
    }
    FdOutput out(fd, writeLimit);
    bool ok = fill(out);
    ok = _commit(fd) == 0 && ok;
    ok = _close(fd) == 0 && ok;
    if (!ok)
        DeleteFileA(newPath);
    return ok;
}

bool ReplaceWininit(const char* newPath, const char* target)
{
    if (MoveFileExA(newPath, target, MOVEFILE_REPLACE_EXISTING))
        return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    return ReplaceFileByBackup(newPath, target);
}

} // namespace

bool IsUsableShortPath(const char* shortPath)
{
    if (!shortPath || !*shortPath)
        return false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(shortPath); *p; ++p) {
        if (*p < 0x20 || *p == ' ' || *p == '=' || *p == ';' || *p == ',')
            return false;
    }
    return true;
}

bool ReplaceFileByBackup(const char* newPath, const char* target)
{
    char backup[MAX_PATH];
    if (!CreateFileBeside(target, "wib", backup))
        return false;
    DeleteFileA(backup); // only its unique name is wanted
    if (!MoveFileA(target, backup))
        return false;
    if (!MoveFileA(newPath, target)) {
        MoveFileA(backup, target);
        return false;
    }
    DeleteFileA(backup);
    return true;
}

bool AddWininitRenameAt(const char* iniPath, const char* workingCopyPath, const char* destination,
                        const char* source, long writeLimit)
{
    if (!iniPath || !workingCopyPath || !destination || !source)
        return false;
    char newPath[MAX_PATH];

    if (_access(iniPath, 0) != 0) {
        if (!WriteNewFile(iniPath, newPath, writeLimit,
                          [&](WininitOutput& out) { return WriteNewWininit(out, destination, source); }))
            return false;
        // Not there before: the new file only takes its name.
        if (!MoveFileA(newPath, iniPath)) {
            DeleteFileA(newPath);
            return false;
        }
        return true;
    }

    // A file that may not be written is left as it is.
    DWORD attributes = GetFileAttributesA(iniPath);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    if (!CopyFileA(iniPath, workingCopyPath, FALSE))
        return false;
    StreamGuard copy(fopen(workingCopyPath, "rb"));
    if (!copy.get())
        return false;
    FileInput in(copy.get());
    if (!WriteNewFile(iniPath, newPath, writeLimit,
                      [&](WininitOutput& out) { return RewriteWininit(in, out, destination, source); }))
        return false;
    if (!ReplaceWininit(newPath, iniPath)) {
        DeleteFileA(newPath);
        return false;
    }
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE))
        SetFileAttributesA(iniPath, attributes);
    return true;
}

bool AddWininitRename(const char* destination, const char* source)
{
    char windowsDir[351];
    UINT n = GetWindowsDirectoryA(windowsDir, 350);
    if (n == 0 || n >= 350)
        return false;
    char iniPath[351 + 13];
    const char* sep = windowsDir[n - 1] == '\\' ? "" : "\\";
    if (snprintf(iniPath, sizeof iniPath, "%s%swininit.ini", windowsDir, sep) >= int(sizeof iniPath))
        return false;

    char tempDir[261];
    DWORD t = GetTempPathA(260, tempDir);
    if (t == 0 || t >= 260)
        return false;
    char workingCopy[261 + 13];
    sep = tempDir[t - 1] == '\\' ? "" : "\\";
    if (snprintf(workingCopy, sizeof workingCopy, "%s%swininit.ini", tempDir, sep) >= int(sizeof workingCopy))
        return false;
    return AddWininitRenameAt(iniPath, workingCopy, destination, source);
}

int ScheduleRemovalAtRestart(const char* path)
{
    if (!path || !*path)
        return 0;
    switch (GetPlatformCode()) {
    case 5:
        // Only a request Windows accepted is worth a restart. The exact
        // name goes in: the system's own parsing could make "x." into "x".
        return DeleteAtRestartLong(path) ? 1 : 0;
    case 4: {
        char ansiPath[MAX_PATH];
        if (!Utf8ToAnsiPath(path, ansiPath, sizeof ansiPath))
            return 0;
        char shortPath[260];
        memset(shortPath, 0, sizeof shortPath);
        DWORD n = GetShortPathNameA(ansiPath, shortPath, sizeof shortPath);
        if (n == 0 || n >= sizeof shortPath || !IsUsableShortPath(shortPath))
            return 0;
        return AddWininitRename("NUL", shortPath) ? 1 : 0;
    }
    default:
        return 0;
    }
}
