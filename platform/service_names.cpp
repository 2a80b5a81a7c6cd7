// Services named after an image whose name the code page cannot spell.
#include "platform/services.h"

#include "detect/utf8.h"
#include "platform/ansi_text.h"
#include "platform/bind.h"
#include "platform/handle_guard.h"

#include <cstring>
#include <initializer_list>

namespace {

typedef SC_HANDLE(WINAPI* OpenSCManagerWFn)(const wchar_t*, const wchar_t*, DWORD);
typedef SC_HANDLE(WINAPI* OpenServiceWFn)(SC_HANDLE, const wchar_t*, DWORD);
typedef LONG(WINAPI* RegDeleteKeyWFn)(HKEY, const wchar_t*);

// Service names are at most 256 characters; registry key names 255.
constexpr size_t kNameUnits = 257;
// The longest ANSI form of such a name (double-byte code pages).
constexpr size_t kAnsiNameSize = 2 * kNameUnits;

HMODULE Advapi() { return LoadLibraryA("advapi32.dll"); }

bool WideName(const char* name, wchar_t* wide)
{
    size_t units = 0;
    return name && Utf8ToUtf16(name, wide, kNameUnits, &units) && units > 0;
}

} // namespace

int StopServiceByNameUtf8(const char* name)
{
    char ansi[kAnsiNameSize];
    if (!name)
        return 0;
    if (Utf8ToAnsiExact(name, ansi, sizeof ansi))
        return StopServiceByName(ansi);

    wchar_t wide[kNameUnits];
    if (!WideName(name, wide))
        return 0;
    HMODULE advapi = Advapi();
    OpenSCManagerWFn openManager = Bind<OpenSCManagerWFn>(advapi, "OpenSCManagerW");
    OpenServiceWFn openService = Bind<OpenServiceWFn>(advapi, "OpenServiceW");
    if (!openManager || !openService)
        return 0;
    ServiceGuard manager(openManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return 0;
    ServiceGuard service(openService(manager.get(), wide, SERVICE_ALL_ACCESS));
    if (!service)
        return 0;
    return StopOpenService(service.get());
}

int DeleteServiceRegistrationUtf8(const char* serviceName)
{
    char ansi[kAnsiNameSize];
    if (!serviceName)
        return 0;
    if (Utf8ToAnsiExact(serviceName, ansi, sizeof ansi))
        return DeleteServiceRegistration(ansi);

    wchar_t wide[kNameUnits];
    // The same refusals as the ANSI form: a backslash would reach another key.
    if (!WideName(serviceName, wide))
        return 0;
    for (const wchar_t* c = wide; *c; ++c)
        if (*c == L'\\')
            return 0;
    RegDeleteKeyWFn deleteKey = Bind<RegDeleteKeyWFn>(Advapi(), "RegDeleteKeyW");
    if (!deleteKey)
        return 0;
    // Each service key after its subkeys, in both numbered control sets.
    static const wchar_t* const kPrefixes[] = {L"SYSTEM\\ControlSet001\\Services\\",
                                               L"SYSTEM\\ControlSet002\\Services\\"};
    static const wchar_t* const kSuffixes[] = {L"\\Enum", L"\\Security", L""};
    bool deleted = false;
    for (const wchar_t* prefix : kPrefixes) {
        for (const wchar_t* suffix : kSuffixes) {
            wchar_t path[64 + kNameUnits];
            const size_t count = sizeof path / sizeof path[0];
            size_t at = 0;
            for (const wchar_t* part : {prefix, static_cast<const wchar_t*>(wide), suffix})
                for (; *part && at < count; ++part)
                    path[at++] = *part;
            if (at >= count)
                continue;
            path[at] = L'\0';
            if (deleteKey(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS)
                deleted = true;
        }
    }
    return deleted ? 1 : 0;
}
