// The file functions on the NT family by exact name: the wide functions with
// the "\\?\" prefix, which the system passes on without parsing, so names
// ending in a dot or a space, device-like names (aux.exe) and paths up to
// 32,767 characters reach the file the listing gave. Paths come in as UTF-8
// without the prefix. The wide functions are bound at run time so the 32-bit
// programs still load on Windows 95. Where they are missing (Windows 9x) the
// calls take the ANSI functions on the path in the code page, and refuse a
// path the code page cannot hold (ERROR_INVALID_NAME); the removal at
// restart then fails with ERROR_CALL_NOT_IMPLEMENTED (wininit.ini serves
// there).
#pragma once
#include <windows.h>

#include <cstddef>

// True on the NT family when every wide file function was found: names
// are then exact, else they pass through the ANSI code page.
bool LongPathsAvailable();

// Writes the prefixed wide form of path into out (count units): "C:\x" ->
// "\\?\C:\x", "\\server\share\x" -> "\\?\UNC\server\share\x"; a path that
// already carries "\\?\", or is not absolute, is only converted. False when
// path is not valid UTF-8 or the result does not fit (out emptied).
bool MakeLongPath(const char* path, wchar_t* out, size_t count);

// A heap copy of the prefixed wide form, or null (GetLastError tells:
// ERROR_INVALID_NAME for malformed UTF-8, ERROR_FILENAME_EXCED_RANGE when it
// is longer than the system takes, ERROR_NOT_ENOUGH_MEMORY).
class LongPath {
public:
    explicit LongPath(const char* path);
    ~LongPath();
    LongPath(const LongPath&) = delete;
    LongPath& operator=(const LongPath&) = delete;
    const wchar_t* get() const { return text_; }
    bool valid() const { return text_ != nullptr; }
private:
    wchar_t* text_ = nullptr;
};

// The wide calls, each on the prefixed form of a UTF-8 path; results and
// GetLastError as the system gives them.
HANDLE FindFirstFileLong(const char* pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileLong(HANDLE search, WIN32_FIND_DATAW* data);
// CreateFile without security attributes or template.
HANDLE CreateFileLong(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
// Opened for reading with the sharing the runtime's _open grants (read and
// write), so a file another program has open for writing is still checked.
HANDLE OpenFileForReadingLong(const char* path);
DWORD GetFileAttributesLong(const char* path);
BOOL SetFileAttributesLong(const char* path, DWORD attributes);
BOOL DeleteFileLong(const char* path);
// Renames within the file system (no copy, no replacing an existing name).
BOOL MoveFileLong(const char* from, const char* to);
// Asks the system to delete path at its next start (NT family only).
BOOL DeleteAtRestartLong(const char* path);

// True when Win32 path parsing would not reach path as it is: a folder or
// file name ending in a dot or a space, or a device name (aux, con, nul, prn,
// com1-9, lpt1-9, with or without an extension).
bool ParsingChangesPath(const char* path);
// The short (8.3) form of path, UTF-8 without the prefix, into out; false
// when the system gives none that fits.
bool ShortPathLong(const char* path, char* out, size_t size);

// The code-page form of a UTF-8 path (Windows 9x calls); false when it does
// not fit or the code page cannot hold one of its characters exactly.
bool Utf8ToAnsiPath(const char* path, char* out, size_t size);

// The UTF-8 form of a wide name (e.g. a listing's cFileName) into out; false
// when it does not fit.
bool WideNameToUtf8(const wchar_t* name, char* out, size_t size);
