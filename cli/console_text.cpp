#include "cli/console_text.h"

#include "cli/utf8_display.h"
#include "platform/bind.h"

WriteConsoleWFn g_writeConsoleW = WriteConsoleW;

namespace {

bool WriteAllBytes(HANDLE file, const char* data, DWORD length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, length, &written, nullptr) || written == 0)
            return false;
        data += written;
        length -= written;
    }
    return true;
}

} // namespace

bool WriteConsoleWide(HANDLE console, const wchar_t* text, size_t count)
{
    constexpr size_t kPiece = 1024;
    static char narrow[kPiece * 2 + 8];
    while (count > 0) {
        DWORD take = static_cast<DWORD>(count > kPiece ? kPiece : count);
        // Never split a surrogate pair between two writes.
        if (take < count && take > 1 && text[take - 1] >= 0xD800 && text[take - 1] <= 0xDBFF)
            --take;
        DWORD written = 0;
        if (!g_writeConsoleW || !g_writeConsoleW(console, text, take, &written, nullptr) || written == 0) {
            // Looked up when needed: the import table stays as it was.
            using GetConsoleOutputCPFn = UINT(WINAPI*)();
            const auto outputCodePage =
                Bind<GetConsoleOutputCPFn>(GetModuleHandleA("kernel32.dll"), "GetConsoleOutputCP");
            const UINT codePage = outputCodePage ? outputCodePage() : 0;
            int n = WideCharToMultiByte(codePage ? codePage : CP_OEMCP, 0, text, static_cast<int>(take), narrow,
                                        sizeof narrow, "?", nullptr);
            if (n <= 0 || !WriteAllBytes(console, narrow, static_cast<DWORD>(n)))
                return false;
            written = take;
        }
        text += written;
        count -= written;
    }
    return true;
}

bool WriteConsoleUtf8(HANDLE console, const char* text, size_t length, bool* damaged)
{
    static uint16_t units[2048];
    size_t at = 0;
    while (at < length) {
        size_t written = 0;
        size_t used = DecodeUtf8ForDisplay(text + at, length - at, units, sizeof units / sizeof units[0], &written,
                                           damaged);
        if (used == 0)
            return false;
        if (!WriteConsoleWide(console, reinterpret_cast<const wchar_t*>(units), written))
            return false;
        at += used;
    }
    return true;
}
