#include "platform/registry_values.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// Larger values are not read at all; no command line comes near this.
constexpr DWORD kMaxValueBytes = 1024 * 1024;

} // namespace

int ReadRegistryValueIn(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName, char* buffer)
{
    if (!buffer)
        return 0;
    buffer[0] = '\0';
    KeyGuard key;
    if (!OpenRegistryKey(key, root, subKeyPath, KEY_READ | view))
        return 0;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return 0;
    if (size > kMaxValueBytes)
        return 0;

    // Data of any type is taken as text up to its first NUL; data longer than
    // the caller's buffer is cut to it, so that a command padded with
    // arguments is still recognised by its start.
    char local[kRunDataChars];
    std::unique_ptr<char[]> large;
    char* data = local;
    if (size >= kRunDataChars) {
        large.reset(new (std::nothrow) char[size + 1]);
        if (!large)
            return 0;
        data = large.get();
    }
    DWORD got = size;
    if (RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &got) != ERROR_SUCCESS)
        return 0;
    if (got > size)
        got = size;
    data[got] = '\0';
    const size_t keep = strnlen(data, kRunDataChars - 1);
    memcpy(buffer, data, keep);
    buffer[keep] = '\0';
    return key.Close() ? 1 : 0;
}

int RemoveRegistryValueIn(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName)
{
    KeyGuard key;
    if (!OpenRegistryKey(key, root, subKeyPath, KEY_ALL_ACCESS | view))
        return 0;
    if (RegDeleteValueA(key.get(), valueName) != ERROR_SUCCESS)
        return 0;
    return key.Close() ? 1 : 0;
}

int ReadRegistryValue(HKEY root, const char* subKeyPath, const char* valueName, char* buffer)
{
    return ReadRegistryValueIn(kOwnView, root, subKeyPath, valueName, buffer);
}

int RemoveRegistryValue(HKEY root, const char* subKeyPath, const char* valueName)
{
    return RemoveRegistryValueIn(kOwnView, root, subKeyPath, valueName);
}
