// Reading and deleting registry values in a chosen view of the registry.
#pragma once
#include "platform/handle_guard.h"

#include <windows.h>

// The value data buffer of the readers, terminator included.
constexpr DWORD kRunDataChars = 261;

// 0 is the program's own view of the registry. A 64-bit program on 64-bit
// Windows names each view: a 32-bit trojan's values land in the 32-bit one.
using RegistryView = REGSAM;
constexpr RegistryView kOwnView = 0;

// Opens subKeyPath under root into key (closing what it held); false when
// the system refuses.
inline bool OpenRegistryKey(KeyGuard& key, HKEY root, const char* subKeyPath, REGSAM access)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, subKeyPath, 0, access, &opened) != ERROR_SUCCESS)
        return false;
    key.reset(opened);
    return true;
}

// Reads valueName as text (any type, up to its first NUL, cut to
// kRunDataChars - 1 characters) into buffer. 1 on success.
int ReadRegistryValueIn(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName, char* buffer);
// 1 when the value was deleted and its key closed without error.
int RemoveRegistryValueIn(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName);

// The same in the program's own view. buffer holds 261 characters.
int ReadRegistryValue(HKEY root, const char* subKeyPath, const char* valueName, char* buffer);
int RemoveRegistryValue(HKEY root, const char* subKeyPath, const char* valueName);
