#include "platform/long_path.h"

#include "detect/utf8.h"
#include "platform/bind.h"
#include "platform/platform_probe.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

using FindFirstFileWFn = HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW);
using FindNextFileWFn = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
using CreateFileWFn = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using GetFileAttributesWFn = DWORD(WINAPI*)(LPCWSTR);
using SetFileAttributesWFn = BOOL(WINAPI*)(LPCWSTR, DWORD);
using DeleteFileWFn = BOOL(WINAPI*)(LPCWSTR);
using MoveFileExWFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
using GetShortPathNameWFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);

struct WideFileFunctions {
    FindFirstFileWFn findFirst;
    FindNextFileWFn findNext;
    CreateFileWFn createFile;
    GetFileAttributesWFn getAttributes;
    SetFileAttributesWFn setAttributes;
    DeleteFileWFn deleteFile;
    MoveFileExWFn moveFileEx;
    GetShortPathNameWFn shortPath; // optional
    bool complete;
};

// Windows 9x exports some of these as stubs that only fail: they are used on
// the NT family alone.
const WideFileFunctions& Functions()
{
    static WideFileFunctions f;
    static bool bound;
    if (!bound) {
        bound = true;
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        if (GetPlatformCode() == 5 && kernel) {
            f.findFirst = Bind<FindFirstFileWFn>(kernel, "FindFirstFileW");
            f.findNext = Bind<FindNextFileWFn>(kernel, "FindNextFileW");
            f.createFile = Bind<CreateFileWFn>(kernel, "CreateFileW");
            f.getAttributes = Bind<GetFileAttributesWFn>(kernel, "GetFileAttributesW");
            f.setAttributes = Bind<SetFileAttributesWFn>(kernel, "SetFileAttributesW");
            f.deleteFile = Bind<DeleteFileWFn>(kernel, "DeleteFileW");
            f.moveFileEx = Bind<MoveFileExWFn>(kernel, "MoveFileExW");
            f.shortPath = Bind<GetShortPathNameWFn>(kernel, "GetShortPathNameW");
            f.complete = f.findFirst && f.findNext && f.createFile && f.getAttributes && f.setAttributes &&
                         f.deleteFile && f.moveFileEx;
        }
    }
    return f;
}

// Windows 9x: the ANSI form of a UTF-8 path, refused when the code page
// cannot hold a character of it (the listing gave no such name there).
class AnsiPath {
public:
    explicit AnsiPath(const char* path) : valid_(Utf8ToAnsiPath(path, text_, sizeof text_)) {}
    const char* get() const { return text_; }
    bool valid() const { return valid_; }
private:
    char text_[MAX_PATH * 2];
    bool valid_ = false;
};

bool AnsiToWide(const char* ansi, wchar_t* out, int count)
{
    if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, out, count) > 0)
        return true;
    out[0] = 0;
    return false;
}

void FindDataToWide(const WIN32_FIND_DATAA& a, WIN32_FIND_DATAW* w)
{
    w->dwFileAttributes = a.dwFileAttributes;
    w->ftCreationTime = a.ftCreationTime;
    w->ftLastAccessTime = a.ftLastAccessTime;
    w->ftLastWriteTime = a.ftLastWriteTime;
    w->nFileSizeHigh = a.nFileSizeHigh;
    w->nFileSizeLow = a.nFileSizeLow;
    w->dwReserved0 = a.dwReserved0;
    w->dwReserved1 = a.dwReserved1;
    AnsiToWide(a.cFileName, w->cFileName, MAX_PATH);
    AnsiToWide(a.cAlternateFileName, w->cAlternateFileName, 14);
}

bool Wide() { return Functions().complete; }

constexpr wchar_t kPrefix[] = L"\\\\?\\";
constexpr wchar_t kUncPrefix[] = L"\\\\?\\UNC\\";

} // namespace

bool LongPathsAvailable() { return Functions().complete; }

