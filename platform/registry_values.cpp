#include "platform/registry_values.h"

#include "detect/utf8.h"
#include "platform/ansi_text.h"
#include "platform/bind.h"
#include "platform/platform_probe.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
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

// ---- The auto-start walk's access, by exact name ----

namespace {

typedef LONG(WINAPI* RegEnumValueWFn)(HKEY, DWORD, wchar_t*, DWORD*, DWORD*, DWORD*, BYTE*, DWORD*);
typedef LONG(WINAPI* RegQueryValueExWFn)(HKEY, const wchar_t*, DWORD*, DWORD*, BYTE*, DWORD*);
typedef LONG(WINAPI* RegDeleteValueWFn)(HKEY, const wchar_t*);
typedef DWORD(WINAPI* ExpandEnvironmentStringsWFn)(const wchar_t*, wchar_t*, DWORD);

// The longest expansion the system produces, terminator included.
constexpr DWORD kMaxExpansionChars = 32768;

struct WideRegistry {
    RegEnumValueWFn enumValue;
    RegQueryValueExWFn queryValue;
    RegDeleteValueWFn deleteValue;
    ExpandEnvironmentStringsWFn expand;
};

// The wide functions on the NT family when all of them are there, else null.
const WideRegistry* Wide()
{
    static WideRegistry functions;
    static int state = 0; // 0 not yet looked up, 1 usable, -1 not
    if (state == 0) {
        state = -1;
        if (GetPlatformCode() == 5) {
            HMODULE advapi = LoadLibraryA("advapi32.dll");
            HMODULE kernel = GetModuleHandleA("kernel32.dll");
            functions.enumValue = Bind<RegEnumValueWFn>(advapi, "RegEnumValueW");
            functions.queryValue = Bind<RegQueryValueExWFn>(advapi, "RegQueryValueExW");
            functions.deleteValue = Bind<RegDeleteValueWFn>(advapi, "RegDeleteValueW");
            functions.expand = Bind<ExpandEnvironmentStringsWFn>(kernel, "ExpandEnvironmentStringsW");
            if (functions.enumValue && functions.queryValue && functions.deleteValue && functions.expand)
                state = 1;
        }
    }
    return state == 1 ? &functions : nullptr;
}

// A heap copy of units of wide text as UTF-8, or null.
char* WideToHeapUtf8(const wchar_t* text, size_t units)
{
    const size_t size = units * 3 + 1;
    char* out = static_cast<char*>(malloc(size));
    if (out && !Utf16ToUtf8(text, units, out, size)) {
        free(out);
        out = nullptr;
    }
    return out;
}

char* AnsiToHeapUtf8(const char* text)
{
    const size_t size = strlen(text) * 3 + 1;
    char* out = static_cast<char*>(malloc(size));
    if (out && !AnsiToUtf8(text, out, size)) {
        free(out);
        out = nullptr;
    }
    return out;
}

// A heap copy of the UTF-8 text as UTF-16, or null.
wchar_t* Utf8ToHeapWide(const char* text)
{
    const size_t count = strlen(text) + 1;
    wchar_t* out = static_cast<wchar_t*>(malloc(count * sizeof(wchar_t)));
    if (out && !Utf8ToUtf16(text, out, count)) {
        free(out);
        out = nullptr;
    }
    return out;
}

// Units before the first NUL, at most limit.
size_t WideLength(const wchar_t* text, size_t limit)
{
    size_t n = 0;
    while (n < limit && text[n])
        ++n;
    return n;
}

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Raw data of a value, up to kMaxValueBytes, with room for a wide terminator.
// queryA or queryW (whichever is given) reads it.
bool ReadRaw(HKEY key, const char* nameA, const wchar_t* nameW, RegQueryValueExWFn queryW,
             std::unique_ptr<BYTE[]>& data, DWORD* size, DWORD* type)
{
    DWORD needed = 0;
    LONG rc = queryW ? queryW(key, nameW, nullptr, type, nullptr, &needed)
                     : RegQueryValueExA(key, nameA, nullptr, type, nullptr, &needed);
    if (rc != ERROR_SUCCESS || needed > kMaxValueBytes)
        return false;
    data.reset(new (std::nothrow) BYTE[needed + sizeof(wchar_t)]);
    if (!data)
        return false;
    DWORD got = needed;
    rc = queryW ? queryW(key, nameW, nullptr, type, data.get(), &got)
                : RegQueryValueExA(key, nameA, nullptr, type, data.get(), &got);
    if (rc != ERROR_SUCCESS)
        return false;
    if (got > needed)
        got = needed;
    data[got] = 0;
    data[got + 1] = 0;
    *size = got;
    return true;
}

} // namespace

HeapText::~HeapText() { free(text_); }

void HeapText::reset(char* text)
{
    free(text_);
    text_ = text;
}

