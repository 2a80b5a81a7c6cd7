#include "platform/wow64_path.h"

#include "platform/bind.h"

#include <windows.h>

#include <cstring>

namespace {

char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Whether text begins with prefix, ASCII letters in either case.
bool StartsWithNoCase(const char* text, const char* prefix, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (!text[i] || FoldAscii(text[i]) != FoldAscii(prefix[i]))
            return false;
    }
    return true;
}

size_t WithoutTrailingSlashes(const char* dir)
{
    size_t n = strlen(dir);
    while (n > 0 && dir[n - 1] == '\\')
        --n;
    return n;
}

// The folders under System32 that WOW64 leaves alone.
bool IsExempt(const char* rest)
{
    static const char* const kExempt[] = {"catroot", "catroot2", "driverstore", "drivers\\etc", "logfiles", "spool"};
    for (const char* folder : kExempt) {
        size_t n = strlen(folder);
        if (StartsWithNoCase(rest, folder, n) && (rest[n] == '\\' || rest[n] == '\0'))
            return true;
    }
    return false;
}

std::string Utf8Of(const wchar_t* text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string out(size_t(n), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr) != n)
        return std::string();
    out.resize(size_t(n - 1));
    return out;
}

using SystemDirFn = UINT(WINAPI*)(LPWSTR, UINT);

std::string SystemFolder(SystemDirFn fn)
{
    if (!fn)
        return std::string();
    wchar_t buf[MAX_PATH + 1];
    UINT n = fn(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    buf[n] = L'\0';
    return Utf8Of(buf);
}

} // namespace

Wow64Mapping MapRedirectedSystemPath(const char* path, const char* systemDir, const char* wow64Dir,
                                     std::string* real)
{
    if (!path || !systemDir || !real)
        return Wow64Mapping::Unchanged;
    size_t n = WithoutTrailingSlashes(systemDir);
    if (n == 0 || !StartsWithNoCase(path, systemDir, n) || path[n] != '\\')
        return Wow64Mapping::Unchanged;
    const char* rest = path + n + 1;
    if (!*rest || IsExempt(rest))
        return Wow64Mapping::Unchanged;
    size_t w = wow64Dir ? WithoutTrailingSlashes(wow64Dir) : 0;
    if (w == 0)
        return Wow64Mapping::Unknown;
    real->assign(wow64Dir, w);
    real->push_back('\\');
    real->append(rest);
    return Wow64Mapping::Mapped;
}

bool RealPathForRestart(const char* path, std::string* real)
{
    real->assign(path ? path : "");
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    IsWow64Fn isWow64 = Bind<IsWow64Fn>(kernel, "IsWow64Process");
    BOOL wow64 = FALSE;
    if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64) || !wow64)
        return true;

    std::string systemDir = SystemFolder(Bind<SystemDirFn>(kernel, "GetSystemDirectoryW"));
    std::string wow64Dir = SystemFolder(Bind<SystemDirFn>(kernel, "GetSystemWow64DirectoryW"));
    if (systemDir.empty())
        return false; // cannot tell whether path is redirected
    std::string mapped;
    switch (MapRedirectedSystemPath(path, systemDir.c_str(), wow64Dir.c_str(), &mapped)) {
    case Wow64Mapping::Unchanged:
        return true;
    case Wow64Mapping::Mapped:
        *real = mapped;
        return true;
    default:
        return false;
    }
}