bool Utf8ToAnsiPath(const char* path, char* out, size_t size)
{
    wchar_t wide[MAX_PATH];
    wchar_t back[MAX_PATH];
    if (size)
        out[0] = '\0';
    size_t units = 0;
    if (!Utf8ToUtf16(path, wide, MAX_PATH, &units)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    // Exactly or not at all: a character the code page lacks, or one it
    // would only approximate (a fullwidth dot as '.'), would name another file.
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out, int(size), nullptr, &usedDefault);
    if (n <= 0 && GetLastError() == ERROR_INVALID_FLAGS) { // systems before the flag: the check below decides
        usedDefault = FALSE;
        n = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, int(size), nullptr, &usedDefault);
    }
    int returned = 0;
    if (n > 0 && !usedDefault) {
        returned = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out, -1, back, MAX_PATH);
        if (returned <= 0 && GetLastError() == ERROR_INVALID_FLAGS)
            returned = MultiByteToWideChar(CP_ACP, 0, out, -1, back, MAX_PATH);
    }
    if (returned <= 0 || size_t(returned) != units + 1 || wmemcmp(wide, back, units) != 0) {
        if (size)
            out[0] = '\0';
        SetLastError(n <= 0 ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
        return false;
    }
    return true;
}

bool MakeLongPath(const char* path, wchar_t* out, size_t count)
{
    const wchar_t* prefix = L"";
    const char* rest = path;
    const bool driveAbsolute = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
                               path[2] == '\\';
    if (strncmp(path, "\\\\?\\", 4) == 0) {
        // Already in the form the system takes as it is.
    } else if (driveAbsolute) {
        prefix = kPrefix;
    } else if (path[0] == '\\' && path[1] == '\\') {
        prefix = kUncPrefix;
        rest = path + 2;
    }
    const size_t prefixLength = wcslen(prefix);
    if (count <= prefixLength) {
        if (count)
            out[0] = 0;
        return false;
    }
    wmemcpy(out, prefix, prefixLength);
    if (!Utf8ToUtf16(rest, out + prefixLength, count - prefixLength)) {
        out[0] = 0;
        return false;
    }
    return true;
}

LongPath::LongPath(const char* path)
{
    // One UTF-16 unit at most per UTF-8 byte, plus the prefix and terminator.
    const size_t count = strlen(path) + 9;
    if (count - 1 > kLongPathUnits + 8) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    text_ = static_cast<wchar_t*>(malloc(count * sizeof(wchar_t)));
    if (!text_) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    if (!MakeLongPath(path, text_, count)) {
        free(text_);
        text_ = nullptr;
        SetLastError(ERROR_INVALID_NAME);
        return;
    }
    if (wcslen(text_) > kLongPathUnits) {
        free(text_);
        text_ = nullptr;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    }
}

LongPath::~LongPath() { free(text_); }

HANDLE FindFirstFileLong(const char* pattern, WIN32_FIND_DATAW* data)
{
    if (!Wide()) {
        AnsiPath ansi(pattern);
        WIN32_FIND_DATAA found;
        HANDLE h = ansi.valid() ? FindFirstFileA(ansi.get(), &found) : INVALID_HANDLE_VALUE;
        if (h != INVALID_HANDLE_VALUE)
            FindDataToWide(found, data);
        return h;
    }
    LongPath wide(pattern);
    return wide.valid() ? Functions().findFirst(wide.get(), data) : INVALID_HANDLE_VALUE;
}

BOOL FindNextFileLong(HANDLE search, WIN32_FIND_DATAW* data)
{
    if (!Wide()) {
        WIN32_FIND_DATAA found;
        if (!FindNextFileA(search, &found))
            return FALSE;
        FindDataToWide(found, data);
        return TRUE;
    }
    return Functions().findNext(search, data);
}

HANDLE CreateFileLong(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    if (!Wide()) {
        AnsiPath ansi(path);
        return ansi.valid() ? CreateFileA(ansi.get(), access, share, nullptr, disposition, flags, nullptr)
                            : INVALID_HANDLE_VALUE;
    }
    LongPath wide(path);
    if (!wide.valid())
        return INVALID_HANDLE_VALUE;
    return Functions().createFile(wide.get(), access, share, nullptr, disposition, flags, nullptr);
}

HANDLE OpenFileForReadingLong(const char* path)
{
    return CreateFileLong(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL);
}

DWORD GetFileAttributesLong(const char* path)
{
    if (!Wide()) {
        AnsiPath ansi(path);
        return ansi.valid() ? GetFileAttributesA(ansi.get()) : INVALID_FILE_ATTRIBUTES;
    }
    LongPath wide(path);
    return wide.valid() ? Functions().getAttributes(wide.get()) : INVALID_FILE_ATTRIBUTES;
}

