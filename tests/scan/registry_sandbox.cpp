#include "tests/scan/registry_sandbox.h"

namespace scx::test {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

const std::string& Tag()
{
    static const std::string tag = "scx" + std::to_string(GetCurrentProcessId());
    return tag;
}

std::string Tagged(std::string s)
{
    for (size_t at = s.find("{T}"); at != std::string::npos; at = s.find("{T}", at))
        s.replace(at, 3, Tag());
    return s;
}

namespace {

void DeleteValue(HKEY root, const std::string& key, const std::string& name, REGSAM view)
{
    HKEY h;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS | view, &h) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(h, name.c_str());
    RegCloseKey(h);
}

// RegDeleteKeyExA, which can name a view, is not in every Windows a test runs as.
void DeleteKey(HKEY root, const char* key, REGSAM view)
{
    if (view == 0) {
        RegDeleteKeyA(root, key);
        return;
    }
    using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
    auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
    if (deleteKeyEx)
        deleteKeyEx(root, key, view, 0);
}

} // namespace

RegistrySandbox::RegistrySandbox(REGSAM view) : view_(view)
{
    EnsureKey(HKEY_LOCAL_MACHINE, kRunKey);
    EnsureKey(HKEY_LOCAL_MACHINE, kRunServicesKey);
}

RegistrySandbox::~RegistrySandbox()
{
    for (const Entry& e : made_)
        DeleteValue(e.root, e.key, e.name, view_);
    // Only keys made here, and only once nothing else stands in them.
    for (auto it = createdKeys_.rbegin(); it != createdKeys_.rend(); ++it) {
        HKEY h;
        if (RegOpenKeyExA(it->root, it->key.c_str(), 0, KEY_READ | view_, &h) != ERROR_SUCCESS)
            continue;
        DWORD subKeys = 1, values = 1;
        RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr);
        RegCloseKey(h);
        if (subKeys == 0 && values == 0)
            DeleteKey(it->root, it->key.c_str(), view_);
    }
}

void RegistrySandbox::EnsureKey(HKEY root, const char* key)
{
    HKEY h;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &h, &disposition) !=
        ERROR_SUCCESS)
        return;
    RegCloseKey(h);
    if (disposition == REG_CREATED_NEW_KEY)
        createdKeys_.push_back({root, key, ""});
}

bool RegistrySandbox::Set(HKEY root, const char* key, const std::string& name, DWORD type,
                          const void* data, DWORD size)
{
    EnsureKey(root, key);
    DeleteValue(root, key, name, view_);
    made_.push_back({root, key, name});
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS | view_, &h) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(h, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool RegistrySandbox::SetText(HKEY root, const char* key, const std::string& name,
                              const std::string& text, DWORD type)
{
    return Set(root, key, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool RegistrySandbox::Exists(HKEY root, const char* key, const std::string& name, REGSAM view)
{
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &h) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExA(h, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

} // namespace scx::test