bool QueryValueCount(HKEY key, DWORD* count)
{
    *count = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool EnumValueNameUtf8(HKEY key, DWORD index, char* name)
{
    name[0] = '\0';
    if (const WideRegistry* wide = Wide()) {
        static wchar_t wideName[kMaxValueNameChars + 1];
        DWORD units = kMaxValueNameChars + 1;
        if (wide->enumValue(key, index, wideName, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            units > kMaxValueNameChars)
            return false;
        return Utf16ToUtf8(wideName, units, name, kValueNameUtf8Size);
    }
    static char ansiName[kMaxValueNameChars + 1];
    DWORD size = sizeof ansiName;
    if (RegEnumValueA(key, index, ansiName, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    ansiName[sizeof ansiName - 1] = '\0';
    return AnsiToUtf8(ansiName, name, kValueNameUtf8Size);
}

int ReadRunValueUtf8In(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName,
                       HeapText& data, HeapText& expanded)
{
    data.reset();
    expanded.reset();
    if (!valueName)
        return 0;
    KeyGuard key;
    if (!OpenRegistryKey(key, root, subKeyPath, KEY_READ | view))
        return 0;
    std::unique_ptr<BYTE[]> raw;
    DWORD size = 0;
    DWORD type = 0;

    if (const WideRegistry* wide = Wide()) {
        std::unique_ptr<wchar_t, decltype(&free)> name(Utf8ToHeapWide(valueName), &free);
        if (!name || !ReadRaw(key.get(), nullptr, name.get(), wide->queryValue, raw, &size, &type))
            return 0;
        // Text types by their characters; other data as the ANSI call would
        // give it, its bytes in the code page.
        std::unique_ptr<wchar_t[]> fromBytes;
        const wchar_t* text = reinterpret_cast<const wchar_t*>(raw.get());
        size_t units = 0;
        if (IsTextType(type)) {
            units = WideLength(text, size / sizeof(wchar_t));
        } else {
            const char* bytes = reinterpret_cast<const char*>(raw.get());
            const size_t length = strnlen(bytes, size);
            fromBytes.reset(new (std::nothrow) wchar_t[length + 1]);
            if (!fromBytes)
                return 0;
            const int converted = length ? MultiByteToWideChar(CP_ACP, 0, bytes, int(length), fromBytes.get(),
                                                               int(length))
                                         : 0;
            if (length && converted <= 0)
                return 0;
            units = size_t(converted);
            fromBytes[units] = L'\0';
            text = fromBytes.get();
        }
        data.reset(WideToHeapUtf8(text, units));
        if (!data.get())
            return 0;
        std::unique_ptr<wchar_t[]> expansion(new (std::nothrow) wchar_t[kMaxExpansionChars]);
        if (expansion) {
            // The expansion needs the text terminated where it was read.
            std::unique_ptr<wchar_t[]> source(new (std::nothrow) wchar_t[units + 1]);
            if (source) {
                memcpy(source.get(), text, units * sizeof(wchar_t));
                source[units] = L'\0';
                const DWORD got = wide->expand(source.get(), expansion.get(), kMaxExpansionChars);
                if (got > 0 && got <= kMaxExpansionChars)
                    expanded.reset(WideToHeapUtf8(expansion.get(), WideLength(expansion.get(), got)));
            }
        }
        return key.Close() ? 1 : 0;
    }

    char ansiName[kMaxValueNameChars * 2 + 1];
    if (!Utf8ToAnsiExact(valueName, ansiName, sizeof ansiName))
        return 0;
    if (!ReadRaw(key.get(), ansiName, nullptr, nullptr, raw, &size, &type))
        return 0;
    const char* text = reinterpret_cast<const char*>(raw.get());
    data.reset(AnsiToHeapUtf8(text));
    if (!data.get())
        return 0;
    std::unique_ptr<char[]> expansion(new (std::nothrow) char[kMaxExpansionChars]);
    if (expansion) {
        const DWORD got = ExpandEnvironmentStringsA(text, expansion.get(), kMaxExpansionChars);
        if (got > 0 && got <= kMaxExpansionChars) {
            expansion[kMaxExpansionChars - 1] = '\0';
            expanded.reset(AnsiToHeapUtf8(expansion.get()));
        }
    }
    return key.Close() ? 1 : 0;
}

int RemoveRegistryValueUtf8In(RegistryView view, HKEY root, const char* subKeyPath, const char* valueName)
{
    if (!valueName)
        return 0;
    if (const WideRegistry* wide = Wide()) {
        std::unique_ptr<wchar_t, decltype(&free)> name(Utf8ToHeapWide(valueName), &free);
        if (!name)
            return 0;
        KeyGuard key;
        if (!OpenRegistryKey(key, root, subKeyPath, KEY_ALL_ACCESS | view))
            return 0;
        if (wide->deleteValue(key.get(), name.get()) != ERROR_SUCCESS)
            return 0;
        return key.Close() ? 1 : 0;
    }
    const size_t size = strlen(valueName) * 2 + 1;
    std::unique_ptr<char[]> ansi(new (std::nothrow) char[size]);
    if (!ansi || !Utf8ToAnsiExact(valueName, ansi.get(), size))
        return 0;
    return RemoveRegistryValueIn(view, root, subKeyPath, ansi.get());
}