BOOL SetFileAttributesLong(const char* path, DWORD attributes)
{
    if (!Wide()) {
        AnsiPath ansi(path);
        return ansi.valid() ? SetFileAttributesA(ansi.get(), attributes) : FALSE;
    }
    LongPath wide(path);
    return wide.valid() ? Functions().setAttributes(wide.get(), attributes) : FALSE;
}

BOOL DeleteFileLong(const char* path)
{
    if (!Wide()) {
        AnsiPath ansi(path);
        return ansi.valid() ? DeleteFileA(ansi.get()) : FALSE;
    }
    LongPath wide(path);
    return wide.valid() ? Functions().deleteFile(wide.get()) : FALSE;
}

BOOL MoveFileLong(const char* from, const char* to)
{
    if (!Wide()) {
        AnsiPath ansiFrom(from);
        AnsiPath ansiTo(to);
        return ansiFrom.valid() && ansiTo.valid() ? MoveFileA(ansiFrom.get(), ansiTo.get()) : FALSE;
    }
    LongPath wideFrom(from);
    LongPath wideTo(to);
    if (!wideFrom.valid() || !wideTo.valid())
        return FALSE;
    return Functions().moveFileEx(wideFrom.get(), wideTo.get(), 0);
}

BOOL DeleteAtRestartLong(const char* path)
{
    if (!Wide()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    LongPath wide(path);
    return wide.valid() ? Functions().moveFileEx(wide.get(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) : FALSE;
}

namespace {

bool IsDeviceName(const char* name, size_t length)
{
    // The part before the first '.' decides: "aux.exe" is AUX.
    size_t base = 0;
    while (base < length && name[base] != '.')
        ++base;
    while (base > 0 && name[base - 1] == ' ')
        --base;
    char lower[5] = {};
    if (base < 3 || base > 4)
        return false;
    for (size_t i = 0; i < base; ++i)
        lower[i] = char(name[i] | 0x20);
    if (base == 3)
        return strcmp(lower, "aux") == 0 || strcmp(lower, "con") == 0 || strcmp(lower, "nul") == 0 ||
               strcmp(lower, "prn") == 0;
    return (strncmp(lower, "com", 3) == 0 || strncmp(lower, "lpt", 3) == 0) && name[3] >= '1' && name[3] <= '9';
}

} // namespace

bool ParsingChangesPath(const char* path)
{
    const char* name = path;
    if (strncmp(name, "\\\\?\\", 4) == 0)
        name += 4;
    for (;;) {
        const char* end = strchr(name, '\\');
        const size_t length = end ? size_t(end - name) : strlen(name);
        const bool isDots = (length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.');
        if (length > 0 && !isDots && (name[length - 1] == '.' || name[length - 1] == ' '))
            return true;
        if (IsDeviceName(name, length))
            return true;
        if (!end)
            return false;
        name = end + 1;
    }
}

bool ShortPathLong(const char* path, char* out, size_t size)
{
    if (size)
        out[0] = '\0';
    if (!Functions().complete || !Functions().shortPath)
        return false;
    LongPath wide(path);
    if (!wide.valid())
        return false;
    const DWORD need = Functions().shortPath(wide.get(), nullptr, 0);
    if (need == 0 || need > kLongPathUnits + 8)
        return false;
    wchar_t* shortWide = static_cast<wchar_t*>(malloc((need + 1) * sizeof(wchar_t)));
    if (!shortWide)
        return false;
    const DWORD got = Functions().shortPath(wide.get(), shortWide, need + 1);
    bool ok = got > 0 && got <= need;
    if (ok) {
        const wchar_t* plain = shortWide;
        if (wcsncmp(plain, L"\\\\?\\UNC\\", 8) == 0) {
            plain += 6; // keep "\\" of the share
            shortWide[6] = L'\\';
        } else if (wcsncmp(plain, kPrefix, 4) == 0) {
            plain += 4;
        }
        ok = Utf16ToUtf8(plain, wcslen(plain), out, size);
    }
    free(shortWide);
    return ok;
}

bool WideNameToUtf8(const wchar_t* name, char* out, size_t size)
{
    return Utf16ToUtf8(name, wcslen(name), out, size);
}
