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

// ---- The auto-start walk's access, by exact name ----
// On the NT family the wide registry functions (bound at run time, so the
// 32-bit programs still load on Windows 95) read names and data exactly; the
// 9x family keeps the ANSI ones, whose every name is in the code page. Either
// way names and data cross as UTF-8.

// A heap text, freed with the holder.
class HeapText {
public:
    HeapText() = default;
    ~HeapText();
    HeapText(const HeapText&) = delete;
    HeapText& operator=(const HeapText&) = delete;
    const char* get() const { return text_; }
    // Takes a malloc'd text.
    void reset(char* text = nullptr);

private:
    char* text_ = nullptr;
};

// The longest value name the registry allows, in characters, and its UTF-8
// size with the terminator.
constexpr size_t kMaxValueNameChars = 16383;
constexpr size_t kValueNameUtf8Size = kMaxValueNameChars * 3 + 1;

// The number of values of an opened key; false when it cannot be read.
bool QueryValueCount(HKEY key, DWORD* count);
// The name of value index of key as UTF-8 into name (kValueNameUtf8Size
// bytes). False when it cannot be enumerated or converted.
bool EnumValueNameUtf8(HKEY key, DWORD index, char* name);
// The value's data as text, whole (any type: text types by their characters,
// others by their bytes in the code page, up to the first NUL), and its
// environment expansion, both UTF-8. expanded stays empty when no expansion
// could be formed. 1 on success, 0 when the value cannot be read.
int ReadRunValueUtf8In(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName,
                       HeapText& data, HeapText& expanded);
// Deletes the value of that exact name; 1 when it was deleted and its key
// closed without error. A name the 9x family's ANSI call cannot spell exactly
// is not deleted.
int RemoveRegistryValueUtf8In(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName);
