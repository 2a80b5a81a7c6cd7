#include "tests/support/scratch.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace scx::test {

const std::string& ScratchDir()
{
    static const std::string dir = [] {
        const char* env = getenv("SCX_SCRATCH");
        std::string d = env && *env ? env : "C:\\scratch\\manual";
        MakeDirs(d);
        return d;
    }();
    return dir;
}

std::string MakeScratchSubdir(const std::string& hint)
{
    static int counter;
    for (;;) {
        std::string d = ScratchDir() + "\\" + hint + "_" + std::to_string(++counter);
        if (GetFileAttributesA(d.c_str()) == INVALID_FILE_ATTRIBUTES) {
            MakeDirs(d);
            return d;
        }
    }
}

bool MakeDirs(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            std::string part = path.substr(0, i);
            if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
    }
    return true;
}

void RemoveWideTree(const std::wstring& path)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            // A link is removed as itself: what it leads to may lie anywhere.
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveDirectoryW(child.c_str()))
                    DeleteFileW(child.c_str());
            } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveWideTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

namespace {

std::wstring Widen(const std::string& text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return L"";
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(size_t(n) - 1);
    return wide;
}

} // namespace

void RemoveTree(const std::string& path)
{
    const std::wstring wide = Widen(path);
    if (!wide.empty())
        RemoveWideTree(wide);
}

void RemoveLongTree(const std::string& path)
{
    const std::wstring wide = Widen(path);
    if (!wide.empty())
        RemoveWideTree(L"\\\\?\\" + wide);
}


bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool WriteText(const std::string& path, const std::string& text)
{
    return WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::vector<uint8_t> out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Bound at run time: the tests build for systems older than symbolic links.
bool MakeSymbolicLink(const std::string& link, const std::string& target, bool folder)
{
    using Fn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    auto make = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkW")));
    const std::wstring from(link.begin(), link.end()), to(target.begin(), target.end());
    return make && make(from.c_str(), to.c_str(), folder ? 1 : 0) &&
           (GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string SelfPath()
{
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    return std::string(buf, n);
}

} // namespace scx::test
