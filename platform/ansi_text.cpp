#include "platform/ansi_text.h"

#include "detect/utf8.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

bool AnsiToUtf8(const char* ansi, char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = '\0';
    if (!ansi)
        return false;
    const size_t length = strlen(ansi);
    if (length == 0)
        return true;
    if (length > 0x7FFFFFF)
        return false;
    // An ANSI byte never becomes more than one UTF-16 unit.
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length + 1]);
    if (!wide)
        return false;
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi, int(length), wide.get(), int(length));
    if (units <= 0)
        return false;
    return Utf16ToUtf8(wide.get(), size_t(units), out, size);
}

bool Utf8ToAnsiExact(const char* utf8, char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = '\0';
    if (!utf8)
        return false;
    const size_t length = strlen(utf8);
    if (length == 0)
        return true;
    if (length > 0x7FFFFFF)
        return false;
    // A UTF-8 byte never becomes more than one UTF-16 unit.
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length + 1]);
    size_t units = 0;
    if (!wide || !Utf8ToUtf16(utf8, wide.get(), length + 1, &units) || units == 0)
        return false;
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.get(), int(units), out, int(size - 1), nullptr,
                                      &usedDefault);
    if (n <= 0 || size_t(n) >= size || usedDefault) {
        out[0] = '\0';
        return false;
    }
    out[n] = '\0';
    // Best-fit mappings (a Cyrillic letter to a Latin look-alike) are not
    // flagged as defaults: only a text that comes back unchanged is exact.
    std::unique_ptr<wchar_t[]> back(new (std::nothrow) wchar_t[size_t(n) + 1]);
    if (!back) {
        out[0] = '\0';
        return false;
    }
    const int backUnits = MultiByteToWideChar(CP_ACP, 0, out, n, back.get(), n);
    if (backUnits <= 0 || size_t(backUnits) != units ||
        memcmp(back.get(), wide.get(), units * sizeof(wchar_t)) != 0) {
        out[0] = '\0';
        return false;
    }
    return true;
}
