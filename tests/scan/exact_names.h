// Files, folders and programs under names the ANSI calls cannot reach:
// characters outside the code page, paths longer than MAX_PATH. Everything
// goes through the wide calls on the "\\?\" form; paths are UTF-8 as the scan
// hands them around.
#pragma once
#include "detect/utf8.h"
#include "tests/support/samples.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace scx::test {

inline std::wstring WideOf(const std::string& utf8)
{
    std::vector<wchar_t> out(utf8.size() + 1);
    size_t units = 0;
    if (!Utf8ToUtf16(utf8.c_str(), out.data(), out.size(), &units))
        return L"";
    return std::wstring(out.data(), units);
}

inline std::string Utf8Of(const std::wstring& wide)
{
    std::vector<char> out(wide.size() * 3 + 1);
    if (!Utf16ToUtf8(wide.c_str(), wide.size(), out.data(), out.size()))
        return "";
    return out.data();
}

inline std::wstring Prefixed(const std::string& utf8) { return L"\\\\?\\" + WideOf(utf8); }

inline bool MakeDirsExact(const std::string& path)
{
    for (size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
        const std::string part = at == std::string::npos ? path : path.substr(0, at);
        if (!CreateDirectoryW(Prefixed(part).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (at == std::string::npos)
            return true;
    }
}

inline bool WriteBytesExact(const std::string& path, const std::vector<uint8_t>& bytes)
{
    HANDLE h = CreateFileW(Prefixed(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(h) && ok;
}

inline bool ExistsExact(const std::string& path)
{
    return GetFileAttributesW(Prefixed(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Started by its exact name, and waited for until its image is mapped.
inline ProcessGuard StartProgramExact(const std::string& path)
{
    const std::wstring wide = Prefixed(path);
    std::wstring line = L"\"" + wide + L"\"";
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(wide.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return ProcessGuard();
    ProcessGuard guard(pi);
    WaitForInputIdle(pi.hProcess, 0);
    Sleep(150);
    return guard;
}

// Where a running sample cannot be seen by its image (a 32-bit process run
// under CPU emulation), the reason to skip; empty otherwise.
inline std::string RunningSampleUnseenReason()
{
    const char* mode = getenv("SCX_I386_MODE");
#if !defined(_WIN64)
    if (mode && strcmp(mode, "emulated") == 0)
        return "a 32-bit process under CPU emulation shows no modules to PSAPI";
#endif
    (void)mode;
    return "";
}

// The awkward folders, each below base: {T} in a name stands for a tag.
struct AwkwardFolder {
    const char* name;
    std::string (*make)(const std::string& base);
};

inline std::string CyrillicFolder(const std::string& base) { return base + "\\Папка_Вексмор"; }
inline std::string ChineseFolder(const std::string& base) { return base + "\\文件夹测试"; }
inline std::string MixedFolder(const std::string& base) { return base + "\\Docs Ωμέγα 文件 Ключ"; }
// Deeper than MAX_PATH: five levels of 60 characters.
inline std::string LongFolder(const std::string& base)
{
    std::string path = base;
    for (char c = 'a'; c < 'f'; ++c)
        path += "\\" + std::string(60, c);
    return path;
}

inline const char kMachineRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// HKLM Run values set by their exact (wide) names and data, removed when it
// goes. view: 0, or one view of a 64-bit Windows.
class WideRunValues {
public:
    explicit WideRunValues(REGSAM view) : view_(view) {}
    ~WideRunValues()
    {
        for (const std::string& name : made_) {
            HKEY h;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineRunKey, 0, KEY_ALL_ACCESS | view_, &h) == ERROR_SUCCESS) {
                RegDeleteValueW(h, WideOf(name).c_str());
                RegCloseKey(h);
            }
        }
    }
    WideRunValues(const WideRunValues&) = delete;
    WideRunValues& operator=(const WideRunValues&) = delete;
    bool Set(const std::string& name, const std::string& data, DWORD type = REG_SZ)
    {
        HKEY h;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMachineRunKey, 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &h,
                            nullptr) != ERROR_SUCCESS)
            return false;
        const std::wstring wide = WideOf(data);
        const LONG rc = RegSetValueExW(h, WideOf(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(wide.c_str()),
                                       DWORD((wide.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
        made_.push_back(name);
        return rc == ERROR_SUCCESS;
    }
    bool Exists(const std::string& name) const
    {
        HKEY h;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineRunKey, 0, KEY_READ | view_, &h) != ERROR_SUCCESS)
            return false;
        const bool found = RegQueryValueExW(h, WideOf(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(h);
        return found;
    }

private:
    REGSAM view_;
    std::vector<std::string> made_;
};

} // namespace scx::test
