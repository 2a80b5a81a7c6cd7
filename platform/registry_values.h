// Reading and deleting registry values in a chosen view of the registry.
#pragma once
#include <windows.h>

// The value data buffer of the readers, terminator included.
constexpr DWORD kRunDataChars = 261;

// 0 is the program's own view of the registry. A 64-bit program on 64-bit
// Windows names each view: a 32-bit trojan's values land in the 32-bit one.
using RegistryView = REGSAM;
constexpr RegistryView kOwnView = 0;

class KeyGuard {
public:
    KeyGuard() = default;
    ~KeyGuard()
    {
        if (key_)
            RegCloseKey(key_);
    }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;

    bool Open(HKEY root, const char* subKeyPath, REGSAM access, RegistryView view)
    {
        return RegOpenKeyExA(root, subKeyPath, 0, access | view, &key_) == ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }
    // Closes now; true when the system reported no error.
    bool Close()
    {
        HKEY key = key_;
        key_ = nullptr;
        return key && RegCloseKey(key) == ERROR_SUCCESS;
    }

private:
    HKEY key_ = nullptr;
};

// Reads valueName as text (any type, up to its first NUL, cut to
// kRunDataChars - 1 characters) into buffer. 1 on success.
int ReadRegistryValueIn(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName, char* buffer);
// 1 when the value was deleted and its key closed without error.
int RemoveRegistryValueIn(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName);

// The same in the program's own view. buffer holds 261 characters.
int ReadRegistryValue(HKEY root, const char* subKeyPath, const char* valueName, char* buffer);
int RemoveRegistryValue(HKEY root, const char* subKeyPath, const char* valueName);
